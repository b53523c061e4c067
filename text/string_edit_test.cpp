#include "text/string_edit.h"

#include <gtest/gtest.h>

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

}  // namespace
