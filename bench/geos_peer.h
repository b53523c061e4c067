// Natural Earth style shapes as GEOS multipolygons, for the benchmarks that
// compare with GEOS. Only built when libgeos_c was found.
#ifndef ZRUTILS_BENCH_GEOS_PEER_H
#define ZRUTILS_BENCH_GEOS_PEER_H

#include <geos_c.h>

#include <vector>

#include "shapes/shape_file_shape.h"

inline GEOSGeometry* GeosRing(GEOSContextHandle_t context, const ShapeFileShape& shape,
                              size_t part) {
  const size_t begin = static_cast<size_t>(shape.parts[part]);
  const size_t end = part + 1 < shape.parts.size() ? static_cast<size_t>(shape.parts[part + 1])
                                                  : shape.points.size();
  GEOSCoordSequence* sequence =
      GEOSCoordSeq_create_r(context, static_cast<unsigned>(end - begin), 2);
  for (size_t i = begin; i < end; ++i) {
    GEOSCoordSeq_setX_r(context, sequence, static_cast<unsigned>(i - begin), shape.points[i].x);
    GEOSCoordSeq_setY_r(context, sequence, static_cast<unsigned>(i - begin), shape.points[i].y);
  }
  return GEOSGeom_createLinearRing_r(context, sequence);
}

// Clockwise rings start polygons; counter-clockwise rings are holes of the
// outer ring before them.
inline GEOSGeometry* ToGeos(GEOSContextHandle_t context, const ShapeFileShape& shape) {
  std::vector<GEOSGeometry*> polygons;
  GEOSGeometry* shell = nullptr;
  std::vector<GEOSGeometry*> holes;
  const auto flush = [&] {
    if (shell == nullptr) return;
    polygons.push_back(GEOSGeom_createPolygon_r(context, shell, holes.data(),
                                                static_cast<unsigned>(holes.size())));
    shell = nullptr;
    holes.clear();
  };
  for (size_t part = 0; part < shape.parts.size(); ++part) {
    if (shape.GetRingDirection(static_cast<uint32_t>(part)) == -1 && shell != nullptr) {
      holes.push_back(GeosRing(context, shape, part));
    } else {
      flush();
      shell = GeosRing(context, shape, part);
    }
  }
  flush();
  return GEOSGeom_createCollection_r(context, GEOS_MULTIPOLYGON, polygons.data(),
                                     static_cast<unsigned>(polygons.size()));
}

#endif
