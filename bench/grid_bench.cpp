// The grid index: build time and peak memory for Natural Earth's 110 m
// countries at precision 3 and for a million synthetic tiles, and search
// rates on Natural Earth at precisions 0 to 3, for uniform and land-only
// points, by the kind of cell the point falls in. Each build runs in a
// child process so that its peak memory is its own (reported as
// peak_MiB); the sets are written to the temporary folder and removed.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "shapes/create_grid_on_shape.h"
#include "shapes/gos_differential.h"
#include "shapes/shape_file_reader.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

const std::string kNaturalEarth =
    std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

ScratchDir& Scratch() {
  static ScratchDir dir;
  return dir;
}

// A copy of Natural Earth in the scratch folder, so its index is ours.
std::string NaturalEarthCopy() {
  static const std::string base = [] {
    const std::string b = Scratch().File("ne");
    for (const char* ext : {".shp", ".shx", ".dbf"})
      WriteWholeFile(b + ext, ReadWholeFile(kNaturalEarth + ext));
    return b;
  }();
  return base;
}

// Builds in a child; returns its result and peak resident memory.
int BuildInChild(const std::string& base, int precision, double& peakMiB) {
  const pid_t child = fork();
  if (child == 0) {
    CreateGridOnShapeOptions options;
    options.precision = precision;
    _exit(CreateGridOnShape(base, options) == 0 ? 0 : 1);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  peakMiB = usage.ru_maxrss / 1024.0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Build(benchmark::State& state, const std::string& base, int precision) {
  double peak = 0;
  for (auto _ : state)
    if (BuildInChild(base, precision, peak) != 0) state.SkipWithError("build failed");
  state.counters["peak_MiB"] = peak;
}

void BM_BuildNaturalEarth(benchmark::State& state) {
  Build(state, NaturalEarthCopy(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_BuildNaturalEarth)->Arg(3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_BuildMillionTiles(benchmark::State& state) {
  static const std::string base = [] {
    const std::string b = Scratch().File("tiles");
    // 1000 x 1000 tiles of 0.01 degrees, concave, some with holes and
    // islands: 1,142,857 records.
    WriteShapeSet(b, 5, MakeTessellation(1000, 1000, 5.0, 45.0, 0.01, 0.01, 1));
    return b;
  }();
  Build(state, base, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_BuildMillionTiles)->Arg(3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Natural Earth's shapes and an open index at each precision.
struct SearchSet {
  std::vector<ShapeFileShape> shapes;
  GridOnShapeFile grids[4];
};

SearchSet& Set() {
  static SearchSet* set = [] {
    auto* s = new SearchSet;
    const std::string base = NaturalEarthCopy();
    ShapeFileReader reader;
    std::string error;
    reader.Open(base, error, OpenPafLoadIntoMemory);
    reader.LoadShapesIntoMemory();
    for (int32_t r = 0; r < reader.RecordCount(); ++r) s->shapes.push_back(reader.ReadShape(r));
    for (int p = 0; p < 4; ++p) {
      const std::string dir = Scratch().File("p" + std::to_string(p));
      mkdir(dir.c_str(), 0777);
      for (const char* ext : {".shp", ".shx", ".dbf"})
        WriteWholeFile(dir + "/ne" + ext, ReadWholeFile(base + ext));
      CreateGridOnShapeOptions options;
      options.precision = p;
      CreateGridOnShape(dir + "/ne", options);
      s->grids[p].Open((dir + "/ne.gos").c_str(), error, OpenPafFileMap);
    }
    return s;
  }();
  return *set;
}

// Kinds of cell: 0 inside, 1 one candidate, 2 a list, 3 empty; 4 any.
int KindOf(const GridOnShapeFile& grid, double latitude, double longitude) {
  int inside;
  std::vector<int> candidates;
  grid.Search(latitude, longitude, inside, candidates);
  if (inside != 0) return 0;
  if (candidates.empty()) return 3;
  return candidates.size() == 1 ? 1 : 2;
}

// 4096 points of the kind asked for, uniform over the globe or on land.
// Crossed cells are rare at fine precisions: those points are drawn near
// the shapes' vertices instead.
std::vector<ShapeFilePoint> Points(int precision, int kind, bool land) {
  SearchSet& s = Set();
  std::mt19937 random(42 + precision);
  std::uniform_real_distribution<double> ux(-180, 180), uy(-90, 90);
  std::uniform_real_distribution<double> near(-3 * std::pow(10.0, -precision),
                                              3 * std::pow(10.0, -precision));
  const bool nearVertices = kind == 1 || kind == 2;
  std::vector<ShapeFilePoint> points;
  for (int tries = 0; points.size() < 4096 && tries < 5000000; ++tries) {
    ShapeFilePoint p{ux(random), uy(random)};
    if (nearVertices) {
      const ShapeFileShape& shape = s.shapes[random() % s.shapes.size()];
      p = shape.points[random() % shape.points.size()];
      p.x += near(random);
      p.y += near(random);
    }
    if (kind != 4 && KindOf(s.grids[precision], p.y, p.x) != kind) continue;
    if (land && BruteForceAnswer(s.shapes, p.y, p.x) < 0) continue;
    points.push_back(p);
  }
  return points;
}

// Arguments: precision, cell kind, land only. Counts Search calls alone.
void BM_Search(benchmark::State& state) {
  const int precision = static_cast<int>(state.range(0));
  const auto points = Points(precision, static_cast<int>(state.range(1)), state.range(2) != 0);
  if (points.empty()) {
    state.SkipWithError("no such points");
    return;
  }
  const GridOnShapeFile& grid = Set().grids[precision];
  int inside;
  std::vector<int> candidates;
  size_t i = 0;
  for (auto _ : state) {
    const ShapeFilePoint& p = points[i++ % points.size()];
    benchmark::DoNotOptimize(grid.Search(p.y, p.x, inside, candidates));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Search)
    ->ArgNames({"precision", "kind", "land"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 1}});

// The whole point query: search, then the exact test of the candidates.
void BM_SearchAndTest(benchmark::State& state) {
  const int precision = static_cast<int>(state.range(0));
  const auto points = Points(precision, 4, state.range(1) != 0);
  SearchSet& s = Set();
  int inside;
  std::vector<int> candidates;
  size_t i = 0;
  for (auto _ : state) {
    const ShapeFilePoint& p = points[i++ % points.size()];
    benchmark::DoNotOptimize(GridAnswer(s.grids[precision], s.shapes, p.y, p.x, inside, candidates));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_SearchAndTest)->ArgNames({"precision", "land"})->ArgsProduct({{0, 1, 2, 3}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
