#include "text/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// RFC 4648 section 10, both ways, with and without padding.
TEST(Base64, RfcVectors) {
  const struct {
    const char *plain, *padded, *bare;
  } cases[] = {{"", "", ""},
               {"f", "Zg==", "Zg"},
               {"fo", "Zm8=", "Zm8"},
               {"foo", "Zm9v", "Zm9v"},
               {"foob", "Zm9vYg==", "Zm9vYg"},
               {"fooba", "Zm9vYmE=", "Zm9vYmE"},
               {"foobar", "Zm9vYmFy", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    const auto plain = reinterpret_cast<const unsigned char*>(c.plain);
    const size_t length = strlen(c.plain);
    EXPECT_EQ(Base64Encode(plain, length, true), c.padded);
    EXPECT_EQ(Base64Encode(plain, length, false), c.bare);
    EXPECT_EQ(Base64Encode(Bytes(c.plain), true), c.padded);
    char out[16];
    memset(out, '#', sizeof out);
    Base64Encode(plain, length, out, true);
    EXPECT_STREQ(out, c.padded);
    EXPECT_EQ(out[strlen(c.padded) + 1], '#');
    for (const char* text : {c.padded, c.bare}) {
      unsigned char bytes[8];
      EXPECT_EQ(Base64Decode(text, bytes, sizeof bytes), static_cast<int>(length)) << text;
      EXPECT_EQ(std::string(bytes, bytes + length), c.plain);
      EXPECT_EQ(Base64Decode(text), Bytes(c.plain)) << text;
    }
  }
}

// The buffer form never writes at or past outSize, fails rather than cuts,
// fails on characters outside '+' to 'z' and stops at others.
TEST(Base64, DecodeBounds) {
  const struct {
    const char* text;
    size_t outSize;
    int result;
    const char* bytes;
  } cases[] = {{"YWJj", 3, 3, "abc"},   {"YWJj", 2, 0, ""},   {"YQ==", 1, 1, "a"},
               {"YQ==", 0, 0, ""},      {"YW Jj", 10, 0, ""}, {"YW-Jj", 10, 1, "a"},
               {"YW=Jj", 10, 1, "a"},   {"Y", 10, 0, ""},     {"YWJjZA", 3, 0, ""},
               {"YWJjZA", 4, 4, "abcd"}, {"YWJj\xC3\xA9", 10, 0, ""},
               {"YWJj\x7F", 10, 0, ""}, {"YWJj{", 10, 0, ""}, {"YWJj*", 10, 0, ""}};
  for (const auto& c : cases) {
    unsigned char out[12];
    memset(out, 0xA5, sizeof out);
    EXPECT_EQ(Base64Decode(c.text, out, c.outSize), c.result) << c.text << " " << c.outSize;
    if (c.result > 0) {
      EXPECT_EQ(std::string(out, out + c.result), c.bytes);
    }
    for (size_t i = c.outSize; i < sizeof out; ++i) EXPECT_EQ(out[i], 0xA5) << c.text;
  }
  // The vector form ends at any character that is not a digit.
  EXPECT_EQ(Base64Decode("YW Jj"), Bytes("a"));
  EXPECT_EQ(Base64Decode("YWJj\xC3\xA9YWJj"), Bytes("abc"));
  EXPECT_EQ(Base64Decode("Y"), Bytes(""));
}

TEST(Base64, RandomRoundTrips) {
  std::mt19937 random(16);
  for (int round = 0; round < 2000; ++round) {
    std::vector<unsigned char> data(random() % (round < 1900 ? 40 : 5000));
    for (unsigned char& b : data) b = static_cast<unsigned char>(random());
    for (bool pad : {false, true}) {
      const std::string text = Base64Encode(data, pad);
      EXPECT_EQ(text.size() % 4 == 0, pad || data.size() % 3 == 0);
      EXPECT_EQ(Base64Decode(text.c_str()), data);
      std::vector<unsigned char> out(data.size() + 1, 0xA5);
      ASSERT_EQ(Base64Decode(text.c_str(), out.data(), data.size()), static_cast<int>(data.size()));
      EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
      EXPECT_EQ(out.back(), 0xA5);
      // One byte short of room is a failure, not a cut answer.
      if (!data.empty()) {
        EXPECT_EQ(Base64Decode(text.c_str(), out.data(), data.size() - 1), 0);
      }
    }
  }
}

}  // namespace
