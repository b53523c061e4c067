// Phonetic keys and fuzzy comparisons over 2^20 (about a million)
// surname-like pairs: a name and a copy with one to three random edits, or
// another name. Figures are keys or comparisons per second; "allocs" counts
// heap allocations per call (operator new is counted in this program), which
// should be 0 for names under 64 characters.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "text/fuzzy_compare.h"
#include "text/phonetic.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

constexpr size_t kPairs = size_t{1} << 20;

struct Pair {
  std::string a, b;
};

std::string Surname(std::mt19937& random) {
  static const char* starts[] = {"b", "br", "c", "ch", "cl", "d", "f", "g", "gr", "h", "j",
                                 "k", "l", "m", "mc", "n", "o'", "p", "ph", "r", "s", "sch",
                                 "sh", "st", "t", "th", "v", "w", "wr", "y", "z"};
  static const char* vowels[] = {"a", "e", "i", "o", "u", "y", "ai", "ea", "ee", "ie", "ou", "oo"};
  static const char* ends[] = {"", "n", "r", "s", "t", "ll", "ck", "ng", "rd", "nd", "son", "ton",
                               "ley", "man", "er", "ing", "worth", "field", "ski", "ez", "x", "tz", "gh"};
  std::string s;
  for (int n = 1 + random() % 3; n > 0; --n) {
    s += starts[random() % (sizeof starts / sizeof *starts)];
    s += vowels[random() % (sizeof vowels / sizeof *vowels)];
  }
  s += ends[random() % (sizeof ends / sizeof *ends)];
  s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

std::string Edited(std::mt19937& random, std::string s) {
  for (int n = 1 + random() % 3; n > 0; --n) {
    const size_t i = random() % (s.size() + 1);
    const char letter = static_cast<char>('a' + random() % 26);
    switch (random() % 4) {
      case 0:
        if (i + 1 < s.size()) std::swap(s[i], s[i + 1]);
        break;
      case 1:
        if (i < s.size()) s.erase(i, 1);
        break;
      case 2:
        s.insert(i, 1, letter);
        break;
      default:
        if (i < s.size()) s[i] = letter;
    }
  }
  return s;
}

const std::vector<Pair>& Pairs() {
  static const std::vector<Pair> pairs = [] {
    std::mt19937 random(42);
    std::vector<Pair> p(kPairs);
    for (Pair& pair : p) {
      pair.a = Surname(random);
      pair.b = random() % 10 < 7 ? Edited(random, pair.a) : Surname(random);
    }
    return p;
  }();
  return pairs;
}

// Runs call on pair after pair and reports calls per second and heap
// allocations per call.
template <class Call>
void OverPairs(benchmark::State& state, Call call) {
  const std::vector<Pair>& pairs = Pairs();
  size_t i = 0;
  const long before = allocations.load();
  for (auto _ : state) {
    call(pairs[i]);
    i = (i + 1) & (kPairs - 1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["allocs"] = benchmark::Counter(
      static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}

// A key of the first name of every pair.
void PhoneticKey(benchmark::State& state, void (*key)(char*, const char*, int), int maxLength) {
  char buffer[16];
  OverPairs(state, [&](const Pair& p) {
    key(buffer, p.a.c_str(), maxLength);
    benchmark::DoNotOptimize(buffer);
  });
}

void Soundex2Key(benchmark::State& state) {
  OverPairs(state, [&](const Pair& p) { benchmark::DoNotOptimize(Soundex2(p.a.c_str())); });
}

void Jaro(benchmark::State& state) {
  OverPairs(state, [&](const Pair& p) { benchmark::DoNotOptimize(CompareJaro(p.a, p.b)); });
}

void EditDistance(benchmark::State& state) {
  const int maxEdits = static_cast<int>(state.range(0));
  OverPairs(state, [&](const Pair& p) {
    benchmark::DoNotOptimize(CompareStrings2(p.a.c_str(), p.b.c_str(), maxEdits, false));
  });
}

void OneEdit(benchmark::State& state) {
  OverPairs(state, [&](const Pair& p) {
    bool identical;
    benchmark::DoNotOptimize(StringsNearlyTheSame(p.a.c_str(), p.b.c_str(), identical, false, false));
  });
}

}  // namespace

BENCHMARK_CAPTURE(PhoneticKey, Soundex, Soundex, 4);
BENCHMARK(Soundex2Key);
BENCHMARK_CAPTURE(PhoneticKey, Nysiis, Nysiis, 8);
BENCHMARK_CAPTURE(PhoneticKey, Metaphone, Metaphone, 8);
BENCHMARK(Jaro);
BENCHMARK(EditDistance)->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(OneEdit);

BENCHMARK_MAIN();
