#include "text/string_edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

using Pieces = std::vector<std::string>;

// Fills a buffer with guard bytes, lets edit write into it, and checks that
// nothing changed from byte size on.
template <size_t N, typename Edit>
std::string Guarded(size_t size, Edit edit) {
  char buffer[N];
  memset(buffer, '#', N);
  edit(buffer);
  for (size_t i = size; i < N; ++i) EXPECT_EQ(buffer[i], '#') << "byte " << i << " of " << size;
  return size == 0 ? std::string() : std::string(buffer);
}

TEST(Split, PiecesTrimmingAndEmpties) {
  const struct {
    std::string text;
    bool trim, keepEmpties;
    Pieces expected;
  } cases[] = {
      {"", true, true, {""}},
      {"", true, false, {}},
      {" a \t  \t b\t", true, true, {"a", "", "b", ""}},
      {" a \t  \t b\t", false, true, {" a ", "  ", " b", ""}},
      {" a \t  \t b\t", true, false, {"a", "b"}},
      {"x\ty \t\tz", false, false, {"x", "y ", "z"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split(c.text, '\t', c.trim, c.keepEmpties), c.expected) << c.text;
  EXPECT_EQ(Split(std::string("a;b\tc;;d"), "\t;", false, true), (Pieces{"a", "b", "c", "", "d"}));
}

// Cutting in place gives Split's trimmed pieces, empties kept or dropped.
TEST(Split, InPlaceAgreesWithSplit) {
  for (const char* text : {"", ",", "one", " a , b ,, c ", "  ,  ", "a,b,", ",,x , y", "   lone   "}) {
    for (bool keepEmpties : {true, false}) {
      std::string buffer = text;
      std::vector<char*> pieces{nullptr};  // a used vector is cleared first
      SplitInPlace(&buffer[0], ',', keepEmpties, pieces);
      EXPECT_EQ(Pieces(pieces.begin(), pieces.end()), Split(std::string(text), ',', true, keepEmpties))
          << '"' << text << "\" keepEmpties " << keepEmpties;
    }
  }
}

TEST(CStrings, EdgesOfTheInPlaceEditors) {
  char s[32] = "xxabxx";
  Trim_(s, '\0');  // NUL would trim the terminator itself: nothing happens
  EXPECT_STREQ(s, "xxabxx");
  Trim_(s, 'x');
  EXPECT_STREQ(s, "ab");
  std::strcpy(s, ".,a,b.,");
  Trim_(s, ".,");
  EXPECT_STREQ(StripChars(s, ","), "ab");
  std::string text = "    ";
  TrimMe(text, ' ');
  EXPECT_EQ(text, "");
  const std::pair<const char*, const char*> paths[] = {
      {"dir", "dir/"}, {"dir/", "dir/"}, {"c:\\", "c:\\"}, {"", ""}};
  for (const auto& p : paths) {
    std::strcpy(s, p.first);
    EXPECT_STREQ(IncludeTrailingPathDelimiter(s), p.second);
  }
  char when[26];
  EXPECT_FALSE(Ctime(time_t(1) << 60, when));  // a year ctime cannot print
  EXPECT_STREQ(when, "");
  char** pieces = Split_("", ';');
  ASSERT_NE(pieces, nullptr);
  EXPECT_STREQ(pieces[0], "");
  EXPECT_EQ(pieces[1], nullptr);
  FreeArray_(pieces);
}

// kItoaBufferSize holds the longest output (INT_MIN in base 2); bad bases give "".
TEST(CStrings, ItoaAtItsLargestOutput) {
  const struct {
    int value, base;
    const char* text;
  } cases[] = {{-255, 16, "-ff"}, {INT_MIN, 10, "-2147483648"},
               {INT_MIN, 2, "-10000000000000000000000000000000"}, {35, 36, "z"}, {5, 1, ""}, {5, 37, ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Guarded<kItoaBufferSize + 4>(kItoaBufferSize, [&](char* b) { itoa_(c.value, b, c.base); }),
              c.text);
}

// Concatenation and copies stop at the size, always terminated; size 0 writes nothing.
TEST(BoundedCopies, SizesAndGuardBytes) {
  const struct {
    size_t size;
    const char *a, *b, *c, *d, *expected;
  } cases[] = {{5, "abc", "def", nullptr, nullptr, "abcd"}, {7, "abc", "def", nullptr, nullptr, "abcdef"},
               {1, "abc", nullptr, nullptr, nullptr, ""},   {9, "a", nullptr, "b", "cd", "abcd"},
               {0, "abc", "d", nullptr, nullptr, ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Guarded<16>(c.size, [&](char* b) { ConcatStrings(b, c.size, c.a, c.b, c.c, c.d); }),
              c.expected);
  char buffer[16];
  ConcatStrings(buffer, sizeof buffer, "[", -42L, "]");
  EXPECT_STREQ(buffer, "[-42]");
  const struct {
    const char* source;
    size_t size;
    bool ok;
    const char* expected;
  } copies[] = {{"abc", 4, true, "abc"}, {"abc", 3, false, "ab"}, {"abc", 0, false, ""}};
  for (const auto& c : copies)
    EXPECT_EQ(Guarded<8>(c.size, [&](char* b) { EXPECT_EQ(ZR_strcpy(b, c.source, c.size), c.ok); }),
              c.expected);
  char out[4] = "##";
  EXPECT_FALSE(ZR_strcpy(out, nullptr, 4));
  EXPECT_FALSE(ZR_strcpy(nullptr, "abc", 4));
  EXPECT_STREQ(out, "##");
}

// 1e308 in "%f" is 309 digits and the decimals: no fixed buffer holds it.
TEST(NumberText, FormatsOfAnyLength) {
  EXPECT_EQ(ZR_to_string(4000000000u), "4000000000");
  EXPECT_EQ(ZR_to_wstring(-7LL), L"-7");
  EXPECT_EQ(ZR_to_string(1e308).size(), 316u);
  EXPECT_EQ(ZR_to_wstring(1e308).size(), 316u);
  EXPECT_GT(ZR_to_string(1e4000L).size(), 4000u);
}

TEST(Normalisers, SpacesPunctuationBrackets) {
  const struct {
    const char *in, *spaces, *punctuation, *brackets;  // punctuation keeps '-'
  } cases[] = {
      {"a  b   c", "a b c", "a b c", "a b c"},
      {" St. John's-Wood, ", " St. John's-Wood, ", "St John s-Wood", " St. John's-Wood, "},
      {"a (b (c) d) e", "a (b (c) d) e", "a b c d e", "a e"},
      {"x (1) y (2", "x (1) y (2", "x 1 y 2", "x (1) y (2"},  // unclosed bracket stays
      {"a [b] {c} (d)", "a [b] {c} (d)", "a b c d", "a "},
  };
  for (const auto& c : cases) {
    char buffer[64];
    RemoveMultipleSpaces(std::strcpy(buffer, c.in));
    EXPECT_STREQ(buffer, c.spaces);
    RemovePunctuationForIndex(std::strcpy(buffer, c.in), '-');
    EXPECT_STREQ(buffer, c.punctuation);
    RemoveInBrackets(std::strcpy(buffer, c.in));
    EXPECT_STREQ(buffer, c.brackets);
  }
}

// Both title-casers agree on ASCII; bytes that do not decode are never
// rewritten and the length never changes.
TEST(TitleCase, NamesAndRomanNumerals) {
  const std::pair<const char*, const char*> cases[] = {
      {"MCDONALD", "McDonald"},  {"o'brien", "O'Brien"}, {"JOHN'S", "John's"}, {"henry viii", "Henry VIII"},
      {"xiv", "XIV"},            {"liv", "Liv"},         {"we'll they've", "We'll They've"},
      {"flat 3b high st", "Flat 3b High St"},            {"anne-marie", "Anne-Marie"},
      {"i", "I"},                {"", ""},               {"d'", "D'"}};
  for (const auto& c : cases) {
    char buffer[64];
    EXPECT_STREQ(TitleCase(std::strcpy(buffer, c.first)), c.second);
    EXPECT_STREQ(TitleCaseUtf8(std::strcpy(buffer, c.first)), c.second);
  }
  const std::pair<const char*, const char*> utf8[] = {
      {"\xC3\x89MILE ZOLA", "\xC3\x89mile Zola"},
      {"o\xE2\x80\x99" "brien", "O\xE2\x80\x99" "Brien"},
      {"\xC4\xB1stanbul", "\xC4\xB1stanbul"},  // its capital I is one byte shorter
      {"ab\xFF" "cd \xC3", "Ab\xFF" "Cd \xC3"},
  };
  for (const auto& c : utf8) {
    char buffer[64];
    EXPECT_STREQ(TitleCaseUtf8(std::strcpy(buffer, c.first)), c.second);
  }
}

// Long digit runs clamp to INT_MAX instead of wrapping negative.
TEST(ReadDateDMY, FormsAndFailures) {
  const struct {
    const char* text;
    bool ok;
    int year, month, day;
  } cases[] = {
      {"Aug 2004", true, 2004, 8, 31},   {"12/08/21", true, 2021, 8, 12}, {"2004", true, 2004, 12, 31},
      {"3 March 1999", true, 1999, 3, 3}, {"jan feb 2000", false, -1, 1, 31}, {"", false, -1, 0, 31},
      {"0/1/2000", false, -1, 0, 31},    {"Ma", false, -1, 0, 31},
      {"99999999999 1 5", true, 2005, 1, INT_MAX},
  };
  for (const auto& c : cases) {
    int year = -1, month = -1, day = -1;
    EXPECT_EQ(ReadDateDMY(c.text, year, month, day), c.ok) << c.text;
    EXPECT_EQ(std::vector<int>({year, month, day}), std::vector<int>({c.year, c.month, c.day})) << c.text;
  }
  const std::pair<const char*, int> romans[] = {
      {"MCMXCIV", 1994}, {"xlix", 49}, {"IIII", 0}, {"IC", 0}, {"", 0}};
  for (const auto& r : romans) EXPECT_EQ(ReadRomanNumeral(r.first), r.second) << r.first;
}

// The packers check the room before every byte (a negative size counts as 0).
TEST(Packers, SizesAndGuardBytes) {
  const struct {
    bool six;
    const char* source;
    int size, used;
  } cases[] = {{true, "ABCD", 3, 3},       {true, "ABCD", 2, 2}, {true, "ABCDE", 3, 3},
               {true, "AB", 0, 0},         {true, "AB", -1, 0},  {false, "ABCDEFGH", 5, 5},
               {false, "ABCDEFGHI", 5, 5}, {false, "AB", 1, 1}};
  for (const auto& c : cases) {
    unsigned char out[12];
    std::memset(out, 0xEE, sizeof out);
    const int count = static_cast<int>(std::strlen(c.source));
    const int used = c.six ? Compress6(out, c.size, c.source, count) : Compress5(out, c.size, c.source, count);
    EXPECT_EQ(used, c.used) << c.source << " " << c.size;
    for (int i = std::max(c.size, 0); i < 12; ++i) ASSERT_EQ(out[i], 0xEE) << c.source;
  }
  const char text[] = "HELLO, WORLD_ 42";
  unsigned char packed[16];
  char back[17] = {};
  ASSERT_EQ(Compress6(packed, sizeof packed, text, 16), 12);
  Decompress6(back, packed, 16);
  EXPECT_STREQ(back, text);
  unsigned char five[5];
  ASSERT_EQ(Compress5(five, 5, "0AIJ Q", 6), 4);
  EXPECT_EQ(five[0], (1 << 3) | (11 >> 2));  // 1, 11, 19, ... in 5-bit groups
  EXPECT_EQ(five[1], ((11 & 3) << 6) | (19 << 1) | (19 >> 4));
}

}  // namespace
