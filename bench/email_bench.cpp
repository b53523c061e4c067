// E-mail validation: a fresh cache hit on the last record of a 100,000-record
// cache file, and validations with a cold cache against the loopback DNS
// server (level 2: the MX lookup; level 3: also a connection to
// 127.0.0.2:25), beside the same MX lookups made directly with res_query,
// the floor any validator on this resolver stands on.
#include <arpa/nameser.h>
#include <benchmark/benchmark.h>
#include <resolv.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/zrutils.h"
#include "email/email_server_cache.h"
#include "email/email_test_support.h"
#include "email/test_dns_server.h"

namespace {

constexpr int kRecords = 100000;

std::string Scratch(const char* what) {
  return std::string(P_tmpdir) + "/zrutils-email-bench-" + std::to_string(getpid()) + what;
}

const std::string& CachePath() {
  static const std::string path = Scratch(".cache");
  return path;
}

// The DNS server, the configuration naming the cache file, and (when port
// 25 of 127.0.0.2 can be had) a listener accepting the level-3 probes. Set
// up before the first validation, since the settings are read once.
struct World {
  TestDnsServer dns;
  Port25Listener mail;
  bool canProbe = false;
  std::atomic<long> unique{0};

  World() {
    dns.Start();
    const std::string config = Scratch(".morvel");
    FILE* file = fopen(config.c_str(), "w");
    fprintf(file, "EmailCacheFile=%s\n", CachePath().c_str());
    fclose(file);
    setenv("MORVEL_CONFIG_FILE", config.c_str(), 1);
    canProbe = mail.Start("127.0.0.2", true).empty();
  }
  ~World() {
    remove(CachePath().c_str());
    remove(Scratch(".morvel").c_str());
  }
  // Every benchmark thread points its own resolver state at the server.
  void PointThisThread() {
    thread_local bool done = false;
    if (!done) PointResolverAt(dns.port());
    done = true;
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void WriteCache(int records) {
  FILE* file = fopen(CachePath().c_str(), "w");
  fputc('\n', file);
  const int now = MinutesSince2010();
  for (int i = 0; i < records; ++i)
    fputs(MakeCacheLine("host" + std::to_string(i) + ".example.org", '4', now).c_str(), file);
  fclose(file);
}

// One cache object shared by the threads and checked against the file's
// name at each call, as the validator keeps it. The first call builds the
// index; the rest find the record through it.
void BM_CacheSearchLastRecord(benchmark::State& state) {
  static EmailServerCache cache;
  if (state.thread_index() == 0) WriteCache(kRecords);
  const std::string last = "host" + std::to_string(kRecords - 1) + ".example.org";
  for (auto _ : state) {
    cache.OpenCurrent(CachePath().c_str());
    EmailServerRecord record;
    cache.Search(last.c_str(), record);
    if (record.Empty()) state.SkipWithError("not found");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CacheSearchLastRecord)->Threads(1)->Threads(2)->UseRealTime();

void BM_ValidateEmailFreshCacheHit(benchmark::State& state) {
  TheWorld().PointThisThread();
  if (state.thread_index() == 0) WriteCache(kRecords);
  const std::string address = "user@host" + std::to_string(kRecords - 1) + ".example.org";
  char buffer[256];
  for (auto _ : state) {
    snprintf(buffer, sizeof buffer, "%s", address.c_str());
    zruValidateEmail(buffer, 255);
    if (buffer[0] != '4') state.SkipWithError(buffer);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ValidateEmailFreshCacheHit)->Threads(1)->Threads(2)->UseRealTime();

// The floor: the MX query alone, straight through the resolver.
void BM_ResQueryMx(benchmark::State& state) {
  World& world = TheWorld();
  world.PointThisThread();
  unsigned char answer[4096];
  for (auto _ : state) {
    const std::string name = "q" + std::to_string(world.unique++) + ".many.test";
    if (res_query(name.c_str(), ns_c_in, ns_t_mx, answer, sizeof answer) < 0)
      state.SkipWithError("res_query failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResQueryMx)->UseRealTime();

// Cold: every domain is new, so each call searches the (small, growing)
// cache, queries the DNS, maybe probes, and appends.
void ValidateCold(benchmark::State& state, int level) {
  World& world = TheWorld();
  world.PointThisThread();
  if (level >= 3 && !world.canProbe) {
    state.SkipWithError("cannot bind 127.0.0.2:25");
    return;
  }
  WriteCache(0);
  const char expected = level >= 3 ? '6' : '4';
  char buffer[256];
  for (auto _ : state) {
    snprintf(buffer, sizeof buffer, "Level=%d;u@v%ld.many.test", level, world.unique++);
    zruValidateEmail(buffer, 255);
    if (buffer[0] != expected) state.SkipWithError(buffer);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ValidateEmailColdLevel2(benchmark::State& state) { ValidateCold(state, 2); }
void BM_ValidateEmailColdLevel3(benchmark::State& state) { ValidateCold(state, 3); }
BENCHMARK(BM_ValidateEmailColdLevel2)->UseRealTime();
BENCHMARK(BM_ValidateEmailColdLevel3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
