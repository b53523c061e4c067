// Shapefile reading and point-in-polygon on the Natural Earth 110 m
// countries: records read per second from a stream, loaded and mapped
// reader (whole and box only, the cheap rejection read), and points
// classified per second by ShapeFileShape::IsPointInShape over all 177
// countries, side by side with GEOS prepared "contains" on the same points
// (when libgeos_c was found at configure time).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "shapes/shape_file_reader.h"

#ifdef ZRU_HAVE_GEOS
#include "bench/geos_peer.h"
#endif

namespace {

const std::string kCountries =
    std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

ShapeFileReader& Reader(int openType) {
  static ShapeFileReader readers[4];
  ShapeFileReader& reader = readers[openType];
  if (!reader.FileName().empty()) return reader;
  std::string error;
  if (reader.Open(kCountries, error, openType) != 0) abort();
  return reader;
}

void ReadShapes(benchmark::State& state, bool boxOnly) {
  const ShapeFileReader& reader = Reader(static_cast<int>(state.range(0)));
  ShapeFileShape shape;
  int64_t count = 0;
  for (auto _ : state) {
    for (int32_t i = 0; i < reader.RecordCount(); ++i) {
      if (reader.ReadShape(i, shape, boxOnly) != 0) abort();
      benchmark::DoNotOptimize(shape.points.data());
    }
    count += reader.RecordCount();
  }
  state.SetItemsProcessed(count);
}

void BM_ReadShape(benchmark::State& state) { ReadShapes(state, false); }
void BM_ReadShapeBoxOnly(benchmark::State& state) { ReadShapes(state, true); }
BENCHMARK(BM_ReadShape)->ArgName("openType")->Arg(OpenPafReadFile)->Arg(OpenPafLoadIntoMemory)->Arg(OpenPafFileMap);
BENCHMARK(BM_ReadShapeBoxOnly)->ArgName("openType")->Arg(OpenPafReadFile)->Arg(OpenPafLoadIntoMemory)->Arg(OpenPafFileMap);

// Loaded shapes read through ReadShape(int), as the lookup path does.
void BM_ReadLoadedShape(benchmark::State& state) {
  static ShapeFileReader reader;
  std::string error;
  if (reader.FileName().empty() &&
      (reader.Open(kCountries, error) != 0 || reader.LoadShapesIntoMemory() != 0))
    abort();
  int64_t count = 0;
  for (auto _ : state) {
    for (int32_t i = 0; i < reader.RecordCount(); ++i) benchmark::DoNotOptimize(&reader.ReadShape(i));
    count += reader.RecordCount();
  }
  state.SetItemsProcessed(count);
}
BENCHMARK(BM_ReadLoadedShape);

struct LatLong {
  double latitude, longitude;
};

// Points over the land-heavy band where the test is not trivially rejected.
const std::vector<LatLong>& Points() {
  static const std::vector<LatLong> points = [] {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> latitude(-60, 75), longitude(-180, 180);
    std::vector<LatLong> p(10000);
    for (LatLong& q : p) q = {latitude(random), longitude(random)};
    return p;
  }();
  return points;
}

const std::vector<ShapeFileShape>& Shapes() {
  static const std::vector<ShapeFileShape> shapes = [] {
    const ShapeFileReader& reader = Reader(OpenPafLoadIntoMemory);
    std::vector<ShapeFileShape> s(static_cast<size_t>(reader.RecordCount()));
    for (int32_t i = 0; i < reader.RecordCount(); ++i)
      if (reader.ReadShape(i, s[static_cast<size_t>(i)]) != 0) abort();
    return s;
  }();
  return shapes;
}

// Each point against every country, first hit wins.
void BM_IsPointInShape(benchmark::State& state) {
  const auto& shapes = Shapes();
  const auto& points = Points();
  int64_t hits = 0, count = 0;
  for (auto _ : state) {
    for (const LatLong& p : points) {
      for (const ShapeFileShape& shape : shapes) {
        if (shape.IsPointInShape(p.latitude, p.longitude)) {
          ++hits;
          break;
        }
      }
    }
    count += static_cast<int64_t>(points.size());
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(count);
  state.SetLabel("points classified");
}
BENCHMARK(BM_IsPointInShape);

#ifdef ZRU_HAVE_GEOS
GEOSContextHandle_t Geos() {
  static GEOSContextHandle_t context = GEOS_init_r();
  return context;
}

// The same points and countries through GEOS prepared geometries, with the
// same box rejection in front.
void BM_GeosPreparedContains(benchmark::State& state) {
  const auto& shapes = Shapes();
  const auto& points = Points();
  std::vector<const GEOSPreparedGeometry*> prepared;
  for (const ShapeFileShape& shape : shapes) prepared.push_back(GEOSPrepare_r(Geos(), ToGeos(Geos(), shape)));
  int64_t hits = 0, count = 0;
  for (auto _ : state) {
    for (const LatLong& p : points) {
      GEOSGeometry* point = GEOSGeom_createPointFromXY_r(Geos(), p.longitude, p.latitude);
      for (size_t i = 0; i < shapes.size(); ++i) {
        if (!shapes[i].IsPointInBounds(p.latitude, p.longitude)) continue;
        if (GEOSPreparedContains_r(Geos(), prepared[i], point) == 1) {
          ++hits;
          break;
        }
      }
      GEOSGeom_destroy_r(Geos(), point);
    }
    count += static_cast<int64_t>(points.size());
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(count);
  state.SetLabel("points classified");
}
BENCHMARK(BM_GeosPreparedContains);
#endif

}  // namespace

BENCHMARK_MAIN();
