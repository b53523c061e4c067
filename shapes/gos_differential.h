// Shared by the builder's tests and benchmarks: synthetic tessellations and
// the brute-force answer the grid must agree with.
#ifndef ZRUTILS_SHAPES_GOS_DIFFERENTIAL_H
#define ZRUTILS_SHAPES_GOS_DIFFERENTIAL_H

#include <cmath>
#include <random>
#include <vector>

#include "shapes/grid_on_shape_file.h"
#include "shapes/shape_file_shape.h"

// An nx by ny tessellation of cells of size w by h from (x0, y0). Shared
// edges bend through a common, jittered midpoint, so shapes are concave
// and still tile the plane; every seventh tile has a square hole filled by
// an island record of its own, and every fifth single-ring tile is stored
// counter-clockwise.
inline std::vector<ShapeFileShape> MakeTessellation(int nx, int ny, double x0, double y0, double w,
                                                    double h, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  // Midpoints of the vertical edges (i, j) .. (i, j+1) and horizontal ones.
  std::vector<ShapeFilePoint> vertical((nx + 1) * ny), horizontal(nx * (ny + 1));
  for (int i = 0; i <= nx; ++i)
    for (int j = 0; j < ny; ++j)
      vertical[i * ny + j] = {x0 + i * w + (i == 0 || i == nx ? 0 : jitter(random) * w),
                              y0 + (j + 0.5) * h + jitter(random) * h * 0.5};
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j <= ny; ++j)
      horizontal[i * (ny + 1) + j] = {x0 + (i + 0.5) * w + jitter(random) * w * 0.5,
                                      y0 + j * h + (j == 0 || j == ny ? 0 : jitter(random) * h)};
  std::vector<ShapeFileShape> shapes;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) {
      const ShapeFilePoint sw{x0 + i * w, y0 + j * h}, nw{x0 + i * w, y0 + (j + 1) * h},
          ne{x0 + (i + 1) * w, y0 + (j + 1) * h}, se{x0 + (i + 1) * w, y0 + j * h};
      // Clockwise: up the west side, east along the north, down the east,
      // west along the south.
      std::vector<ShapeFilePoint> ring = {sw,
                                          vertical[i * ny + j],
                                          nw,
                                          horizontal[i * (ny + 1) + j + 1],
                                          ne,
                                          vertical[(i + 1) * ny + j],
                                          se,
                                          horizontal[i * (ny + 1) + j],
                                          sw};
      const int index = i * ny + j;
      std::vector<std::vector<ShapeFilePoint>> rings{ring};
      std::vector<ShapeFilePoint> hole;
      if (index % 7 == 3) {
        const double cx = x0 + (i + 0.5) * w, cy = y0 + (j + 0.5) * h;
        const double r = 0.12 * std::min(w, h);
        hole = {{cx - r, cy - r}, {cx + r, cy - r}, {cx + r, cy + r}, {cx - r, cy + r}, {cx - r, cy - r}};
        rings.push_back(hole);  // counter-clockwise: a hole
      } else if (index % 5 == 2) {
        rings[0].assign(ring.rbegin(), ring.rend());
      }
      ShapeFileShape shape;
      shape.shapeType = 5;
      for (const auto& r : rings) {
        shape.parts.push_back(static_cast<int32_t>(shape.points.size()));
        shape.points.insert(shape.points.end(), r.begin(), r.end());
      }
      shapes.push_back(shape);
      if (!hole.empty()) {
        ShapeFileShape island;
        island.shapeType = 5;
        island.parts = {0};
        island.points.assign(hole.rbegin(), hole.rend());
        shapes.push_back(island);
      }
    }
  for (auto& s : shapes) {
    s.minX = s.maxX = s.points[0].x;
    s.minY = s.maxY = s.points[0].y;
    for (const auto& p : s.points) {
      s.minX = std::min(s.minX, p.x);
      s.maxX = std::max(s.maxX, p.x);
      s.minY = std::min(s.minY, p.y);
      s.maxY = std::max(s.maxY, p.y);
    }
  }
  return shapes;
}

// The record the grid and the exact test name for a point, as the point
// query does it: an inside cell's shape untested, else the first candidate
// that holds the point; -1 for none, -2 for a search error.
inline int GridAnswer(const GridOnShapeFile& grid, const std::vector<ShapeFileShape>& shapes,
                      double latitude, double longitude, int& inside, std::vector<int>& candidates) {
  if (grid.Search(latitude, longitude, inside, candidates) != 0) return -2;
  if (inside != 0) return inside - 1;
  for (int c : candidates)
    if (shapes[c - 1].IsPointInShape(latitude, longitude)) return c - 1;
  return -1;
}

// The lowest record that holds the point, testing every one.
inline int BruteForceAnswer(const std::vector<ShapeFileShape>& shapes, double latitude,
                            double longitude) {
  for (size_t r = 0; r < shapes.size(); ++r)
    if (shapes[r].IsPointInShape(latitude, longitude)) return static_cast<int>(r);
  return -1;
}

#endif
