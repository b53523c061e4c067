#include "foundation/next_parameter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The rule read literally: the first "=", the first ";" and the first TAB
// at or after the cursor, each looked for on its own.
bool ReferenceNextParameter(char*& cursor, char*& key, char*& value) {
  char* equals = strchr(cursor, '=');
  char* semicolon = strchr(cursor, ';');
  char* tab = strchr(cursor, '\t');
  if (equals == nullptr || semicolon == nullptr || semicolon < equals ||
      (tab != nullptr && tab < equals)) {
    key = value = cursor + strlen(cursor);
    return false;
  }
  key = cursor;
  *equals = '\0';
  *semicolon = '\0';
  value = equals + 1;
  cursor = semicolon + 1;
  return true;
}

// Every item, as offsets into the text, and where the parse stopped.
std::vector<long> Parse(std::string text, bool reference) {
  std::vector<long> cuts;
  char* base = &text[0];
  char *cursor = base, *key, *value;
  for (;;) {
    size_t keyLength = 0;
    const bool more = reference ? ReferenceNextParameter(cursor, key, value)
                                : NextParameter(cursor, key, value, keyLength);
    cuts.insert(cuts.end(), {key - base, value - base, cursor - base});
    if (!reference && more && keyLength != strlen(key)) cuts.push_back(-1);
    if (!more) break;
  }
  cuts.push_back(static_cast<long>(std::find(text.begin(), text.end(), '\0') - text.begin()));
  return cuts;
}

TEST(NextParameter, ItemsAndStops) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {  // text, key, value, ...
      {"ShapeFile=a.shp;LatLong=51.5,-0.1;", {"ShapeFile", "a.shp", "LatLong", "51.5,-0.1"}},
      {"A=x=y;B=;", {"A", "x=y", "B", ""}},
      {"A=1;B=2", {"A", "1"}},                 // no final ";": the last item is ignored
      {"A=1;\tB=2;", {"A", "1"}},              // a TAB before the next "=" ends the parameters
      {"A=1\t;B=2;", {"A", "1\t", "B", "2"}},  // a TAB after the "=" belongs to the value
      {"A;=1;", {}},
  };
  for (const auto& c : cases) {
    std::string text = c.first;
    char *cursor = &text[0], *key, *value;
    std::vector<std::string> pairs;
    while (NextParameter(cursor, key, value)) pairs.insert(pairs.end(), {key, value});
    EXPECT_EQ(pairs, c.second) << c.first;
    EXPECT_EQ(*key, '\0') << c.first;
  }
}

// Random texts over the characters that matter: the same items, cuts and
// stops as the literal rule.
TEST(NextParameter, AgreesWithTheLiteralRule) {
  std::mt19937 random(3);
  const char alphabet[] = "ab=;\t ";
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = alphabet[random() % (sizeof alphabet - 1)];
    EXPECT_EQ(Parse(text, false), Parse(text, true)) << '"' << text << '"';
  }
}

}  // namespace
