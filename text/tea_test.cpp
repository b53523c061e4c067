#include "text/tea.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/base64.h"

namespace {

// The published Corrected Block TEA routine, transcribed literally: n > 1
// enciphers n words, n < -1 deciphers -n words.
#define DELTA 0x9e3779b9
#define MX (((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (key[(p & 3) ^ e] ^ z)))
void btea(uint32_t* v, int n, uint32_t const key[4]) {
  uint32_t y, z, sum;
  unsigned p, rounds, e;
  if (n > 1) {
    rounds = 6 + 52 / n;
    sum = 0;
    z = v[n - 1];
    do {
      sum += DELTA;
      e = (sum >> 2) & 3;
      for (p = 0; p < static_cast<unsigned>(n - 1); p++) {
        y = v[p + 1];
        z = v[p] += MX;
      }
      y = v[0];
      z = v[n - 1] += MX;
    } while (--rounds);
  } else if (n < -1) {
    n = -n;
    rounds = 6 + 52 / n;
    sum = rounds * DELTA;
    y = v[0];
    do {
      e = (sum >> 2) & 3;
      for (p = n - 1; p > 0; p--) {
        z = v[p - 1];
        y = v[p] -= MX;
      }
      z = v[n - 1];
      y = v[0] -= MX;
      sum -= DELTA;
    } while (--rounds);
  }
}
#undef MX
#undef DELTA

const unsigned int kKey[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};

// Word arrays of every count up to 40 and random keys, against the
// transcription both ways; counts 0 and 1 touch nothing (guards around).
TEST(Tea, WordsAgreeWithPublishedRoutine) {
  std::mt19937 random(7);
  for (int count = 0; count <= 40; ++count) {
    unsigned int key[4];
    for (unsigned int& k : key) k = static_cast<unsigned int>(random());
    std::vector<unsigned int> words(count + 2);
    for (unsigned int& w : words) w = random();
    const std::vector<unsigned int> plain = words;
    std::vector<uint32_t> expected(words.begin() + 1, words.end() - 1);
    btea(expected.data(), count, key);
    TeaEncrypt(key, words.data() + 1, count);
    EXPECT_EQ(std::vector<uint32_t>(words.begin() + 1, words.end() - 1), expected) << count;
    EXPECT_TRUE(words.front() == plain.front() && words.back() == plain.back());
    btea(expected.data(), -count, key);
    TeaDecrypt(key, words.data() + 1, count);
    EXPECT_EQ(words, plain) << count;
  }
  TeaEncrypt(kKey, nullptr, 0);
  TeaDecrypt(kKey, nullptr, 0);
}

// Byte buffers as big-endian words: whole words round-trip; a short last
// group is enciphered high-aligned and only its high bytes are kept, so it
// does not decipher back. Shorter than 8 bytes: untouched.
TEST(Tea, ByteBuffers) {
  std::mt19937 random(8);
  for (size_t length = 0; length <= 23; ++length) {
    std::vector<unsigned char> bytes(length + 1);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    const std::vector<unsigned char> plain = bytes;
    std::vector<uint32_t> words((length + 3) / 4, 0);
    for (size_t i = 0; i < length; ++i) words[i / 4] |= uint32_t{bytes[i]} << (24 - 8 * (i % 4));
    if (length >= 8) btea(words.data(), static_cast<int>(words.size()), kKey);
    TeaEncryptB(kKey, bytes.data(), length);
    for (size_t i = 0; i < length; ++i)
      EXPECT_EQ(bytes[i], static_cast<unsigned char>(words[i / 4] >> (24 - 8 * (i % 4)))) << length;
    TeaDecryptB(kKey, bytes.data(), length);
    EXPECT_EQ(bytes == plain, length < 8 || length % 4 == 0) << length;
    EXPECT_EQ(bytes[length], plain[length]);
  }
}

// The text form by hand (little-endian words, NUL-padded, unpadded Base64),
// its buffer forms cut to outSize - 1 and never past outSize, texts that do
// not decode to two words, and round trips of random texts and keys.
TEST(Tea, TextForm) {
  const char* text = "abcdefghij";
  std::vector<uint32_t> words(3, 0);
  for (size_t i = 0; i < strlen(text); ++i) words[i / 4] |= uint32_t(text[i]) << (8 * (i % 4));
  btea(words.data(), 3, kKey);
  std::vector<unsigned char> bytes;
  for (uint32_t w : words)
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<unsigned char>(w >> (8 * k)));
  const std::string encrypted = TeaEncryptText(kKey, text);
  EXPECT_EQ(encrypted, Base64Encode(bytes, false));
  EXPECT_EQ(encrypted, "kqU2x3dynPLcVwUd");
  const std::string empty = TeaEncryptText(kKey, "");  // 8 NUL bytes
  EXPECT_EQ(empty.size(), 11u);
  EXPECT_EQ(TeaDecryptText(kKey, empty.c_str()), std::vector<unsigned char>(8, 0));
  EXPECT_EQ(TeaDecryptTextS(kKey, empty.c_str()), "");

  for (size_t outSize : {0, 1, 4, 17}) {
    char out[20];
    memset(out, '#', sizeof out);
    TeaEncryptText(kKey, text, out, outSize);
    EXPECT_EQ(std::string(out, outSize ? strlen(out) : 0), encrypted.substr(0, outSize ? outSize - 1 : 0));
    EXPECT_EQ(out[outSize], '#');
    TeaDecryptText(kKey, encrypted.c_str(), out, outSize);
    EXPECT_EQ(std::string(out, outSize ? strlen(out) : 0), std::string(text).substr(0, outSize ? outSize - 1 : 0));
    EXPECT_EQ(out[outSize], '#');
  }
  for (const char* bad : {"", "abc", "kqU2x3dy nPLcVwUd", "kqU2\xC3\xA9x3dynPLcVwUd"}) {
    char out[20] = "#";
    TeaDecryptText(kKey, bad, out, sizeof out);
    EXPECT_STREQ(out, "") << bad;
  }
  // The vector form stops at the blank: "kqU2x3" is 4 bytes, one word.
  EXPECT_TRUE(TeaDecryptText(kKey, "kqU2x3 dynPLcVwUd").empty());

  std::mt19937 random(9);
  for (int round = 0; round < 500; ++round) {
    std::string plain(random() % 70, ' ');
    for (char& c : plain) c = static_cast<char>(1 + random() % 255);
    unsigned int key[4];
    for (unsigned int& k : key) k = static_cast<unsigned int>(random());
    const std::string cipher = TeaEncryptText(key, plain.c_str());
    EXPECT_EQ(TeaDecryptTextS(key, cipher.c_str()), plain);
    std::vector<char> out(plain.size() + 1);
    TeaDecryptText(key, cipher.c_str(), out.data(), out.size());
    EXPECT_EQ(out.data(), plain);
  }
}

}  // namespace
