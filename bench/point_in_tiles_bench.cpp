// Point-in-shape queries on many small polygons, closer to postcode or
// parcel files than the world's countries, beside GEOS in the same run:
//
//   tiles    1000 x 1000 concave tiles of 0.01 degrees (some with holes
//            and islands: 1,142,857 records), index at the default
//            precision 3; 1,000,000 points uniform over the tiles' box
//   parcels  100 x 100 parcels of 30 x 25 metres in projected metres
//            around x 500,000, y 4,000,000 (11,428 records), index at the
//            precision the entry chooses for them by default; 1,000,000
//            points uniform over their box
//
// Each set is opened through zruPointInShape memory-mapped
// ("FileMapShapeFiles=Yes") and read through the file ("No"), with no
// IndexPrecision, as a new user would. Before the runs the open time, the
// index size and the summary's memory are printed, and every point's answer
// is compared with GEOS (and, for the parcels, with a brute-force search).
//
//   BM_Lookup     box, grid (summary, then fine index), exact test
//   BM_EndToEnd   zruPointInShape with "Fields=NAME" (and "Distance=True")
//   BM_Geos       GEOS STRtree + prepared "contains"
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "bench/geos_peer.h"
#include "bench/point_query_support.h"
#include "shapes/create_grid_on_shape.h"
#include "shapes/gos_differential.h"
#include "spatial/find_shape_containing_point.h"
#include "spatial/shape_file_registry.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

constexpr size_t kPointCount = 1000000;
constexpr int kMaxThreads = 2;

struct Dataset {
  const char* name;
  std::vector<ShapeFileShape> shapes;
  double minX, maxX, minY, maxY;
  std::string files[2];  // [0] read through, [1] mapped
  ShapeFileInfo* entries[2] = {};
  std::vector<double> x, y;          // the points
  std::vector<std::string> latLong;  // "LatLong=y,x;" of each point
  GeosIndex geos[kMaxThreads];
};

ScratchDir* scratch = nullptr;
Dataset sets[2];

[[noreturn]] void Die(const std::string& why) {
  fprintf(stderr, "point_in_tiles_bench: %s\n", why.c_str());
  exit(1);
}

// Writes the set twice and opens both copies, timing the mapped open of an
// index already built.
void Prepare(Dataset& d) {
  const std::string config = scratch->File("morvel");
  std::string buffer;
  for (int mapped = 1; mapped >= 0; --mapped) {
    const std::string base = scratch->File(std::string(d.name) + (mapped ? "-mapped" : "-read"));
    WriteShapeSet(base, 5, d.shapes);
    WriteWholeFile(config,
                   std::string("ZRUtils/FileMapShapeFiles=") + (mapped ? "Yes" : "No") + "\n");
    setenv("MORVEL_CONFIG_FILE", config.c_str(), 1);
    d.files[mapped] = base + ".shp";
    if (!mapped)
      WriteWholeFile(base + ".gos",
                     ReadWholeFile(scratch->File(std::string(d.name) + "-mapped.gos")));
    if (CallPointInShape(buffer, "OpenShapeFile=" + d.files[mapped] + ";") != 0)
      Die(d.files[mapped] + ": " + buffer);
    std::string error;
    ShapeFileUse use;
    if (AcquireShapeFile(use, d.files[mapped].c_str(), error, OpenPafDefault, false, -1) != 0)
      Die("cannot acquire " + d.files[mapped]);
    d.entries[mapped] = use.entry;
  }
  // The open of the index, built by now.
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  GridOnShapeFile grid;
  std::string error;
  grid.Open(GosPathOf(d.files[1]).c_str(), error, OpenPafFileMap);
  fprintf(stderr,
          "%s: %zu records, index precision %d, %.1f MB; open %.3f s (%.3f s of CPU); summary and "
          "long-block guide %.2f MB (factor %d)\n",
          d.name, d.shapes.size(), grid.Header().precision,
          ReadWholeFile(GosPathOf(d.files[1])).size() / 1e6,
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC,
          grid.DerivedMemoryBytes() / 1e6, grid.Summary().Factor());

  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> ux(d.minX, d.maxX), uy(d.minY, d.maxY);
  for (size_t i = 0; i < kPointCount; ++i) {
    // Six decimals, so that the text carries exactly the doubles looked up.
    d.x.push_back(std::round(ux(random) * 1e6) / 1e6);
    d.y.push_back(std::round(uy(random) * 1e6) / 1e6);
    char text[80];
    snprintf(text, sizeof text, "LatLong=%.6f,%.6f;", d.y.back(), d.x.back());
    d.latLong.push_back(text);
  }
  for (GeosIndex& g : d.geos) g.Build(d.shapes);

  // Every point against GEOS; a tenth through the entry and, for the
  // small set, against the brute force.
  ShapeFileShape shape;
  std::vector<int> candidates;
  int64_t geosDiffer = 0, entryDiffer = 0, bruteDiffer = 0;
  for (size_t i = 0; i < kPointCount; ++i) {
    int ours;
    FindShapeContainingPoint(d.entries[1]->grid, d.entries[1]->reader, d.y[i], d.x[i], shape,
                             candidates, ours);
    geosDiffer += d.geos[0].Answer(d.y[i], d.x[i]) != ours;
    if (i % 10 != 0) continue;
    const int status = CallPointInShape(
        buffer, "ShapeFile=" + d.files[i % 20 == 0] + ";" + d.latLong[i] + "Fields=NAME;");
    entryDiffer += status != 0 ||
                   buffer.c_str() != (ours < 0 ? std::string() : "shape" + std::to_string(ours));
    if (d.shapes.size() < 100000) bruteDiffer += BruteForceAnswer(d.shapes, d.y[i], d.x[i]) != ours;
  }
  fprintf(stderr,
          "%s: answers differing from our lookup: GEOS %lld of %zu, zruPointInShape %lld, brute "
          "force %lld\n",
          d.name, static_cast<long long>(geosDiffer), kPointCount,
          static_cast<long long>(entryDiffer), static_cast<long long>(bruteDiffer));
}

// Arguments: set, mapped.
void BM_Lookup(benchmark::State& state) {
  const Dataset& d = sets[state.range(0)];
  RunLookups(state, *d.entries[state.range(1)], kPointCount,
             [&d](size_t i, double& latitude, double& longitude) {
               latitude = d.y[i];
               longitude = d.x[i];
             });
}

// Arguments: set, mapped, distance.
void BM_EndToEnd(benchmark::State& state) {
  const Dataset& d = sets[state.range(0)];
  const std::string prefix = "ShapeFile=" + d.files[state.range(1)] + ";";
  const std::string suffix = state.range(2) ? "Fields=NAME;Distance=True;" : "Fields=NAME;";
  RunPointQueries(state, prefix, d.latLong, suffix);
}

// Argument: set.
void BM_Geos(benchmark::State& state) {
  const Dataset& d = sets[state.range(0)];
  const GeosIndex& g = d.geos[state.thread_index()];
  size_t begin, end;
  Slice(state, kPointCount, begin, end);
  int64_t found = 0;
  for (auto _ : state)
    for (size_t i = begin; i < end; ++i) found += g.Answer(d.y[i], d.x[i]) >= 0;
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}

void Register() {
  for (int set = 0; set < 2; ++set) {
    for (int mapped = 1; mapped >= 0; --mapped) {
      benchmark::RegisterBenchmark("BM_Lookup", BM_Lookup)
          ->ArgNames({"set", "mapped"})
          ->Args({set, mapped})
          ->Threads(1)
          ->Threads(2)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      for (int distance = 0; distance < 2; ++distance)
        benchmark::RegisterBenchmark("BM_EndToEnd", BM_EndToEnd)
            ->ArgNames({"set", "mapped", "distance"})
            ->Args({set, mapped, distance})
            ->Threads(1)
            ->Threads(2)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_Geos", BM_Geos)
        ->ArgNames({"set"})
        ->Args({set})
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  scratch = new ScratchDir;
  sets[0].name = "tiles";
  sets[0].shapes = MakeTessellation(1000, 1000, 5.0, 45.0, 0.01, 0.01, 1);
  sets[0].minX = 5.0, sets[0].maxX = 15.0, sets[0].minY = 45.0, sets[0].maxY = 55.0;
  sets[1].name = "parcels";
  sets[1].shapes = MakeTessellation(100, 100, 500000.0, 4000000.0, 30.0, 25.0, 31);
  sets[1].minX = 500000.0, sets[1].maxX = 503000.0, sets[1].minY = 4000000.0,
  sets[1].maxY = 4002500.0;
  for (Dataset& d : sets) Prepare(d);
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  delete scratch;  // removes the sets
  return 0;
}
