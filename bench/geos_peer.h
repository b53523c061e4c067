// Natural Earth style shapes as GEOS multipolygons, for the benchmarks that
// compare with GEOS. Only built when libgeos_c was found.
#ifndef ZRUTILS_BENCH_GEOS_PEER_H
#define ZRUTILS_BENCH_GEOS_PEER_H

#include <geos_c.h>

#include <cstdint>
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

// One thread's GEOS objects: an STRtree of the shapes' envelopes and a
// prepared geometry of each (prepared geometries build their indexes
// lazily, so each thread has its own).
struct GeosIndex {
  GEOSContextHandle_t context = GEOS_init_r();
  std::vector<GEOSGeometry*> geometries;
  std::vector<const GEOSPreparedGeometry*> prepared;
  GEOSSTRtree* tree = nullptr;

  void Build(const std::vector<ShapeFileShape>& shapes) {
    tree = GEOSSTRtree_create_r(context, 10);
    for (size_t i = 0; i < shapes.size(); ++i) {
      geometries.push_back(ToGeos(context, shapes[i]));
      prepared.push_back(GEOSPrepare_r(context, geometries.back()));
      // Items are record numbers + 1, so that none is a null pointer.
      GEOSSTRtree_insert_r(context, tree, geometries.back(),
                           reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)));
    }
  }

  // The first record, in the tree's order, whose shape contains the point;
  // -1 for none (the C interface cannot stop a query early).
  int Answer(double latitude, double longitude) const {
    struct Query {
      const GeosIndex* index;
      const GEOSGeometry* point;
      int record;
    };
    GEOSGeometry* point = GEOSGeom_createPointFromXY_r(context, longitude, latitude);
    Query q{this, point, -1};
    GEOSSTRtree_query_r(
        context, tree, point,
        [](void* item, void* data) {
          Query& q = *static_cast<Query*>(data);
          if (q.record != -1) return;
          const int record = static_cast<int>(reinterpret_cast<intptr_t>(item)) - 1;
          if (GEOSPreparedContains_r(q.index->context, q.index->prepared[static_cast<size_t>(record)],
                                     q.point) == 1)
            q.record = record;
        },
        &q);
    GEOSGeom_destroy_r(context, point);
    return q.record;
  }
};

#endif
