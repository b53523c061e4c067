// Geometry of ShapeFileShape: the boundary rules on small shapes, and the
// polygon test against GEOS on the Natural Earth countries.
#include "shapes/shape_file_shape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "shapes/shape_file_reader.h"
#include "text/geodesy.h"
#include "tests/shape_writer.h"

namespace {

// The clockwise unit square (0,0), (0,1), (1,1), (1,0), (0,0).
ShapeFileShape UnitSquare() { return MakePolygon({RectangleRing(0, 0, 1, 1)}); }

TEST(ShapeFileShape, RingDirections) {
  const ShapeFileShape square = UnitSquare();
  EXPECT_EQ(square.GetRingDirection(0), 1);
  EXPECT_EQ(square.GetRingDirection(1), 0);  // no such part
  EXPECT_EQ(MakePolygon({RectangleRing(0, 0, 1, 1, false)}).GetRingDirection(0), -1);
  EXPECT_EQ(MakePolygon({{{3, 4}, {3, 4}}}).GetRingDirection(0), 0);
  EXPECT_EQ(MakePolygon({{}}).GetRingDirection(0), 0);
}

TEST(ShapeFileShape, PointsOnAndAroundTheUnitSquare) {
  struct Case {
    double latitude, longitude;
    bool inside;
  };
  // The middle; the right and top edges hold, the left and bottom do not;
  // of the corners only the top right; above and left of it.
  const Case cases[] = {
      {0.5, 0.5, true},   {0.5, 1.0, true},   {0.5, 0.0, false}, {1.0, 0.5, true},
      {0.0, 0.5, false},  {1.0, 1.0, true},   {0.0, 0.0, false}, {0.0, 1.0, false},
      {1.0, 0.0, false},  {1.5, 0.5, false},  {0.5, -0.5, false},
  };
  const ShapeFileShape cw = UnitSquare();
  const ShapeFileShape ccw = MakePolygon({RectangleRing(0, 0, 1, 1, false)});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.latitude << ", " << c.longitude);
    EXPECT_EQ(cw.IsPointInShape(c.latitude, c.longitude), c.inside);
    EXPECT_EQ(cw.IsPointInShapePart(c.latitude, c.longitude, 0), c.inside);
    // One ring decides alone, whatever its direction.
    EXPECT_EQ(ccw.IsPointInShape(c.latitude, c.longitude), c.inside);
  }
  EXPECT_FALSE(cw.IsPointInShapePart(0.5, 0.5, 1));
  EXPECT_TRUE(cw.IsPointInBounds(0, 0));
  EXPECT_TRUE(cw.IsPointInBounds(1, 1));
  EXPECT_FALSE(cw.IsPointInBounds(1.0000001, 0.5));
}

TEST(ShapeFileShape, HolesAndSeveralOuterRings) {
  struct Case {
    const char* what;
    ShapeFileShape shape;
    double latitude, longitude;
    bool inside;
  };
  const ShapeFileShape withHole =
      MakePolygon({RectangleRing(0, 0, 10, 10), RectangleRing(2, 2, 8, 8, false)});
  const ShapeFileShape twoOuter = MakePolygon({RectangleRing(0, 0, 1, 1), RectangleRing(2, 0, 3, 1)});
  // An island in a lake: outer, hole, outer again inside the hole.
  const ShapeFileShape island = MakePolygon(
      {RectangleRing(0, 0, 10, 10), RectangleRing(2, 2, 8, 8, false), RectangleRing(4, 4, 6, 6)});
  const Case cases[] = {
      {"in the hole", withHole, 5, 5, false},        {"between the rings", withHole, 1, 5, true},
      {"outside both", withHole, 11, 5, false},      {"first outer", twoOuter, 0.5, 0.5, true},
      {"second outer", twoOuter, 0.5, 2.5, true},    {"between outers", twoOuter, 0.5, 1.5, false},
      {"island", island, 5, 5, true},                {"lake", island, 3, 3, false},
      {"null shape", ShapeFileShape(), 0, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.shape.IsPointInShape(c.latitude, c.longitude), c.inside) << c.what;
}

TEST(ShapeFileShape, PartBoxesAndMeridianCrossings) {
  const ShapeFileShape shape =
      MakePolygon({RectangleRing(0, 0, 10, 10), RectangleRing(2, 3, 8, 7, false)});
  double minX, maxX, minY, maxY;
  shape.GetPartBoundingBox(1, minX, maxX, minY, maxY);
  EXPECT_EQ(std::vector<double>({minX, maxX, minY, maxY}), std::vector<double>({2, 8, 3, 7}));
  shape.GetPartBoundingBox(2, minX, maxX, minY, maxY);  // no such part: the shape's box
  EXPECT_EQ(std::vector<double>({minX, maxX, minY, maxY}), std::vector<double>({0, 10, 0, 10}));

  const ShapeFileShape square = UnitSquare();
  EXPECT_EQ(square.GetLongitudeIntersections(0.5), std::vector<double>({1, 0}));
  EXPECT_TRUE(square.GetLongitudeIntersections(0).empty());  // open below
  EXPECT_TRUE(square.GetLongitudeIntersections(1.5).empty());
  EXPECT_EQ(shape.GetLongitudeIntersections(5), std::vector<double>({10, 0, 3, 7}));
}

TEST(ShapeFileShape, PartStartsOutsideThePointsAreClamped) {
  ShapeFileShape shape = MakePolygon({RectangleRing(0, 0, 1, 1)});
  struct Case {
    std::vector<int32_t> parts;
    bool inside;
  };
  const Case cases[] = {
      {{0, 1000}, true},           // second part starts past the end: empty
      {{-50}, true},               // a negative start reads from point 0
      {{3, 1}, true},              // descending: part 0 empty, part 1 all but the first point
      {{5}, false},                // starts at the end: empty
      {{INT32_MIN, INT32_MAX}, true},
  };
  for (const Case& c : cases) {
    shape.parts = c.parts;
    EXPECT_EQ(shape.IsPointInShape(0.5, 0.5), c.inside) << ::testing::PrintToString(c.parts);
    for (uint32_t part = 0; part < c.parts.size(); ++part) {
      double a, b, d, e;
      shape.GetPartBoundingBox(part, a, b, d, e);
      shape.GetRingDirection(part);
    }
    shape.GetLongitudeIntersections(0.5);
  }
}

// splitmix64, as the oracle script draws its points.
struct SplitMix64 {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
};

TEST(ShapeFileShape, HundredThousandPointsFallInTheCountriesGeosNames) {
  const std::string source = ZRU_SOURCE_DIR;
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(source + "/samples/naturalearth/naturalearth_lowres", error,
                        OpenPafLoadIntoMemory), 0) << error;
  ASSERT_EQ(reader.LoadShapesIntoMemory(), 0);
  std::ifstream answers(source + "/tests/data/shapes/oracle/naturalearth_points.txt");
  SplitMix64 random{20261207};
  int compared = 0, inside = 0;
  std::string answer;
  while (std::getline(answers, answer)) {
    const double longitude = -180 + 360 * random.Uniform();
    const double latitude = -90 + 180 * random.Uniform();
    if (answer == "s") continue;  // on an edge: GEOS and the crossing rule differ by design
    int found = -1;
    for (int32_t i = 0; i < reader.RecordCount() && found < 0; ++i)
      if (reader.ReadShape(i).IsPointInShape(latitude, longitude)) found = i;
    const std::string ours = found < 0 ? "-" : std::to_string(found);
    ASSERT_EQ(ours, answer) << "point " << compared << ": " << latitude << ", " << longitude;
    ++compared;
    inside += found >= 0;
  }
  EXPECT_EQ(compared, 100000);
  EXPECT_GT(inside, 25000);
}

// The distance to the edge against the plain projection onto every edge
// (the oracle passes over no edge), on the countries and points near and
// far from their edges: the same kilometres, to the last bit.
TEST(ShapeFileShape, DistanceToEdgeSkipsNoNearerEdge) {
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres",
                        error, OpenPafLoadIntoMemory), 0) << error;
  ASSERT_EQ(reader.LoadShapesIntoMemory(), 0);
  const auto oracle = [](const ShapeFileShape& shape, double latitude, double longitude) {
    const double mid = (shape.minY + shape.maxY) / 2;
    double k = LatLongDist(mid, 0.0, mid, 1.0) / 111.19492664455873;
    if (!(k > 0)) k = 1;
    double best = 40589641.0, nx = 360.0, ny = 360.0;
    for (size_t part = 0; part < shape.parts.size(); ++part) {
      const size_t begin = static_cast<size_t>(std::max<int32_t>(shape.parts[part], 0));
      size_t end = part + 1 < shape.parts.size() ? static_cast<size_t>(shape.parts[part + 1])
                                                 : shape.points.size();
      end = std::min(end, shape.points.size());
      for (size_t i = begin + 1; i < end; ++i) {
        const double ax = shape.points[i - 1].x * k, ay = shape.points[i - 1].y;
        const double bx = shape.points[i].x * k, by = shape.points[i].y;
        const double dx = bx - ax, dy = by - ay, length = dx * dx + dy * dy;
        double qx = ax, qy = ay;
        if (length != 0) {
          const double t = (dx * (longitude * k - ax) + dy * (latitude - ay)) / length;
          if (t > 1) {
            qx = bx, qy = by;
          } else if (t >= 0) {
            qx = ax + t * dx, qy = ay + t * dy;
          }
        }
        const double d = (qx - longitude * k) * (qx - longitude * k) + (qy - latitude) * (qy - latitude);
        if (d < best) best = d, nx = qx, ny = qy;
      }
    }
    return nx == 360.0 ? 0.0 : LatLongDist(ny, nx / k, latitude, longitude);
  };
  SplitMix64 random{77};
  ShapeEdgeRuns runs;
  for (int32_t r = 0; r < reader.RecordCount(); ++r) {
    const ShapeFileShape& shape = reader.ReadShape(r);
    shape.BuildEdgeRuns(runs);
    for (int i = 0; i < 40; ++i) {
      // Near a vertex, or anywhere around the shape's box.
      const ShapeFilePoint& v = shape.points[static_cast<size_t>(random.Uniform() * shape.points.size())];
      const double latitude = i % 2 ? v.y + (random.Uniform() - 0.5) * 0.01
                                    : shape.minY - 1 + (shape.maxY - shape.minY + 2) * random.Uniform();
      const double longitude = i % 2 ? v.x + (random.Uniform() - 0.5) * 0.01
                                     : shape.minX - 1 + (shape.maxX - shape.minX + 2) * random.Uniform();
      const double expected = oracle(shape, latitude, longitude);
      ASSERT_EQ(shape.DistanceToEdge(latitude, longitude), expected)
          << r << " " << latitude << ", " << longitude;
      ASSERT_EQ(shape.DistanceToEdge(latitude, longitude, runs), expected)
          << r << " " << latitude << ", " << longitude;
    }
  }
  // Equally near edges in many runs, visited out of order: a square whose
  // sides are cut into 40 edges each, a ring inside it and a part whose start
  // overlaps it (as in a damaged record); points at the centre, on the
  // diagonals and outside. The first of the nearest edges in file order
  // decides, as for the plain projection.
  ShapeFileShape square;
  square.shapeType = 5;
  const auto ring = [&square](double x0, double y0, double side, int steps) {
    square.parts.push_back(static_cast<int32_t>(square.points.size()));
    const double corners[5][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int c = 0; c < 4; ++c)
      for (int step = 0; step < steps; ++step) {
        const double t = static_cast<double>(step) / steps;
        square.points.push_back(
            {x0 + side * (corners[c][0] + t * (corners[c + 1][0] - corners[c][0])),
             y0 + side * (corners[c][1] + t * (corners[c + 1][1] - corners[c][1]))});
      }
    square.points.push_back({x0, y0});
  };
  ring(10, 40, 2, 40);
  ring(10.5, 40.5, 1, 7);
  square.parts.push_back(square.parts[0] + 30);  // overlaps the first ring
  square.minX = 10, square.maxX = 12, square.minY = 40, square.maxY = 42;
  square.BuildEdgeRuns(runs);
  ASSERT_GT(runs.runs.size(), 10u);
  for (const auto& point : std::vector<std::pair<double, double>>{
           {41, 11}, {40.25, 10.25}, {41.75, 11.75}, {41, 10.25}, {39, 11}, {41, 13}, {40.5, 10.5},
           {43, 13}, {41, 11.0000001}, {40.999999, 11}}) {
    ASSERT_EQ(square.DistanceToEdge(point.first, point.second, runs),
              oracle(square, point.first, point.second))
        << point.first << ", " << point.second;
    ASSERT_EQ(square.DistanceToEdge(point.first, point.second),
              oracle(square, point.first, point.second));
  }
  // Two vertices equally near (30, 0) in the plane but not on the earth:
  // (31, 1), reached by the first edge, and (29, 1), in the last run, whose
  // box lies nearer and is looked at first. The first edge must win.
  ShapeFileShape tie;
  tie.shapeType = 5;
  tie.parts = {0};
  tie.points = {{1, 31}, {2, 32}};
  for (int i = 0; i < 40; ++i) tie.points.push_back({5.0 + i, 40});
  tie.points.insert(tie.points.end(), {{2, 28}, {1, 29}, {3, 30}, {1, 31}});
  tie.minX = 1, tie.maxX = 44, tie.minY = 28, tie.maxY = 40;
  tie.BuildEdgeRuns(runs);
  ASSERT_EQ(tie.DistanceToEdge(30, 0, runs), oracle(tie, 30, 0));
  ASSERT_EQ(tie.DistanceToEdge(30, 0), oracle(tie, 30, 0));
  ASSERT_NE(oracle(tie, 30, 0), LatLongDist(29, 1, 30, 0));
}

}  // namespace
