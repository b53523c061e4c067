// ShapeFileShape: one shapefile record in memory, and its geometric tests.
//
// Coordinates are planar doubles as stored: x is the longitude, y the
// latitude; no projection and no wrap-around at +-180 degrees. Every test
// that takes a point takes it as (latitude, longitude), that is (y, x).
//
// Part i runs from the point named by parts[i] up to, not including, the
// point named by parts[i + 1]; the last part runs to the end of points.
// Part starts are kept as the file stored them; the geometry clamps them to
// the point array, so a corrupt record can never make a test read outside
// it (a part whose end lies before its start is empty).
//
// All geometric operations are const and allocation-free (but
// GetLongitudeIntersections, which returns a new array): any number of
// threads may run them on one shape at once.
#ifndef ZRUTILS_SHAPES_SHAPE_FILE_SHAPE_H
#define ZRUTILS_SHAPES_SHAPE_FILE_SHAPE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/export.h"
#include "shapes/shape_file_point.h"

class ShapeFileShape;

// Boxes over runs of consecutive edges of one shape, in the plane in which
// ShapeFileShape::DistanceToEdge measures, so that the distance passes over
// whole runs that lie farther than the nearest edge found. Made by
// ShapeFileShape::BuildEdgeRuns for a shape asked about many times, and
// valid while the shape is not changed. Threads: read by any number at once.
struct ShapeEdgeRuns {
  // Edges per run: few enough that the run holding the nearest edge costs
  // little, many enough that the boxes are few.
  static constexpr uint32_t kEdges = 16;
  struct Run {
    double minX, maxX, minY, maxY;  // x scaled as in the plane
    uint32_t first, last;           // the edges ending at points [first, last)
    uint64_t order;                 // the place of the first edge in the shape's edge order
  };
  double scale = 1;  // the plane's length of a degree of longitude, in degrees of latitude
  std::vector<Run> runs;
  // Boxes over kEdges consecutive runs each (first and last name runs, not
  // points), so that a shape of thousands of edges is not looked at run by
  // run either.
  std::vector<Run> groups;
};

class ZRU_EXPORT ShapeFileShape {
 public:
  // Ring directions.
  static constexpr int32_t kClockwise = 1;          // an outer ring
  static constexpr int32_t kCounterClockwise = -1;  // a hole
  static constexpr int32_t kNoArea = 0;

  // Sets the type and all eight ranges to 0 and empties the five arrays
  // (keeping their capacity, so a shape read again and again into the same
  // object allocates only when a larger record arrives).
  void Clear();

  // 1 clockwise, -1 counter-clockwise, 0 no area (or no such part), from
  // the sign of the shoelace sum over the part's points.
  int32_t GetRingDirection(uint32_t part) const;

  // minY <= latitude <= maxY and minX <= longitude <= maxX.
  bool IsPointInBounds(double latitude, double longitude) const;

  // The crossing test over the stored edges of one part: a vertical ray
  // towards increasing y, edges open at their lower x and closed at their
  // upper x. On an axis-aligned square the top and right edges are inside,
  // the bottom and left edges outside. False for no such part.
  bool IsPointInShapePart(double latitude, double longitude, uint32_t part) const;

  // The polygon test with holes: rejected outside the box; a single part
  // decides alone whatever its direction; otherwise the point is inside when
  // more outer rings (direction 1 or 0) than holes (direction -1) contain it.
  bool IsPointInShape(double latitude, double longitude) const;

  // Kilometres from the point to the nearest stored edge, measured along
  // the earth from the nearest point found in a local plane whose
  // longitudes are scaled by the length of a degree at the shape's
  // mid-latitude (unscaled at the poles, where that length is 0). 0 for a
  // shape without edges.
  double DistanceToEdge(double latitude, double longitude) const;
  // The same kilometres, to the last bit, looking first at the run whose
  // box lies nearest and passing over runs whose boxes lie farther than the
  // nearest edge found; runs must have been built from this shape.
  double DistanceToEdge(double latitude, double longitude, const ShapeEdgeRuns& runs) const;
  // Makes the runs of this shape's edges (reusing the array's capacity).
  void BuildEdgeRuns(ShapeEdgeRuns& runs) const;

  // The bounding box of one part's points; the shape's own box for no such
  // part or a part without points.
  void GetPartBoundingBox(uint32_t part, double& minX, double& maxX, double& minY,
                          double& maxY) const;

  // The latitudes at which the meridian crosses the shape's stored edges,
  // under the same half-open rule as the crossing test, in edge order,
  // unsorted and with duplicates kept.
  std::vector<double> GetLongitudeIntersections(double longitude) const;

  int32_t shapeType = 0;  // 0 for a null shape
  // The record's box, in this order; all 0 for point types.
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  double minZ = 0, maxZ = 0;  // types with Z
  double minM = 0, maxM = 0;  // types with M, when the record holds them
  std::vector<int32_t> parts;      // index in points of each part's first point
  std::vector<int32_t> partTypes;  // MultiPatch only
  std::vector<ShapeFilePoint> points;
  std::vector<double> z;  // one per point, types with Z
  std::vector<double> m;  // one per point, types with M when present

 private:
  // The point range [begin, end) of a part, clamped to points; false for no
  // such part.
  bool PartRange(uint32_t part, const ShapeFilePoint*& begin, const ShapeFilePoint*& end) const;
  // The edges of a part, as the point indexes [first, last) of their ends.
  void PartEdges(size_t part, size_t& first, size_t& last) const;
  // The length of a degree of longitude at the shape's mid-latitude, in
  // degrees of latitude (1 at the poles).
  double DistanceScale() const;
};

#endif
