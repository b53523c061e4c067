#include "text/sha1.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "foundation/byte_order.h"
#include "text/sha1_portable.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

// Compresses count 64-byte blocks into the five state words.
using CompressFunction = void (*)(uint32_t* state, const unsigned char* blocks, size_t count);

inline uint32_t Rotl(uint32_t x, int n) { return x << n | x >> (32 - n); }

// The portable compression keeps the message schedule in a ring of 16 words
// and names the five working variables anew each round instead of moving
// them, so the compiler keeps everything in registers.
#define SHA1_W(i) (w[(i)&15] = Rotl(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i)&15], 1))
#define SHA1_ROUND(a, b, c, d, e, f, k, wi) \
  do {                                      \
    e += Rotl(a, 5) + (f) + (k) + (wi);     \
    b = Rotl(b, 30);                        \
  } while (0)
#define SHA1_F0(b, c, d) (d ^ (b & (c ^ d)))
#define SHA1_F1(b, c, d) (b ^ c ^ d)
#define SHA1_F2(b, c, d) ((b & c) | (d & (b | c)))
#define SHA1_R0(a, b, c, d, e, i) SHA1_ROUND(a, b, c, d, e, SHA1_F0(b, c, d), 0x5A827999u, w[i] = ReadBigEndian32(block + 4 * (i)))
#define SHA1_R1(a, b, c, d, e, i) SHA1_ROUND(a, b, c, d, e, SHA1_F0(b, c, d), 0x5A827999u, SHA1_W(i))
#define SHA1_R2(a, b, c, d, e, i) SHA1_ROUND(a, b, c, d, e, SHA1_F1(b, c, d), 0x6ED9EBA1u, SHA1_W(i))
#define SHA1_R3(a, b, c, d, e, i) SHA1_ROUND(a, b, c, d, e, SHA1_F2(b, c, d), 0x8F1BBCDCu, SHA1_W(i))
#define SHA1_R4(a, b, c, d, e, i) SHA1_ROUND(a, b, c, d, e, SHA1_F1(b, c, d), 0xCA62C1D6u, SHA1_W(i))
// Five rounds rotate the variables back to their places.
#define SHA1_FIVE(R, i)     \
  R(a, b, c, d, e, i);     \
  R(e, a, b, c, d, i + 1); \
  R(d, e, a, b, c, i + 2); \
  R(c, d, e, a, b, i + 3); \
  R(b, c, d, e, a, i + 4)

void CompressPortable(uint32_t* state, const unsigned char* blocks, size_t count) {
  for (; count > 0; --count, blocks += 64) {
    const unsigned char* block = blocks;
    uint32_t w[16];
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    SHA1_FIVE(SHA1_R0, 0);
    SHA1_FIVE(SHA1_R0, 5);
    SHA1_FIVE(SHA1_R0, 10);
    SHA1_R0(a, b, c, d, e, 15);
    SHA1_R1(e, a, b, c, d, 16);
    SHA1_R1(d, e, a, b, c, 17);
    SHA1_R1(c, d, e, a, b, 18);
    SHA1_R1(b, c, d, e, a, 19);
    SHA1_FIVE(SHA1_R2, 20);
    SHA1_FIVE(SHA1_R2, 25);
    SHA1_FIVE(SHA1_R2, 30);
    SHA1_FIVE(SHA1_R2, 35);
    SHA1_FIVE(SHA1_R3, 40);
    SHA1_FIVE(SHA1_R3, 45);
    SHA1_FIVE(SHA1_R3, 50);
    SHA1_FIVE(SHA1_R3, 55);
    SHA1_FIVE(SHA1_R4, 60);
    SHA1_FIVE(SHA1_R4, 65);
    SHA1_FIVE(SHA1_R4, 70);
    SHA1_FIVE(SHA1_R4, 75);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

#if defined(__x86_64__)

#define SHA1_NI_TARGET __attribute__((target("sha,ssse3,sse4.1")))

// The registers of the SHA extensions' compression: the state a b c d in one
// register (a in the top lane), e in the top lane of another, and the
// message schedule in a ring of four registers of four words.
struct ShaNiRegisters {
  __m128i abcd, e[2], message[4];
};

// Rounds 4g to 4g + 3. Each group also advances the message schedule by the
// steps that later groups need: sha1msg1 three groups ahead, the XOR two
// groups ahead and sha1msg2 for the next group.
template <int g>
SHA1_NI_TARGET inline void ShaNiGroup(ShaNiRegisters& r) {
  __m128i& e = r.e[g % 2];
  const __m128i m = r.message[g % 4];
  if constexpr (g == 0)
    e = _mm_add_epi32(e, m);
  else
    e = _mm_sha1nexte_epu32(e, m);
  r.e[(g + 1) % 2] = r.abcd;
  if constexpr (g >= 3 && g <= 18) r.message[(g + 1) % 4] = _mm_sha1msg2_epu32(r.message[(g + 1) % 4], m);
  r.abcd = _mm_sha1rnds4_epu32(r.abcd, e, g / 5);
  if constexpr (g >= 1 && g <= 16) r.message[(g + 3) % 4] = _mm_sha1msg1_epu32(r.message[(g + 3) % 4], m);
  if constexpr (g >= 2 && g <= 17) r.message[(g + 2) % 4] = _mm_xor_si128(r.message[(g + 2) % 4], m);
}

template <int... g>
SHA1_NI_TARGET inline void ShaNiGroups(ShaNiRegisters& r, std::integer_sequence<int, g...>) {
  (ShaNiGroup<g>(r), ...);
}

SHA1_NI_TARGET void CompressShaNi(uint32_t* state, const unsigned char* blocks, size_t count) {
  // Big-endian words of the message to the lane order the instructions take.
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  ShaNiRegisters r;
  r.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; count > 0; --count, blocks += 64) {
    const __m128i abcdBefore = r.abcd, eBefore = e;
    for (int i = 0; i < 4; ++i)
      r.message[i] = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
    r.e[0] = e;
    ShaNiGroups(r, std::make_integer_sequence<int, 20>());
    e = _mm_sha1nexte_epu32(r.e[0], eBefore);
    r.abcd = _mm_add_epi32(r.abcd, abcdBefore);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(r.abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

bool HasShaNi() {
  unsigned int a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1)) return false;
  return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

CompressFunction ChooseCompress() { return HasShaNi() ? CompressShaNi : CompressPortable; }

#else

CompressFunction ChooseCompress() { return CompressPortable; }

#endif

void Hash(CompressFunction compress, const unsigned char* data, size_t length,
          unsigned char* digest) {
  uint32_t state[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  const size_t whole = length / 64;
  compress(state, data, whole);
  // The rest, the 1 bit, zeros and the 64-bit bit length fill one or two
  // more blocks.
  unsigned char tail[128] = {};
  const size_t rest = length % 64;
  if (rest > 0) std::memcpy(tail, data + whole * 64, rest);
  tail[rest] = 0x80;
  const size_t tailBlocks = rest < 56 ? 1 : 2;
  WriteBigEndian64(tail + 64 * tailBlocks - 8, static_cast<uint64_t>(length) << 3);
  compress(state, tail, tailBlocks);
  for (int i = 0; i < 5; ++i) WriteBigEndian32(digest + 4 * i, state[i]);
}

}  // namespace

void HashSha1(const unsigned char* data, size_t length, unsigned char* digest, size_t digestSize) {
  if (digestSize < kSha1DigestSize) {
    if (digestSize > 0) std::memset(digest, 0, digestSize);
    return;
  }
  // Chosen once per process; the initialisation of a local static is
  // thread-safe.
  static const CompressFunction compress = ChooseCompress();
  Hash(compress, data, length, digest);
}

void zru_detail::HashSha1Portable(const unsigned char* data, size_t length, unsigned char* digest) {
  Hash(CompressPortable, data, length, digest);
}
