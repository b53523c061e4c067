#include "text/sha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Hex(const unsigned char* bytes, size_t n) {
  std::string hex;
  char two[3];
  for (size_t i = 0; i < n; ++i) {
    snprintf(two, sizeof two, "%02x", bytes[i]);
    hex += two;
  }
  return hex;
}

std::string Sha1Hex(const std::string& message) {
  unsigned char digest[kSha1DigestSize];
  HashSha1(reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
           sizeof digest);
  return Hex(digest, sizeof digest);
}

std::string OpenSslSha1Hex(const unsigned char* data, size_t length) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(data, length, digest, &size, EVP_sha1(), nullptr), 1);
  return Hex(digest, size);
}

// FIPS 180 examples, the last one a million 'a'.
TEST(HashSha1, FipsVectors) {
  EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Sha1Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "a49b2446a02c645bf419f995b67091253a04a259");
  EXPECT_EQ(Sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  unsigned char digest[kSha1DigestSize];
  zru_detail::HashSha1Portable(reinterpret_cast<const unsigned char*>("abc"), 3, digest);
  EXPECT_EQ(Hex(digest, sizeof digest), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// Every length around the block and padding boundaries, then a few MB, against
// OpenSSL.
TEST(HashSha1, AgreesWithOpenSsl) {
  std::mt19937 random(1);
  std::vector<unsigned char> data(3 * 1024 * 1024 + 17);
  for (unsigned char& b : data) b = static_cast<unsigned char>(random());
  for (size_t length = 0; length <= 130; ++length) {
    const size_t offset = random() % 16;  // unaligned starts too
    unsigned char digest[kSha1DigestSize];
    HashSha1(data.data() + offset, length, digest, sizeof digest);
    const std::string expected = OpenSslSha1Hex(data.data() + offset, length);
    EXPECT_EQ(Hex(digest, sizeof digest), expected) << length;
    zru_detail::HashSha1Portable(data.data() + offset, length, digest);
    EXPECT_EQ(Hex(digest, sizeof digest), expected) << length;
  }
  const std::string expected = OpenSslSha1Hex(data.data(), data.size());
  unsigned char digest[kSha1DigestSize];
  HashSha1(data.data(), data.size(), digest, sizeof digest);
  EXPECT_EQ(Hex(digest, sizeof digest), expected);
  zru_detail::HashSha1Portable(data.data(), data.size(), digest);
  EXPECT_EQ(Hex(digest, sizeof digest), expected);
}

// A digest buffer too small for the digest is zero-filled, never overrun.
TEST(HashSha1, ShortDigestBuffer) {
  for (size_t size : {0, 1, 19, 20}) {
    unsigned char digest[24];
    memset(digest, 0xA5, sizeof digest);
    HashSha1(reinterpret_cast<const unsigned char*>("abc"), 3, digest, size);
    const std::string expected =
        size == 20 ? "a9993e364706816aba3e25717850c26c9cd0d89d" : std::string(2 * size, '0');
    EXPECT_EQ(Hex(digest, size), expected);
    for (size_t i = size; i < sizeof digest; ++i)
      EXPECT_EQ(digest[i], 0xA5) << size;
  }
}

// The compression is chosen on first use: threads that all begin at once
// must each get the right digest.
TEST(HashSha1, ConcurrencyFirstUse) {
  std::vector<std::thread> threads;
  std::vector<std::string> digests(4);
  for (size_t t = 0; t < digests.size(); ++t)
    threads.emplace_back([&digests, t] {
      for (int i = 0; i < 200; ++i) digests[t] = Sha1Hex(std::string(1000, 'a') + "abc");
    });
  for (std::thread& thread : threads) thread.join();
  const std::string expected = OpenSslSha1Hex(
      reinterpret_cast<const unsigned char*>((std::string(1000, 'a') + "abc").data()), 1003);
  for (const std::string& digest : digests) EXPECT_EQ(digest, expected);
}

}  // namespace
