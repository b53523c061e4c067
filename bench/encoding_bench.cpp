// SHA-1, Base64 and the TEA text form on 1 MB buffers, side by side with
// OpenSSL (EVP_sha1, EVP_EncodeBlock, EVP_DecodeBlock) on the same bytes.
// Figures are bytes of input per second.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "text/base64.h"
#include "text/sha1.h"
#include "text/sha1_portable.h"
#include "text/tea.h"

namespace {

constexpr size_t kBytes = 1 << 20;

const std::vector<unsigned char>& Data() {
  static const std::vector<unsigned char> data = [] {
    std::vector<unsigned char> d(kBytes);
    std::mt19937 random(1);
    for (unsigned char& b : d) b = static_cast<unsigned char>(random());
    return d;
  }();
  return data;
}

void Sha1Ours(benchmark::State& state) {
  unsigned char digest[kSha1DigestSize];
  for (auto _ : state) {
    HashSha1(Data().data(), kBytes, digest, sizeof digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// The loop used where the processor lacks the SHA extensions.
void Sha1OursPortable(benchmark::State& state) {
  unsigned char digest[kSha1DigestSize];
  for (auto _ : state) {
    zru_detail::HashSha1Portable(Data().data(), kBytes, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Sha1OpenSsl(benchmark::State& state) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size;
  for (auto _ : state) {
    EVP_Digest(Data().data(), kBytes, digest, &size, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Base64EncodeOurs(benchmark::State& state) {
  std::vector<char> out(kBytes / 3 * 4 + 8);
  for (auto _ : state) {
    Base64Encode(Data().data(), kBytes, out.data(), true);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Base64EncodeOpenSsl(benchmark::State& state) {
  std::vector<unsigned char> out(kBytes / 3 * 4 + 8);
  for (auto _ : state) {
    EVP_EncodeBlock(out.data(), Data().data(), static_cast<int>(kBytes));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// Decoding is measured in decoded bytes (1 MB), from the padded text.
const std::string& Encoded() {
  static const std::string text = Base64Encode(Data(), true);
  return text;
}

void Base64DecodeOurs(benchmark::State& state) {
  std::vector<unsigned char> out(kBytes);
  for (auto _ : state) {
    if (Base64Decode(Encoded().c_str(), out.data(), out.size()) != static_cast<int>(kBytes))
      state.SkipWithError("decoding failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Base64DecodeVectorOurs(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Base64Decode(Encoded().c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Base64DecodeOpenSsl(benchmark::State& state) {
  std::vector<unsigned char> out(kBytes + 4);
  const auto text = reinterpret_cast<const unsigned char*>(Encoded().data());
  for (auto _ : state) {
    EVP_DecodeBlock(out.data(), text, static_cast<int>(Encoded().size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// The text form of a short text (an e-mail address) both ways.
void TeaTextRoundTrip(benchmark::State& state) {
  const unsigned int key[4] = {1, 2, 3, 4};
  const char* text = "someone.with.a.long.name@example.co.uk";
  char encrypted[128], decrypted[64];
  for (auto _ : state) {
    TeaEncryptText(key, text, encrypted, sizeof encrypted);
    TeaDecryptText(key, encrypted, decrypted, sizeof decrypted);
    benchmark::DoNotOptimize(decrypted);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(Sha1Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sha1OursPortable)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sha1OpenSsl)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64EncodeOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64EncodeOpenSsl)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64DecodeOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64DecodeVectorOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(Base64DecodeOpenSsl)->Unit(benchmark::kMicrosecond);
BENCHMARK(TeaTextRoundTrip);

BENCHMARK_MAIN();
