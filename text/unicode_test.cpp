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
  struct Case {
    std::string bytes;
    bool ok;
    wchar_t code;
    int advance;
  };
  const Case cases[] = {
      {"A", true, L'A', 1},
      {Bytes({0xC3, 0xA9}), true, 0xE9, 2},
      {Bytes({0xC0, 0x80}), true, 0, 2},            // overlong NUL as decoded
      {Bytes({0xED, 0xA0, 0x80}), true, 0xD800, 3},  // encoded surrogate
      {Bytes({0xF0, 0x9F, 0x98, 0x80}), true, 0x1F600, 4},
      {Bytes({0xF4, 0x8F, 0xBF, 0xBF}), true, 0x10FFFF, 4},
      {Bytes({0x80}), false, 0, 0},                  // lone continuation
      {Bytes({0xF8, 0x80, 0x80, 0x80, 0x80}), false, 0, 0},
      {Bytes({0xF4, 0x90, 0x80, 0x80}), false, 0, 4},  // beyond Unicode: consumed
      {Bytes({0xC3}), false, 0, 0},                  // lead then terminator
      {Bytes({0xE2, 0x82}), false, 0, 0},
      {Bytes({0xE2, 0x41, 0x82}), false, 0, 0},
  };
  for (const Case& c : cases) {
    const char* p = c.bytes.c_str();
    wchar_t code = 0x7777;
    EXPECT_EQ(DecodeUtf8Char(code, p), c.ok) << testing::PrintToString(c.bytes);
    if (c.ok) {
      EXPECT_EQ(code, c.code);
    }
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

TEST(Utf8Readers, StrictAndTolerantForms) {
  // Where decoding fails the tolerant readers step over one byte only, also
  // after a four-byte form beyond U+10FFFF that the decoder consumed whole.
  const std::string beyond = Bytes({0xF4, 0x90, 0x80, 0x80});
  std::wstring w4;
  ReadUtf8StringTolerant(w4, beyond.c_str());
  EXPECT_EQ(w4, (std::wstring{0xF4, 0x90, 0x80, 0x80}));
  std::string a4;
  ReadUtf8StringTolerant(a4, beyond.c_str());
  EXPECT_EQ(a4, beyond);
  EXPECT_TRUE(Utf8ToUtf16(w4, beyond.c_str(), true));
  EXPECT_EQ(w4, (std::wstring{0xF4, 0x90, 0x80, 0x80}));
  const std::string bad = Bytes({0x41, 0xFF, 0x42});
  std::wstring w;
  EXPECT_FALSE(ReadUtf8String(w, bad.c_str()));
  EXPECT_EQ(w, L"A");
  ReadUtf8StringTolerant(w, bad.c_str());
  EXPECT_EQ(w, (std::wstring{L'A', 0xFF, L'B'}));
  EXPECT_EQ(Utf8ToWide(bad), (std::wstring{L'A', 0xFF, L'B'}));
  std::string a;
  ReadUtf8StringTolerant(a, bad.c_str());
  EXPECT_EQ(a, bad);
  ReadUtf8StringTolerant(a, "x\xE4\xB8\xAD");  // U+4E2D has no Windows-1252 form
  EXPECT_EQ(a, "x\x7F");
  EXPECT_FALSE(ReadUtf8String(a, "x\xE4\xB8\xAD"));
  char c;
  const char* p = "\xE2\x82\xAC";
  EXPECT_TRUE(NextUtf8Char(c, p));
  EXPECT_EQ(c, '\x80');
  p = bad.c_str() + 1;
  EXPECT_EQ(NextUtf8Char(p), 0xFF);
  EXPECT_EQ(*p, 'B');
  EXPECT_TRUE(Utf8ToUtf16(w, "\xF0\x9F\x98\x80", false));
  EXPECT_EQ(w, (std::wstring{0xD83D, 0xDE00}));
  EXPECT_FALSE(Utf8ToUtf16(w, bad.c_str(), false));
  EXPECT_TRUE(Utf8ToUtf16(w, bad.c_str(), true));
  EXPECT_EQ(w, (std::wstring{L'A', 0xFF, L'B'}));
}

TEST(WideToUtf8, EdgeCases) {
  EXPECT_EQ(WideToUtf8(std::wstring{0xE9}), Bytes({0xC3, 0xA9}));
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
  EXPECT_TRUE(Utf8ToWide(utf8) == all);
  EXPECT_EQ(Utf8Strlen(utf8.c_str()), all.size());
  // Each character one by one, checking the byte count against its range.
  for (wchar_t c : all) {
    char bytes[5] = {};
    const int n = WideCharToUtf8(bytes, c);
    ASSERT_EQ(n, c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4);
    const char* p = bytes;
    wchar_t decoded;
    ASSERT_TRUE(DecodeUtf8Char(decoded, p, bytes + n));
    ASSERT_EQ(decoded, c);
  }
}

TEST(IsStringUtf8, CountsSequences) {
  std::string good20, good19;
  for (int i = 0; i < 20; ++i) good20 += "\xC3\xA9";
  for (int i = 0; i < 19; ++i) good19 += "\xC3\xA9";
  struct Case {
    std::string text;
    int ratio;
    bool expected;
  };
  const Case cases[] = {
      {"caf\xC3\xA9", 10, true},
      {"\xC3\xA9\xFF", 1, false},
      {"\xC3\xA9\xFF", 0, false},  // ratio 0 must not divide by zero
      {good20 + "\xFF", 10, true},
      {good19 + "\xFF\xFF", 10, false},
      {"plain", 10, false},
      {"\xC3", 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsStringUtf8(c.text, c.ratio), c.expected) << c.text.size();
    EXPECT_EQ(IsBufferUtf8(c.text.data(), c.text.size(), c.ratio), c.expected)
        << c.text.size();
  }
  EXPECT_TRUE(IsBufferUtf8("\xEF\xBB\xBFx", 4, 10));
  // A sequence cut by the buffer's end is bad and ends the scan.
  EXPECT_FALSE(IsBufferUtf8("\xC3\xA9\xE2\x82", 4, 1));
}

TEST(Utf16AndUcs2, Forms) {
  std::wstring w = L"junk";
  const unsigned int codes[] = {0x41, 0x1F600, 0x110000, 0};
  Utf32ToUtf16(w, codes);
  EXPECT_EQ(w, (std::wstring{0x41, 0xD83D, 0xDE00}));
  const wchar_t wide[] = {0x41, 0x1F600, 0};
  EXPECT_EQ(UnicodeToUCS2LE(wide), Bytes({0x41, 0, 0x00, 0xF6}));  // low 16 bits
  EXPECT_EQ(UnicodeToUCS2BE("ab"), Bytes({0, 'a', 0, 'b'}));
}

}  // namespace
