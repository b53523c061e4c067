// The grid index builder through real files: the format byte for byte, the
// sweep against the literal cell-by-cell builder, the grid's answers against
// a brute-force search, and failed builds.
#include "shapes/create_grid_on_shape.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <thread>
#include <random>
#include <string>
#include <vector>

#include "shapes/gos_differential.h"
#include "shapes/grid_build_stages.h"
#include "shapes/grid_column.h"
#include "shapes/gos_literal_builder.h"
#include "shapes/gos_test_files.h"
#include "shapes/shape_file_reader.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

const std::string kNaturalEarth =
    std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

CreateGridOnShapeOptions WithPrecision(int precision, const std::string& filter = "") {
  CreateGridOnShapeOptions options;
  options.precision = precision;
  options.filter = filter;
  return options;
}

// The file the literal builder makes from the same tracing: every column
// resolved cell by cell, lists found by scanning the list area.
std::string LiteralGos(const std::string& path, CreateGridOnShapeOptions options) {
  GridTrace trace;
  EXPECT_EQ(TraceGridOnShape(path, options, trace), 0);
  GridOnShapeFileMetaData h = trace.header;
  std::vector<GosBlock> unused;
  std::string data, table;
  std::vector<RangeMarking> previous;
  uint32_t entry = 0;
  for (int32_t k = 0; k < h.columnCount; ++k) {
    const std::vector<RangeMarking> ranges = LiteralResolveColumn(trace.markings[k]);
    if (k == 0 || ranges != previous) {
      entry = static_cast<uint32_t>(data.size());
      const auto block = LiteralEncodeColumn(ranges, h.coordinateWidth, h.shapeCodeWidth);
      data.append(block.begin(), block.end());
      previous = ranges;
    }
    unsigned char bytes[4];
    WriteBigEndian32(bytes, entry);
    table.append(reinterpret_cast<char*>(bytes), 4);
  }
  h.dataOffset = kGosHeaderSize + 4 * h.columnCount;
  std::string header(kGosHeaderSize, '\0');
  h.Encode(reinterpret_cast<unsigned char*>(&header[0]));
  return header + table + data;
}

// shape with its part starts replaced, as a damaged file might store them.
ShapeFileShape PartStarts(ShapeFileShape shape, const std::vector<int32_t>& parts) {
  shape.parts = parts;
  return shape;
}

TEST(CreateGridOnShape, UnitSquareByteForByte) {
  ScratchDir dir;
  const std::string base = dir.File("square");
  WriteShapeSet(base, 5, {MakePolygon({RectangleRing(10, 50, 11, 51)})});
  ASSERT_EQ(CreateGridOnShape(base + ".shp", WithPrecision(1)), 0);
  EXPECT_EQ(ReadWholeFile(base + ".gos"), UnitSquareGos());
  // Nothing but the set and its index is left behind.
  EXPECT_EQ(FolderListing(dir.path()),
            (std::vector<std::string>{"square.dbf", "square.gos", "square.shp", "square.shx"}));
  // The same input and options give the same bytes.
  ASSERT_EQ(CreateGridOnShape(base, WithPrecision(1)), 0);
  EXPECT_EQ(ReadWholeFile(base + ".gos"), UnitSquareGos());
}

// What one point query finds in a freshly built index.
struct Query {
  double latitude, longitude;
  int inside;
  std::vector<int> candidates;
};

void ExpectQueries(const std::string& gos, const std::vector<Query>& queries, const char* what) {
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(grid.Open(gos.c_str(), error, OpenPafLoadIntoMemory), 0) << what;
  for (const Query& q : queries) {
    int inside;
    std::vector<int> candidates;
    ASSERT_EQ(grid.Search(q.latitude, q.longitude, inside, candidates), 0);
    EXPECT_EQ(inside, q.inside) << what << " at " << q.latitude << ", " << q.longitude;
    EXPECT_EQ(candidates, q.candidates) << what << " at " << q.latitude << ", " << q.longitude;
  }
}

TEST(CreateGridOnShape, CellVerdictsOfSmallSets) {
  struct Case {
    const char* what;
    std::vector<ShapeFileShape> shapes;
    int precision;
    std::vector<Query> queries;
  } cases[] = {
      {"square with a hole",
       {MakePolygon({RectangleRing(0, 0, 10, 10), RectangleRing(3, 3, 7, 7, false)})},
       0,
       {{1.5, 1.5, 1, {}}, {5.5, 5.5, 0, {}}, {3.5, 5.5, 0, {1}}, {6.5, 4.5, 0, {}}, {7.5, 5.5, 0, {1}}}},
      {"two overlapping squares",
       {MakePolygon({RectangleRing(0, 0, 6, 6)}), MakePolygon({RectangleRing(3, 3, 9, 9)})},
       0,
       {{4.5, 4.5, 0, {1, 2}}, {1.5, 1.5, 1, {}}, {7.5, 7.5, 2, {}}}},
      {"ring inside one column",
       {MakePolygon({RectangleRing(0, 0, 10, 10)}), MakePolygon({RectangleRing(2.2, 2.2, 2.6, 5.4)})},
       0,
       {{3.5, 2.5, 0, {1, 2}}, {6.5, 2.5, 1, {}}}},
      // A lone counter-clockwise ring still holds its inner points, so its
      // inner cells must name it as the clockwise ring does.
      {"counter-clockwise ring", {MakePolygon({RectangleRing(0, 0, 10, 10, false)})}, 0,
       {{5.5, 5.5, 1, {}}, {0.5, 5.5, 0, {1}}, {5.5, 0.5, 0, {1}}}},
      // Part starts outside the points are clamped by the point test (a
      // second part past the end is empty, a negative start reads from
      // point 0): the index must name the shapes that test finds inside.
      {"part starts outside the points",
       {PartStarts(MakePolygon({RectangleRing(0, 0, 10, 10)}), {0, 1000}),
        PartStarts(MakePolygon({RectangleRing(20, 0, 30, 10)}), {-50})},
       0,
       {{5.5, 5.5, 1, {}}, {5.5, 25.5, 2, {}}, {0.5, 5.5, 0, {1}}}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string base = dir.File("set");
    WriteShapeSet(base, 5, c.shapes);
    ASSERT_EQ(CreateGridOnShape(base, WithPrecision(c.precision)), 0) << c.what;
    ExpectQueries(base + ".gos", c.queries, c.what);
    EXPECT_EQ(ReadWholeFile(base + ".gos"), LiteralGos(base, WithPrecision(c.precision))) << c.what;
  }
}

TEST(CreateGridOnShape, ShapesBeyondTheHeaderBoxStayInTheGrid) {
  // The header promises a box of 0..5 by 0..5 but the record reaches 10:
  // its points are moved onto the box's edge, so every marking lands in a
  // column of the grid and every row fits the header's width.
  ScratchDir dir;
  const std::string base = dir.File("set");
  WriteShapeSet(base, 5, {MakePolygon({RectangleRing(0, 0, 10, 10)})});
  for (const char* ext : {".shp", ".shx"}) {
    std::string bytes = ReadWholeFile(base + ext);
    for (size_t at : {52, 60})  // Xmax, Ymax
      WriteLittleEndian64(reinterpret_cast<unsigned char*>(&bytes[at]), 0x4014000000000000ull);
    WriteWholeFile(base + ext, bytes);
  }
  ASSERT_EQ(CreateGridOnShape(base, WithPrecision(0)), 0);
  EXPECT_EQ(ReadWholeFile(base + ".gos"), LiteralGos(base, WithPrecision(0)));
  ExpectQueries(base + ".gos",
                {{2.5, 2.5, 1, {}}, {5.5, 2.5, 0, {1}}, {7.5, 2.5, 0, {}}, {2.5, 7.5, 0, {}}},
                "box smaller than the shape");
}

TEST(CreateGridOnShape, SharesEqualColumnsAndListTails) {
  // Three shapes crossing one row in every column of a wide band: the
  // inner columns are equal and share one block; the row crossed by all
  // three lists them once, the rows crossed by two reuse tails (the literal
  // builder shares blocks and finds tails by its own scan).
  ScratchDir dir;
  const std::string base = dir.File("band");
  WriteShapeSet(base, 5,
                {MakePolygon({RectangleRing(0, 0.5, 10, 3.5)}), MakePolygon({RectangleRing(0, 2.5, 10, 5.5)}),
                 MakePolygon({RectangleRing(0, 2.2, 10, 2.8)})});
  ASSERT_EQ(CreateGridOnShape(base, WithPrecision(0)), 0);
  EXPECT_EQ(ReadWholeFile(base + ".gos"), LiteralGos(base, WithPrecision(0)));
  ExpectQueries(base + ".gos",
                {{2.5, 4.5, 0, {1, 2, 3}}, {3.5, 4.5, 0, {1, 2}}, {1.5, 4.5, 1, {}}, {4.5, 4.5, 2, {}}},
                "band");
}

TEST(CreateGridOnShape, OptionsAndRefusals) {
  ScratchDir dir;
  const std::string base = dir.File("set");
  const std::vector<ShapeFileShape> squares = {MakePolygon({RectangleRing(0, 0, 4, 4)}),
                                               MakePolygon({RectangleRing(4, 0, 8, 4)})};
  WriteShapeSet(base, 5, squares);  // NAME is "shape0", "shape1"
  struct Case {
    const char* what;
    CreateGridOnShapeOptions options;
    int expected;
    std::vector<Query> queries;
  };
  CreateGridOnShapeOptions included = WithPrecision(0);
  included.includeField = "NAME";
  included.includeValues = {"shape0", "other"};
  CreateGridOnShapeOptions wider = WithPrecision(0);
  wider.widerShapeCodes = true;
  Case cases[] = {
      {"filter", WithPrecision(0, "name=shape1"), 0, {{1.5, 1.5, 0, {}}, {1.5, 5.5, 2, {}}}},
      {"filter on an empty value", WithPrecision(0, "NAME="), ERR_GOS_NOTHING_INDEXED, {}},
      {"filter without a name", WithPrecision(0, "=shape1"), ERR_GOS_INVALID_FILTER, {}},
      {"filter without '='", WithPrecision(0, "NAME"), ERR_GOS_INVALID_FILTER, {}},
      {"include list", included, 0, {{1.5, 1.5, 1, {}}, {1.5, 5.5, 0, {}}}},
      {"wider codes", wider, 0, {{1.5, 1.5, 1, {}}, {1.5, 5.5, 2, {}}}},
      {"too fine for the box", WithPrecision(-1), 0, {{1.5, 1.5, 1, {}}}},
  };
  for (const Case& c : cases) {
    unlink((base + ".gos").c_str());
    EXPECT_EQ(CreateGridOnShape(base, c.options), c.expected) << c.what;
    if (c.expected != 0) {
      EXPECT_EQ(ReadWholeFile(base + ".gos"), "<missing>") << c.what;
      continue;
    }
    ExpectQueries(base + ".gos", c.queries, c.what);
  }
  GridOnShapeFile grid;
  std::string error;
  ASSERT_EQ(CreateGridOnShape(base, wider), 0);
  ASSERT_EQ(grid.Open((base + ".gos").c_str(), error, OpenPafReadFile), 0);
  EXPECT_EQ(grid.Header().shapeCodeWidth, 2);
  EXPECT_EQ(grid.Header().coordinateWidth, 1);

  // The automatic precision never goes beyond what the reader accepts:
  // 2 records on a box of 8e-8 square degrees ask for precision 4 (capped).
  WriteShapeSet(base, 5, {MakePolygon({RectangleRing(0, 0, 0.0004, 0.0002)}),
                          MakePolygon({RectangleRing(0.0004, 0, 0.0008, 0.0002)})});
  ASSERT_EQ(CreateGridOnShape(base, WithPrecision(-2)), 0);
  ASSERT_EQ(grid.Open((base + ".gos").c_str(), error, OpenPafReadFile), 0);
  EXPECT_EQ(grid.Header().precision, 4);
  // All row cells 0: one byte each, not none.
  EXPECT_EQ(grid.Header().coordinateWidth, 1);

  struct Refusal {
    const char* what;
    int type;
    std::vector<ShapeFileShape> shapes;
    int precision;
    int expected;
  } refusals[] = {
      {"narrower than a column", 5, {MakePolygon({RectangleRing(0.1, 0, 0.5, 1)})}, 0, ERR_GOS_TOO_FEW_COLUMNS},
      {"polylines", 3, {MakePolygon({RectangleRing(0, 0, 4, 4)})}, 0, ERR_GOS_NOT_POLYGONS},
      {"too many columns", 5, {MakePolygon({RectangleRing(-180, 0, 900, 1)})}, 4, ERR_GOS_TOO_MANY_COLUMNS},
      {"cells beyond 32 bits", 5, {MakePolygon({RectangleRing(0, 0, 5, 3e6)})}, 4, ERR_GOS_TOO_MANY_COLUMNS},
  };
  for (const Refusal& r : refusals) {
    unlink((base + ".gos").c_str());
    std::vector<ShapeFileShape> shapes = r.shapes;
    for (auto& s : shapes) s.shapeType = r.type;
    WriteShapeSet(base, r.type, shapes);
    EXPECT_EQ(CreateGridOnShape(base, WithPrecision(r.precision)), r.expected) << r.what;
    EXPECT_EQ(ReadWholeFile(base + ".gos"), "<missing>") << r.what;
  }
  EXPECT_EQ(CreateGridOnShape(dir.File("missing"), WithPrecision(0)), ERR_MTFILE_OPEN);
}

// Random points, cell corners, vertices, edge points and edge midpoints.
std::vector<ShapeFilePoint> ProbePoints(const std::vector<ShapeFileShape>& shapes, double minX,
                                        double maxX, double minY, double maxY, int precision,
                                        size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> ux(minX - 0.5, maxX + 0.5), uy(minY - 0.5, maxY + 0.5);
  std::uniform_real_distribution<double> unit(0, 1);
  const double scale = std::pow(10.0, precision);
  std::vector<ShapeFilePoint> points;
  for (size_t i = 0; i < count; ++i) {
    points.push_back({ux(random), uy(random)});
    points.push_back({std::floor(ux(random) * scale) / scale, std::floor(uy(random) * scale) / scale});
    const ShapeFileShape* chosen = &shapes[random() % shapes.size()];
    while (chosen->points.size() < 2) chosen = &shapes[random() % shapes.size()];
    const ShapeFileShape& s = *chosen;
    const size_t v = random() % (s.points.size() - 1);
    const ShapeFilePoint a = s.points[v], b = s.points[v + 1];
    const double t = unit(random);
    points.push_back(a);
    points.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
    points.push_back({(a.x + b.x) / 2, (a.y + b.y) / 2});
  }
  return points;
}

// Counts the points where the grid and the brute force disagree.
int Disagreements(const std::string& base, const std::vector<ShapeFileShape>& shapes,
                  const std::vector<ShapeFilePoint>& points) {
  GridOnShapeFile grid;
  std::string error;
  EXPECT_EQ(grid.Open((base + ".gos").c_str(), error, OpenPafFileMap), 0);
  int inside, wrong = 0;
  std::vector<int> candidates;
  for (const ShapeFilePoint& p : points) {
    const int expected = BruteForceAnswer(shapes, p.y, p.x);
    const int got = GridAnswer(grid, shapes, p.y, p.x, inside, candidates);
    if (got != expected && ++wrong <= 5)
      ADD_FAILURE() << base << " at (" << p.y << ", " << p.x << "): grid " << got << ", brute force "
                    << expected;
  }
  return wrong;
}

TEST(CreateGridOnShape, AnswersAgreeWithBruteForceOnNaturalEarth) {
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(kNaturalEarth, error, OpenPafLoadIntoMemory), 0) << error;
  ASSERT_EQ(reader.LoadShapesIntoMemory(), 0);
  std::vector<ShapeFileShape> shapes, african;
  for (int32_t r = 0; r < reader.RecordCount(); ++r) {
    shapes.push_back(reader.ReadShape(r));
    std::string continent;
    ASSERT_EQ(reader.ReadStringAttribute(r, "continent", continent), 0);
    // Records of other continents stay as empty shapes: the indexes stay
    // the same, and they hold no point.
    african.push_back(continent == "Africa" ? shapes.back() : ShapeFileShape());
  }
  ScratchDir dir;
  const std::string base = dir.File("ne");
  CopyShapeSet(kNaturalEarth, base);
  for (int precision = 0; precision <= 3; ++precision) {
    // The whole world up to precision 1; at 2 and 3, to keep the test quick
    // (the tessellations test the finer precisions too), the 51 countries
    // of Africa, through the filter.
    const bool africa = precision >= 2;
    const auto options = WithPrecision(precision, africa ? "continent=Africa" : "");
    ASSERT_EQ(CreateGridOnShape(base, options), 0);
    if (precision == 0) {  // the tessellations compare the finer precisions
      EXPECT_EQ(ReadWholeFile(base + ".gos"), LiteralGos(base, options));
    }
    const auto& indexed = africa ? african : shapes;
    const auto points = africa ? ProbePoints(indexed, -20, 52, -35, 38, precision, 400, 12 + precision)
                               : ProbePoints(indexed, -180, 180, -90, 83.6, precision, 400, 11 + precision);
    EXPECT_EQ(Disagreements(base, indexed, points), 0) << "precision " << precision;
  }
}

TEST(CreateGridOnShape, AnswersAgreeWithBruteForceOnTessellations) {
  ScratchDir dir;
  const std::string base = dir.File("tiles");
  struct Case {
    int nx, ny;
    double x0, y0, w, h;
    int precision;
  } cases[] = {
      {6, 5, -3.0, 40.0, 1.0, 1.0, 0}, {8, 8, 10.05, -5.3, 0.37, 0.29, 1},
      {12, 9, -0.6, 51.2, 0.1, 0.07, 2}, {10, 10, 179.0, 80.0, 0.02, 0.01, 3},
  };
  for (const Case& c : cases) {
    const auto shapes = MakeTessellation(c.nx, c.ny, c.x0, c.y0, c.w, c.h, 3 + c.precision);
    WriteShapeSet(base, 5, shapes);
    ASSERT_EQ(CreateGridOnShape(base, WithPrecision(c.precision)), 0);
    EXPECT_EQ(ReadWholeFile(base + ".gos"), LiteralGos(base, WithPrecision(c.precision)))
        << "precision " << c.precision;
    const auto points = ProbePoints(shapes, c.x0, c.x0 + c.nx * c.w, c.y0, c.y0 + c.ny * c.h,
                                    c.precision, 1500, 5 + c.precision);
    EXPECT_EQ(Disagreements(base, shapes, points), 0) << "precision " << c.precision;
  }
}

TEST(CreateGridOnShape, FailedBuildsLeaveNoIndex) {
  ScratchDir dir;
  const std::string base = dir.File("ne");
  CopyShapeSet(kNaturalEarth, base);
  const std::vector<std::string> set = FolderListing(dir.path());

  // The file system refuses the size the index needs: every write after the
  // limit fails (the signal that would end the process is ignored).
  EXPECT_EQ(ExitStatusUnderFileSizeLimit(20000, [&] {
              return CreateGridOnShape(base, WithPrecision(2)) == ERR_GOS_CREATE ? 0 : 1;
            }),
            0);
  EXPECT_EQ(FolderListing(dir.path()), set);

  // An index that cannot take its place (a folder stands there).
  mkdir((base + ".gos").c_str(), 0777);
  WriteWholeFile(base + ".gos/keep", "x");
  EXPECT_EQ(CreateGridOnShape(base, WithPrecision(0)), ERR_GOS_CREATE);
  EXPECT_EQ(FolderListing(dir.path()), (std::vector<std::string>{"ne.dbf", "ne.gos", "ne.shp", "ne.shx"}));
  unlink((base + ".gos/keep").c_str());
  rmdir((base + ".gos").c_str());

  // A folder the builder may not write to, as a user other than root.
  const std::string locked = dir.File("locked");
  mkdir(locked.c_str(), 0777);
  CopyShapeSet(kNaturalEarth, locked + "/ne");
  chmod(dir.path().c_str(), 0755);
  chmod(locked.c_str(), 0555);
  EXPECT_EQ(ExitStatusInChild([&] {
              if (geteuid() == 0 && setuid(65534) != 0) return 2;
              return CreateGridOnShape(locked + "/ne", WithPrecision(0)) == ERR_GOS_CREATE ? 0 : 1;
            }),
            0);
  chmod(locked.c_str(), 0777);
  EXPECT_EQ(FolderListing(locked), (std::vector<std::string>{"ne.dbf", "ne.shp", "ne.shx"}));
}

TEST(CreateGridOnShapeConcurrency, TwoBuildsOfOneIndexUnderTwoSpellings) {
  ScratchDir dir;
  const std::string base = dir.File("tiles");
  WriteShapeSet(base, 5, MakeTessellation(20, 20, 0, 0, 0.05, 0.05, 9));
  ASSERT_EQ(CreateGridOnShape(base, WithPrecision(2)), 0);
  const std::string expected = ReadWholeFile(base + ".gos");
  unlink((base + ".gos").c_str());
  for (int round = 0; round < 5; ++round) {
    int results[2] = {-1, -1};
    std::thread a([&] { results[0] = CreateGridOnShape(base + ".shp", WithPrecision(2)); });
    std::thread b([&] { results[1] = CreateGridOnShape(dir.path() + "/./tiles", WithPrecision(2)); });
    a.join();
    b.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(ReadWholeFile(base + ".gos"), expected);
    EXPECT_EQ(FolderListing(dir.path()),
              (std::vector<std::string>{"tiles.dbf", "tiles.gos", "tiles.shp", "tiles.shx"}));
  }
}

// The column sweep against the literal cell-by-cell resolution, on random
// markings of overlapping shapes.
TEST(GridColumn, SweepMatchesCellByCellResolution) {
  std::mt19937 random(7);
  GosColumnEncoder encoder(2, 1);
  std::vector<unsigned char> block;
  std::vector<RangeMarking> ranges;
  for (int round = 0; round < 3000; ++round) {
    std::vector<TraceMarking> markings;
    const int count = static_cast<int>(random() % 12);
    const int height = 1 + static_cast<int>(random() % 40);
    const int shapes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
      const int32_t lo = static_cast<int32_t>(random() % height) - 20;
      const int32_t hi = lo + static_cast<int32_t>(random() % 4);
      const char type = "ULULP"[random() % 5];
      markings.emplace_back(1 + static_cast<int32_t>(random() % shapes), type, lo, hi);
    }
    const std::vector<RangeMarking> expected = LiteralResolveColumn(markings);
    ResolveColumn(markings, ranges);
    ASSERT_EQ(ranges, expected) << "round " << round;
    ASSERT_EQ(encoder.Encode(ranges, block), 0);
    ASSERT_EQ(block, LiteralEncodeColumn(expected, 2, 1)) << "round " << round;
  }
}

TEST(GridColumn, ListOffsetsMustFitTheShapeCodeWidth) {
  // Lists of three codes and their 0 take four entries: the 65th starts at
  // entry 256, beyond one byte.
  std::vector<RangeMarking> ranges;
  for (int32_t i = 0; i < 65; ++i) {
    RangeMarking r;
    r.code = 'P';
    r.from = r.to = i;
    r.shapes = {1 + 3 * i, 2 + 3 * i, 3 + 3 * i};
    ranges.push_back(r);
  }
  std::vector<unsigned char> block;
  GosColumnEncoder encoder(1, 1);
  EXPECT_EQ(encoder.Encode(ranges, block), 28103);
  ranges.pop_back();
  EXPECT_EQ(encoder.Encode(ranges, block), 0);
}

}  // namespace
