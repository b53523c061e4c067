#include "text/unicode_props.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(UnicodeCase, ExamplesAndUtf8) {
  EXPECT_EQ(UnicodeToUpper(std::wstring(L"stra\u00DFe")), L"STRASSE");
  wchar_t me[] = L"stra\u00DFe";
  UnicodeUpperCaseMe(me);
  EXPECT_EQ(std::wstring(me), L"STRA\u00DFE");
  EXPECT_EQ(Utf8ToUpper("caf\xC3\xA9"), "CAF\xC3\x89");
  EXPECT_EQ(Utf8ToUpper("caf\xE9"), "caf\xE9");  // not UTF-8: unchanged
}

// The UTF-8 editor indexes its tables only when the continuation bytes are
// there: cut or stray sequences are copied, never read past.
TEST(UnicodeAccents, ExamplesAndMalformedUtf8) {
  EXPECT_EQ(UnicodeRemoveAccents(std::wstring(L"\u0150\u1EA0")), L"OA");
  EXPECT_EQ(UnicodeRemoveAccents(std::string("\xC9t\xE9")), "Ete");
  const std::pair<std::string, std::string> cases[] = {
      {"Caf\xC3\xA9 \xE1\xBA\xA0!", "Cafe A!"},
      {"\xC3\xA9\xC3", "e\xC3"},             // lead byte at the end
      {"\xC3" "A", "\xC3" "A"},              // lead byte without continuation
      {"\xE1\xB8", "\xE1\xB8"},              // cut three-byte sequence
      {"\xE1\xB8" "A\xC3\x89", "\xE1\xB8" "AE"},
      {"\xC7\xA2", "\xC3\x86"},              // U+01E2 to the two-byte AE
  };
  for (const auto& c : cases) {
    std::string s = c.first;
    Utf8RemoveAccentsMe(s);
    EXPECT_EQ(s, c.second);
    char buffer[32];
    Utf8RemoveAccentsMe(std::strcpy(buffer, c.first.c_str()));
    EXPECT_STREQ(buffer, c.second.c_str());
  }
}

}  // namespace
