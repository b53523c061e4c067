// Random reads of 64 B to 4 KiB from a 512 MiB file through MTFile in each
// way of holding it, from 1 and 2 threads, side by side with the raw calls
// the modes stand on: pread on a descriptor and memcpy from a plain mmap.
// The file is written to the temporary folder at start and removed at the
// end; it stays in the page cache, so the figures measure the library, not
// the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/mt_file.h"

namespace {

constexpr int32_t kFileSize = 512 << 20;
constexpr int kRequests = 1 << 16;

struct Request {
  int32_t offset, length;
};

std::string path;
MTFile files[4];  // stream, loaded, mapped, caller's block
int descriptor = -1;
const unsigned char* mapped = nullptr;

// The same random requests for every benchmark, a different run per thread.
std::vector<Request> Requests(int thread) {
  std::mt19937 random(1000 + thread);
  std::vector<Request> requests(kRequests);
  for (Request& r : requests) {
    r.length = 64 + static_cast<int32_t>(random() % (4096 - 64 + 1));
    r.offset = static_cast<int32_t>(random() % (kFileSize - r.length + 1));
  }
  return requests;
}

bool Prepare() {
  path = std::string(P_tmpdir) + "/zrutils-mtfile-bench-" + std::to_string(getpid());
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  std::vector<uint32_t> block(1 << 18);
  uint32_t state = 1;
  for (int32_t written = 0; written < kFileSize; written += block.size() * 4) {
    for (uint32_t& word : block) word = state = state * 1664525u + 1013904223u;
    fwrite(block.data(), 4, block.size(), out);
  }
  if (fclose(out) != 0) return false;
  const int types[] = {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap};
  for (int i = 0; i < 3; ++i)
    if (files[i].Open(path.c_str(), types[i], nullptr, nullptr, 0) != 0) return false;
  descriptor = open(path.c_str(), O_RDONLY);
  void* memory = mmap(nullptr, kFileSize, PROT_READ, MAP_SHARED, descriptor, 0);
  if (descriptor < 0 || memory == MAP_FAILED) return false;
  mapped = static_cast<const unsigned char*>(memory);
  files[3].SetMemoryLocation("block", mapped, kFileSize);
  return true;
}

void Finish() {
  for (MTFile& file : files) file.Close();
  if (mapped != nullptr) munmap(const_cast<unsigned char*>(mapped), kFileSize);
  if (descriptor >= 0) close(descriptor);
  unlink(path.c_str());
}

template <class ReadOne>
void RunReads(benchmark::State& state, ReadOne readOne) {
  const std::vector<Request> requests = Requests(state.thread_index());
  std::vector<unsigned char> destination(4096);
  size_t next = 0, bytes = 0;
  for (auto _ : state) {
    const Request& r = requests[next++ & (kRequests - 1)];
    if (!readOne(destination.data(), r)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(destination.data());
    bytes += r.length;
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations());
}

void BM_MTFile(benchmark::State& state) {
  const MTFile& file = files[state.range(0)];
  RunReads(state, [&file](unsigned char* to, const Request& r) {
    return file.Read(to, r.offset, r.length, nullptr) == 0;
  });
}

void BM_RawPread(benchmark::State& state) {
  RunReads(state, [](unsigned char* to, const Request& r) {
    return pread(descriptor, to, r.length, r.offset) == r.length;
  });
}

void BM_RawMmapMemcpy(benchmark::State& state) {
  RunReads(state, [](unsigned char* to, const Request& r) {
    memcpy(to, mapped + r.offset, r.length);
    return true;
  });
}

void ModeNames(benchmark::internal::Benchmark* b) {
  b->ArgName("mode");  // 0 stream, 1 loaded, 2 mapped, 3 caller's block
  for (int mode = 0; mode < 4; ++mode) b->Arg(mode);
}

BENCHMARK(BM_MTFile)->Apply(ModeNames)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_RawPread)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_RawMmapMemcpy)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!Prepare()) {
    perror("preparing the benchmark file");
    Finish();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Finish();
  return 0;
}
