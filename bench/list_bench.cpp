// Lists at the scale of a real address file: loading a 1,000,000-line list,
// searching and inserting through the entry points, side by side with a
// plain std::unordered_map interning loop on the same texts.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "api/zrutils.h"
#include "lists/list_file.h"

namespace {

constexpr int kEntries = 1000000;

// Texts shaped like street names with a number: "42 Street 123456".
const std::vector<std::string>& Texts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    t.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i)
      t.push_back(std::to_string(i % 997) + " Street " + std::to_string(i));
    return t;
  }();
  return texts;
}

const std::string& ListPath() {
  static const std::string path = [] {
    const std::string p = std::string(P_tmpdir) + "/zrutils-bench-" +
                          std::to_string(getpid()) + ".txt";
    ListInfo list;
    for (int i = 0; i < kEntries; ++i) list.entries.Add(Texts()[i], i + 1);
    std::string error;
    if (SaveListFile(list, p, error) != 0) abort();
    return p;
  }();
  return path;
}

void BM_LoadListFile(benchmark::State& state) {
  const std::string& path = ListPath();
  for (auto _ : state) {
    ListInfo list;
    std::string error;
    if (LoadListFile(list, path, error) != 0) state.SkipWithError("load failed");
    state.counters["bytes_per_entry"] =
        static_cast<double>(list.entries.MemoryBytes()) / list.entries.Size();
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LoadListFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// Lists opened from the file: list 0 is shared by every benchmark thread;
// the runs with a list for each thread give their second thread list 1.
const std::string& OpenHandle(int which = 0) {
  static const std::vector<std::string> handles = [] {
    std::vector<std::string> h;
    for (int i = 0; i < 2; ++i) {
      char buffer[512];
      snprintf(buffer, sizeof buffer, "File=%s\tName=bench-%d", ListPath().c_str(), i);
      if (zruOpenList(buffer, sizeof buffer - 1) != 0) abort();
      h.push_back(buffer);
    }
    return h;
  }();
  return handles[static_cast<size_t>(which)];
}

// Texts looked up in random order (every lookup a cache miss), or in the
// order of the file, as a host that walks sorted input would; on one list
// shared by the threads, or on a list of each thread's own.
void BM_SearchList(benchmark::State& state) {
  static const std::vector<std::string> sorted = [] {
    std::vector<std::string> t = Texts();
    std::sort(t.begin(), t.end());
    return t;
  }();
  const bool inOrder = state.range(0) != 0;
  const bool ownList = state.range(1) != 0;
  const std::string& handle = OpenHandle(ownList ? state.thread_index() % 2 : 0);
  std::mt19937 random(static_cast<unsigned>(state.thread_index()));
  size_t next = static_cast<size_t>(state.thread_index()) * kEntries / 2;
  char buffer[512];
  for (auto _ : state) {
    const std::string& text =
        inOrder ? sorted[next++ % kEntries] : Texts()[random() % kEntries];
    snprintf(buffer, sizeof buffer, "%s\t%s", handle.c_str(), text.c_str());
    zruSearchList(buffer, sizeof buffer - 1);
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(inOrder ? "file order" : "random") +
                 (ownList ? ", own lists" : ", shared list"));
}
BENCHMARK(BM_SearchList)
    ->Args({0, 0})->Args({0, 1})->Args({1, 0})
    ->Threads(1)->Threads(2)->UseRealTime();

// New texts only: every thread of every run has a number of its own.
void BM_InsertList(benchmark::State& state) {
  static std::atomic<long> runs{0};
  const long run = runs.fetch_add(1);
  const std::string& handle = OpenHandle();
  char buffer[512];
  long next = 0;
  for (auto _ : state) {
    snprintf(buffer, sizeof buffer, "%s\tnew text %ld-%ld\tInsertOnNotFound",
             handle.c_str(), run, next++);
    zruSearchList(buffer, sizeof buffer - 1);
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InsertList)->Threads(1)->Threads(2)->UseRealTime();

// The peer: the interning loop a host would write for itself, single
// threaded and without locks.
void BM_UnorderedMapSearch(benchmark::State& state) {
  static const std::unordered_map<std::string, int> map = [] {
    std::unordered_map<std::string, int> m;
    for (int i = 0; i < kEntries; ++i) m.emplace(Texts()[i], i + 1);
    return m;
  }();
  std::mt19937 random(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.find(Texts()[random() % kEntries]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnorderedMapSearch);

// The list's own table, without the entry point around it.
void BM_ListTableFind(benchmark::State& state) {
  static ListInfo* list = [] {
    auto* l = new ListInfo;
    std::string error;
    if (LoadListFile(*l, ListPath(), error) != 0) abort();
    return l;
  }();
  std::mt19937 random(1);
  int32_t id = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list->entries.Find(Texts()[random() % kEntries], id));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ListTableFind);

void BM_UnorderedMapLoad(benchmark::State& state) {
  for (auto _ : state) {
    std::unordered_map<std::string, int> m;
    for (int i = 0; i < kEntries; ++i) m.emplace(Texts()[i], i + 1);
    benchmark::DoNotOptimize(m.size());
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_UnorderedMapLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_UnorderedMapInsert(benchmark::State& state) {
  std::unordered_map<std::string, int> map;
  long next = 0;
  for (auto _ : state) {
    map.emplace("new text " + std::to_string(next), static_cast<int>(next));
    ++next;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnorderedMapInsert);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(ListPath().c_str());
  return 0;
}
