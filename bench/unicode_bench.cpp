// UTF-8 decoding and encoding on plain ASCII and on mixed Latin, Greek and
// CJK text, side by side with glibc's iconv on the same bytes; case folding
// and accent removal. Figures are bytes of UTF-8 input per second.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "text/unicode.h"
#include "text/unicode_props.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;

// About 1 MB of UTF-8: ASCII only, or address-like words in three scripts.
const std::string& Text(bool mixed) {
  static const std::string ascii = [] {
    std::string s;
    while (s.size() < kTextBytes) s += "42 High Street, Little Snoring, Norfolk NR21 0AB\n";
    return s;
  }();
  static const std::string mixedText = [] {
    std::string s;
    while (s.size() < kTextBytes)
      s += "12 Rue de l'\xC3\x89glise, Z\xC3\xBCrich \xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1 "
           "\xCE\x9F\xCE\xB4\xCF\x8C\xCF\x82 \xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD"
           "\xE6\xB8\xAF\xE5\x8C\xBA \xC3\x85lesund\n";
    return s;
  }();
  return mixed ? mixedText : ascii;
}

void DecodeOurs(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToWide(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeOurs(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  const std::wstring wide = Utf8ToWide(text);
  for (auto _ : state) benchmark::DoNotOptimize(WideToUtf8(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// One iconv call over the whole buffer, output preallocated as ours is.
template <class In, class Out>
void IconvConvert(iconv_t cd, const In& in, Out& out) {
  char* inp = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
  size_t inLeft = in.size() * sizeof(typename In::value_type);
  char* outp = reinterpret_cast<char*>(&out[0]);
  size_t outLeft = out.size() * sizeof(typename Out::value_type);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) abort();
}

void DecodeIconv(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  iconv_t cd = iconv_open("WCHAR_T", "UTF-8");
  for (auto _ : state) {
    std::wstring out(text.size(), L'\0');
    IconvConvert(cd, text, out);
    benchmark::DoNotOptimize(out);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeIconv(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  const std::wstring wide = Utf8ToWide(text);
  iconv_t cd = iconv_open("UTF-8", "WCHAR_T");
  for (auto _ : state) {
    std::string out(wide.size() * 4, '\0');
    IconvConvert(cd, wide, out);
    benchmark::DoNotOptimize(out);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void CaseFold(benchmark::State& state) {
  const std::string& text = Text(true);
  const std::wstring wide = Utf8ToWide(text);
  for (auto _ : state) benchmark::DoNotOptimize(UnicodeCaseFold(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void RemoveAccentsWide(benchmark::State& state) {
  const std::string& text = Text(true);
  const std::wstring wide = Utf8ToWide(text);
  for (auto _ : state) benchmark::DoNotOptimize(UnicodeRemoveAccents(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void RemoveAccentsUtf8InPlace(benchmark::State& state) {
  const std::string& text = Text(true);
  for (auto _ : state) {
    std::string copy = text;
    Utf8RemoveAccentsMe(copy);
    benchmark::DoNotOptimize(copy);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Argument 0: ASCII, 1: mixed scripts.
BENCHMARK(DecodeOurs)->Arg(0)->Arg(1);
BENCHMARK(DecodeIconv)->Arg(0)->Arg(1);
BENCHMARK(EncodeOurs)->Arg(0)->Arg(1);
BENCHMARK(EncodeIconv)->Arg(0)->Arg(1);
BENCHMARK(CaseFold);
BENCHMARK(RemoveAccentsWide);
BENCHMARK(RemoveAccentsUtf8InPlace);

}  // namespace

BENCHMARK_MAIN();
