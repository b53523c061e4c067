// Phonetic keys and fuzzy comparisons of arbitrary bytes. Keys go into
// rooms of exactly maxLength + 1 bytes (small maxLength) with guard bytes
// after them; the edit distance must be symmetric, and the
// bounded distance must agree with the one-edit test.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/fuzzy_compare.h"
#include "text/phonetic.h"

namespace {

void CheckKey(void (*function)(char*, const char*, int), const char* text, int maxLength) {
  std::vector<char> room(maxLength + 1 + 8, '#');
  function(room.data(), text, maxLength);
  for (size_t i = maxLength + 1; i < room.size(); ++i)
    if (room[i] != '#') abort();
  if (strnlen(room.data(), maxLength + 1) > static_cast<size_t>(maxLength)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int maxLength = data[0] % 9;
  const int maxEdits = static_cast<int8_t>(data[1]) % 4;  // -3 to 3
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  // Two texts: before and after the first NUL.
  const std::string a(bytes.c_str());
  const std::string b = a.size() < bytes.size() ? bytes.substr(a.size() + 1) : std::string();
  const std::string bText(b.c_str());
  for (const std::string* text : {&a, &bText}) {
    CheckKey(Soundex, text->c_str(), maxLength);
    CheckKey(Nysiis, text->c_str(), maxLength);
    CheckKey(Metaphone, text->c_str(), maxLength);
    Soundex2(text->c_str());
  }
  // The recursion costs 4 to the power maxEdits per character: keep texts short.
  if (a.size() <= 64 && bText.size() <= 64) {
    const int d = CompareStrings2(a.c_str(), bText.c_str(), maxEdits, true);
    if (d != CompareStrings2(bText.c_str(), a.c_str(), maxEdits, true)) abort();
    if ((d == 0) != (a == bText)) abort();
    bool identical;
    const bool near = StringsNearlyTheSame(a.c_str(), bText.c_str(), identical, false, true);
    if (identical != (a == bText)) abort();
    if (maxEdits >= 1 && near != (d <= 1)) abort();
    CompareStrings2(a.c_str(), bText.c_str(), maxEdits, false);
    StringsNearlyTheSame(a.c_str(), bText.c_str(), identical, true, false);
    const std::wstring wa(a.begin(), a.end()), wb(bText.begin(), bText.end());
    if (CompareStrings2(wa.c_str(), wb.c_str(), maxEdits, true) != d) abort();
  }
  // Jaro on the raw bytes, NULs included.
  const float jaro = CompareJaro(bytes, b);
  if (!(jaro >= 0.0f && jaro <= 1.0f)) abort();
  if (!b.empty() && CompareJaro(b, b) != 1.0f) abort();
  return 0;
}
