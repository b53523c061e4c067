#include "text/tea.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/byte_order.h"
#include "text/base64.h"
#include "text/string_edit.h"

namespace {

const uint32_t kDelta = 0x9E3779B9u;

inline uint32_t Mix(uint32_t y, uint32_t z, uint32_t sum, const unsigned int* key, size_t p,
                    uint32_t e) {
  return ((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (key[(p & 3) ^ e] ^ z));
}

// The cipher over any store of count words with Get(i) and Set(i, value),
// so that byte buffers are enciphered where they lie.
template <class Words>
void Encipher(const unsigned int* key, Words& v, size_t n) {
  if (n < 2) return;
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n);
  uint32_t sum = 0, y, z = v.Get(n - 1);
  do {
    sum += kDelta;
    const uint32_t e = (sum >> 2) & 3;
    size_t p = 0;
    for (; p < n - 1; ++p) {
      y = v.Get(p + 1);
      z = v.Set(p, v.Get(p) + Mix(y, z, sum, key, p, e));
    }
    y = v.Get(0);
    z = v.Set(p, v.Get(p) + Mix(y, z, sum, key, p, e));
  } while (--rounds);
}

template <class Words>
void Decipher(const unsigned int* key, Words& v, size_t n) {
  if (n < 2) return;
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n);
  uint32_t sum = rounds * kDelta, y = v.Get(0), z;
  do {
    const uint32_t e = (sum >> 2) & 3;
    size_t p = n - 1;
    for (; p > 0; --p) {
      z = v.Get(p - 1);
      y = v.Set(p, v.Get(p) - Mix(y, z, sum, key, p, e));
    }
    z = v.Get(n - 1);
    y = v.Set(0, v.Get(0) - Mix(y, z, sum, key, p, e));
    sum -= kDelta;
  } while (--rounds);
}

struct WordArray {
  unsigned int* words;
  uint32_t Get(size_t i) const { return words[i]; }
  uint32_t Set(size_t i, uint32_t value) { return words[i] = value; }
};

// Whole little-endian words of a byte buffer.
struct LittleEndianWords {
  unsigned char* bytes;
  uint32_t Get(size_t i) const { return ReadLittleEndian32(bytes + 4 * i); }
  uint32_t Set(size_t i, uint32_t value) {
    WriteLittleEndian32(bytes + 4 * i, value);
    return value;
  }
};

// Big-endian words of a byte buffer whose last group may be short: that
// word is held here while the cipher runs, and only its high bytes go back.
class BigEndianWords {
 public:
  BigEndianWords(unsigned char* bytes, size_t length)
      : bytes_(bytes), whole_(length / 4), partial_(length % 4), last_(0) {
    for (size_t k = 0; k < partial_; ++k) last_ |= uint32_t{bytes[4 * whole_ + k]} << (24 - 8 * k);
  }
  size_t count() const { return whole_ + (partial_ > 0); }
  uint32_t Get(size_t i) const { return i < whole_ ? ReadBigEndian32(bytes_ + 4 * i) : last_; }
  uint32_t Set(size_t i, uint32_t value) {
    if (i < whole_)
      WriteBigEndian32(bytes_ + 4 * i, value);
    else
      last_ = value;
    return value;
  }
  void WriteLast() {
    for (size_t k = 0; k < partial_; ++k)
      bytes_[4 * whole_ + k] = static_cast<unsigned char>(last_ >> (24 - 8 * k));
  }

 private:
  unsigned char* bytes_;
  size_t whole_, partial_;
  uint32_t last_;
};

template <bool encipher>
void CipherBytes(const unsigned int* key, unsigned char* bytes, size_t length) {
  if (length < 8) return;
  BigEndianWords words(bytes, length);
  if (encipher)
    Encipher(key, words, words.count());
  else
    Decipher(key, words, words.count());
  words.WriteLast();
}

}  // namespace

void TeaEncrypt(const unsigned int* key, unsigned int* words, size_t count) {
  WordArray v{words};
  Encipher(key, v, count);
}

void TeaDecrypt(const unsigned int* key, unsigned int* words, size_t count) {
  WordArray v{words};
  Decipher(key, v, count);
}

void TeaEncryptB(const unsigned int* key, unsigned char* bytes, size_t length) {
  CipherBytes<true>(key, bytes, length);
}

void TeaDecryptB(const unsigned int* key, unsigned char* bytes, size_t length) {
  CipherBytes<false>(key, bytes, length);
}

std::string TeaEncryptText(const unsigned int* key, const char* text) {
  const size_t length = std::strlen(text);
  // NUL padding to whole words, at least two of them.
  std::vector<unsigned char> bytes(std::max<size_t>(8, (length + 3) / 4 * 4), 0);
  std::memcpy(bytes.data(), text, length);
  LittleEndianWords words{bytes.data()};
  Encipher(key, words, bytes.size() / 4);
  return Base64Encode(bytes, false);
}

void TeaEncryptText(const unsigned int* key, const char* text, char* out, size_t outSize) {
  if (outSize == 0) return;
  // The host gets an empty answer, not an exception, when memory runs out.
  try {
    ZR_strcpy(out, TeaEncryptText(key, text).c_str(), outSize);
  } catch (const std::bad_alloc&) {
    out[0] = '\0';
  }
}

void TeaDecryptText(const unsigned int* key, const char* text, char* out, size_t outSize) {
  if (outSize == 0) return;
  try {
    // Room for every byte the digits give and a terminator after them.
    std::vector<unsigned char> bytes(std::strlen(text) + 1);
    const int count = Base64Decode(text, bytes.data(), bytes.size() - 1);
    if (count < 8) {
      out[0] = '\0';
      return;
    }
    bytes[count] = 0;
    LittleEndianWords words{bytes.data()};
    Decipher(key, words, static_cast<size_t>(count) / 4);
    ZR_strcpy(out, reinterpret_cast<const char*>(bytes.data()), outSize);
  } catch (const std::bad_alloc&) {
    out[0] = '\0';
  }
}

std::vector<unsigned char> TeaDecryptText(const unsigned int* key, const char* text) {
  std::vector<unsigned char> bytes = Base64Decode(text);
  // A last group of 1 to 3 bytes is the low part of one more word.
  bytes.resize((bytes.size() + 3) / 4 * 4, 0);
  if (bytes.size() < 8) return {};
  LittleEndianWords words{bytes.data()};
  Decipher(key, words, bytes.size() / 4);
  return bytes;
}

std::string TeaDecryptTextS(const unsigned int* key, const char* text) {
  const std::vector<unsigned char> bytes = TeaDecryptText(key, text);
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0) --end;
  return std::string(bytes.begin(), bytes.begin() + end);
}
