// Shared by the point-in-shape benchmarks: calls of zruPointInShape as a
// host makes them, and each thread's slice of a point set.
#ifndef ZRUTILS_BENCH_POINT_QUERY_SUPPORT_H
#define ZRUTILS_BENCH_POINT_QUERY_SUPPORT_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "spatial/find_shape_containing_point.h"
#include "spatial/shape_file_registry.h"

// One call with room for a 1024-character answer; the answer is left in
// buffer.
inline int CallPointInShape(std::string& buffer, const std::string& parameters) {
  buffer.assign(parameters);
  buffer.resize(std::max<size_t>(parameters.size(), 1024) + 1);
  return zruPointInShape(&buffer[0], static_cast<int>(buffer.size() - 1));
}

// The slice of n items that this thread of the benchmark works on.
inline void Slice(const benchmark::State& state, size_t n, size_t& begin, size_t& end) {
  begin = n * static_cast<size_t>(state.thread_index()) / static_cast<size_t>(state.threads());
  end = n * static_cast<size_t>(state.thread_index() + 1) / static_cast<size_t>(state.threads());
}

// The timed loop of an end-to-end benchmark: for each point of this
// thread's slice, what a host does per call: write the parameters (prefix,
// the point's "LatLong=...;", suffix; the entry cuts them in place and
// writes its answer over them), call, read the answer.
inline void RunPointQueries(benchmark::State& state, const std::string& prefix,
                            const std::vector<std::string>& latLong, const std::string& suffix) {
  size_t begin, end;
  Slice(state, latLong.size(), begin, end);
  char buffer[1024 + 1];
  int64_t bytes = 0;
  for (auto _ : state) {
    for (size_t i = begin; i < end; ++i) {
      memcpy(buffer, prefix.data(), prefix.size());
      char* p = buffer + prefix.size();
      memcpy(p, latLong[i].data(), latLong[i].size());
      memcpy(p + latLong[i].size(), suffix.c_str(), suffix.size() + 1);
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

// The timed loop of a bare lookup benchmark over this thread's slice of n
// points; pointAt(i, latitude, longitude) gives point i.
template <class PointAt>
void RunLookups(benchmark::State& state, const ShapeFileInfo& entry, size_t n, PointAt pointAt) {
  size_t begin, end;
  Slice(state, n, begin, end);
  ShapeFileShape shape;
  std::vector<int> candidates;
  int64_t found = 0;
  for (auto _ : state) {
    for (size_t i = begin; i < end; ++i) {
      double latitude, longitude;
      pointAt(i, latitude, longitude);
      int record;
      FindShapeContainingPoint(entry.grid, entry.reader, latitude, longitude, shape, candidates,
                               record);
      found += record >= 0;
    }
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(end - begin));
}

#endif
