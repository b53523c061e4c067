// The summary level against the fine index it is derived from: every range
// and gap of every column, read from the file's bytes by a decoder of the
// test's own, must agree with every coarse cell it touches; points at coarse
// cell borders and in damaged files give what the fine search gives.
#include "shapes/grid_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/create_grid_on_shape.h"
#include "shapes/gos_differential.h"
#include "shapes/gos_test_files.h"
#include "shapes/grid_on_shape_file.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

const std::string kNaturalEarth =
    std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

struct Segment {
  int64_t from, to;  // fine rows, inclusive
  uint32_t verdict;  // 0, a shape code, or kLookFine
};

// The column's rows as the fine index answers them, from the file's bytes:
// gaps and the rows beyond the ranges are empty. Empty for a block that the
// reader may refuse (it is then left to the fine index).
std::vector<Segment> ColumnSegments(const std::string& file, const GridOnShapeFileMetaData& h,
                                    int32_t column) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  const int64_t offset = int64_t{h.dataOffset} + ReadBigEndian32(bytes + h.columnTableOffset + 4 * column);
  const uint32_t count = ReadBigEndian32(bytes + offset);
  const int recordSize = 2 * h.coordinateWidth + h.shapeCodeWidth + 1;
  std::vector<Segment> segments;
  int64_t next = INT32_MIN;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* p = bytes + offset + 4 + int64_t{i} * recordSize;
    const int64_t from = ReadBigEndianS(p, h.coordinateWidth);
    const int64_t to = ReadBigEndianS(p + h.coordinateWidth, h.coordinateWidth);
    const uint32_t value = ReadBigEndian(p + 2 * h.coordinateWidth, h.shapeCodeWidth);
    const char code = static_cast<char>(p[recordSize - 1]);
    if (from > next) segments.push_back({next, from - 1, 0});
    segments.push_back({from, to, code == ' ' ? 0 : code == 'I' ? value : GridSummary::kLookFine});
    next = to + 1;
  }
  segments.push_back({next, INT32_MAX, 0});
  return segments;
}

// Every fine cell of the grid: each segment of each column against each
// coarse cell it touches. Returns the share of coarse cells the summary
// resolves, or -1 after a failure.
double CheckEveryCell(const std::string& path) {
  GridOnShapeFile grid;
  std::string error;
  EXPECT_EQ(grid.Open(path.c_str(), error, OpenPafReadFile), 0);
  const std::string file = ReadWholeFile(path);
  const GridOnShapeFileMetaData& h = grid.Header();
  const GridSummary& summary = grid.Summary();
  const int64_t factor = summary.Factor();
  EXPECT_GT(factor, 0);
  EXPECT_LE(summary.MemoryBytes(), GridOnShapeFile::SummaryBudget(static_cast<int64_t>(file.size())));
  // The rows any range covers, and one more each way: beyond them a gap is
  // checked at its ends only.
  std::vector<std::vector<Segment>> columns;
  int64_t lowest = INT32_MAX, highest = INT32_MIN;
  for (int32_t column = 0; column < h.columnCount; ++column) {
    columns.push_back(ColumnSegments(file, h, column));
    if (columns.back().size() > 1) {
      lowest = std::min(lowest, columns.back().front().to + 1);
      highest = std::max(highest, columns.back().back().from - 1);
    }
  }
  int failures = 0;
  int64_t resolved = 0, cells = 0;
  for (int32_t column = 0; column < h.columnCount && failures < 5; ++column) {
    for (const Segment& s : columns[static_cast<size_t>(column)]) {
      // Its ends and a row in every coarse cell it touches.
      std::vector<int64_t> rows = {s.from, s.to};
      const int64_t lo = std::max(s.from, lowest - 1), hi = std::min(s.to, highest + 1);
      for (int64_t r = lo; r <= hi; r += factor) rows.push_back(r);
      for (int64_t row : rows) {
        const uint32_t v = summary.Verdict(column, static_cast<int32_t>(row));
        ++cells;
        if (v == GridSummary::kLookFine) continue;
        ++resolved;
        if (v != s.verdict && ++failures <= 5)
          ADD_FAILURE() << path << " column " << column << " row " << row << ": summary " << v
                        << ", fine index " << s.verdict;
      }
    }
  }
  return failures ? -1 : static_cast<double>(resolved) / std::max<int64_t>(cells, 1);
}

// Points on and beside the coarse cell borders and random points: Search
// gives what SearchFine gives.
void CheckBorders(const std::string& path, unsigned seed) {
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(path.c_str(), error, OpenPafFileMap), 0);
  const GridOnShapeFileMetaData& h = grid.Header();
  const double scale = std::pow(10.0, h.precision);
  const int64_t factor = grid.Summary().Factor();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> column(0, h.columnCount - 1);
  std::uniform_int_distribution<int32_t> rowStep(-3, 3);
  int inside, fineInside;
  std::vector<int> candidates, fineCandidates;
  int failures = 0;
  for (int i = 0; i < 20000 && failures < 5; ++i) {
    // A coarse border column or a random one, first and last included.
    int64_t c = i % 4 == 0 ? column(random) / factor * factor : column(random);
    if (i % 97 == 0) c = i % 2 ? 0 : h.columnCount - 1;
    const double x = (static_cast<double>(h.minColumn + c) + (i % 3 == 0 ? 0.0 : 0.5)) / scale;
    const double y = (std::floor(std::uniform_real_distribution<double>(-90, 90)(random) * scale / factor) *
                          factor + rowStep(random) + (i % 5 == 0 ? 0.0 : 0.5)) / scale;
    const int result = grid.Search(y, x, inside, candidates);
    const int fine = grid.SearchFine(y, x, fineInside, fineCandidates);
    if ((result != fine || inside != fineInside || candidates != fineCandidates) && ++failures <= 5)
      ADD_FAILURE() << path << " at (" << y << ", " << x << "): summary " << result << "/" << inside
                    << ", fine " << fine << "/" << fineInside;
  }
}

TEST(GridSummary, AgreesWithTheFineIndexOnNaturalEarth) {
  ScratchDir dir;
  const std::string base = dir.File("ne");
  CopyShapeSet(kNaturalEarth, base);
  for (int precision = 0; precision <= 3; ++precision) {
    CreateGridOnShapeOptions options;
    options.precision = precision;
    // The whole world up to precision 2, Africa at 3 to keep the test quick.
    if (precision == 3) options.filter = "continent=Africa";
    ASSERT_EQ(CreateGridOnShape(base, options), 0);
    const double resolved = CheckEveryCell(base + ".gos");
    // A small index gets a small summary; the large ones resolve most cells.
    EXPECT_GT(resolved, precision < 2 ? 0.0 : 0.5) << "precision " << precision;
    CheckBorders(base + ".gos", 7 + precision);
  }
}

TEST(GridSummary, AgreesWithTheFineIndexOnTessellations) {
  ScratchDir dir;
  const std::string base = dir.File("tiles");
  struct Case {
    int nx, ny;
    double x0, y0, w, h;
    int precision;
  } cases[] = {
      {6, 5, -3.0, -40.0, 1.0, 1.0, 0},  {8, 8, -10.05, -5.3, 0.37, 0.29, 1},
      {40, 30, -0.6, 51.2, 0.1, 0.07, 2}, {60, 60, 179.0, -80.0, 0.02, 0.01, 3},
  };
  for (const Case& c : cases) {
    WriteShapeSet(base, 5, MakeTessellation(c.nx, c.ny, c.x0, c.y0, c.w, c.h, 3 + c.precision));
    CreateGridOnShapeOptions options;
    options.precision = c.precision;
    ASSERT_EQ(CreateGridOnShape(base, options), 0);
    EXPECT_GE(CheckEveryCell(base + ".gos"), 0) << "precision " << c.precision;
    CheckBorders(base + ".gos", 3 + c.precision);
  }
}

TEST(GridSummary, DamagedFilesGiveTheFineCodes) {
  ScratchDir dir;
  const std::string base = dir.File("tiles");
  WriteShapeSet(base, 5, MakeTessellation(6, 6, 0, 0, 0.3, 0.3, 4));
  CreateGridOnShapeOptions options;
  options.precision = 1;
  ASSERT_EQ(CreateGridOnShape(base, options), 0);
  const std::string good = ReadWholeFile(base + ".gos");
  const std::string path = dir.File("damaged.gos");
  std::mt19937 random(23);
  int inside, fineInside;
  std::vector<int> candidates, fineCandidates;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    // Flips in the blocks only, so that most files still open.
    for (int flips = 1 + round % 3; flips > 0; --flips)
      bytes[kGosHeaderSize + 4 * 20 + random() % (bytes.size() - kGosHeaderSize - 80)] ^=
          static_cast<char>(1 + random() % 255);
    WriteWholeFile(path, bytes);
    GridOnShapeFile grid;
    std::string error;
    if (grid.Open(path.c_str(), error, OpenPafLoadIntoMemory) != 0) continue;
    for (double x = -0.45; x < 2.3; x += 0.05)
      for (double y = -0.45; y < 2.3; y += 0.05) {
        const int result = grid.Search(y, x, inside, candidates);
        ASSERT_EQ(result, grid.SearchFine(y, x, fineInside, fineCandidates)) << round;
        ASSERT_EQ(inside, fineInside) << round;
        ASSERT_EQ(candidates, fineCandidates) << round;
      }
  }
}

}  // namespace
