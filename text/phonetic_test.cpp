#include "text/phonetic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using KeyFunction = void (*)(char*, const char*, int);

// The key in a buffer of exactly maxLength + 1 bytes between guard bytes,
// which must survive.
std::string Key(KeyFunction function, const char* text, int maxLength) {
  std::vector<char> buffer(maxLength + 9, '#');
  function(buffer.data() + 4, text, maxLength);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(buffer[i], '#') << text;
    EXPECT_EQ(buffer[maxLength + 5 + i], '#') << text << " " << maxLength;
  }
  const char* key = buffer.data() + 4;
  const size_t length = strnlen(key, maxLength + 1);
  EXPECT_LE(length, static_cast<size_t>(maxLength)) << "unterminated key of " << text;
  return std::string(key, length);
}

struct KeyCase {
  const char* text;
  int maxLength;
  const char* key;
};

TEST(Soundex, TextbookAndOwnRules) {
  const KeyCase cases[] = {
      // The textbook set.
      {"Robert", 4, "R163"}, {"Rupert", 4, "R163"}, {"Ashcraft", 4, "A261"},
      {"Tymczak", 4, "T522"}, {"Pfister", 4, "P236"}, {"Honeyman", 4, "H555"},
      {"Lee", 4, "L000"}, {"Gutierrez", 4, "G362"}, {"Jackson", 4, "J250"},
      // This library's rules: leading white space skipped, other characters
      // skipped, lower case, any length padded with '0', a text that does not
      // start with a letter has the empty key.
      {"T", 4, "T000"}, {"  \trobert", 4, "R163"}, {"Rob-ert", 4, "R163"},
      {"Ro\xC3\xA9" "bert", 4, "R163"}, {"Robert", 6, "R16300"}, {"Robert", 2, "R1"},
      {"Robert", 1, "R"}, {"Robert", 0, ""}, {"'Robert", 4, ""}, {"\xC3\x89mile", 4, ""},
      {"", 4, ""}, {"Washington", 8, "W2523500"}, {"Hawwh", 4, "H000"}, {"Bbbb", 4, "B000"},
  };
  for (const auto& c : cases) EXPECT_EQ(Key(Soundex, c.text, c.maxLength), c.key) << c.text;
}

TEST(Soundex, Packed) {
  EXPECT_EQ(Soundex2("Robert"), 18 * 512 + 1 * 64 + 6 * 8 + 3);
  EXPECT_EQ(Soundex2("lee"), 12 * 512);
  EXPECT_EQ(Soundex2("Ashcraft"), 1 * 512 + 2 * 64 + 6 * 8 + 1);
  EXPECT_EQ(Soundex2("Zz"), 26 * 512);
  EXPECT_EQ(Soundex2(" Robert"), 0);
  EXPECT_EQ(Soundex2("\xE9t\xE9"), 0);
  EXPECT_EQ(Soundex2(""), 0);
}

// Worked by hand from the rules; each row exercises one or two of them.
TEST(Nysiis, Rules) {
  const KeyCase cases[] = {
      {"Edwards", 6, "EDWAD"},     // trailing S, RD -> D, first letter restored
      {"Knight", 6, "NAT"},        // K before N, GHT
      {"Schmidt", 6, "SNAD"},      // DT -> D, SCH, M -> N
      {"Phillips", 8, "FALAP"},    // PH, trailing S, doubled letters
      {"Boyle", 6, "BAL"},         // Y inside, final A removed
      {"Owen", 6, "ON"},           // W after a vowel, restored O
      {"Hugh", 6, "HAGH"},         // H neither after A nor before a vowel
      {"Sheila", 6, "SAL"},        // SH
      {"Macintosh", 6, "MCANTA"},  // MAC, cut
      {"Macintosh", 10, "MCANTAS"},
      {"Mackay", 3, "MCY"},        // the letter past the cut makes AY -> Y
      {"Mackay", 2, "MC"},
      {"  knight", 6, "NAT"},      // leading white space, lower case
      {"Smith", 0, ""},
      {"Smith2", 6, ""},           // a digit empties the key
      {"---", 6, ""},
      {"", 6, ""},
      {"K\xC3\xA9nigh\xFFt", 6, "NAT"},  // bytes of 0x80 and above are no letters
  };
  for (const auto& c : cases) EXPECT_EQ(Key(Nysiis, c.text, c.maxLength), c.key) << c.text;
  // Only the first 51 characters count: a digit as the 52nd leaves the key.
  EXPECT_EQ(Key(Nysiis, ("Smith" + std::string(46, '-') + "1").c_str(), 6), "SNATH");
  EXPECT_EQ(Key(Nysiis, ("Smith" + std::string(45, '-') + "1").c_str(), 6), "");
}

TEST(Metaphone, Rules) {
  const KeyCase cases[] = {
      {"THOMAS", 4, "0MS"},  {"Knight", 6, "KNT"},  {"KNIGHT", 6, "NT"},
      {"Xavier", 6, "SFR"},  {"Schmidt", 6, "SKMTT"}, {"Dodge", 6, "TJ"},
      {"Wright", 6, "RT"},   {"Church", 6, "XRX"},  {"Phone", 4, "FN"},
      {"Ax", 6, "AKS"},      {"Ax", 2, "AK"},       {"Lamb", 6, "LM"},
      {"Bazz", 6, "BS"},     {"c", 6, "C"},         {"5", 6, "5"},
      {"", 6, ""},           {"c", 0, ""},          {"Thomas", 0, ""},
      {"Thomas", 1, "0"},    {"Th\xC3\xB6mas", 6, "0MS"},
  };
  for (const auto& c : cases) EXPECT_EQ(Key(Metaphone, c.text, c.maxLength), c.key) << c.text;
}

// A negative maxLength writes nothing at all. (The fuzz target and its
// replayed inputs check the room on arbitrary bytes.)
TEST(PhoneticKeys, NegativeMaxLength) {
  char guard = '#';
  for (KeyFunction f : {Soundex, Nysiis, Metaphone}) f(&guard, "Robert", -1);
  EXPECT_EQ(guard, '#');
}

}  // namespace
