// Re-derives every generated table from the Unicode Character Database files
// in third_party/ucd/ and compares all 65,536 BMP code points.
#include "text/unicode_tables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "text/unicode.h"
#include "text/unicode_props.h"

namespace {

using Fields = std::vector<std::string>;

// The data lines of a UCD file, comments removed, split at ';' and trimmed.
std::vector<Fields> ReadUcd(const std::string& name) {
  std::ifstream in(std::string(ZRU_UCD_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<Fields> lines;
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    if (line.find(';') == std::string::npos) continue;
    Fields fields;
    std::stringstream s(line);
    std::string field;
    while (std::getline(s, field, ';')) {
      const size_t a = field.find_first_not_of(' ');
      const size_t b = field.find_last_not_of(' ');
      fields.push_back(a == std::string::npos ? "" : field.substr(a, b - a + 1));
    }
    lines.push_back(fields);
  }
  return lines;
}

long Hex(const std::string& s) { return std::stol(s, nullptr, 16); }

std::vector<wchar_t> HexList(const std::string& s) {
  std::vector<wchar_t> codes;
  std::stringstream in(s);
  std::string item;
  while (in >> item) codes.push_back(static_cast<wchar_t>(Hex(item)));
  return codes;
}

struct UnicodeData {
  std::vector<std::string> category = std::vector<std::string>(0x10000, "Cn");
  std::map<wchar_t, wchar_t> upper, lower;
  std::map<wchar_t, std::vector<wchar_t>> decomposition;

  wchar_t FirstOfFullDecomposition(wchar_t c) const {
    for (auto it = decomposition.find(c); it != decomposition.end();
         it = decomposition.find(c))
      c = it->second[0];
    return c;
  }
};

const UnicodeData& Data51() {
  static const UnicodeData data = [] {
    UnicodeData d;
    long rangeStart = -1;
    for (const Fields& f : ReadUcd("5.1.0/UnicodeData.txt")) {
      const long code = Hex(f[0]);
      if (f[1].find("First>") != std::string::npos) {
        rangeStart = code;
        continue;
      }
      const long first = f[1].find("Last>") != std::string::npos ? rangeStart : code;
      for (long c = first; c <= code && c <= 0xFFFF; ++c) d.category[c] = f[2];
      if (code > 0xFFFF) continue;
      if (!f[12].empty()) d.upper[code] = Hex(f[12]);
      if (!f[13].empty()) d.lower[code] = Hex(f[13]);
      if (!f[5].empty() && f[5][0] != '<') d.decomposition[code] = HexList(f[5]);
    }
    return d;
  }();
  return data;
}

TEST(UnicodeTables, SimpleCaseMappings) {
  const UnicodeData& d = Data51();
  for (wchar_t c = 0; c <= 0xFFFF; ++c) {
    const auto up = d.upper.find(c);
    const auto low = d.lower.find(c);
    ASSERT_EQ(UnicodeToUpper(c), up == d.upper.end() ? c : up->second) << c;
    ASSERT_EQ(UnicodeToLower(c), low == d.lower.end() ? c : low->second) << c;
  }
  EXPECT_EQ(UnicodeToUpper(static_cast<wchar_t>(0x10428)), 0x10428);  // beyond the BMP
  EXPECT_EQ(UnicodeToLower(static_cast<wchar_t>(-5)), -5);
}

TEST(UnicodeTables, CategoriesAndPropertyBits) {
  const std::map<std::string, int> codes = {
      {"Lu", 0},  {"Ll", 1},  {"Lt", 2},  {"Lm", 3},  {"Lo", 4},  {"Mn", 8},  {"Me", 9},  {"Mc", 10},
      {"Nd", 16}, {"Nl", 17}, {"No", 18}, {"Zs", 24}, {"Zl", 25}, {"Zp", 26}, {"Cc", 32}, {"Cf", 33},
      {"Co", 34}, {"Cs", 35}, {"Pd", 40}, {"Ps", 41}, {"Pe", 42}, {"Pc", 43}, {"Po", 44}, {"Pi", 45},
      {"Pf", 46}, {"Sm", 48}, {"Sc", 49}, {"Sk", 50}, {"So", 51}, {"Cn", 0}};
  std::vector<unsigned> expected(0x10000);
  const UnicodeData& d = Data51();
  for (int c = 0; c <= 0xFFFF; ++c) expected[c] = codes.at(d.category[c]);
  const struct {
    int bit;
    const char *name, *file;
  } bits[] = {{6, "Alphabetic", "DerivedCoreProperties.txt"}, {7, "Uppercase", "DerivedCoreProperties.txt"},
              {8, "Lowercase", "DerivedCoreProperties.txt"},  {9, "White_Space", "PropList.txt"},
              {10, "Hex_Digit", "PropList.txt"},              {11, "Noncharacter_Code_Point", "PropList.txt"},
              {12, "Default_Ignorable_Code_Point", "DerivedCoreProperties.txt"}};
  for (const auto& b : bits) {
    for (const Fields& f : ReadUcd(std::string("5.2.0/") + b.file)) {
      if (f[1] != b.name) continue;
      const size_t dots = f[0].find("..");
      const long first = Hex(f[0].substr(0, dots));
      const long last = dots == std::string::npos ? first : Hex(f[0].substr(dots + 2));
      for (long c = first; c <= last && c <= 0xFFFF; ++c) expected[c] |= 1u << b.bit;
    }
  }
  int newIn52 = 0;
  for (wchar_t c = 0; c <= 0xFFFF; ++c) {
    ASSERT_EQ(zru_tables::LookUp(zru_tables::kPropertyIndex, zru_tables::kPropertyPages, c),
              expected[c])
        << c;
    if (d.category[c] == "Cn" && (expected[c] & ~(1u << 11)) != 0) ++newIn52;
  }
  // Characters new in 5.2 carry their bits with category code 0 (the
  // noncharacters, unassigned in both, are not counted).
  EXPECT_EQ(newIn52, 708);
}

TEST(UnicodeTables, FullCaseFolding) {
  int twos = 0, threes = 0;
  std::vector<std::wstring> expected(0x10000);
  for (const Fields& f : ReadUcd("5.1.0/CaseFolding.txt")) {
    const long code = Hex(f[0]);
    if (code > 0xFFFF || (f[1] != "C" && f[1] != "F")) continue;
    const std::vector<wchar_t> to = HexList(f[2]);
    expected[code].assign(to.begin(), to.end());
    twos += to.size() == 2;
    threes += to.size() == 3;
  }
  EXPECT_EQ(twos, 88);
  EXPECT_EQ(threes, 16);
  for (wchar_t c = 0; c <= 0xFFFF; ++c) {
    const std::wstring folded = UnicodeCaseFold(std::wstring(1, c));
    ASSERT_TRUE(folded == (expected[c].empty() ? std::wstring(1, c) : expected[c])) << c;
  }
  EXPECT_EQ(UnicodeFold(L"\u0390"), L"\u03B9\u0308\u0301");
}

// Base letters: the first character of the full canonical decomposition of
// the letters Lu/Ll in four ranges, and some letters without decomposition.
std::map<wchar_t, wchar_t> ExpectedAccents() {
  const UnicodeData& d = Data51();
  std::map<wchar_t, wchar_t> accents;
  const wchar_t ranges[][2] = {{0xC0, 0x24F}, {0x370, 0x4FF}, {0x1E00, 0x1FFF}, {0x2100, 0x214F}};
  for (const auto& r : ranges)
    for (wchar_t c = r[0]; c <= r[1]; ++c)
      if ((d.category[c] == "Lu" || d.category[c] == "Ll") && d.decomposition.count(c))
        accents[c] = d.FirstOfFullDecomposition(c);
  const wchar_t extras[][2] = {{0x110, 'D'},   {0x111, 'd'},   {0x126, 'H'},   {0x127, 'h'},  {0x141, 'L'},
                               {0x142, 'l'},   {0x166, 'T'},   {0x167, 't'},   {0xD8, 'O'},   {0xF8, 'o'},
                               {0x1C4, 0x1F1}, {0x1C5, 0x1F2}, {0x1C6, 0x1F3}, {0x212A, 'K'}, {0x212B, 'A'},
                               {0x2126, 0x3A9}};
  for (const auto& e : extras) accents[e[0]] = e[1];
  return accents;
}

TEST(UnicodeTables, AccentRemoval) {
  const std::map<wchar_t, wchar_t> accents = ExpectedAccents();
  EXPECT_EQ(accents.size(), 778u);
  for (wchar_t c = 0; c <= 0xFFFF; ++c) {
    const auto it = accents.find(c);
    ASSERT_EQ(UnicodeRemoveAccents(c), it == accents.end() ? c : it->second) << c;
  }
  // The UTF-8 in-place tables follow the same letters, plus six more.
  std::map<wchar_t, wchar_t> utf8 = accents;
  const wchar_t more[][2] = {{0x131, 'i'}, {0x13F, 'L'}, {0x140, 'l'},
                             {0x149, 'n'}, {0x17F, 's'}, {0x1E9A, 'a'}};
  for (const auto& e : more) utf8[e[0]] = e[1];
  for (wchar_t c = 0xC0; c <= 0x1EFF; c = c == 0x23F ? 0x1E00 : c + 1) {
    std::string text = WideToUtf8(std::wstring(1, c));
    Utf8RemoveAccentsMe(text);
    const auto it = utf8.find(c);
    ASSERT_EQ(text, WideToUtf8(std::wstring(1, it == utf8.end() ? c : it->second))) << c;
  }
}

TEST(UnicodeTables, Windows1252ByteTables) {
  const UnicodeData& d = Data51();
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const wchar_t w = CharAnsiToWide(static_cast<unsigned char>(b));
    // Case: the Unicode mapping where the result has a Windows-1252 form.
    char up = byte[0], low = byte[0];
    CharWideToAnsi(up, UnicodeToUpper(w));
    CharWideToAnsi(low, UnicodeToLower(w));
    EXPECT_EQ(ToUpper1252(byte), std::string(1, up)) << b;
    EXPECT_EQ(ToLower1252(byte), std::string(1, low)) << b;
    // Accents: the decomposition's first character, and Ð ð to D d.
    char base = byte[0];
    if (b == 0xD0 || b == 0xF0)
      base = b == 0xD0 ? 'D' : 'd';
    else
      CharWideToAnsi(base, d.FirstOfFullDecomposition(w));
    EXPECT_EQ(RemoveAccents1252(byte), std::string(1, base)) << b;
  }
}

}  // namespace
