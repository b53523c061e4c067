// Title case and the search-key normalisers on arbitrary texts. The UTF-8
// title-caser must keep the length of its text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/string_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t length = std::strlen(text.c_str());
  // Exactly the text and its terminator, so any overrun is caught.
  auto fresh = [&] { return std::vector<char>(text.c_str(), text.c_str() + length + 1); };

  std::vector<char> s = fresh();
  TitleCase(s.data());
  if (std::strlen(s.data()) != length) abort();
  s = fresh();
  TitleCaseUtf8(s.data());
  if (std::strlen(s.data()) != length) abort();
  s = fresh();
  RemoveInBrackets(s.data());
  s = fresh();
  RemovePunctuationForIndex(s.data(), size > 0 ? static_cast<char>(data[0]) : '-');
  s = fresh();
  RemoveMultipleSpaces(s.data());
  s = fresh();
  Trim_(s.data(), " .,");
  return 0;
}
