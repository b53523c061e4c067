#include "spatial/find_shape_containing_point.h"

int FindShapeContainingPoint(const GridOnShapeFile& grid, const ShapeFileReader& reader,
                             double latitude, double longitude, ShapeFileShape& shape,
                             std::vector<int>& candidates, int& recordIndex) {
  recordIndex = -1;
  if (longitude > reader.MaxX() || reader.MinX() > longitude || latitude > reader.MaxY() ||
      reader.MinY() > latitude) {
    return 0;
  }
  int inside = 0;
  candidates.clear();
  int code = grid.Search(latitude, longitude, inside, candidates);
  if (code != 0) return code;
  if (inside != 0) {
    recordIndex = inside - 1;
    return 0;
  }
  // Among several candidates, most are ruled out by their boxes, which cost
  // far less to read than the shapes.
  const bool boxFirst = candidates.size() > 1;
  for (int n : candidates) {
    if (boxFirst) {
      code = reader.ReadShape(n - 1, shape, true);
      if (code != 0) return code;
      if (!shape.IsPointInBounds(latitude, longitude)) continue;
    }
    code = reader.ReadShape(n - 1, shape, false);
    if (code != 0) return code;
    if (shape.IsPointInShape(latitude, longitude)) {
      recordIndex = n - 1;
      return 0;
    }
  }
  return 0;
}
