// ShapeFilePoint: one shapefile vertex. For geographic data x is the
// longitude and y the latitude. Laid out as the file stores a point (two
// doubles, x then y), so a run of points can be copied in one go on a
// little-endian host.
#ifndef ZRUTILS_SHAPES_SHAPE_FILE_POINT_H
#define ZRUTILS_SHAPES_SHAPE_FILE_POINT_H

struct ShapeFilePoint {
  double x = 0;
  double y = 0;
};

static_assert(sizeof(ShapeFilePoint) == 16, "a point is two packed doubles");

#endif
