#include "foundation/next_parameter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
  const char* text;
  std::vector<std::pair<std::string, std::string>> items;
  const char* rest;  // where the cursor stops
};

TEST(NextParameter, CutsItemsInPlace) {
  const Case cases[] = {
      {"a=1;b=2;", {{"a", "1"}, {"b", "2"}}, ""},
      {"a=1;b=2", {{"a", "1"}}, "b=2"},               // no final ";"
      {"a=x=y;", {{"a", "x=y"}}, ""},                 // "=" in a value
      {"=;", {{"", ""}}, ""},
      {" k = v ;", {{" k ", " v "}}, ""},             // spaces kept
      {"a;b=1;", {}, "a;b=1;"},                       // ";" before "="
      {"a\t=1;", {}, "a\t=1;"},                       // TAB before "="
      {"a=1\t;b=2;", {{"a", "1\t"}, {"b", "2"}}, ""},  // TAB after "=" is value
      {"a=1;\tb=2;", {{"a", "1"}}, "\tb=2;"},
      {"a=1;b", {{"a", "1"}}, "b"},
      {"", {}, ""},
      {";", {}, ";"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    char* cursor = text.data();
    char *key = nullptr, *value = nullptr;
    std::vector<std::pair<std::string, std::string>> items;
    while (NextParameter(cursor, key, value)) items.emplace_back(key, value);
    EXPECT_EQ(items, c.items);
    EXPECT_STREQ(cursor, c.rest);
    // A refused item leaves key and value empty, at the end of the text.
    EXPECT_EQ(key, cursor + strlen(cursor));
    EXPECT_EQ(value, key);
  }
}

}  // namespace
