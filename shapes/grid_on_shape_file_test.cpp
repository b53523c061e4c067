// The grid index reader on hand-made files: searches, damaged headers and
// blocks, dumps, and concurrent searches.
#include "shapes/grid_on_shape_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/gos_test_files.h"
#include "tests/test_support.h"

namespace {

struct Found {
  int result;
  int inside;
  std::vector<int> candidates;
  bool operator==(const Found& o) const {
    return result == o.result && inside == o.inside && candidates == o.candidates;
  }
};

Found SearchOf(const GridOnShapeFile& grid, double latitude, double longitude) {
  Found f{0, 0, {}};
  f.result = grid.Search(latitude, longitude, f.inside, f.candidates);
  return f;
}

std::string Dump(const GridOnShapeFile& grid, bool column, double longitude = 0) {
  char* text = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&text, &size);
  if (column)
    grid.DebugAColumn(stream, longitude);
  else
    grid.ShowInfo(stream, false);
  fclose(stream);
  std::string result(text, size);
  free(text);
  return result;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(GridOnShapeFile, SearchesTheUnitSquareInEveryOpenType) {
  ScratchDir dir;
  const std::string path = dir.File("square.gos");
  WriteWholeFile(path, UnitSquareGos());
  struct Case {
    double latitude, longitude;
    int inside;
    std::vector<int> candidates;
  } cases[] = {
      // An inner cell; the crossed bottom and top rows; above and below the ranges.
      {50.5, 10.55, 1, {}}, {50.0, 10.55, 0, {1}}, {51.05, 10.55, 0, {1}}, {51.1, 10.55, 0, {}},
      {49.99, 10.5, 0, {}},
      // The first and last columns, all crossed; right and left of the grid.
      {50.5, 10.0, 0, {1}}, {50.5, 11.09, 0, {1}}, {50.5, 11.1, 0, {}}, {50.5, 9.99, 0, {}},
      // No number or a huge one: nothing, never a wild conversion.
      {kNaN, 10.5, 0, {}}, {50.5, kNaN, 0, {}}, {kInf, 10.5, 0, {}}, {50.5, -kInf, 0, {}},
      {1e300, 10.5, 0, {}}, {50.5, 3e9, 0, {}},
  };
  for (int type : {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap}) {
    GridOnShapeFile grid;
    std::string error;
    ASSERT_EQ(grid.Open(path.c_str(), error, type), 0);
    EXPECT_TRUE(grid.IsOpen());
    for (const Case& c : cases) {
      const Found f = SearchOf(grid, c.latitude, c.longitude);
      EXPECT_EQ(f, (Found{0, c.inside, c.candidates}))
          << "type " << type << " at " << c.latitude << ", " << c.longitude;
    }
    grid.Close();
    EXPECT_FALSE(grid.IsOpen());
  }
}

TEST(GridOnShapeFile, ListsWithSharedTailsAndNegativeCells) {
  // Precision 3, one column starting at cell -1: a list [1, 2, 3] and the
  // shared tail [2, 3]; -0.00001 lies in cell -1.
  GosBlock block;
  block.ranges = {{-3, -2, 0, 'L'}, {-1, -1, 1, 'L'}, {0, 0, 7, 'I'}};
  block.list = {1, 2, 3, 0};
  ScratchDir dir;
  const std::string path = dir.File("lists.gos");
  WriteWholeFile(path, MakeGos(3, -1, 1, 2, {block}, {0, 0}));
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafLoadIntoMemory), 0);
  EXPECT_EQ(SearchOf(grid, -0.0025, -0.0005), (Found{0, 0, {1, 2, 3}}));
  EXPECT_EQ(SearchOf(grid, -0.00001, -0.00001), (Found{0, 0, {2, 3}}));
  EXPECT_EQ(SearchOf(grid, 0.0, 0.0009), (Found{0, 7, {}}));  // the shared column
  EXPECT_EQ(SearchOf(grid, 0.0, 0.001), (Found{0, 0, {}}));
  EXPECT_EQ(SearchOf(grid, -0.0031, 0.0), (Found{0, 0, {}}));
}

// Long columns are searched from a guess: evenly spread rows, a skewed
// column (many one-row ranges, then long ones), negative rows and lists,
// every row compared with a scan of the ranges, in every open type.
TEST(GridOnShapeFile, LongColumnsGiveTheRangeOfEveryRow) {
  std::vector<GosBlock> blocks(3);
  for (int i = 0; i < 1000; ++i)  // rows 0 .. 2998, a gap after each range
    blocks[0].ranges.push_back({3 * i, 3 * i + 1, static_cast<unsigned>(i % 7 + 1), "PI "[i % 3]});
  for (int i = 0; i < 500; ++i) blocks[1].ranges.push_back({i, i, 5, 'P'});
  for (int i = 0; i < 100; ++i)
    blocks[1].ranges.push_back({1000 + 100 * i, 1099 + 100 * i, i % 2 ? 0u : 2u, i % 2 ? 'I' : 'L'});
  blocks[1].list = {9, 4, 0, 3, 0};  // entries from 0 and from 3
  for (int i = 0; i < 300; ++i) blocks[2].ranges.push_back({-900 + 4 * i, -898 + 4 * i, 6, 'I'});
  ScratchDir dir;
  const std::string path = dir.File("long.gos");
  WriteWholeFile(path, MakeGos(0, 10, 3, 2, blocks, {0, 1, 2}));
  // What each row of rows -905 .. 11005 holds, range by range.
  std::vector<std::vector<Found>> held(3, std::vector<Found>(11911, Found{0, 0, {}}));
  for (size_t column = 0; column < 3; ++column) {
    const GosBlock& b = blocks[column];
    for (const GosRange& r : b.ranges) {
      Found f{0, 0, {}};
      if (r.code == 'I') f.inside = static_cast<int>(r.value);
      if (r.code == 'P') f.candidates.push_back(static_cast<int>(r.value));
      for (size_t e = r.value; r.code == 'L' && b.list[e] != 0; ++e)
        f.candidates.push_back(static_cast<int>(b.list[e]));
      for (int row = r.from; row <= r.to; ++row) held[column][static_cast<size_t>(row + 905)] = f;
    }
  }
  const auto scan = [&](int column, int row) {
    return held[static_cast<size_t>(column)][static_cast<size_t>(row + 905)];
  };
  for (int type : {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap}) {
    GridOnShapeFile grid;
    std::string error;
    ASSERT_EQ(grid.Open(path.c_str(), error, type), 0);
    int failures = 0;
    for (int column = 0; column < 3; ++column) {
      for (int row = -905; row <= 11005 && failures < 5; ++row) {
        Found fine{0, 0, {}};
        fine.result = grid.SearchFine(row + 0.5, 10.5 + column, fine.inside, fine.candidates);
        const Found expected = scan(column, row);
        if (!(fine == expected) || !(SearchOf(grid, row + 0.5, 10.5 + column) == expected))
          ADD_FAILURE() << "type " << type << " column " << column << " row " << row << ++failures;
      }
    }
  }
  // Read through, the long blocks' counts and ends are known from Open: a
  // file cut short afterwards gives codes or the answers it gave, never a
  // read outside what is left.
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(ReadWholeFile(path).size() / 2)), 0);
  int answered = 0, codes = 0;
  for (int column = 0; column < 3; ++column) {
    for (int row = -905; row <= 11005; row += 7) {
      const Found f = SearchOf(grid, row + 0.5, 10.5 + column);
      if (f.result != 0) {
        ++codes;
        EXPECT_EQ(f.result, ERR_GOS_READ_COLUMN);
      } else if (f == scan(column, row)) {
        ++answered;
      }
    }
  }
  EXPECT_GT(codes, 0);
  EXPECT_GT(answered, 0);
}

TEST(GridOnShapeFile, RefusesDamagedFiles) {
  const std::string good = UnitSquareGos();
  struct Case {
    const char* what;
    int offset;  // -1: cut the file to `value` bytes instead
    std::vector<unsigned char> bytes;
    int expected;
  } cases[] = {
      {"short", -1, {43}, ERR_GOS_TOO_SHORT},
      {"magic", 3, {'x'}, ERR_GOS_MAGIC},
      {"magic NUL", 19, {'x'}, ERR_GOS_MAGIC},
      {"precision 5", 20, {5}, ERR_GOS_PRECISION},
      {"table offset 43", 28, {0, 0, 0, 43}, ERR_GOS_COLUMN_TABLE_OFFSET},
      {"table offset negative", 28, {0x80, 0, 0, 0}, ERR_GOS_COLUMN_TABLE_OFFSET},
      {"no columns", 32, {0, 0, 0, 0}, ERR_GOS_COLUMN_COUNT},
      {"negative columns", 32, {0xff, 0xff, 0xff, 0xff}, ERR_GOS_COLUMN_COUNT},
      {"coordinate width 0", 40, {0}, ERR_GOS_COORDINATE_WIDTH},
      {"coordinate width 5", 40, {5}, ERR_GOS_COORDINATE_WIDTH},
      {"shape code width 0", 41, {0}, ERR_GOS_SHAPE_CODE_WIDTH},
      {"shape code width 5", 41, {5}, ERR_GOS_SHAPE_CODE_WIDTH},
      {"data offset inside the table", 36, {0, 0, 0, 87}, ERR_GOS_DATA_OFFSET},
      {"negative data offset", 36, {0x80, 0, 0, 0}, ERR_GOS_DATA_OFFSET},
      // 2^31 - 1 columns: the table's size overflows 32 bits.
      {"huge column count", 32, {0x7f, 0xff, 0xff, 0xff}, ERR_GOS_DATA_OFFSET},
      {"table beyond the end", 36, {0x7f, 0xff, 0xff, 0xff}, ERR_GOS_COLUMN_OFFSET},
      {"column offset beyond the end", 44, {0x00, 0x10, 0, 0}, ERR_GOS_COLUMN_OFFSET},
      {"column offset wraps", 44, {0xff, 0xff, 0xff, 0xf0}, ERR_GOS_COLUMN_OFFSET},
  };
  ScratchDir dir;
  const std::string path = dir.File("bad.gos");
  FILE* nullSink = fopen("/dev/null", "w");
  ASSERT_NE(nullSink, nullptr);
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.offset < 0)
      bytes.resize(c.bytes[0]);
    else
      memcpy(&bytes[c.offset], c.bytes.data(), c.bytes.size());
    WriteWholeFile(path, bytes);
    GridOnShapeFile grid;
    std::string error;
    EXPECT_EQ(grid.Open(path.c_str(), error, OpenPafFileMap), c.expected) << c.what;
    EXPECT_FALSE(grid.IsOpen()) << c.what;
    // A caller that searches anyway finds nothing; no column table is read.
    int inside = -1;
    std::vector<int> candidates{9};
    EXPECT_EQ(grid.Search(50.55, 10.55, inside, candidates), 0) << c.what;
    EXPECT_EQ(inside, 0) << c.what;
    EXPECT_TRUE(candidates.empty()) << c.what;
    EXPECT_EQ(grid.ShowInfo(nullSink, false), 0) << c.what;
    EXPECT_EQ(grid.DebugAColumn(nullSink, 10.55), 0) << c.what;
  }
  // A table that ends past the file, with a data offset to match.
  std::string bytes = good.substr(0, 60);
  WriteBigEndian32(reinterpret_cast<unsigned char*>(&bytes[36]), int32_t{1000});
  WriteWholeFile(path, bytes);
  GridOnShapeFile grid;
  std::string error;
  EXPECT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), ERR_GOS_READ_COLUMN_TABLE);
  EXPECT_EQ(grid.Open(dir.File("missing.gos").c_str(), error, OpenPafReadFile), ERR_MTFILE_OPEN);
  EXPECT_NE(error.find("missing.gos"), std::string::npos);
  fclose(nullSink);
}

TEST(GridOnShapeFile, DamagedBlocksGiveCodes) {
  struct Case {
    const char* what;
    GosBlock block;
    int expected;
  } cases[] = {
      // The list's last entry is the file's last bytes, without its 0.
      {"unterminated list", {{{0, 9, 0, 'L'}}, {1, 2}}, ERR_GOS_LIST_UNTERMINATED},
      {"list beyond the end", {{{0, 9, 40000, 'L'}}, {1, 0}}, ERR_GOS_LIST_UNTERMINATED},
      {"unknown code", {{{0, 9, 1, 'X'}}, {}}, ERR_GOS_RANGE_CODE},
  };
  ScratchDir dir;
  const std::string path = dir.File("block.gos");
  for (const Case& c : cases) {
    WriteWholeFile(path, MakeGos(0, 0, 1, 2, {c.block}, {0}));
    GridOnShapeFile grid;
    std::string error;
    ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0) << c.what;
    EXPECT_EQ(SearchOf(grid, 5, 0.5).result, c.expected) << c.what;
    EXPECT_EQ(SearchOf(grid, 10, 0.5).result, 0) << c.what;  // above the ranges
  }
  // A range count larger than the file can hold is refused before any
  // allocation or read, in the search and in both dumps.
  std::string bytes = MakeGos(0, 0, 1, 1, {GosBlock{{{0, 9, 1, 'I'}}, {}}}, {0});
  WriteBigEndian32(reinterpret_cast<unsigned char*>(&bytes[48]), uint32_t{0xffffffff});
  WriteWholeFile(path, bytes);
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  EXPECT_EQ(SearchOf(grid, 5, 0.5).result, ERR_GOS_READ_COLUMN);
  FILE* sink = fopen("/dev/null", "w");
  EXPECT_EQ(grid.ShowInfo(sink, false), ERR_GOS_READ_COLUMN);
  EXPECT_EQ(grid.DebugAColumn(sink, 0.5), ERR_GOS_READ_COLUMN);
  fclose(sink);
}

TEST(GridOnShapeFile, DumpsInfoAndColumns) {
  ScratchDir dir;
  const std::string path = dir.File("square.gos");
  WriteWholeFile(path, UnitSquareGos());
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  // 9 columns of 9 inside cells out of 11 columns of 11 cells.
  EXPECT_EQ(Dump(grid, false),
            "Precision: 1\nLongitude range: [10, 11.1]\nLatitude range: [50, 51]\n"
            "Coordinates very well indexed: 66.9%\n");
  EXPECT_EQ(Dump(grid, true, 10.55),
            "Longitude of 10.55 gives column 5\nThere are 3 ranges for this column:\n"
            "    From       To  Code    Shape\n"
            "     500      500     P        1\n"
            "     501      509     I        1\n"
            "     510      510     P        1\n"
            "List of shapes:\n");
  EXPECT_EQ(Dump(grid, true, 12), "Longitude of 12 gives column 20\n Column 20 is out of range [0,11]\n");

  // Lists are shown up to the next block; only empty and inside cells, or
  // none at all, count as very well indexed.
  GosBlock lists{{{0, 1, 0, 'L'}, {2, 2, 3, ' '}}, {1, 2, 0}};
  GosBlock none{{}, {}};
  WriteWholeFile(path, MakeGos(0, 0, 1, 1, {lists, none}, {0, 1}));
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  EXPECT_EQ(Dump(grid, true, 0.5),
            "Longitude of 0.5 gives column 0\nThere are 2 ranges for this column:\n"
            "    From       To  Code    Shape\n"
            "       0        1     L        0\n"
            "       2        2              3\n"
            "List of shapes:\n1\n2\n0\n");
  EXPECT_EQ(Dump(grid, false),
            "Precision: 0\nLongitude range: [0, 2]\nLatitude range: [0, 2]\n"
            "Coordinates very well indexed: 33.3%\n");
  WriteWholeFile(path, MakeGos(0, 0, 1, 1, {none}, {0, 0}));
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  EXPECT_EQ(Dump(grid, false),
            "Precision: 0\nLongitude range: [0, 2]\nLatitude range: [0, 0]\n"
            "Coordinates very well indexed: 100.0%\n");
}

TEST(GridOnShapeFile, TruncatedFilesGiveCodesOrTheFullAnswer) {
  const std::string good = UnitSquareGos();
  ScratchDir dir;
  const std::string path = dir.File("cut.gos");
  WriteWholeFile(path, good);
  GridOnShapeFile full;
  std::string error;
  ASSERT_EQ(full.Open(path.c_str(), error, OpenPafLoadIntoMemory), 0);
  for (size_t length = 0; length < good.size(); ++length) {
    WriteWholeFile(path, good.substr(0, length));
    GridOnShapeFile grid;
    if (grid.Open(path.c_str(), error, OpenPafLoadIntoMemory) != 0) continue;
    for (double longitude = 9.95; longitude < 11.2; longitude += 0.05)
      for (double latitude = 49.95; latitude < 51.2; latitude += 0.05) {
        const Found f = SearchOf(grid, latitude, longitude);
        if (f.result == 0) {
          EXPECT_EQ(f, SearchOf(full, latitude, longitude)) << length;
        }
      }
  }
}

TEST(GridOnShapeFileConcurrency, ThreadsSearchOneStreamedFile) {
  // The unit square, and a long block (searched from a guess) that all 150
  // columns share: 200 one-row ranges at precision 2.
  GosBlock longBlock;
  for (int i = 0; i < 200; ++i)
    longBlock.ranges.push_back({4990 + i, 4990 + i, static_cast<unsigned>(i % 9 + 1), 'P'});
  for (const std::string& content :
       {UnitSquareGos(), MakeGos(2, 990, 2, 1, {longBlock}, std::vector<int>(150, 0))}) {
    ScratchDir dir;
    const std::string path = dir.File("index.gos");
    WriteWholeFile(path, content);
    GridOnShapeFile grid;
    std::string error;
    ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
    std::vector<Found> expected;
    for (int i = 0; i < 200; ++i)
      expected.push_back(SearchOf(grid, 49.9 + i * 0.007, 9.9 + i * 0.007));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int round = 0; round < 50; ++round)
          for (int i = 0; i < 200; ++i)
            if (!(SearchOf(grid, 49.9 + i * 0.007, 9.9 + i * 0.007) == expected[i])) ++mismatches[t];
      });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
  }
}

}  // namespace
