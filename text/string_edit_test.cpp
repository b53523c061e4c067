#include "text/string_edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

using Pieces = std::vector<std::string>;

TEST(Split, PiecesTrimmingAndEmpties) {
  struct Case {
    std::string text;
    bool trim, keepEmpties;
    Pieces expected;
  };
  const Case cases[] = {
      {"", true, true, {""}},
      {"", true, false, {}},
      {"one", true, true, {"one"}},
      {"a\t\tb", true, true, {"a", "", "b"}},
      {"a\t\tb", true, false, {"a", "b"}},
      {" a \t  \t b\t", true, true, {"a", "", "b", ""}},
      {" a \t  \t b\t", false, true, {" a ", "  ", " b", ""}},
      {" a \t  \t b\t", true, false, {"a", "b"}},
      {"\t\t", true, true, {"", "", ""}},
      {"x\ty \t\tz", false, false, {"x", "y ", "z"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Split(c.text, '\t', c.trim, c.keepEmpties), c.expected) << c.text;
}

// Cutting in place gives Split's trimmed pieces, empties kept or dropped.
TEST(Split, InPlaceAgreesWithSplit) {
  const char* const texts[] = {"", ",", "one", " a , b ,, c ", "  ,  ", "a,b,", ",,x , y", "   lone   "};
  for (const char* text : texts) {
    for (bool keepEmpties : {true, false}) {
      std::string buffer = text;
      std::vector<char*> pieces{nullptr};  // a used vector is cleared first
      SplitInPlace(&buffer[0], ',', keepEmpties, pieces);
      EXPECT_EQ(Pieces(pieces.begin(), pieces.end()),
                Split(std::string(text), ',', true, keepEmpties))
          << '"' << text << "\" keepEmpties " << keepEmpties;
    }
  }
}

TEST(Split, AnyCharacterOfADelimiterText) {
  EXPECT_EQ(Split(std::string("a;b\tc;;d"), "\t;", false, true),
            (Pieces{"a", "b", "c", "", "d"}));
  EXPECT_EQ(SplitWithTrimNoEmpties(std::string(" a ; ;b "), ';'), (Pieces{"a", "b"}));
  EXPECT_EQ(Split(std::wstring(L" x \ty"), L'\t', true, true),
            (std::vector<std::wstring>{L"x", L"y"}));
}

TEST(TrimMe, RemovesOnlyTheGivenCharacter) {
  struct Case {
    std::string text;
    char c;
    std::string both, left, right;
  };
  const Case cases[] = {
      {"  a b  ", ' ', "a b", "a b  ", "  a b"},
      {"\t a \t", ' ', "\t a \t", "\t a \t", "\t a \t"},
      {"xxaxx", 'x', "a", "axx", "xxa"},
      {"    ", ' ', "", "", ""},
      {"", ' ', "", "", ""},
  };
  for (const Case& c : cases) {
    std::string both = c.text, left = c.text, right = c.text;
    TrimMe(both, c.c);
    LTrimMe(left, c.c);
    RTrimMe(right, c.c);
    EXPECT_EQ(both, c.both);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(right, c.right);
  }
  std::string spaces = "  a  ";
  TrimMe(spaces);
  EXPECT_EQ(spaces, "a");
}

TEST(StringTemplates, SpacesAnyCharAndExtension) {
  EXPECT_EQ(RemoveMultipleSpaces(std::string("  a   b\t\t c ")), " a b\t\t c ");
  EXPECT_EQ(ReplaceAnyChar(std::string("a,b;c"), ",;", ' '), "a b c");
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {{"file.txt", "file"},   {"a.b/c", "a.b/c"},  {"a.b\\c", "a.b\\c"},
                        {"d.x:y", "d.x:y"},     {"noext", "noext"},  {"dir/f.tar.gz", "dir/f.tar"},
                        {".hidden", ""}};
  for (const Case& c : cases) EXPECT_EQ(RemoveExtension(c.in), c.out) << c.in;
}

TEST(CStrings, EdgesOfTheInPlaceEditors) {
  char s[32] = "abc";
  EXPECT_EQ(strrev_(s), s);
  EXPECT_STREQ(s, "cba");
  std::strcpy(s, "xxabxx");
  Trim_(s, '\0');  // NUL would trim the terminator itself: nothing happens
  EXPECT_STREQ(s, "xxabxx");
  Trim_(s, 'x');
  EXPECT_STREQ(s, "ab");
  std::strcpy(s, ".,a,b.,");
  Trim_(s, ".,");
  EXPECT_STREQ(StripChars(s, ","), "ab");
  const char* paths[][2] = {{"dir", "dir/"}, {"dir/", "dir/"}, {"c:\\", "c:\\"}, {"", ""}};
  for (const auto& p : paths) {
    std::strcpy(s, p[0]);
    EXPECT_STREQ(IncludeTrailingPathDelimiter(s), p[1]);
  }
  EXPECT_EQ(wcsicmp_(L"abcd", L"ABC"), 1);
  EXPECT_EQ(wcsicmp_(L"ab", L"ABC"), -2);
  EXPECT_EQ(wcsnicmp_(L"abX", L"ABy", 2), 0);
  char when[26];
  EXPECT_FALSE(Ctime(time_t(1) << 60, when));  // a year ctime cannot print
  EXPECT_STREQ(when, "");
}

TEST(CStrings, ItoaAtItsLargestOutput) {
  struct Case {
    int value, base;
    const char* text;
  };
  const Case cases[] = {{-255, 16, "-ff"},
                        {INT_MIN, 10, "-2147483648"},
                        {INT_MIN, 2, "-10000000000000000000000000000000"},
                        {0, 10, "0"},
                        {35, 36, "z"},
                        {5, 1, ""},
                        {5, 37, ""}};
  for (const Case& c : cases) {
    char buffer[kItoaBufferSize + 4];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(itoa_(c.value, buffer, c.base), buffer);
    EXPECT_STREQ(buffer, c.text);
    for (int i = kItoaBufferSize; i < kItoaBufferSize + 4; ++i) ASSERT_EQ(buffer[i], '#');
  }
}

TEST(CStrings, SplitIntoAllocatedPieces) {
  char** pieces = Split_(" a ;;b", ';');
  ASSERT_NE(pieces, nullptr);
  EXPECT_STREQ(pieces[0], "a");
  EXPECT_STREQ(pieces[1], "");
  EXPECT_STREQ(pieces[2], "b");
  EXPECT_EQ(pieces[3], nullptr);
  FreeArray_(pieces);
  pieces = Split_("", ';');
  ASSERT_NE(pieces, nullptr);
  EXPECT_STREQ(pieces[0], "");
  EXPECT_EQ(pieces[1], nullptr);
  FreeArray_(pieces);
  wchar_t** wide = Split_(L"x|y ", L'|');
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::wstring(wide[1]), L"y");
  FreeArray_(wide);
}

TEST(BoundedCopies, SizesAndGuardBytes) {
  struct Case {
    size_t size;
    const char *a, *b, *c, *d;
    const char* expected;
  };
  const Case cases[] = {{5, "abc", "def", nullptr, nullptr, "abcd"},
                        {7, "abc", "def", nullptr, nullptr, "abcdef"},
                        {1, "abc", nullptr, nullptr, nullptr, ""},
                        {9, "a", nullptr, "b", "cd", "abcd"},
                        {3, "ab", "c", "d", "e", "ab"}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    ConcatStrings(buffer, c.size, c.a, c.b, c.c, c.d);
    EXPECT_STREQ(buffer, c.expected);
    for (size_t i = c.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#');
  }
  char buffer[16] = "#";
  ConcatStrings(buffer, 0, "abc", "d");
  EXPECT_EQ(buffer[0], '#');
  ConcatStrings(buffer, sizeof buffer, "n=", "", -42L);
  EXPECT_STREQ(buffer, "n=-42");
  ConcatStrings(buffer, sizeof buffer, "[", 7L, "]");
  EXPECT_STREQ(buffer, "[7]");

  struct CopyCase {
    const char* source;
    size_t size;
    bool ok;
    const char* expected;
  };
  const CopyCase copies[] = {{"abc", 4, true, "abc"}, {"abc", 3, false, "ab"}, {"abc", 1, false, ""}};
  for (const CopyCase& c : copies) {
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(ZR_strcpy(out, c.source, c.size), c.ok);
    EXPECT_STREQ(out, c.expected);
    for (size_t i = c.size; i < sizeof out; ++i) ASSERT_EQ(out[i], '#');
  }
  char out[4] = "##";
  EXPECT_FALSE(ZR_strcpy(out, "abc", 0));
  EXPECT_FALSE(ZR_strcpy(out, nullptr, 4));
  EXPECT_FALSE(ZR_strcpy(nullptr, "abc", 4));
  EXPECT_STREQ(out, "##");
}

TEST(NumberText, FormatsOfAnyLength) {
  EXPECT_EQ(ZR_to_string(-12), "-12");
  EXPECT_EQ(ZR_to_string(4000000000u), "4000000000");
  EXPECT_EQ(ZR_to_string(1.5), "1.500000");
  EXPECT_EQ(ZR_to_wstring(-7LL), L"-7");
  // 1e308 in "%f" is 309 digits and the decimals: no fixed buffer holds it.
  const std::string big = ZR_to_string(1e308);
  EXPECT_EQ(big.size(), 316u);
  EXPECT_EQ(ZR_to_wstring(1e308).size(), 316u);
  EXPECT_GT(ZR_to_string(1e4000L).size(), 4000u);
}

TEST(Normalisers, SpacesPunctuationBrackets) {
  struct Case {
    const char* in;
    const char* spaces;
    const char* punctuation;  // keep '-'
    const char* brackets;
  };
  const Case cases[] = {
      {"a  b   c", "a b c", "a b c", "a b c"},
      {" St. John's-Wood, ", " St. John's-Wood, ", "St John s-Wood", " St. John's-Wood, "},
      {"a (b (c) d) e", "a (b (c) d) e", "a b c d e", "a e"},
      {"x (1) y (2", "x (1) y (2", "x 1 y 2", "x (1) y (2"},
      {"a [b] {c} (d)", "a [b] {c} (d)", "a b c d", "a "},
      {"a,b", "a,b", "a b", "a,b"},
  };
  for (const Case& c : cases) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    RemoveMultipleSpaces(buffer);
    EXPECT_STREQ(buffer, c.spaces);
    std::strcpy(buffer, c.in);
    RemovePunctuationForIndex(buffer, '-');
    EXPECT_STREQ(buffer, c.punctuation);
    std::strcpy(buffer, c.in);
    RemoveInBrackets(buffer);
    EXPECT_STREQ(buffer, c.brackets);
  }
}

TEST(TitleCase, NamesAndRomanNumerals) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"MCDONALD", "McDonald"},     {"o'brien", "O'Brien"},
      {"JOHN'S", "John's"},         {"henry viii", "Henry VIII"},
      {"ii", "II"},                 {"xiv", "XIV"},
      {"liv", "Liv"},               {"we'll they've you're", "We'll They've You're"},
      {"flat 3b high st", "Flat 3b High St"},
      {"anne-marie smith", "Anne-Marie Smith"},
      {"i", "I"},                   {"", ""},
      {"d'", "D'"},
  };
  for (const Case& c : cases) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    EXPECT_EQ(TitleCase(buffer), buffer);
    EXPECT_STREQ(buffer, c.out);
    std::strcpy(buffer, c.in);
    EXPECT_STREQ(TitleCaseUtf8(buffer), c.out);
  }
  const Case utf8[] = {
      {"\xC3\x89MILE ZOLA", "\xC3\x89mile Zola"},
      {"o\xE2\x80\x99" "brien", "O\xE2\x80\x99" "Brien"},
      {"\xCE\xB1\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"},
      {"\xC4\xB1stanbul", "\xC4\xB1stanbul"},  // its capital I is one byte shorter
      {"ab\xFF" "cd \xC3", "Ab\xFF" "Cd \xC3"},  // bytes that do not decode stay
  };
  for (const Case& c : utf8) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    TitleCaseUtf8(buffer);
    EXPECT_STREQ(buffer, c.out);
    EXPECT_EQ(std::strlen(buffer), std::strlen(c.in));
  }
}

TEST(ReadDateDMY, FormsAndFailures) {
  struct Case {
    const char* text;
    bool ok;
    int year, month, day;
  };
  const Case cases[] = {
      {"Aug 2004", true, 2004, 8, 31},     {"12/08/21", true, 2021, 8, 12},
      {"2004", true, 2004, 12, 31},        {"3 March 1999", true, 1999, 3, 3},
      {"08/2010", true, 2010, 8, 31},      {"jan feb 2000", false, -1, 1, 31},
      {"", false, -1, 0, 31},              {"0/1/2000", false, -1, 0, 31},
      {"Smarch 2000", false, -1, 0, 31},   {"Ma", false, -1, 0, 31},
      {"Dec", false, -1, 12, 31},         {"99999999999 1 5", true, 2005, 1, INT_MAX},
  };
  for (const Case& c : cases) {
    int year = -1, month = -1, day = -1;
    EXPECT_EQ(ReadDateDMY(c.text, year, month, day), c.ok) << c.text;
    EXPECT_EQ(year, c.year) << c.text;
    EXPECT_EQ(month, c.month) << c.text;
    EXPECT_EQ(day, c.day) << c.text;
  }
}

TEST(ReadRomanNumeral, Values) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {{"MCMXCIV", 1994}, {"mmxxi", 2021}, {"IIII", 0}, {"", 0},
                        {"xlix", 49},      {"IC", 0},       {"viii", 8}, {"L", 50}};
  for (const Case& c : cases) EXPECT_EQ(ReadRomanNumeral(c.text), c.value) << c.text;
}

TEST(Packers, SizesAndGuardBytes) {
  EXPECT_EQ(CharToSixBits(' '), 0);
  EXPECT_EQ(CharToSixBits('!'), 1);
  EXPECT_EQ(CharToSixBits('_'), 63);
  EXPECT_EQ(CharToSixBits('a'), 0);
  struct Case {
    bool six;
    const char* source;
    int size;
    int used;
  };
  const Case cases[] = {{true, "ABCD", 3, 3}, {true, "ABCD", 2, 2}, {true, "ABCDE", 4, 4},
                        {true, "ABCDE", 3, 3}, {true, "", 3, 0},     {true, "AB", 0, 0},
                        {false, "ABCDEFGH", 5, 5}, {false, "AB", 1, 1}, {false, "", 5, 0},
                        {false, "ABCDEFGHI", 6, 6}, {false, "ABCDEFGHI", 5, 5}};
  for (const Case& c : cases) {
    unsigned char out[12];
    std::memset(out, 0xEE, sizeof out);
    const int count = static_cast<int>(std::strlen(c.source));
    const int used = c.six ? Compress6(out, c.size, c.source, count)
                           : Compress5(out, c.size, c.source, count);
    EXPECT_EQ(used, c.used) << c.source << " " << c.size;
    for (int i = c.size; i < 12; ++i) ASSERT_EQ(out[i], 0xEE) << c.source;
  }
  // Round trip, lower case folding onto other codes.
  const char text[] = "HELLO, WORLD_ 42";
  unsigned char packed[16];
  const int n = static_cast<int>(std::strlen(text));
  ASSERT_EQ(Compress6(packed, sizeof packed, text, n), 12);
  char back[17] = {};
  Decompress6(back, packed, n);
  EXPECT_STREQ(back, text);
  unsigned char five[5];
  ASSERT_EQ(Compress5(five, 5, "0AIJ Q", 6), 4);
  // 1, 11, 19, 19, 31, 24 in 5-bit groups.
  EXPECT_EQ(five[0], (1 << 3) | (11 >> 2));
  EXPECT_EQ(five[1], ((11 & 3) << 6) | (19 << 1) | (19 >> 4));
}

}  // namespace
