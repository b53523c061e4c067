// Hash index files at the scale of an address file: N keys of 21 bytes with
// 20-bit values (record numbers), the index mapped. Side by side with two
// peers when they are installed: tinycdb (a constant database that stores
// its keys, so it confirms hits itself) and CMPH's BDZ minimal perfect hash
// with a packed 20-bit value array beside it (it cannot reject a key it
// never saw, so, like the hash index, its candidates are confirmed against
// the caller's keys).
//
// Counters: keys/s for builds, lookups/s for hits and misses, bits per key
// of what is stored. Arg: the key count (1M, and 10M when ZRU_BENCH_10M is
// set in the environment).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "foundation/mt_file.h"
#include "hashindex/hash_index.h"

#ifdef ZRU_HAVE_CDB
#include <cdb.h>
#endif
#ifdef ZRU_HAVE_CMPH
#include <cmph.h>
#endif

namespace {

constexpr int kKeyLength = 21;
constexpr uint32_t kValues = (1u << 20) - 1;  // values 1 .. 2^20 - 1

// The caller's own data: its keys, 22 bytes each with the NUL, and the
// value (record number) of key i: i mod (2^20 - 1) + 1. A record holds
// every key of its number, so confirming a candidate looks at each.
struct Keys {
  size_t count = 0;
  std::vector<char> text;  // present keys, then as many absent ones
  const char* Present(size_t i) const { return &text[i * (kKeyLength + 1)]; }
  const char* Absent(size_t i) const { return &text[(count + i) * (kKeyLength + 1)]; }
  static uint64_t ValueOf(size_t i) { return i % kValues + 1; }
  bool Confirm(const char* key, uint64_t value) const {
    if (value == 0 || value > kValues) return false;
    for (size_t i = value - 1; i < count; i += kValues)
      if (memcmp(Present(i), key, kKeyLength) == 0) return true;
    return false;
  }
};

// The shared data of each key count is made on first use; benchmark threads
// may ask for it at the same moment.
std::mutex setUp;

const Keys& KeysOf(size_t count) {
  std::lock_guard<std::mutex> lock(setUp);
  static std::map<size_t, std::unique_ptr<Keys>> all;
  auto& keys = all[count];
  if (!keys) {
    keys.reset(new Keys);
    keys->count = count;
    keys->text.resize(2 * count * (kKeyLength + 1));
    std::mt19937_64 random(count);
    // "SW1A2AA-0001234567-AB"-like texts: distinct by the serial, hashed
    // over the whole text.
    for (size_t i = 0; i < 2 * count; ++i) {
      const uint64_t r = random();
      snprintf(&keys->text[i * (kKeyLength + 1)], kKeyLength + 1, "%c%c%02u%c-%010u-%04x",
               'A' + int(r % 26), 'A' + int(r / 26 % 26), unsigned(r / 676 % 100),
               'A' + int(r / 67600 % 26), unsigned(i), unsigned(r >> 40 & 0xFFFF));
    }
  }
  return *keys;
}

// Lookup order: the keys shuffled, so probes land all over the file.
const std::vector<uint32_t>& OrderOf(size_t count) {
  std::lock_guard<std::mutex> lock(setUp);
  static std::map<size_t, std::vector<uint32_t>> all;
  std::vector<uint32_t>& order = all[count];
  if (order.empty()) {
    order.resize(count);
    for (size_t i = 0; i < count; ++i) order[i] = static_cast<uint32_t>(i);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
  }
  return order;
}

std::string Scratch(const char* name, size_t count) {
  return std::string(P_tmpdir) + "/zrutils-bench-" + std::to_string(getpid()) + "-" + name +
         "-" + std::to_string(count);
}

long FileSize(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  fseek(f, 0, SEEK_END);
  const long size = ftell(f);
  fclose(f);
  return size;
}

int BuildHashIndex(const Keys& keys, const std::string& path) {
  HashIndex index;
  int result = index.BeginCreate(path.c_str(), kValues, static_cast<uint32_t>(keys.count));
  for (size_t i = 0; i < keys.count && result == 0; ++i)
    result = index.Insert(keys.Present(i), Keys::ValueOf(i));
  return result != 0 ? result : index.EndCreate("bench", 0, 0, nullptr, 0);
}

void BuildCounters(benchmark::State& state, size_t count, long bytes) {
  state.counters["keys/s"] = benchmark::Counter(double(count) * state.iterations(),
                                                benchmark::Counter::kIsRate);
  state.counters["bits/key"] = 8.0 * bytes / count;
}

void BM_HashIndexBuild(benchmark::State& state) {
  const Keys& keys = KeysOf(state.range(0));
  const std::string path = Scratch("build", keys.count);
  for (auto _ : state)
    if (BuildHashIndex(keys, path) != 0) state.SkipWithError("build failed");
  BuildCounters(state, keys.count, FileSize(path));
  unlink(path.c_str());
}

// The index every lookup benchmark of a key count shares, mapped.
struct MappedIndex {
  std::string path;
  MTFile file;
  HashIndex index;
};
const HashIndex& IndexOf(size_t count) {
  const Keys& keys = KeysOf(count);
  std::lock_guard<std::mutex> lock(setUp);
  static std::map<size_t, std::unique_ptr<MappedIndex>> all;
  auto& mapped = all[count];
  if (!mapped) {
    mapped.reset(new MappedIndex);
    mapped->path = Scratch("index", count);
    if (BuildHashIndex(keys, mapped->path) != 0 ||
        mapped->file.Open(mapped->path.c_str(), OpenPafFileMap, nullptr, nullptr, 0) != 0 ||
        mapped->index.BeginRead(&mapped->file, 0) != 0)
      abort();
    unlink(mapped->path.c_str());  // the mapping keeps it
  }
  return mapped->index;
}

// One lookup as a real caller makes it: every candidate is confirmed
// against the caller's keys until one matches or none is left.
uint64_t Lookup(const HashIndex& index, const Keys& keys, const char* key) {
  uint32_t slot = HashIndex::iNoHandle;
  do {
    uint64_t value;
    if (index.Search(key, slot, value) != 0) return 0;
    if (value != 0 && keys.Confirm(key, value)) return value;
  } while (slot != HashIndex::iNoHandle);
  return 0;
}

void LookupLoop(benchmark::State& state, bool hits,
                const std::function<uint64_t(const char*)>& find) {
  const Keys& keys = KeysOf(state.range(0));
  const std::vector<uint32_t>& order = OrderOf(keys.count);
  size_t i = state.thread_index() * 7919, found = 0;
  for (auto _ : state) {
    const uint32_t k = order[i++ % keys.count];
    found += find(hits ? keys.Present(k) : keys.Absent(k)) != 0;
  }
  if ((found != 0) != hits) state.SkipWithError("wrong answers");
  state.counters["lookups/s"] = benchmark::Counter(double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_HashIndexHit(benchmark::State& state) {
  const Keys& keys = KeysOf(state.range(0));
  const HashIndex& index = IndexOf(keys.count);
  LookupLoop(state, true, [&](const char* key) { return Lookup(index, keys, key); });
}

void BM_HashIndexMiss(benchmark::State& state) {
  const Keys& keys = KeysOf(state.range(0));
  const HashIndex& index = IndexOf(keys.count);
  LookupLoop(state, false, [&](const char* key) { return Lookup(index, keys, key); });
}

#ifdef ZRU_HAVE_CDB
int BuildCdb(const Keys& keys, const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return -1;
  struct cdb_make make;
  int result = cdb_make_start(&make, fd);
  for (size_t i = 0; i < keys.count && result == 0; ++i) {
    const uint32_t value = static_cast<uint32_t>(Keys::ValueOf(i));
    result = cdb_make_add(&make, keys.Present(i), kKeyLength, &value, 3);
  }
  if (result == 0) result = cdb_make_finish(&make);
  close(fd);
  return result;
}

void BM_CdbBuild(benchmark::State& state) {
  const Keys& keys = KeysOf(state.range(0));
  const std::string path = Scratch("cdb-build", keys.count);
  for (auto _ : state)
    if (BuildCdb(keys, path) != 0) state.SkipWithError("build failed");
  BuildCounters(state, keys.count, FileSize(path));
  unlink(path.c_str());
}

// tinycdb maps its file at cdb_init; a lookup writes its position into the
// struct cdb, so each thread has its own.
int CdbFile(size_t count) {
  const Keys& keys = KeysOf(count);
  std::lock_guard<std::mutex> lock(setUp);
  static std::map<size_t, int> all;
  auto it = all.find(count);
  if (it != all.end()) return it->second;
  const std::string path = Scratch("cdb", count);
  if (BuildCdb(keys, path) != 0) abort();
  const int fd = open(path.c_str(), O_RDONLY);
  unlink(path.c_str());
  return all[count] = fd;
}

void CdbLookups(benchmark::State& state, bool hits) {
  struct cdb db;
  if (cdb_init(&db, CdbFile(state.range(0))) != 0) return state.SkipWithError("cdb_init");
  LookupLoop(state, hits, [&](const char* key) -> uint64_t {
    if (cdb_find(&db, key, kKeyLength) <= 0) return 0;
    const unsigned char* v = static_cast<const unsigned char*>(cdb_getdata(&db));
    return v[0] | v[1] << 8 | v[2] << 16;
  });
  cdb_free(&db);
}
void BM_CdbHit(benchmark::State& state) { CdbLookups(state, true); }
void BM_CdbMiss(benchmark::State& state) { CdbLookups(state, false); }
#endif

#ifdef ZRU_HAVE_CMPH
// The perfect hash packed into memory and the 20-bit values in the order
// of its answers, packed too.
struct Cmph {
  std::vector<char> packed;
  std::vector<uint8_t> values;  // 20 bits each
  uint64_t Value(uint32_t i) const {
    const uint64_t bit = uint64_t{i} * 20;
    const uint8_t* p = &values[bit / 8];
    const uint32_t word = p[0] << 16 | p[1] << 8 | p[2];
    return (bit % 8 == 0 ? word >> 4 : word) & kValues;
  }
  long Bytes() const { return static_cast<long>(packed.size() + values.size()); }
};

void BuildCmph(const Keys& keys, Cmph& out) {
  std::vector<char*> pointers(keys.count);
  for (size_t i = 0; i < keys.count; ++i) pointers[i] = const_cast<char*>(keys.Present(i));
  cmph_io_adapter_t* source =
      cmph_io_vector_adapter(pointers.data(), static_cast<cmph_uint32>(keys.count));
  cmph_config_t* config = cmph_config_new(source);
  cmph_config_set_algo(config, CMPH_BDZ);
  cmph_t* hash = cmph_new(config);
  cmph_config_destroy(config);
  out.packed.assign(cmph_packed_size(hash), 0);
  cmph_pack(hash, out.packed.data());
  out.values.assign((keys.count * 20 + 7) / 8 + 3, 0);
  for (size_t i = 0; i < keys.count; ++i) {
    const uint32_t at = cmph_search(hash, keys.Present(i), kKeyLength);
    const uint64_t bit = uint64_t{at} * 20;
    uint8_t* p = &out.values[bit / 8];
    const uint32_t word = static_cast<uint32_t>(Keys::ValueOf(i)) << (bit % 8 == 0 ? 4 : 0);
    p[0] |= word >> 16;
    p[1] |= word >> 8;
    p[2] |= word;
  }
  cmph_destroy(hash);
  cmph_io_vector_adapter_destroy(source);
}

void BM_CmphBuild(benchmark::State& state) {
  const Keys& keys = KeysOf(state.range(0));
  Cmph cmph;
  for (auto _ : state) BuildCmph(keys, cmph);
  BuildCounters(state, keys.count, cmph.Bytes());
}

const Cmph& CmphOf(size_t count) {
  const Keys& keys = KeysOf(count);
  std::lock_guard<std::mutex> lock(setUp);
  static std::map<size_t, std::unique_ptr<Cmph>> all;
  auto& cmph = all[count];
  if (!cmph) {
    cmph.reset(new Cmph);
    BuildCmph(keys, *cmph);
  }
  return *cmph;
}

void CmphLookups(benchmark::State& state, bool hits) {
  const Keys& keys = KeysOf(state.range(0));
  const Cmph& cmph = CmphOf(keys.count);
  LookupLoop(state, hits, [&](const char* key) -> uint64_t {
    const uint32_t at = cmph_search_packed(const_cast<char*>(cmph.packed.data()), key, kKeyLength);
    const uint64_t value = cmph.Value(at);
    return keys.Confirm(key, value) ? value : 0;
  });
}
void BM_CmphHit(benchmark::State& state) { CmphLookups(state, true); }
void BM_CmphMiss(benchmark::State& state) { CmphLookups(state, false); }
#endif

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1000000);
  if (getenv("ZRU_BENCH_10M") != nullptr) b->Arg(10000000);
}
void Builds(benchmark::internal::Benchmark* b) {
  Sizes(b);
  b->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
}
void Lookups(benchmark::internal::Benchmark* b) {
  Sizes(b);
  b->Threads(1)->Threads(2)->UseRealTime();
}

BENCHMARK(BM_HashIndexBuild)->Apply(Builds);
BENCHMARK(BM_HashIndexHit)->Apply(Lookups);
BENCHMARK(BM_HashIndexMiss)->Apply(Lookups);
#ifdef ZRU_HAVE_CDB
BENCHMARK(BM_CdbBuild)->Apply(Builds);
BENCHMARK(BM_CdbHit)->Apply(Lookups);
BENCHMARK(BM_CdbMiss)->Apply(Lookups);
#endif
#ifdef ZRU_HAVE_CMPH
BENCHMARK(BM_CmphBuild)->Apply(Builds);
BENCHMARK(BM_CmphHit)->Apply(Lookups);
BENCHMARK(BM_CmphMiss)->Apply(Lookups);
#endif

}  // namespace

BENCHMARK_MAIN();
