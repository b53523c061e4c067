#include "text/charset.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>

#include "text/unicode.h"

namespace {

// The code point glibc's converter gives for one Windows-1252 byte, or -1
// for the bytes the code page leaves unassigned.
long IconvAnsiToCode(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-1252");
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[4] = {};
  char* inp = in;
  char* outp = reinterpret_cast<char*>(out);
  size_t inLeft = 1, outLeft = 4;
  const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return -1;
  return out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<long>(out[3]) << 24);
}

TEST(Windows1252, AllBytesBothWaysAgainstIconv) {
  int assignedHigh = 0;
  for (int b = 0; b < 256; ++b) {
    const long oracle = IconvAnsiToCode(static_cast<unsigned char>(b));
    const wchar_t w = CharAnsiToWide(static_cast<unsigned char>(b));
    if (oracle < 0) {
      // Unassigned bytes stand for themselves but have no way back.
      EXPECT_EQ(w, b);
      char c = 'x';
      EXPECT_FALSE(CharWideToAnsi(c, w)) << b;
      continue;
    }
    EXPECT_EQ(w, oracle) << b;
    char c = 0;
    EXPECT_TRUE(CharWideToAnsi(c, w)) << b;
    EXPECT_EQ(static_cast<unsigned char>(c), b);
    if (b >= 0x80 && b <= 0x9F) ++assignedHigh;
  }
  EXPECT_EQ(assignedHigh, 27);
  char c;
  for (wchar_t w : {0x80, 0x9F, -1, 0x100}) EXPECT_FALSE(CharWideToAnsi(c, w)) << w;
}

// Characters without a Windows-1252 form become the replacement, or end
// the copy; an unknown charset converts nothing.
TEST(Windows1252, TextConversions) {
  const std::wstring mixed = L"e\u00E9\u20AC\u4E2D";
  EXPECT_EQ(WideToAnsi(mixed, '?'), "e\xE9\x80?");
  char buffer[8];
  EXPECT_FALSE(WideToAnsi(buffer, mixed.c_str()));
  EXPECT_STREQ(buffer, "e\xE9\x80");
  EXPECT_EQ(AnsiToWide(std::string("\x80\x81\0", 3)), std::wstring(L"\u20AC\u0081\0", 3));
  EXPECT_EQ(CharsetConvert(L"\u00E9\u20AC", CharsetIso8859_1, '?'), "\xE9?");
  EXPECT_EQ(CharsetConvert(L"\u00E9\u20AC", static_cast<CharsetEnum>(7), '?'), "");
}

// In place, a character grows only when the rest of the text still fits.
TEST(Windows1252, ToUtf8InPlaceWithEveryCapacity) {
  const std::string ansi = "a\xE9z\x80!";
  const std::string utf8 = "a\xC3\xA9z\xE2\x82\xAC!";
  EXPECT_EQ(Windows1252ToUtf8(ansi), utf8);
  const std::pair<size_t, std::string> cases[] = {
      {ansi.size() + 1, ansi},                       // exact: nothing grows
      {ansi.size() + 2, "a\xC3\xA9z\x80!"},          // room for the first only
      {ansi.size() + 3, "a\xC3\xA9z\x80!"},
      {ansi.size() + 4, utf8},                       // room for both
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    EXPECT_TRUE(Windows1252ToUtf8(buffer, c.first));
    EXPECT_EQ(std::string(buffer), c.second) << c.first;
    for (size_t i = c.first; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "past " << c.first;
  }
}

}  // namespace
