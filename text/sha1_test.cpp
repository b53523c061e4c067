#include "text/sha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "text/sha1_portable.h"

namespace {

using Hash = void (*)(const unsigned char*, size_t, unsigned char*);
void Ours(const unsigned char* data, size_t length, unsigned char* digest) {
  HashSha1(data, length, digest, kSha1DigestSize);
}
void OpenSsl(const unsigned char* data, size_t length, unsigned char* digest) {
  EVP_Digest(data, length, digest, nullptr, EVP_sha1(), nullptr);
}

std::string HexDigest(Hash hash, const std::string& message) {
  unsigned char digest[kSha1DigestSize];
  hash(reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest);
  char hex[2 * kSha1DigestSize + 1];
  for (size_t i = 0; i < kSha1DigestSize; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

// FIPS 180 examples (the last a million 'a'), by both compressions; a digest
// buffer too small for the digest is zero-filled, never overrun.
TEST(HashSha1, FipsVectors) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"}};
  for (const auto& c : cases) {
    EXPECT_EQ(HexDigest(Ours, c.first), c.second);
    EXPECT_EQ(HexDigest(zru_detail::HashSha1Portable, c.first), c.second);
  }
  for (size_t size : {0, 1, 19}) {
    unsigned char digest[24];
    memset(digest, 0xA5, sizeof digest);
    HashSha1(reinterpret_cast<const unsigned char*>("abc"), 3, digest, size);
    for (size_t i = 0; i < sizeof digest; ++i) EXPECT_EQ(digest[i], i < size ? 0 : 0xA5);
  }
}

// Every length around the block and padding boundaries at unaligned starts,
// then a few MB, against OpenSSL.
TEST(HashSha1, AgreesWithOpenSsl) {
  std::mt19937 random(1);
  std::string data(3 * 1024 * 1024 + 17, ' ');
  for (char& b : data) b = static_cast<char>(random());
  for (size_t length = 0; length <= 130; ++length) {
    const std::string message = data.substr(random() % 16, length);
    EXPECT_EQ(HexDigest(Ours, message), HexDigest(OpenSsl, message)) << length;
    EXPECT_EQ(HexDigest(zru_detail::HashSha1Portable, message), HexDigest(OpenSsl, message));
  }
  EXPECT_EQ(HexDigest(Ours, data), HexDigest(OpenSsl, data));
  EXPECT_EQ(HexDigest(zru_detail::HashSha1Portable, data), HexDigest(OpenSsl, data));
}

// The compression is chosen on first use: threads that all begin at once
// must each get the right digest.
TEST(HashSha1, ConcurrencyFirstUse) {
  const std::string message = std::string(1000, 'a') + "abc";
  std::vector<std::string> digests(4);
  std::vector<std::thread> threads;
  for (std::string& digest : digests)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) digest = HexDigest(Ours, message);
    });
  for (std::thread& thread : threads) thread.join();
  for (const std::string& digest : digests) EXPECT_EQ(digest, HexDigest(OpenSsl, message));
}

}  // namespace
