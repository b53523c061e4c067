// The date and Roman-numeral parsers on arbitrary texts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/string_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t length = std::strlen(text.c_str());
  const std::vector<char> exact(text.c_str(), text.c_str() + length + 1);
  int year = 0, month = 0, day = 0;
  // Every part read is a positive number, whatever the digits.
  if (ReadDateDMY(exact.data(), year, month, day) && (year < 1 || month < 1 || day < 1))
    abort();
  const int value = ReadRomanNumeral(exact.data());
  if (value < 0) abort();
  return 0;
}
