#include "text/base64.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// What a byte of an encoded text is: a digit's value 0 to 63, a character
// between '+' and 'z' that is no digit ('=' among them), or anything outside
// that range. Indexed by the byte as unsigned, so no byte reads outside it.
enum : unsigned char { kNotDigit = 64, kOutside = 65 };
struct ClassTable {
  unsigned char of[256];
};
constexpr ClassTable MakeClassTable() {
  ClassTable t{};
  for (int c = 0; c < 256; ++c) t.of[c] = c >= '+' && c <= 'z' ? kNotDigit : kOutside;
  for (int i = 0; i < 64; ++i) t.of[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
  return t;
}
constexpr ClassTable kClass = MakeClassTable();

// A digit's value already shifted to its place in a group of four, so that a
// group decodes with four loads and three ORs; a byte that is no digit sets
// bit 24, which no group of digits reaches.
constexpr uint32_t kBadGroup = 0x01000000u;
struct ShiftedTable {
  uint32_t of[256];
};
constexpr ShiftedTable MakeShiftedTable(int shift) {
  ShiftedTable t{};
  for (int c = 0; c < 256; ++c)
    t.of[c] = kClass.of[c] < 64 ? static_cast<uint32_t>(kClass.of[c]) << shift : kBadGroup;
  return t;
}
constexpr ShiftedTable kDigit0 = MakeShiftedTable(18);
constexpr ShiftedTable kDigit1 = MakeShiftedTable(12);
constexpr ShiftedTable kDigit2 = MakeShiftedTable(6);
constexpr ShiftedTable kDigit3 = MakeShiftedTable(0);

// The two characters of every 12-bit value: three bytes encode with two
// loads instead of four.
struct PairTable {
  char of[2 * 4096];
};
constexpr PairTable MakePairTable() {
  PairTable t{};
  for (int i = 0; i < 4096; ++i) {
    t.of[2 * i] = kAlphabet[i >> 6];
    t.of[2 * i + 1] = kAlphabet[i & 63];
  }
  return t;
}
constexpr PairTable kPairs = MakePairTable();

size_t EncodedLength(size_t length, bool pad) {
  const size_t tail = length % 3;
  return length / 3 * 4 + (tail == 0 ? 0 : pad ? 4 : tail + 1);
}

// Writes the encoding (without terminator) and returns its length.
size_t Encode(const unsigned char* data, size_t length, char* out, bool pad) {
  char* o = out;
  size_t i = 0;
  for (; i + 3 <= length; i += 3, o += 4) {
    const uint32_t group = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
    std::memcpy(o, &kPairs.of[2 * (group >> 12)], 2);
    std::memcpy(o + 2, &kPairs.of[2 * (group & 0xFFF)], 2);
  }
  const size_t tail = length - i;
  if (tail > 0) {
    const uint32_t group = uint32_t{data[i]} << 16 | (tail == 2 ? uint32_t{data[i + 1]} << 8 : 0);
    *o++ = kAlphabet[group >> 18];
    *o++ = kAlphabet[(group >> 12) & 63];
    if (tail == 2) *o++ = kAlphabet[(group >> 6) & 63];
    if (pad) {
      if (tail == 1) *o++ = '=';
      *o++ = '=';
    }
  }
  return static_cast<size_t>(o - out);
}

// Decodes the digits at the start of the length characters of text into at
// most room bytes of out and returns the bytes written. at is where decoding
// stopped (length at the end of the text); full is set when a byte did not
// fit, which ends decoding too.
size_t Decode(const char* text, size_t length, unsigned char* out, size_t room, size_t& at,
              bool& full) {
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0, n = 0;
  // Whole groups of four digits while three more bytes surely fit.
  while (i + 4 <= length && room - n >= 3) {
    const uint32_t group =
        kDigit0.of[t[i]] | kDigit1.of[t[i + 1]] | kDigit2.of[t[i + 2]] | kDigit3.of[t[i + 3]];
    if (group & kBadGroup) break;
    out[n] = static_cast<unsigned char>(group >> 16);
    out[n + 1] = static_cast<unsigned char>(group >> 8);
    out[n + 2] = static_cast<unsigned char>(group);
    i += 4;
    n += 3;
  }
  // The rest one digit at a time, room checked before every byte.
  full = false;
  uint32_t bits = 0;
  int digits = 0;
  for (; i < length; ++i) {
    const unsigned char c = kClass.of[t[i]];
    if (c >= 64) break;
    bits = bits << 6 | c;
    // Every digit after the first of a group completes one more byte.
    if (++digits > 1) {
      if (n == room) {
        full = true;
        break;
      }
      out[n++] = static_cast<unsigned char>(bits >> (8 - 2 * digits));
    }
    if (digits == 4) digits = 0, bits = 0;
  }
  at = i;
  return n;
}

}  // namespace

void Base64Encode(const unsigned char* data, size_t length, char* out, bool pad) {
  out[Encode(data, length, out, pad)] = '\0';
}

std::string Base64Encode(const unsigned char* data, size_t length, bool pad) {
  std::string text(EncodedLength(length, pad), '\0');
  Encode(data, length, &text[0], pad);
  return text;
}

std::string Base64Encode(const std::vector<unsigned char>& data, bool pad) {
  return Base64Encode(data.data(), data.size(), pad);
}

int Base64Decode(const char* text, unsigned char* out, size_t outSize) {
  const size_t length = std::strlen(text);
  size_t at;
  bool full;
  const size_t n = Decode(text, length, out, outSize, at, full);
  if (full || n > INT_MAX) return 0;
  // A character outside the table's range means the text is not Base64 at
  // all, while one inside it (such as "=") only ends the digits.
  if (at < length && kClass.of[static_cast<unsigned char>(text[at])] == kOutside) return 0;
  return static_cast<int>(n);
}

std::vector<unsigned char> Base64Decode(const char* text) {
  const size_t length = std::strlen(text);
  // Room for every byte the digits can give, so decoding never runs full.
  std::vector<unsigned char> bytes(length / 4 * 3 + 2);
  size_t at;
  bool full;
  bytes.resize(Decode(text, length, bytes.data(), bytes.size(), at, full));
  return bytes;
}
