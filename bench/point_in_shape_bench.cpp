// The headline benchmark: point-in-shape queries on the Natural Earth 110 m
// countries, over 1,000,000 points spread uniformly over the globe's
// latitude/longitude rectangle and 1,000,000 points on land (drawn the same
// way and kept when the library finds them in a country), with the files
// open in the registry memory-mapped ("FileMapShapeFiles=Yes") and streamed
// ("No"), on 1 and 2 threads:
//
// Each of our runs is made at two index precisions: 3, the one the registry
// builds when the opening call names none (cells of 0.001 degrees, a 91 MB
// index for this set, so nearly every lookup misses the caches), and 1
// (0.1 degree cells, 0.7 MB, about the spacing of this set's vertices).
//
//   BM_Lookup     the bare lookup path: box, grid search, exact test of the
//                 candidates (FindShapeContainingPoint)
//   BM_EndToEnd   zruPointInShape calls: parameter parse, registry, lookup,
//                 attribute read and answer text ("Fields=name", and with
//                 distance:1 also "Distance=True")
//   BM_Geos       GEOS STRtree of the countries' envelopes and prepared
//                 "contains" of the candidates (one set of GEOS objects per
//                 thread: prepared geometries build their indexes lazily)
//   BM_Boost      Boost.Geometry R*-tree of the envelopes and "within"
//
// Rates are items per second of wall time, all threads together. Before the
// runs, the three answers for every point are compared and the
// disagreements printed, with the point's distance (in degrees) to the
// boundaries of the countries involved.
//
// Coordinates are kept to 6 decimals, so the numbers in the parameter texts
// are exactly the doubles the bare lookups get.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "spatial/find_shape_containing_point.h"
#include "spatial/shape_file_registry.h"
#include "tests/test_support.h"

#ifdef ZRU_HAVE_GEOS
#include "bench/geos_peer.h"
#endif
#ifdef ZRU_HAVE_BOOST_GEOMETRY
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <boost/geometry/index/rtree.hpp>
#endif

namespace {

constexpr size_t kPointCount = 1000000;
constexpr int kMaxThreads = 2;
constexpr int kNone = -1;

const std::string kNaturalEarth =
    std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

struct LatLong {
  double latitude, longitude;
};

// One point set with each peer's answer (zero-based record or kNone) and the
// parameter text "LatLong=...;" of each point.
struct PointSet {
  const char* name;
  std::vector<LatLong> points;
  std::vector<int> ours, geos, boost;
  std::vector<std::string> latLong;
};

constexpr int kPrecisions[2] = {3, 1};

struct World {
  ScratchDir scratch;
  // By precision (kPrecisions) and mode ([0] streamed, [1] mapped): the
  // names registered and their entries.
  std::string files[2][2];
  ShapeFileInfo* entries[2][2] = {};
  std::vector<ShapeFileShape> shapes;
  std::vector<std::string> names;  // each country's "name"
  PointSet sets[2] = {{"uniform", {}, {}, {}, {}, {}}, {"land", {}, {}, {}, {}, {}}};
};

World* world = nullptr;

[[noreturn]] void Die(const std::string& why) {
  fprintf(stderr, "point_in_shape_bench: %s\n", why.c_str());
  exit(1);
}

int Call(std::string& buffer, const std::string& parameters) {
  buffer.assign(parameters);
  buffer.resize(std::max<size_t>(parameters.size(), 1024) + 1);
  return zruPointInShape(&buffer[0], static_cast<int>(buffer.size() - 1));
}

// Opens a copy of the set under dir through zruPointInShape, with the
// configuration saying how the files are to be held.
std::string OpenCopy(const std::string& dir, const char* fileMap, int precision) {
  mkdir(dir.c_str(), 0777);
  for (const char* ext : {".shp", ".shx", ".dbf"})
    WriteWholeFile(dir + "/ne" + ext, ReadWholeFile(kNaturalEarth + ext));
  const std::string config = world->scratch.File("morvel");
  WriteWholeFile(config, std::string("ZRUtils/FileMapShapeFiles=") + fileMap + "\n");
  setenv("MORVEL_CONFIG_FILE", config.c_str(), 1);
  const std::string name = dir + "/ne.shp";
  std::string buffer;
  if (Call(buffer, "OpenShapeFile=" + name + ";IndexPrecision=" + std::to_string(precision) + ";") != 0) Die("cannot open " + name + ": " + buffer);
  return name;
}

void OpenFiles() {
  struct stat st;
  if (stat(".morvel", &st) == 0) Die("a .morvel in the current folder would override the modes");
  for (int p = 0; p < 2; ++p) {
    const std::string dir = world->scratch.File("p" + std::to_string(kPrecisions[p]));
    mkdir(dir.c_str(), 0777);
    world->files[p][1] = OpenCopy(dir + "/mapped", "Yes", kPrecisions[p]);
    if (FileMapShapeFilesMode() != OpenPafFileMap) Die("the mapped mode was not taken");
    // The index built for the first copy serves the second unchanged.
    mkdir((dir + "/streamed").c_str(), 0777);
    WriteWholeFile(dir + "/streamed/ne.gos", ReadWholeFile(dir + "/mapped/ne.gos"));
    world->files[p][0] = OpenCopy(dir + "/streamed", "No", kPrecisions[p]);
    if (FileMapShapeFilesMode() != OpenPafReadFile) Die("the streamed mode was not taken");
    std::string error;
    for (int m = 0; m < 2; ++m) {
      // One usage held for the whole run: the bare lookups use the
      // registry's own reader and grid.
      ShapeFileUse use;
      if (AcquireShapeFile(use, world->files[p][m].c_str(), error, OpenPafDefault, false, -1) != 0)
        Die("cannot acquire " + world->files[p][m]);
      world->entries[p][m] = use.entry;
    }
  }
  const ShapeFileReader& reader = world->entries[0][1]->reader;
  world->shapes.resize(static_cast<size_t>(reader.RecordCount()));
  world->names.resize(world->shapes.size());
  for (int32_t r = 0; r < reader.RecordCount(); ++r) {
    if (reader.ReadShape(r, world->shapes[static_cast<size_t>(r)]) != 0 ||
        reader.ReadStringAttribute(r, "name", world->names[static_cast<size_t>(r)]) != 0)
      Die("cannot read record " + std::to_string(r));
  }
}

int OurAnswer(const ShapeFileInfo* entry, const LatLong& p, ShapeFileShape& shape,
              std::vector<int>& candidates) {
  int record = kNone;
  if (FindShapeContainingPoint(entry->grid, entry->reader, p.latitude, p.longitude, shape,
                               candidates, record) != 0)
    Die("lookup failed");
  return record;
}

// A coordinate as the parameter text will carry it: 6 decimals, never
// exactly 0 (which the entry takes for a missing coordinate).
bool Round(double value, double& rounded) {
  rounded = std::round(value * 1e6) / 1e6;
  return rounded != 0.0;
}

void MakePoints() {
  std::mt19937_64 random(20260708);
  std::uniform_real_distribution<double> latitude(-90, 90), longitude(-180, 180);
  ShapeFileShape shape;
  std::vector<int> candidates;
  for (int land = 0; land < 2; ++land) {
    PointSet& set = world->sets[land];
    while (set.points.size() < kPointCount) {
      LatLong p;
      if (!Round(latitude(random), p.latitude) || !Round(longitude(random), p.longitude)) continue;
      const int record = OurAnswer(world->entries[0][1], p, shape, candidates);
      if (land && record == kNone) continue;
      set.points.push_back(p);
      set.ours.push_back(record);
      char text[64];
      snprintf(text, sizeof text, "LatLong=%.6f,%.6f;", p.latitude, p.longitude);
      set.latLong.push_back(text);
    }
  }
}

// The slice of n items that thread `index` of `count` works on.
void Slice(const benchmark::State& state, size_t n, size_t& begin, size_t& end) {
  begin = n * static_cast<size_t>(state.thread_index()) / static_cast<size_t>(state.threads());
  end = n * static_cast<size_t>(state.thread_index() + 1) / static_cast<size_t>(state.threads());
}

// Arguments: land, mapped, precision.
void BM_Lookup(benchmark::State& state) {
  const PointSet& set = world->sets[state.range(0)];
  const ShapeFileInfo* entry = world->entries[state.range(2) == kPrecisions[0] ? 0 : 1][state.range(1)];
  size_t begin, end;
  Slice(state, set.points.size(), begin, end);
  ShapeFileShape shape;
  std::vector<int> candidates;
  int64_t found = 0;
  for (auto _ : state) {
    for (size_t i = begin; i < end; ++i) {
      int record;
      const LatLong& p = set.points[i];
      FindShapeContainingPoint(entry->grid, entry->reader, p.latitude, p.longitude, shape,
                               candidates, record);
      found += record >= 0;
    }
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}

// Arguments: land, mapped, precision, distance.
void BM_EndToEnd(benchmark::State& state) {
  const PointSet& set = world->sets[state.range(0)];
  const std::string prefix =
      "ShapeFile=" + world->files[state.range(2) == kPrecisions[0] ? 0 : 1][state.range(1)] + ";";
  const std::string suffix = state.range(3) ? "Fields=name;Distance=True;" : "Fields=name;";
  size_t begin, end;
  Slice(state, set.points.size(), begin, end);
  char buffer[1024 + 1];
  int64_t bytes = 0;
  for (auto _ : state) {
    for (size_t i = begin; i < end; ++i) {
      // What a host does per call: write the parameters (the entry cuts them
      // in place and writes its answer over them), call, read.
      const std::string& latLong = set.latLong[i];
      memcpy(buffer, prefix.data(), prefix.size());
      char* p = buffer + prefix.size();
      memcpy(p, latLong.data(), latLong.size());
      p += latLong.size();
      memcpy(p, suffix.c_str(), suffix.size() + 1);
      if (zruPointInShape(buffer, 1024) != 0) {
        state.SkipWithError(buffer);
        return;
      }
      bytes += static_cast<int64_t>(strlen(buffer));
    }
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}

#ifdef ZRU_HAVE_GEOS
GeosIndex geosIndexes[kMaxThreads];

void BuildGeos() {
  for (GeosIndex& g : geosIndexes) g.Build(world->shapes);
}

int GeosAnswer(const GeosIndex& g, const LatLong& p) { return g.Answer(p.latitude, p.longitude); }

// Argument: land.
void BM_Geos(benchmark::State& state) {
  const PointSet& set = world->sets[state.range(0)];
  const GeosIndex& g = geosIndexes[state.thread_index()];
  size_t begin, end;
  Slice(state, set.points.size(), begin, end);
  int64_t found = 0;
  for (auto _ : state)
    for (size_t i = begin; i < end; ++i) found += GeosAnswer(g, set.points[i]) >= 0;
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}
#endif

#ifdef ZRU_HAVE_BOOST_GEOMETRY
namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BoostPoint = bg::model::d2::point_xy<double>;
using BoostPolygon = bg::model::polygon<BoostPoint>;  // clockwise outer rings, closed
using BoostMultiPolygon = bg::model::multi_polygon<BoostPolygon>;
using BoostBox = bg::model::box<BoostPoint>;
using BoostTree = bgi::rtree<std::pair<BoostBox, int>, bgi::rstar<16>>;

struct BoostIndex {
  std::vector<BoostMultiPolygon> countries;
  BoostTree tree;
};
BoostIndex* boostIndex = nullptr;

BoostMultiPolygon ToBoost(const ShapeFileShape& shape) {
  BoostMultiPolygon result;
  for (size_t part = 0; part < shape.parts.size(); ++part) {
    const size_t begin = static_cast<size_t>(shape.parts[part]);
    const size_t end = part + 1 < shape.parts.size() ? static_cast<size_t>(shape.parts[part + 1])
                                                    : shape.points.size();
    BoostPolygon::ring_type ring;
    for (size_t i = begin; i < end; ++i) ring.push_back(BoostPoint(shape.points[i].x, shape.points[i].y));
    // As for GEOS: counter-clockwise rings are holes of the polygon before.
    if (shape.GetRingDirection(static_cast<uint32_t>(part)) == -1 && !result.empty()) {
      result.back().inners().push_back(ring);
    } else {
      result.emplace_back();
      result.back().outer() = ring;
    }
  }
  return result;
}

void BuildBoost() {
  boostIndex = new BoostIndex;
  std::vector<std::pair<BoostBox, int>> boxes;
  for (size_t i = 0; i < world->shapes.size(); ++i) {
    boostIndex->countries.push_back(ToBoost(world->shapes[i]));
    boxes.emplace_back(bg::return_envelope<BoostBox>(boostIndex->countries.back()),
                       static_cast<int>(i));
  }
  boostIndex->tree = BoostTree(boxes);  // packed
}

int BoostAnswer(const LatLong& p) {
  const BoostPoint point(p.longitude, p.latitude);
  for (auto it = boostIndex->tree.qbegin(bgi::intersects(point)); it != boostIndex->tree.qend(); ++it)
    if (bg::within(point, boostIndex->countries[static_cast<size_t>(it->second)])) return it->second;
  return kNone;
}

// Argument: land.
void BM_Boost(benchmark::State& state) {
  const PointSet& set = world->sets[state.range(0)];
  size_t begin, end;
  Slice(state, set.points.size(), begin, end);
  int64_t found = 0;
  for (auto _ : state)
    for (size_t i = begin; i < end; ++i) found += BoostAnswer(set.points[i]) >= 0;
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}
#endif

std::string NameOf(int record) {
  return record == kNone ? std::string("(none)") : world->names[static_cast<size_t>(record)];
}

// Degrees from the point to the boundary of a record's shape (GEOS), or -1.
double BoundaryDistance(int record, const LatLong& p) {
#ifdef ZRU_HAVE_GEOS
  if (record == kNone) return -1;
  const GeosIndex& g = geosIndexes[0];
  GEOSGeometry* point = GEOSGeom_createPointFromXY_r(g.context, p.longitude, p.latitude);
  GEOSGeometry* boundary = GEOSBoundary_r(g.context, g.geometries[static_cast<size_t>(record)]);
  double distance = -1;
  GEOSDistance_r(g.context, point, boundary, &distance);
  GEOSGeom_destroy_r(g.context, boundary);
  GEOSGeom_destroy_r(g.context, point);
  return distance;
#else
  (void)record;
  (void)p;
  return -1;
#endif
}

// Every point through every peer once; the answers of the other lookups and
// of zruPointInShape are checked against the mapped lookup at precision 3.
void CompareAnswers() {
  ShapeFileShape shape;
  std::vector<int> candidates;
  std::string buffer;
  for (PointSet& set : world->sets) {
    int64_t oursDiffer = 0, entryDiffers = 0, geosDiffers = 0, boostDiffers = 0, shown = 0;
    for (size_t i = 0; i < set.points.size(); ++i) {
      const LatLong& p = set.points[i];
      for (int k = 1; k < 4; ++k)
        if (OurAnswer(world->entries[k / 2][k % 2], p, shape, candidates) != set.ours[i]) ++oursDiffer;
      if (i % 10 == 0) {
        // A tenth of the points through the entry point, for its answer text.
        const int status = Call(buffer, "ShapeFile=" + world->files[i % 4 / 2][i % 2] + ";" +
                                            set.latLong[i] + "Fields=name;");
        const std::string expected = set.ours[i] == kNone ? "" : NameOf(set.ours[i]);
        if (status != 0 || buffer.c_str() != expected) ++entryDiffers;
      }
      int geos = kNone, boost = kNone;
      bool differs = false;
#ifdef ZRU_HAVE_GEOS
      geos = GeosAnswer(geosIndexes[0], p);
      set.geos.push_back(geos);
      if (geos != set.ours[i]) ++geosDiffers, differs = true;
#endif
#ifdef ZRU_HAVE_BOOST_GEOMETRY
      boost = BoostAnswer(p);
      set.boost.push_back(boost);
      if (boost != set.ours[i]) ++boostDiffers, differs = true;
#endif
      if (differs && shown++ < 12) {
        fprintf(stderr,
                "  %-7s %.6f,%.6f  ours %s (edge %.2g deg)  GEOS %s (edge %.2g)  Boost %s (edge %.2g)\n",
                set.name, p.latitude, p.longitude, NameOf(set.ours[i]).c_str(),
                BoundaryDistance(set.ours[i], p), NameOf(geos).c_str(), BoundaryDistance(geos, p),
                NameOf(boost).c_str(), BoundaryDistance(boost, p));
      }
    }
    fprintf(stderr,
            "%s: %zu points; answers differing from our mapped lookup at precision 3: our "
            "other three lookups %lld, zruPointInShape %lld (of every 10th point), GEOS %lld, "
            "Boost.Geometry %lld\n",
            set.name, set.points.size(), static_cast<long long>(oursDiffer),
            static_cast<long long>(entryDiffers), static_cast<long long>(geosDiffers),
            static_cast<long long>(boostDiffers));
  }
}

void RegisterBenchmarks() {
  for (int land = 0; land < 2; ++land) {
    for (int precision : kPrecisions) {
      for (int mapped = 1; mapped >= 0; --mapped) {
        benchmark::RegisterBenchmark("BM_Lookup", BM_Lookup)
            ->ArgNames({"land", "mapped", "precision"})->Args({land, mapped, precision})
            ->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
        for (int distance = 0; distance < 2; ++distance)
          benchmark::RegisterBenchmark("BM_EndToEnd", BM_EndToEnd)
              ->ArgNames({"land", "mapped", "precision", "distance"})
              ->Args({land, mapped, precision, distance})
              ->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
      }
    }
#ifdef ZRU_HAVE_GEOS
    benchmark::RegisterBenchmark("BM_Geos", BM_Geos)
        ->ArgNames({"land"})->Args({land})
        ->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif
#ifdef ZRU_HAVE_BOOST_GEOMETRY
    benchmark::RegisterBenchmark("BM_Boost", BM_Boost)
        ->ArgNames({"land"})->Args({land})
        ->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  world = new World;
  OpenFiles();
  MakePoints();
#ifdef ZRU_HAVE_GEOS
  BuildGeos();
#endif
#ifdef ZRU_HAVE_BOOST_GEOMETRY
  BuildBoost();
#endif
  CompareAnswers();
  RegisterBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  delete world;  // removes the copies
  return 0;
}
