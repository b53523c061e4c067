// ShapeFileReader against pyshp's reading of real and edge-case sets, on
// damaged files made with the test writer, and under many threads.
#include "shapes/shape_file_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/byte_order.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"
#include "text/string_edit.h"

namespace {

const std::string kSource = ZRU_SOURCE_DIR;
const std::string kData = kSource + "/tests/data/shapes/";
constexpr int kOpenTypes[] = {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap};

std::vector<std::vector<std::string>> ReadTsv(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) rows.push_back(Split(line, '\t', false, true));
  return rows;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c);
  }
  return out;
}

std::string Hex(uint64_t value) {
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Join(const std::vector<int32_t>& values) {
  if (values.empty()) return "-";
  std::string out;
  for (size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + std::to_string(values[i]);
  return out;
}

// The oracle's line for a shape, built from what the reader gave.
std::string Describe(int32_t index, const ShapeFileShape& s) {
  const bool pointOrNull = s.shapeType == 0 || s.shapeType == 1 || s.shapeType == 11 || s.shapeType == 21;
  std::ostringstream box;
  box.precision(17);
  if (pointOrNull) {
    box << "-";
  } else {
    // The oracle prints Python's shortest form; compare as numbers.
    box << s.minX << " " << s.minY << " " << s.maxX << " " << s.maxY;
  }
  const auto* xy = reinterpret_cast<const double*>(s.points.data());  // x, y pairs
  const std::string z = s.z.empty() ? "none" : Hex(DigestDoubles(s.z.data(), s.z.size()));
  // pyshp calls values not above -1e39 "no data".
  std::vector<double> m;
  bool anyM = false;
  for (double v : s.m) {
    anyM = anyM || v > -10e38;
    m.push_back(v > -10e38 ? v : -10e38);
  }
  const std::string mDigest = anyM ? Hex(DigestDoubles(m.data(), m.size())) : "none";
  return std::to_string(index) + "\t" + std::to_string(s.shapeType) + "\t" + box.str() + "\t" +
         Join(s.parts) + "\t" + (s.shapeType == 31 ? Join(s.partTypes) : "-") + "\t" +
         std::to_string(s.points.size()) + "\t" + Hex(DigestDoubles(xy, 2 * s.points.size())) + "\t" +
         z + "\t" + mDigest;
}

// Box cells compare as numbers: the oracle prints the shortest text that
// reads back as the same double.
void ExpectSameLine(const std::string& got, const std::vector<std::string>& want) {
  const std::vector<std::string> cells = Split(got, '\t', false, true);
  ASSERT_EQ(cells.size(), want.size()) << got;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i == 2 && want[i] != "-") {
      std::istringstream a(cells[i]), b(want[i]);
      for (int k = 0; k < 4; ++k) {
        double x, y;
        a >> x;
        b >> y;
        EXPECT_EQ(x, y) << "box of " << want[0];
      }
    } else {
      EXPECT_EQ(cells[i], want[i]) << "cell " << i << " of record " << want[0];
    }
  }
}

struct OracleSet {
  const char* name;
  std::string base;
};

std::vector<OracleSet> OracleSets() {
  std::vector<OracleSet> sets = {
      {"naturalearth_lowres", kSource + "/samples/naturalearth/naturalearth_lowres"},
      {"naturalearth_cities", kData + "real/naturalearth_cities"},
      {"nybb", kData + "real/nybb"}};
  for (const char* edge : {"arc", "arcz", "multipatch", "multipoint", "multipointm", "multipointz",
                           "point", "pointm", "pointz", "polygon_holes", "polygon_nulls",
                           "polygonm", "polygonz"})
    sets.push_back({edge, kData + "edge/" + edge});
  return sets;
}

TEST(ShapeFileReader, EveryRecordOfTheRealAndEdgeSetsReadsAsPyshpReadsIt) {
  for (const OracleSet& set : OracleSets()) {
    SCOPED_TRACE(set.name);
    const auto shapes = ReadTsv(kData + "oracle/" + set.name + ".shapes.tsv");
    const auto attributes = ReadTsv(kData + "oracle/" + set.name + ".attributes.tsv");
    ASSERT_FALSE(shapes.empty());
    ASSERT_EQ(attributes.size(), shapes.size() + 1);
    for (int openType : kOpenTypes) {
      ShapeFileReader reader;
      std::string error;
      ASSERT_EQ(reader.Open(set.base + ".shp", error, openType), 0) << error;
      ASSERT_EQ(reader.RecordCount(), static_cast<int32_t>(shapes.size()));
      ShapeFileShape shape;
      for (int32_t i = 0; i < reader.RecordCount(); ++i) {
        ASSERT_EQ(reader.ReadShape(i, shape), 0) << i;
        ExpectSameLine(Describe(i, shape), shapes[static_cast<size_t>(i)]);
      }
      // Field names and types, then every value.
      const auto& header = attributes[0];
      ASSERT_EQ(reader.FieldCount(), static_cast<int32_t>(header.size()));
      for (int32_t f = 0; f < reader.FieldCount(); ++f) {
        const DbfFieldDesc& desc = reader.Dbf().Fields()[static_cast<size_t>(f)];
        EXPECT_EQ(desc.name + ":" + desc.type, header[static_cast<size_t>(f)]);
      }
      for (int32_t r = 0; r < reader.RecordCount(); ++r) {
        const auto& row = attributes[static_cast<size_t>(r) + 1];
        for (int32_t f = 0; f < reader.FieldCount(); ++f) {
          std::string value;
          ASSERT_EQ(reader.ReadStringAttribute(r, f, value), 0);
          const std::string want = Unescape(row[static_cast<size_t>(f)]);
          const char type = reader.Dbf().Fields()[static_cast<size_t>(f)].type;
          if ((type == 'N' || type == 'F') && !want.empty())
            EXPECT_EQ(strtod(value.c_str(), nullptr), strtod(want.c_str(), nullptr)) << r << "," << f;
          else
            EXPECT_EQ(value, want) << r << "," << f;
        }
      }
    }
  }
}

// Files of a small polygon set, written by the test writer.
struct SmallSet {
  SmallSet() {
    shapes.push_back(MakePolygon({RectangleRing(0, 0, 10, 10), RectangleRing(2, 2, 8, 8, false)}));
    shapes.push_back(MakePolygon({RectangleRing(20, 0, 30, 10)}));
    ShapeFileShape null;
    shapes.push_back(null);
    shapes.push_back(MakePolygon({RectangleRing(-5, -5, -1, -1)}));
    files = MakeShapeFiles(kShapePolygon, shapes);
    dbf = MakeDbf({{"NAME", 'C', 8, 0}}, {{"a"}, {"b"}, {"c"}, {"d"}});
  }
  void Write(const std::string& base) const { WriteShapeFiles(base, files, dbf); }
  std::vector<ShapeFileShape> shapes;
  ShapeFileBytes files;
  std::string dbf;
};

void PutBigAt(std::string& bytes, size_t at, uint32_t value) {
  WriteBigEndian32(reinterpret_cast<unsigned char*>(&bytes[at]), value);
}
void PutLittleAt(std::string& bytes, size_t at, int32_t value) {
  WriteLittleEndianS32(reinterpret_cast<unsigned char*>(&bytes[at]), value);
}

TEST(ShapeFileReader, DamagedRecordsGiveTheirCodes) {
  // Record 0 of SmallSet starts at byte 100 of the .shp; its index entry at
  // byte 100 of the .shx.
  struct Case {
    const char* what;
    void (*damage)(ShapeFileBytes&);
    int code;
  };
  const Case cases[] = {
      {"record number", [](ShapeFileBytes& f) { PutBigAt(f.shp, 100, 7); }, ERR_SHAPEFILE_CORRUPT_1},
      {"record length", [](ShapeFileBytes& f) { PutBigAt(f.shp, 104, 3); }, ERR_SHAPEFILE_CORRUPT_2},
      {"content under 4 bytes",
       [](ShapeFileBytes& f) { PutBigAt(f.shp, 104, 1); PutBigAt(f.shx, 104, 1); }, ERR_SHAPEFILE_CORRUPT_4},
      {"foreign type", [](ShapeFileBytes& f) { PutLittleAt(f.shp, 108, kShapePolyline); }, ERR_SHAPEFILE_CORRUPT_3},
      {"negative parts", [](ShapeFileBytes& f) { PutLittleAt(f.shp, 108 + 36, -1); }, ERR_SHAPEFILE_CORRUPT_6},
      {"negative points", [](ShapeFileBytes& f) { PutLittleAt(f.shp, 108 + 40, -5); }, ERR_SHAPEFILE_CORRUPT_6},
      {"huge parts", [](ShapeFileBytes& f) { PutLittleAt(f.shp, 108 + 36, 0x7FFFFFFF); }, ERR_SHAPEFILE_CORRUPT_6},
      {"huge points", [](ShapeFileBytes& f) { PutLittleAt(f.shp, 108 + 40, 0x40000000); }, ERR_SHAPEFILE_CORRUPT_6},
      {"offset past the end", [](ShapeFileBytes& f) { PutBigAt(f.shx, 100, 0x7FFFFFFF); }, ERR_MTFILE_PAST_END},
      {"offset word count over 2^31", [](ShapeFileBytes& f) { PutBigAt(f.shx, 100, 0xFFFFFFF0u); }, ERR_MTFILE_PAST_END},
      {"length past the end", [](ShapeFileBytes& f) { PutBigAt(f.shx, 104, 0xFFFFFFFFu); }, ERR_MTFILE_PAST_END},
  };
  const SmallSet set;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int openType : kOpenTypes) {
      ScratchDir dir;
      ShapeFileBytes files = set.files;
      c.damage(files);
      WriteShapeFiles(dir.File("s"), files, set.dbf);
      ShapeFileReader reader;
      std::string error;
      ASSERT_EQ(reader.Open(dir.File("s"), error, openType), 0) << error;
      ShapeFileShape shape;
      EXPECT_EQ(reader.ReadShape(0, shape), c.code);
      EXPECT_EQ(reader.ReadShape(1, shape), 0);
      EXPECT_EQ(reader.LoadShapesIntoMemory(), c.code);
      EXPECT_EQ(reader.LoadedShapeCount(), 0);
    }
  }
}

// Records of these types too short for what they claim are refused.
TEST(ShapeFileReader, ShortPointAndMultiPointRecordsAreRefused) {
  struct Case {
    const char* what;
    int32_t type;
    bool withM;
    int32_t points;
    int code;
  };
  const Case cases[] = {
      {"PointZ without M (28 bytes)", kShapePointZ, false, 1, ERR_SHAPEFILE_CORRUPT_5},
      {"MultiPointM with its points", kShapeMultiPointM, true, 3, 0},
      {"MultiPointM claiming more points than it holds", kShapeMultiPointM, true, 4, ERR_SHAPEFILE_CORRUPT_6},
      {"MultiPointZ claiming more points than it holds", kShapeMultiPointZ, true, 5, ERR_SHAPEFILE_CORRUPT_6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShapeFileShape shape;
    shape.shapeType = c.type;
    shape.points = {{1, 2}, {3, 4}, {5, 6}};
    shape.z = {7, 8, 9};
    shape.m = {10, 11, 12};
    ShapeFileBytes files = MakeShapeFiles(c.type, {shape}, c.withM);
    if (c.type == kShapeMultiPointM || c.type == kShapeMultiPointZ) PutLittleAt(files.shp, 108 + 36, c.points);
    ScratchDir dir;
    WriteShapeFiles(dir.File("m"), files, MakeDbf({{"N", 'C', 2, 0}}, {{"x"}}));
    ShapeFileReader reader;
    std::string error;
    ASSERT_EQ(reader.Open(dir.File("m.shp"), error), 0) << error;
    ShapeFileShape read;
    ASSERT_EQ(reader.ReadShape(0, read), c.code);
    if (c.code == 0) {  // the M range, which the oracle's digests leave out
      EXPECT_EQ(read.minM, 10);
      EXPECT_EQ(read.maxM, 12);
    }
  }
}

TEST(ShapeFileReader, OpenFindsTheFilesAndChecksTheHeaders) {
  const SmallSet set;
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // name, contents
    std::string open;
    int code;
    std::string errorStart;
  };
  ShapeFileBytes mismatch = set.files;
  WriteLittleEndian64(reinterpret_cast<unsigned char*>(&mismatch.shx[60]), 0x4059000000000000ull);
  ShapeFileBytes badCode = set.files;
  PutBigAt(badCode.shp, 0, 9995);
  ShapeFileBytes badVersion = set.files;
  PutLittleAt(badVersion.shp, 28, 1001);
  ShapeFileBytes badIndexCode = set.files;
  PutBigAt(badIndexCode.shx, 0, 1);
  const Case cases[] = {
      {"upper-case main file", {{"s.SHP", set.files.shp}, {"s.shx", set.files.shx}, {"s.dbf", set.dbf}}, "s", 0, ""},
      {"upper-case index and table", {{"s.shp", set.files.shp}, {"s.SHX", set.files.shx}, {"s.DBF", set.dbf}}, "s.shp", 0, ""},
      {"no table", {{"s.shp", set.files.shp}, {"s.shx", set.files.shx}}, "s.dbf", ERR_MTFILE_OPEN, ""},
      {"no index", {{"s.shp", set.files.shp}, {"s.dbf", set.dbf}}, "s", ERR_MTFILE_OPEN, ""},
      {"dotted base name given with its extension",
       {{"my.regions.shp", set.files.shp}, {"my.regions.shx", set.files.shx}, {"my.regions.dbf", set.dbf}},
       "my.regions.shp", 0, ""},
      {"dotted base name given without extension",
       {{"my.regions.shp", set.files.shp}, {"my.regions.shx", set.files.shx}, {"my.regions.dbf", set.dbf}},
       "my.regions", ERR_MTFILE_OPEN, ""},
      {"dot in a folder name",
       {{"maps.old/regions.shp", set.files.shp}, {"maps.old/regions.shx", set.files.shx}, {"maps.old/regions.dbf", set.dbf}},
       "maps.old/regions", 0, ""},
      {"headers differ", {{"s.shp", set.files.shp}, {"s.shx", mismatch.shx}, {"s.dbf", set.dbf}}, "s", ERR_SHAPEFILE_MISMATCH, "Shape files don't match. "},
      {"main file code", {{"s.shp", badCode.shp}, {"s.shx", set.files.shx}, {"s.dbf", set.dbf}}, "s", ERR_SHAPEFILE_INVALID_HEADER, "Invalid shape file. "},
      {"index file code", {{"s.shp", set.files.shp}, {"s.shx", badIndexCode.shx}, {"s.dbf", set.dbf}}, "s", ERR_SHAPEFILE_INVALID_HEADER, "Invalid shape file. "},
      {"version", {{"s.shp", badVersion.shp}, {"s.shx", set.files.shx}, {"s.dbf", set.dbf}}, "s", ERR_SHAPEFILE_UNSUPPORTED_VERSION, "Unsupported shape file version. "},
      {"main file shorter than its header", {{"s.shp", set.files.shp.substr(0, 60)}, {"s.shx", set.files.shx}, {"s.dbf", set.dbf}}, "s", ERR_MTFILE_PAST_END, "Shape file read error. "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    mkdir(dir.File("maps.old").c_str(), 0700);
    for (const auto& file : c.files) WriteWholeFile(dir.File(file.first), file.second);
    ShapeFileReader reader;
    std::string error;
    EXPECT_EQ(reader.Open(dir.File(c.open), error), c.code) << error;
    if (c.code == 0) {
      EXPECT_EQ(reader.RecordCount(), 4);
      EXPECT_EQ(reader.ShapeType(), kShapePolygon);
      EXPECT_EQ(reader.MinX(), -5);
      EXPECT_EQ(reader.MaxY(), 10);
    } else {
      EXPECT_EQ(error.rfind(c.errorStart, 0), 0u) << error;
      ShapeFileShape shape;
      EXPECT_NE(reader.ReadShape(0, shape), 0);
    }
  }
}

TEST(ShapeFileReader, IndexShorterThanItsHeaderHasNoRecords) {
  const SmallSet set;
  for (uint32_t words : {0u, 10u, 49u}) {
    ShapeFileBytes files = set.files;
    PutBigAt(files.shx, 24, words);
    PutBigAt(files.shp, 24, words);
    ScratchDir dir;
    WriteShapeFiles(dir.File("s"), files, set.dbf);
    ShapeFileReader reader;
    std::string error;
    ASSERT_EQ(reader.Open(dir.File("s"), error), 0) << error;
    EXPECT_EQ(reader.RecordCount(), 0);
    EXPECT_EQ(reader.LoadShapesIntoMemory(), 0);
  }
}

TEST(ShapeFileReader, RecordIndexesAndLoadedShapes) {
  const SmallSet set;
  ScratchDir dir;
  set.Write(dir.File("s"));
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("s"), error), 0) << error;
  ShapeFileShape shape;
  EXPECT_EQ(reader.ReadShape(4, shape), ERR_SHAPEFILE_INVALID_RECORD_NUM);
  EXPECT_EQ(reader.ReadShape(-1, shape), ERR_SHAPEFILE_INVALID_RECORD_NUM);
  EXPECT_EQ(reader.ReadShape(1).shapeType, 0);  // nothing loaded yet
  EXPECT_TRUE(reader.ReadShape(1).points.empty());

  ASSERT_EQ(reader.ReadShape(2, shape), 0);  // the null shape
  EXPECT_EQ(shape.shapeType, 0);
  EXPECT_TRUE(shape.points.empty());

  // boxOnly gives the box and nothing after it.
  ASSERT_EQ(reader.ReadShape(0, shape, true), 0);
  EXPECT_EQ(shape.maxX, 10);
  EXPECT_TRUE(shape.points.empty() && shape.parts.empty());

  ASSERT_EQ(reader.LoadShapesIntoMemory(), 0);
  reader.Close();  // loaded shapes need no file
  EXPECT_EQ(reader.ReadShape(0).parts.size(), 2u);
  ASSERT_EQ(reader.ReadShape(3, shape), 0);
  EXPECT_EQ(shape.minX, -5);
  std::string value;
  EXPECT_EQ(reader.ReadStringAttribute(3, "NAME", value), 0);  // the table stays open
  EXPECT_EQ(value, "d");

  // Opening another set forgets the loaded shapes and header of this one.
  std::vector<ShapeFileShape> one = {MakePolygon({RectangleRing(100, 100, 101, 101)})};
  WriteShapeSet(dir.File("t"), kShapePolygon, one);
  ASSERT_EQ(reader.Open(dir.File("t.shp"), error), 0) << error;
  EXPECT_EQ(reader.LoadedShapeCount(), 0);
  EXPECT_EQ(reader.RecordCount(), 1);
  ASSERT_EQ(reader.ReadShape(0, shape), 0);
  EXPECT_EQ(shape.minX, 100);
  EXPECT_EQ(reader.ReadShape(1, shape), ERR_SHAPEFILE_INVALID_RECORD_NUM);
}

TEST(ShapeFileReader, CacheKeepsTheTwentyMostRecentlyUsedShapes) {
  std::vector<ShapeFileShape> shapes;
  for (int i = 0; i < 25; ++i) shapes.push_back(MakePolygon({RectangleRing(i, 0, i + 1, 1)}));
  ScratchDir dir;
  WriteShapeSet(dir.File("c"), kShapePolygon, shapes);
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("c"), error), 0) << error;
  ShapeFileReader::ShapeCache cache;
  const ShapeFileShape* shape = nullptr;
  EXPECT_EQ(reader.ReadShape(-1, cache, shape), ERR_SHAPEFILE_INVALID_RECORD_NUM);
  EXPECT_EQ(reader.ReadShape(25, cache, shape), ERR_SHAPEFILE_INVALID_RECORD_NUM);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(reader.ReadShape(i, cache, shape), 0);
    EXPECT_EQ(shape->minX, i);
  }
  ASSERT_EQ(reader.ReadShape(0, cache, shape), 0);  // 0 is now the most recent; 1 the least
  ASSERT_EQ(reader.ReadShape(20, cache, shape), 0);  // evicts 1
  reader.Close();  // from here on only cached shapes can be had
  for (int i : {0, 2, 19, 20}) {
    ASSERT_EQ(reader.ReadShape(i, cache, shape), 0) << i;
    EXPECT_EQ(shape->minX, i);
  }
  // A failed miss frees the record it chose (the least recently used);
  // the others keep ages 1..19.
  EXPECT_EQ(reader.ReadShape(1, cache, shape), ERR_MTFILE_NOT_OPEN);
  std::vector<int> ages;
  for (const auto& rec : cache.records) ages.push_back(rec.age);
  std::sort(ages.begin(), ages.end());
  for (int i = 0; i < 20; ++i) EXPECT_EQ(ages[static_cast<size_t>(i)], i);
}

TEST(ShapeFileReader, HugePolygonsRoundTripThroughEveryHolding) {
  // Larger than any inline buffer: read through the heap in stream mode.
  std::vector<ShapeFilePoint> ring;
  for (int i = 0; i <= 100000; ++i) {
    const double a = -2 * M_PI * i / 100000;
    ring.push_back({std::cos(a) * 50, std::sin(a) * 50});
  }
  ring.back() = ring.front();
  const std::vector<ShapeFileShape> shapes = {MakePolygon({ring})};
  ScratchDir dir;
  WriteShapeSet(dir.File("h"), kShapePolygon, shapes);
  for (int openType : kOpenTypes) {
    ShapeFileReader reader;
    std::string error;
    ASSERT_EQ(reader.Open(dir.File("h"), error, openType), 0) << error;
    ShapeFileShape shape;
    ASSERT_EQ(reader.ReadShape(0, shape), 0);
    ASSERT_EQ(shape.points.size(), ring.size());
    EXPECT_EQ(DigestDoubles(&shape.points[0].x, 2 * ring.size()),
              DigestDoubles(&ring[0].x, 2 * ring.size()));
    EXPECT_TRUE(shape.IsPointInShape(0, 0));
    EXPECT_FALSE(shape.IsPointInShape(49.9, 49.9));
  }
}

// One record's shape and first attribute, as a comparable text.
std::string Answer(const ShapeFileReader& reader, int32_t index, ShapeFileShape& shape) {
  std::string value;
  const int code = reader.ReadShape(index, shape);
  const int attributeCode = reader.ReadStringAttribute(index, 0, value);
  const uint64_t digest = DigestDoubles(&shape.points.data()->x, 2 * shape.points.size());
  return std::to_string(code) + " " + std::to_string(shape.parts.size()) + " " +
         std::to_string(digest) + " " + std::to_string(attributeCode) + " " + value + " " +
         std::to_string(shape.IsPointInShape((shape.minY + shape.maxY) / 2, (shape.minX + shape.maxX) / 2));
}

// Many threads reading one reader get what one thread gets, in every
// holding (CI runs this under ThreadSanitizer).
TEST(ShapeFileReaderConcurrency, EightThreadsGetTheSerialAnswers) {
  for (const std::string& base : {kSource + "/samples/naturalearth/naturalearth_lowres",
                                 kSource + "/tests/data/shapes/real/nybb"}) {
    for (int openType : kOpenTypes) {
      SCOPED_TRACE(base + " " + std::to_string(openType));
      ShapeFileReader reader;
      std::string error;
      ASSERT_EQ(reader.Open(base, error, openType), 0) << error;
      std::vector<std::string> serial;
      ShapeFileShape shape;
      for (int32_t i = 0; i < reader.RecordCount(); ++i) serial.push_back(Answer(reader, i, shape));

      std::atomic<int> mismatches{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
          ShapeFileShape mine;
          ShapeFileReader::ShapeCache cache;
          const int32_t n = reader.RecordCount();
          for (int32_t k = 0; k < 2 * n; ++k) {
            const int32_t i = (k * (2 * t + 1) + t) % n;  // a different order per thread
            if (Answer(reader, i, mine) != serial[static_cast<size_t>(i)]) ++mismatches;
            const ShapeFileShape* cached = nullptr;
            if (reader.ReadShape(i, cache, cached) != 0 || cached->points.size() != mine.points.size())
              ++mismatches;
            if (reader.ReadShape(i, mine, true) != 0 || !mine.points.empty()) ++mismatches;
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
      EXPECT_EQ(mismatches.load(), 0);
    }
  }
}

}  // namespace
