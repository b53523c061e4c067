// zruPointInShape end to end on small synthetic shape files (parameters,
// answers, codes, and the registry behaviour callers can see) and on a copy
// of the Natural Earth countries, whose table is the oracle of the answers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "foundation/file_system.h"
#include "shapes/gos_differential.h"
#include "shapes/grid_on_shape_file.h"
#include "shapes/shape_file_reader.h"
#include "spatial/shape_file_registry.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"
#include "text/geodesy.h"

namespace {

struct Result {
  int status;
  std::string answer;
};

// The buffer holds the parameters and size + 1 bytes; bytes past the
// answer's NUL are checked to stay as they were.
Result Call(const std::string& parameters, int size = 256) {
  std::vector<char> buffer(std::max<size_t>(parameters.size(), static_cast<size_t>(size)) + 1 + 8,
                           '#');
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  Result result;
  result.status = zruPointInShape(buffer.data(), size);
  result.answer = buffer.data();
  EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), "########") << parameters;
  return result;
}

// The status and answer of one call.
void Expect(const std::string& parameters, int status, const std::string& answer,
            int size = 256) {
  const Result r = Call(parameters, size);
  EXPECT_EQ(r.status, status) << parameters;
  EXPECT_EQ(r.answer, answer) << parameters;
}

int GosPrecision(const std::string& path) {
  GridOnShapeFile grid;
  std::string error;
  if (grid.Open(path.c_str(), error, OpenPafReadFile) != 0) return -1;
  return grid.Header().precision;
}

class PointInShape : public testing::Test {
 protected:
  void SetUp() override {
    regions_ = dir_.File("regions.shp");
    WriteRegions(dir_.File("regions"));
    ShapeFileShape line = MakePolygon({{{10, 40}, {14, 42}}});
    line.shapeType = 3;
    WriteShapeSet(dir_.File("lines"), 3, {line});
    WriteShapeFiles(dir_.File("nofields"),
                    MakeShapeFiles(5, {MakePolygon({RectangleRing(10, 40, 12, 42)})}), MakeDbf({}, {{}}));
  }
  void TearDown() override {
    EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  }

  // North and South side by side; West, small, far off, so that the header
  // box holds a wide gap that is in no shape.
  static void WriteRegions(const std::string& base) {
    WriteShapeFiles(base,
                    MakeShapeFiles(5, {MakePolygon({RectangleRing(10, 40, 12, 42)}),
                                       MakePolygon({RectangleRing(12, 40, 14, 42)}),
                                       MakePolygon({RectangleRing(-0.2, 51, -0.05, 52)})}),
                    MakeDbf({{"NAME", 'C', 10}, {"CODE", 'C', 4}},
                            {{"North", "12"}, {"South", "7"}, {"West", "3"}}));
  }

  ScratchDir dir_;
  ScopedConfigFile config_{dir_.File("config")};
  std::string regions_;
};

TEST_F(PointInShape, ParametersAndValidation) {
  struct {
    std::string parameters;
    std::string answer;
    int status;
  } const cases[] = {
      {"LatLong=41,11;", "ShapeFile not provided", -1},
      {"ShapeFile= , ,;LatLong=41,11;", "ShapeFile not provided", -1},
      {"ShapeFile=x.shp;LatLong=0,-1.5;", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;LatLong=51.5;", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;LatLong=51.5 ,-0.1;", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;LatLong=51.5,-0.1", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;\tLatLong=51.5,-0.1;", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;LatLong=abc;", "Missing or invalid LatLong", -2},
      {"ShapeFile=x.shp;LatLong=51.5,-0.1;", "ERR_SHAPEFILE_NOT_OPEN", 28021},
      {"shapefile=x.shp;LATLONG=51.5, -0.1;Bogus=1;", "ERR_SHAPEFILE_NOT_OPEN", 28021},
      {"ShapeFile=x.shp;LatLong=nan,5;", "ERR_SHAPEFILE_NOT_OPEN", 28021},
      {"IndexPrecision=x;ShapeFile=x.shp;", "Invalid Precision", -2},
      {"IndexPrecision=;ShapeFile=x.shp;", "Invalid Precision", -2},
      {"IndexPrecision= 0;ShapeFile=x.shp;", "Invalid Precision", -2},
      {"IndexPrecision=99999999999999999999;ShapeFile=x.shp;LatLong=1,2;",
       "ERR_SHAPEFILE_NOT_OPEN", 28021},
      {"CloseShapeFile=a.shp;ShapeFile=b.shp;LatLong=1,2;", "", 0},
      {"CloseShapeFile=;", "", 0},
  };
  for (const auto& c : cases) Expect(c.parameters, c.status, c.answer);
}

TEST_F(PointInShape, QueriesAnswerFieldsNamesAndDistance) {
  ASSERT_EQ(Call("OpenShapeFile=" + regions_ + ";").status, 0);
  const std::string file = "ShapeFile=" + regions_ + ";";
  const int north = static_cast<int>(LatLongDist(41.2, 10, 41.2, 10.5) * 1000.0);
  struct {
    std::string parameters;
    std::string answer;
    int status;
  } const cases[] = {
      {"LatLong=41,11;", "North|12", 0},
      {"LatLong=41,13;", "South|7", 0},
      {"LatLong=41,11;Fields=code,NAME;", "12|North", 0},
      {"LatLong=41,11;Fields=code,NAME;FieldNames=True;", "code=12|NAME=North", 0},
      {"LatLong=41,11;FieldNames=true;", "NAME=North|CODE=12", 0},
      {"LatLong=41,11;FieldNames=yes;", "North|12", 0},
      {"LatLong=41,11;Fields=COLOUR;", "ERR_SHAPEFILE_NO_SUCH_FIELD", 28020},
      {"LatLong=41.2,10.5;Distance=TRUE;", "North|12|" + std::to_string(north) + "m", 0},
      {"LatLong=41.2,10.5;Distance=True;Fields=CODE;", "12|" + std::to_string(north) + "m", 0},
      // The separator may be followed by spaces, which strtod skips.
      {"LatLong=51.5, -0.1;", "West|3", 0},
      {"LatLong=51.5,-0.1;", "West|3", 0},
      {"LatLong=45,5;", "", 0},     // inside the header box, in no shape
      {"LatLong=60,11;", "", 0},    // outside the header box
      {"LatLong=-41,-11;", "", 0},
      {"LatLong=nan,11;", "", 0},   // NaN lies nowhere
      {"LatLong=41,nan;Distance=True;", "", 0},
      {"LatLong=41,inf;", "", 0},
  };
  for (const auto& c : cases) Expect(file + c.parameters, c.status, c.answer);
  EXPECT_EQ(Call("CloseShapeFile=" + regions_ + ";").status, 0);

  // A table without fields: the distance follows an empty answer.
  const std::string bare = dir_.File("nofields.shp");
  ASSERT_EQ(Call("OpenShapeFile=" + bare + ";").status, 0);
  const int metres = static_cast<int>(LatLongDist(41, 11.9, 41, 12) * 1000.0);
  Expect("ShapeFile=" + bare + ";LatLong=41,11.9;Distance=True;", 0,
         "|" + std::to_string(metres) + "m");
  Expect("ShapeFile=" + bare + ";LatLong=41,11.9;", 0, "");
  EXPECT_EQ(Call("CloseShapeFile=" + bare + ";").status, 0);
}

TEST_F(PointInShape, BufferSizes) {
  ASSERT_EQ(Call("OpenShapeFile=" + regions_ + ";").status, 0);
  const std::string query = "ShapeFile=" + regions_ + ";LatLong=41,11;";  // "North|12"
  Expect(query, -6, "Buffer t", 8);  // the message is cut to size
  Expect(query, 0, "North|12", 9);
  Expect("ShapeFile=" + regions_ + ";LatLong=45,5;", -6, "", 0);
  // A negative size or no buffer writes nothing at all.
  std::string text = query;
  EXPECT_EQ(zruPointInShape(text.data(), -1), -2);
  EXPECT_EQ(text, query);
  EXPECT_EQ(zruPointInShape(nullptr, 10), -2);
  EXPECT_EQ(Call("CloseShapeFile=" + regions_ + ";").status, 0);
}

TEST_F(PointInShape, SecondFileOfLinesIsCheckedOnlyWhenReached) {
  // Without an index beside it, a file of lines cannot be opened.
  const std::string lines = dir_.File("lines.shp");
  Expect("OpenShapeFile=" + lines + ";", 28104, "Error 28104 in openning shape file");
  // With an index in place (any index: it is not compared with the file).
  ASSERT_EQ(Call("OpenShapeFile=" + regions_ + ";").status, 0);
  WriteWholeFile(dir_.File("lines.gos"), ReadWholeFile(dir_.File("regions.gos")));
  ASSERT_EQ(Call("OpenShapeFile=" + lines + ";").status, 0);
  const std::string both = "ShapeFile=" + regions_ + "," + lines + ";";
  EXPECT_EQ(Call(both + "LatLong=41,11;").answer, "North|12");
  Expect(both + "LatLong=45,5;", -5, "Shape File not supported");
  EXPECT_EQ(Call("ShapeFile=" + lines + "," + regions_ + ";LatLong=41,11;").status, -5);
  EXPECT_EQ(Call("CloseShapeFile=" + regions_ + "," + lines + ";").status, 0);
}

TEST_F(PointInShape, OpenCountsBalanceCloses) {
  const std::string open = "OpenShapeFile=" + regions_ + ";";
  const std::string close = "CloseShapeFile=" + regions_ + ";";
  const std::string query = "ShapeFile=" + regions_ + ";LatLong=41,11;";
  ASSERT_EQ(Call(open).status, 0);
  ASSERT_EQ(Call(open).status, 0);
  EXPECT_EQ(Call(close).status, 0);
  EXPECT_EQ(Call(query).answer, "North|12");
  EXPECT_EQ(Call(close).status, 0);
  Expect(query, 28021, "ERR_SHAPEFILE_NOT_OPEN");
  EXPECT_EQ(Call(close).status, 0);  // not open: silent
  // The last list counts and open mode stays set.
  ASSERT_EQ(Call("OpenShapeFile=nowhere.shp;ShapeFile=" + regions_ + ";").status, 0);
  std::vector<ShapeFileSnapshot> entries = SnapshotShapeFilesForTesting();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, regions_);
  EXPECT_EQ(entries[0].openCount, 1);
  EXPECT_EQ(entries[0].usageCount, 0);
  EXPECT_EQ(Call(close).status, 0);
}

TEST_F(PointInShape, FailedOpenCanBeRetried) {
  const std::string base = dir_.File("later");
  const std::string open = "OpenShapeFile=" + base + ".shp;";
  Result missing = Call(open);
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.answer.find("later"), std::string::npos) << missing.answer;
  EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  WriteRegions(base);
  EXPECT_EQ(Call(open).status, 0);
  EXPECT_EQ(Call("ShapeFile=" + base + ".shp;LatLong=41,13;").answer, "South|7");
  EXPECT_EQ(Call("CloseShapeFile=" + base + ".shp;").status, 0);
}

TEST_F(PointInShape, IndexNamesAndPrecision) {
  ASSERT_EQ(mkdir(dir_.File("maps").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("maps.old").c_str(), 0755), 0);
  WriteRegions(dir_.File("maps/regions"));
  WriteRegions(dir_.File("maps.old/regions"));
  struct {
    std::string name, index, precisionItem;
    int precision;
  } const cases[] = {
      {dir_.File("maps/regions.shp"), dir_.File("maps/regions.gos"), "IndexPrecision=0;", 0},
      {dir_.File("maps.old/regions"), dir_.File("maps.old/regions.gos"), "", 3},
      {regions_, dir_.File("regions.gos"), "HigherIndexPrecision=True;IndexPrecision=2;", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Call(c.precisionItem + "OpenShapeFile=" + c.name + ";").status, 0);
    EXPECT_EQ(GosPrecision(c.index), c.precision);
    EXPECT_EQ(Call("ShapeFile=" + c.name + ";LatLong=41,11;").answer, "North|12");
    EXPECT_EQ(Call("CloseShapeFile=" + c.name + ";").status, 0);
    // An index in place is used as it is, whatever precision is asked for.
    const std::string bytes = ReadWholeFile(c.index);
    ASSERT_EQ(Call("IndexPrecision=1;OpenShapeFile=" + c.name + ";").status, 0);
    EXPECT_EQ(ReadWholeFile(c.index), bytes);
    EXPECT_EQ(Call("CloseShapeFile=" + c.name + ";").status, 0);
  }
}

TEST_F(PointInShape, FileMapSettingSelectsOpenMode) {
  struct {
    const char* config;
    int mode;
  } const steps[] = {
      {"ZRUtils/FileMapShapeFiles=yes\n", OpenPafFileMap},
      {"ZRUtils/FileMapShapeFiles=NO\n", OpenPafReadFile},
      {"ZRUtils/FileMapShapeFiles=Sometimes\n", OpenPafReadFile},
      {"ZRUtils/Other=Yes\n", OpenPafReadFile},
      {"zrutils/filemapshapefiles=Yes\n", OpenPafFileMap},
      {"ZRUtils/FileMapShapeFiles=Default\n", OpenPafFileMap},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.config);
    WriteWholeFile(dir_.File("config"), step.config);
    ASSERT_EQ(Call("OpenShapeFile=" + regions_ + ";").status, 0);
    EXPECT_EQ(FileMapShapeFilesMode(), step.mode);
    EXPECT_EQ(Call("ShapeFile=" + regions_ + ";LatLong=41,11;").answer, "North|12");
    EXPECT_EQ(Call("CloseShapeFile=" + regions_ + ";").status, 0);
  }
}

TEST(PointInShapeAnswer, FieldListsAgreeWithTheTable) {
  ScratchDir dir;
  const std::string base = dir.File("ne");
  CopyShapeSet(std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres", base);
  const std::string file = base + ".shp";
  ASSERT_EQ(Call("OpenShapeFile=" + file + ";IndexPrecision=1;").status, 0);

  // London lies in the United Kingdom; the oracle is the table.
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(base, error), 0);
  int uk = -1;
  std::string value, all, allNamed;
  for (int32_t r = 0; r < reader.RecordCount() && uk < 0; ++r)
    if (reader.ReadStringAttribute(r, "name", value) == 0 && value == "United Kingdom") uk = r;
  ASSERT_GE(uk, 0);
  for (int32_t k = 0; k < reader.FieldCount(); ++k) {
    ASSERT_EQ(reader.ReadStringAttribute(uk, k, value), 0);
    all += (k > 0 ? "|" : "") + value;
    allNamed += (k > 0 ? "|" : "") + reader.FieldName(k) + "=" + value;
  }
  std::string iso, continent;
  reader.ReadStringAttribute(uk, "iso_a3", iso);
  reader.ReadStringAttribute(uk, "continent", continent);

  const std::string at = "ShapeFile= , " + file + " ,;LatLong=51.507222,-0.1275;";
  const struct {
    std::string items;
    int status;
    std::string answer;
  } cases[] = {
      {"", 0, all},
      {"Fields=;", 0, all},
      {"FieldNames=true;", 0, allNamed},
      {"Fields=ISO_A3 , continent;", 0, iso + "|" + continent},
      {"Fields= Iso_A3,continent ;FieldNames=True;", 0, "Iso_A3=" + iso + "|continent=" + continent},
      {"Fields=name,,iso_a3;", 28020, "ERR_SHAPEFILE_NO_SUCH_FIELD"},
      {"Fields= ;", 28020, "ERR_SHAPEFILE_NO_SUCH_FIELD"},
      {"Fields=name;Distance=True;", 0, "United Kingdom|81923m"},
  };
  for (const auto& c : cases) Expect(at + c.items, c.status, c.answer);
  EXPECT_EQ(Call("CloseShapeFile= " + file + " ,x;").status, 0);
  EXPECT_EQ(Call(at).status, 28021);
}

// Answers are kept per thread: a file closed and written anew under the
// same name answers from its new table, and field lists that differ only
// in spelling or in FieldNames keep their own answers.
TEST_F(PointInShape, KeptAnswersFollowTheFileAndTheFieldList) {
  const std::string at = "ShapeFile=" + regions_ + ";LatLong=41,11;";
  for (int round = 0; round < 2; ++round) {
    const std::string name = round == 0 ? "North" : "Nord";
    ASSERT_EQ(Call("OpenShapeFile=" + regions_ + ";").status, 0);
    for (int repeat = 0; repeat < 2; ++repeat) {
      Expect(at, 0, name + "|12");
      Expect(at + "Fields=code,NAME;", 0, "12|" + name);
      Expect(at + "Fields=code,name;FieldNames=True;", 0, "code=12|name=" + name);
      Expect(at + "Fields=CODE,name;FieldNames=True;", 0, "CODE=12|name=" + name);
      Expect(at + "Fields=name;Distance=True;", 0, name + "|83919m");
      Expect(at + "Fields=nothing;", 28020, "ERR_SHAPEFILE_NO_SUCH_FIELD");
    }
    EXPECT_EQ(Call("CloseShapeFile=" + regions_ + ";").status, 0);
    WriteShapeFiles(dir_.File("regions"),
                    MakeShapeFiles(5, {MakePolygon({RectangleRing(10, 40, 12, 42)}),
                                       MakePolygon({RectangleRing(12, 40, 14, 42)}),
                                       MakePolygon({RectangleRing(-0.2, 51, -0.05, 52)})}),
                    MakeDbf({{"NAME", 'C', 10}, {"CODE", 'C', 4}},
                            {{"Nord", "12"}, {"Sud", "7"}, {"Ouest", "3"}}));
  }
}

// Parcels in projected metres (x about 500,000, y about 4,000,000): the
// default precision 3 would need cells beyond 32 bits, so the index is
// built at the precision the parcels' density chooses; every answer agrees with a
// brute-force search. A precision asked for that cannot be built says why.
TEST_F(PointInShape, ProjectedCoordinatesOpenWithTheDefaults) {
  const auto parcels = MakeTessellation(100, 100, 500000.0, 4000000.0, 30.0, 25.0, 31);
  ASSERT_GT(parcels.size(), 10000u);
  WriteShapeSet(dir_.File("parcels"), 5, parcels);
  WriteShapeSet(dir_.File("copy"), 5, parcels);
  const std::string name = dir_.File("parcels.shp");
  Expect("OpenShapeFile=" + name + ";", 0, "");
  EXPECT_EQ(GosPrecision(dir_.File("parcels.gos")), 0);

  std::mt19937 random(5);
  std::uniform_real_distribution<double> x(499990.0, 503010.0), y(3999990.0, 4002510.0);
  int wrong = 0;
  for (int i = 0; i < 3000; ++i) {
    // Random points, and vertices, which lie on shared edges.
    double px = x(random), py = y(random);
    if (i % 4 == 0) {
      const ShapeFileShape& s = parcels[random() % parcels.size()];
      px = s.points[random() % s.points.size()].x;
      py = s.points[random() % s.points.size()].y;
    }
    char at[96];
    snprintf(at, sizeof at, "LatLong=%.17g,%.17g;", py, px);
    const int expected = BruteForceAnswer(parcels, py, px);
    const Result r = Call("ShapeFile=" + name + ";" + at + "Fields=NAME;");
    const std::string answer = expected < 0 ? "" : "shape" + std::to_string(expected);
    if ((r.status != 0 || r.answer != answer) && ++wrong <= 5)
      ADD_FAILURE() << at << " gives " << r.status << " " << r.answer << ", expected " << answer;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Call("CloseShapeFile=" + name + ";").status, 0);

  const std::string copy = dir_.File("copy.shp");
  Expect("IndexPrecision=3;OpenShapeFile=" + copy + ";", 28110,
         "IndexPrecision 3 cannot index this file: its box (x 500000 to 503000, y 4000000 to "
         "4002500) gives over 10,000,000 columns or cells beyond 32 bits at that precision; "
         "precisions that would work: 0, 1, 2", 512);
  EXPECT_FALSE(FileExists_(dir_.File("copy.gos").c_str()));
  EXPECT_EQ(Call("CloseShapeFile=" + copy + ";").status, 0);
}

}  // namespace
