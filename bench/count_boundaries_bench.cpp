// zruCountBoundaries beside the stand-in address-data library alone, so
// that the entry's own share of a call is visible:
//
//   BM_StandIn   the library calls a query makes (open, properties, codes,
//                range, nearest address, walk to the end, close), made
//                straight through PafLibWrapper with nothing counted
//   BM_Entry     zruCountBoundaries: parameter reading, the same calls,
//                counting of the walked values and the answer text
//   BM_EntryAll  the same with "All=True;" (the distribution of values)
//
// on a locality of 100,000 addresses ("big": records walked per second and
// nanoseconds per record) and one of 40 ("small": calls per second), on 1
// and 2 threads. Rates are per second of wall time, all threads together;
// on a shared machine compare the CPU times, and run with
// --benchmark_enable_random_interleaving=true --benchmark_repetitions=N so
// that the peers meet the same load.
// The ARFs are written to a scratch folder first; libzrpaf.so is found
// through the program's run path.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "api/zrutils.h"
#include "spatial/paf_lib_wrapper.h"
#include "tests/test_support.h"

namespace {

constexpr int kBig = 100000, kSmall = 40;

// Addresses of one locality laid out on a grid of streets, 50 a street,
// with 8 wards; every locality has its own postcode and area.
void WriteLocality(std::ofstream& out, const char* locality, const char* postcode, int count,
                   double latitude0) {
  for (int i = 0; i < count; ++i) {
    const int street = i / 50, house = i % 50;
    out << "QX|" << locality << '|' << postcode << "|STREET " << street << "|ROAD||S" << street
        << '|' << house + 1 << std::string(34, '|');
    char codes[160];
    snprintf(codes, sizeof codes, "|%.6f|%.6f|Ward %d|%s", latitude0 - 0.003 * (street % 100),
             153.0 + 0.0003 * ((street / 100) * 50 + house), (street * 7 + house / 13) % 8, postcode);
    out << codes << '\n';
  }
}

struct Setup {
  ScratchDir dir;
  std::string arf;
  PafLibWrapper paf;
  Setup() {
    arf = dir.File("bench.arf");
    std::ofstream out(arf, std::ios::binary);
    out << "ZRPAF-ARF 1\ncodes Geo.Latitude+Longitude;Geo.Ward;Geo.Postcode\nrecords\n";
    WriteLocality(out, "BIG", "5000", kBig, -27.0);
    WriteLocality(out, "SMALL", "6000", kSmall, -28.0);
    out.close();
    char message[256];
    if (paf.Load(message) != 0) fprintf(stderr, "%s\n", message);
    char buffer[64] = "Initialise";
    if (zruCountBoundaries(buffer, 63) != 0) fprintf(stderr, "%s\n", buffer);
  }
};

long StandInQuery(const PafLibWrapper& paf, const std::string& arf, const char* point);

const char* Point(bool big) { return big ? "-27.0,153.0" : "-28.0,153.0"; }

// The stand-in parses an ARF at its first open and keeps it: that first
// open is made here, outside the timed loops.
Setup& TheSetup() {
  static Setup setup;
  static const long warm = StandInQuery(setup.paf, setup.arf, Point(true));
  if (warm != kBig) fprintf(stderr, "the big locality walked %ld records\n", warm);
  return setup;
}

// One query's library calls; the number of records walked, or -1.
long StandInQuery(const PafLibWrapper& paf, const std::string& arf, const char* point) {
  char record[4096];
  int id = 0;
  if (paf.pafOpenArfId(&id, 0, arf.c_str()) != 0) return -1;
  paf.pafGetPropertiesId(id, "Delimiter", record, 4095);
  const char d = record[0];
  paf.pafGetPropertiesId(id, "GIFFields", record, 4095);
  paf.pafSetGeographicalCodesId(id, "Geo.Latitude+Longitude,Ward");
  paf.pafSetPropertiesId(id, "LatLongSearchRange", "2000");
  std::string query(42, d);
  query += point;
  query[query.find(',')] = d;
  long walked = 0;
  if (paf.pafGetAddressId(id, query.c_str(), record, 4095) == 0) {
    char* cut = record;
    for (int k = 0; k < 3 && cut != nullptr; ++k) cut = strchr(cut + (k > 0), d);
    if (cut != nullptr) *cut = '\0';
    paf.pafGetAddressId(id, record, record, 4095);
    // The end of the walk, as cheaply as it can be told here (the stand-in's
    // delimiter is "|").
    while (record[0] != '\0' && memcmp(record, "||||||||", 8) != 0) {
      ++walked;
      if (paf.pafGetNextAddressId(id, record, 4095) != 0) break;
    }
  }
  paf.pafClosePafId(id);
  return walked;
}

void Rates(benchmark::State& state, long walked) {
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(walked), benchmark::Counter::kIsRate);
  state.counters["ns/record"] = benchmark::Counter(
      static_cast<double>(walked) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StandIn(benchmark::State& state) {
  Setup& setup = TheSetup();
  const char* point = Point(state.range(0) != 0);
  long walked = 0;
  for (auto _ : state) {
    const long n = StandInQuery(setup.paf, setup.arf, point);
    if (n < 0) state.SkipWithError("stand-in query failed");
    walked += n;
  }
  Rates(state, walked);
}

void EntryQuery(benchmark::State& state, const char* tail) {
  Setup& setup = TheSetup();
  const bool big = state.range(0) != 0;
  const std::string parameters =
      "ARF=" + setup.arf + ";GIF=Ward;Level=L;LatLong=" + Point(big) + ";" + tail;
  char buffer[1024 + 1];
  for (auto _ : state) {
    memcpy(buffer, parameters.c_str(), parameters.size() + 1);
    if (zruCountBoundaries(buffer, 1024) != 0) state.SkipWithError(buffer);
  }
  Rates(state, static_cast<long>(state.iterations()) * (big ? kBig : kSmall));
}

void BM_Entry(benchmark::State& state) { EntryQuery(state, ""); }
void BM_EntryAll(benchmark::State& state) { EntryQuery(state, "All=True;"); }

#define ZRU_COUNT_BENCH(name) \
  BENCHMARK(name)->ArgName("big")->Arg(1)->Arg(0)->Threads(1)->Threads(2)->UseRealTime()
ZRU_COUNT_BENCH(BM_StandIn);
ZRU_COUNT_BENCH(BM_Entry);
ZRU_COUNT_BENCH(BM_EntryAll);

}  // namespace

BENCHMARK_MAIN();
