#include "text/unicode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

TEST(DecodeUtf8Char, AcceptsAndRejectsAsDocumented) {
  const struct {
    std::string bytes;
    bool ok;
    wchar_t code;
    int advance;
  } cases[] = {
      {"A", true, L'A', 1},
      {Bytes({0xC3, 0xA9}), true, 0xE9, 2},
      {Bytes({0xC0, 0x80}), true, 0, 2},            // overlong NUL as decoded
      {Bytes({0xED, 0xA0, 0x80}), true, 0xD800, 3},  // encoded surrogate
      {Bytes({0xF0, 0x9F, 0x98, 0x80}), true, 0x1F600, 4},
      {Bytes({0x80}), false, 0, 0},                  // lone continuation
      {Bytes({0xF8, 0x80, 0x80, 0x80, 0x80}), false, 0, 0},
      {Bytes({0xF4, 0x90, 0x80, 0x80}), false, 0, 4},  // beyond Unicode: consumed
      {Bytes({0xC3}), false, 0, 0},                  // lead then terminator
      {Bytes({0xE2, 0x41, 0x82}), false, 0, 0},
  };
  for (const auto& c : cases) {
    const char* p = c.bytes.c_str();
    wchar_t code = 0x7777;
    EXPECT_EQ(DecodeUtf8Char(code, p), c.ok) << testing::PrintToString(c.bytes);
    EXPECT_TRUE(!c.ok || code == c.code) << testing::PrintToString(c.bytes);
    EXPECT_EQ(p - c.bytes.c_str(), c.advance) << testing::PrintToString(c.bytes);
  }
}

TEST(DecodeUtf8Char, SizedReadersStopAtTheirBound) {
  // The bytes after the bound are valid continuations: a reader that ignored
  // the bound would decode the euro sign.
  const std::string euro = Bytes({0xE2, 0x82, 0xAC});
  std::wstring w;
  EXPECT_FALSE(ReadUtf8String(w, euro.c_str(), 2));
  EXPECT_TRUE(ReadUtf8String(w, euro.c_str(), 3));
  EXPECT_EQ(w, L"\u20AC");
  EXPECT_TRUE(ReadUtf8String(w, "ab\0cd", 5));
  EXPECT_EQ(w, L"ab");
  std::string a;
  EXPECT_FALSE(ReadUtf8String(a, euro.c_str(), 1));
  EXPECT_TRUE(ReadUtf8String(a, euro.c_str(), 3));
  EXPECT_EQ(a, "\x80");
}

// Where decoding fails the tolerant readers step over one byte only, also
// after a four-byte form beyond U+10FFFF that the decoder consumed whole;
// the strict readers stop there and fail.
TEST(Utf8Readers, StrictAndTolerantForms) {
  const std::string beyond = Bytes({0xF4, 0x90, 0x80, 0x80}), bad = Bytes({0x41, 0xFF, 0x42});
  const std::wstring wideBeyond{0xF4, 0x90, 0x80, 0x80}, wideBad{L'A', 0xFF, L'B'};
  std::wstring w;
  std::string a;
  ReadUtf8StringTolerant(w, beyond.c_str());
  EXPECT_EQ(w, wideBeyond);
  ReadUtf8StringTolerant(a, beyond.c_str());
  EXPECT_EQ(a, beyond);
  EXPECT_TRUE(Utf8ToUtf16(w, beyond.c_str(), true));
  EXPECT_EQ(w, wideBeyond);
  EXPECT_FALSE(ReadUtf8String(w, bad.c_str()));
  EXPECT_EQ(w, L"A");
  ReadUtf8StringTolerant(w, bad.c_str());
  EXPECT_EQ(w, wideBad);
  EXPECT_EQ(Utf8ToWide(bad), wideBad);
  EXPECT_FALSE(Utf8ToUtf16(w, bad.c_str(), false));
  EXPECT_TRUE(Utf8ToUtf16(w, bad.c_str(), true));
  EXPECT_EQ(w, wideBad);
  ReadUtf8StringTolerant(a, "x\xE4\xB8\xAD");  // U+4E2D has no Windows-1252 form
  EXPECT_EQ(a, "x\x7F");
  EXPECT_FALSE(ReadUtf8String(a, "x\xE4\xB8\xAD"));
  const char* p = bad.c_str() + 1;
  EXPECT_EQ(NextUtf8Char(p), 0xFF);
  EXPECT_EQ(*p, 'B');
  EXPECT_TRUE(Utf8ToUtf16(w, "\xF0\x9F\x98\x80", false));
  EXPECT_EQ(w, (std::wstring{0xD83D, 0xDE00}));
}

// Negative codes and codes beyond U+10FFFF write nothing.
TEST(WideToUtf8, EdgeCases) {
  EXPECT_EQ(WideToUtf8(std::wstring{0xD83D, 0xDE00}), Bytes({0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(WideToUtf8(std::wstring{0xD800}), Bytes({0xED, 0xA0, 0x80}));
  EXPECT_EQ(WideToUtf8(std::wstring{0x110000}), "");
  EXPECT_EQ(WideToUtf8(std::wstring{L'a', -1, L'b'}), "ab");
  char out[4] = {1, 1, 1, 1};
  EXPECT_EQ(WideCharToUtf8(out, static_cast<wchar_t>(0x7FFFFFFF)), 0);
  EXPECT_EQ(out[0], 1);
}

TEST(WideToUtf8, RoundTripOfEveryCodePoint) {
  std::wstring all;
  for (wchar_t c = 1; c <= 0x10FFFF; ++c)
    if (c < 0xD800 || c > 0xDFFF) all += c;
  const std::string utf8 = WideToUtf8(all);
  std::wstring back;
  ASSERT_TRUE(ReadUtf8String(back, utf8.c_str()));
  EXPECT_TRUE(back == all);
  EXPECT_EQ(Utf8Strlen(utf8.c_str()), all.size());
  EXPECT_EQ(utf8.size(), 0x7F + 2 * 0x780 + 3 * (0x10000 - 0x800 - 0x800) + 4 * 0x100000u);
}

TEST(IsStringUtf8, CountsSequences) {
  std::string good20, good19;
  for (int i = 0; i < 20; ++i) good20 += "\xC3\xA9";
  for (int i = 0; i < 19; ++i) good19 += "\xC3\xA9";
  const struct {
    std::string text;
    int ratio;
    bool expected;
  } cases[] = {
      {"caf\xC3\xA9", 10, true},
      {"\xC3\xA9\xFF", 1, false},
      {"\xC3\xA9\xFF", 0, false},  // ratio 0 must not divide by zero
      {good20 + "\xFF", 10, true},
      {good19 + "\xFF\xFF", 10, false},
      {"plain", 10, false},
      {"\xC3", 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsStringUtf8(c.text, c.ratio), c.expected) << c.text.size();
    EXPECT_EQ(IsBufferUtf8(c.text.data(), c.text.size(), c.ratio), c.expected)
        << c.text.size();
  }
  EXPECT_TRUE(IsBufferUtf8("\xEF\xBB\xBFx", 4, 10));
  // A sequence cut by the buffer's end is bad and ends the scan.
  EXPECT_FALSE(IsBufferUtf8("\xC3\xA9\xE2\x82", 4, 1));
}

// Surrogate pairs for UTF-16; UCS-2 keeps the low 16 bits.
TEST(Utf16AndUcs2, Forms) {
  std::wstring w = L"junk";
  const unsigned int codes[] = {0x41, 0x1F600, 0x110000, 0};
  Utf32ToUtf16(w, codes);
  EXPECT_EQ(w, (std::wstring{0x41, 0xD83D, 0xDE00}));
  const wchar_t wide[] = {0x41, 0x1F600, 0};
  EXPECT_EQ(UnicodeToUCS2LE(wide), Bytes({0x41, 0, 0x00, 0xF6}));
  EXPECT_EQ(UnicodeToUCS2BE("ab"), Bytes({0, 'a', 0, 'b'}));
}

}  // namespace
