#include "text/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

TEST(LatLongDist, Numbers) {
  EXPECT_EQ(LatLongDist(51.5, -0.1, 51.5, -0.1), 0);
  EXPECT_NEAR(LatLongDist(0, 0, 0, 180), std::acos(-1.0) * 6371.0, 1e-9);
  EXPECT_NEAR(LatLongDist(0, 0, 0, -1), 111.19, 0.005);
  // London to Paris, about 343.5 km on the mean sphere.
  EXPECT_NEAR(LatLongDist(51.5074, -0.1278, 48.8566, 2.3522), 343.5, 0.5);
  // Nearly identical points: rounding may push the cosine over 1.
  EXPECT_GE(LatLongDist(10, 20, 10, 20.0000000001), 0);
}

// The text form into a buffer of size + 1 bytes, zero-filled to the end,
// with a guard byte after; a negative size writes nothing.
std::string TextDistance(const char* from, const char* to, int decimals, int size) {
  char buffer[64];
  memset(buffer, '#', sizeof buffer);
  LatLongDist(buffer, from, to, decimals, size);
  if (size >= 0) {
    EXPECT_EQ(buffer[size], '\0');
    for (int i = static_cast<int>(strlen(buffer)); i <= size; ++i) EXPECT_EQ(buffer[i], '\0');
    EXPECT_EQ(buffer[size + 1], '#');
    return buffer;
  }
  EXPECT_EQ(buffer[0], '#');
  return "<nothing>";
}

TEST(LatLongDist, Text) {
  const struct {
    const char *from, *to;
    int decimals, size;
    const char* out;
  } cases[] = {
      {"51.5,-0.1", "51.5,-0.1", 2, 20, "0.00"},
      {"0,0", "0,1", 3, 20, "111.195"},
      {"0;0", "0 1 trailing", 1, 20, "111.2"},  // any separator; text after is ignored
      {"0,0", "0,1", 9, 20, "111.194927"},      // at most 6 decimals
      {"51.5", "0,1", 2, 20, ""},              // one number, no separator
      {"51.5,", "0,1", 2, 20, ""},             // no second number
      {"0,0", "0,1", 3, 7, "111.195"},         // fits exactly
      {"0,0", "0,1", 3, 6, ""},                // would be cut: left empty
      {"0,0", "0,1", 3, 0, ""},
      {"0,0", "0,1", 3, -1, "<nothing>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TextDistance(c.from, c.to, c.decimals, c.size), c.out)
        << c.from << " " << c.to << " " << c.decimals << " " << c.size;
}

TEST(IntersectionOfLines, Cases) {
  const struct {
    const char* what;
    double x1, y1, x2, y2, x3, y3, x4, y4, tolerance, minAngle;
    bool found;
    double x, y;
    bool onFirst;
  } cases[] = {
      {"y = x and y = -x + 2", 0, 0, 1, 1, 0, 2, 1, 1, 1e-9, 0, true, 1, 1, true},
      {"too flat for 95 degrees", 0, 0, 1, 1, 0, 2, 1, 1, 1e-9, 95, false, 0, 0, false},
      {"first vertical", 0, 0, 0, 5, -1, 1, 1, 3, 1e-9, 0, true, 0, 2, true},
      {"second vertical", -1, 1, 1, 3, 0, 0, 0, 5, 1e-9, 0, true, 0, 2, true},
      {"both vertical", 0, 0, 0, 5, 1, 0, 1, 5, 1e-9, 0, false, 0, 0, false},
      {"first a point", 2, 2, 2, 2, 0, 0, 1, 1, 1e-9, 0, false, 0, 0, false},
      {"parallel", 0, 0, 1, 1, 0, 1, 1, 2, 1e-9, 0, false, 0, 0, false},
      {"beyond the first segment", 0, 0, 1, 0, 5, -1, 5, 1, 1e-9, 0, true, 5, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    double x = -99, y = -99;
    bool onFirst = !c.onFirst;
    EXPECT_EQ(IntersectionOfLines(c.x1, c.y1, c.x2, c.y2, c.x3, c.y3, c.x4, c.y4, c.tolerance,
                                  c.minAngle, x, y, &onFirst), c.found);
    if (c.found) {
      EXPECT_NEAR(x, c.x, 1e-12);
      EXPECT_NEAR(y, c.y, 1e-12);
      EXPECT_EQ(onFirst, c.onFirst);
    } else {
      EXPECT_TRUE(x == -99 && y == -99);  // unchanged
    }
  }
}

}  // namespace
