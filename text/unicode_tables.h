// The character tables generated from the Unicode Character Database
// (text/unicode_tables.cpp, written by tools/gen_unicode_tables.py). Internal
// to the library: the functions of text/unicode_props.h read them.
#ifndef ZRUTILS_TEXT_UNICODE_TABLES_H
#define ZRUTILS_TEXT_UNICODE_TABLES_H

#include <cstdint>

namespace zru_tables {

// Two-level tables over U+0000 to U+FFFF: Index[high byte] selects a page,
// Pages[page][low byte] is the entry; 0 means "maps to itself" or "none".
extern const uint8_t kLowerIndex[256];
extern const uint32_t kLowerPages[][256];
extern const uint8_t kUpperIndex[256];
extern const uint32_t kUpperPages[][256];
// Bits 0-5 general category, 6 Alphabetic, 7 Uppercase, 8 Lowercase,
// 9 White_Space, 10 Hex_Digit, 11 Noncharacter_Code_Point,
// 12 Default_Ignorable_Code_Point.
extern const uint8_t kPropertyIndex[256];
extern const uint16_t kPropertyPages[][256];
// A single folded character, or 0xD800 + i for kFold2[i], 0xDA00 + i for
// kFold3[i].
extern const uint8_t kFoldIndex[256];
extern const uint32_t kFoldPages[][256];
extern const int kFold2Count;
extern const int kFold3Count;
extern const uint16_t kFold2[][2];
extern const uint16_t kFold3[][3];
// Base letters.
extern const int kAccentCount;
extern const uint8_t kAccentIndex[256];
extern const uint32_t kAccentPages[][256];
// Base letters for in-place UTF-8 removal: U+00C0 to U+023F (lead bytes
// 0xC3 to 0xC8) and U+1E00 to U+1EFF (0xE1 0xB8 to 0xE1 0xBB).
extern const uint16_t kUtf8AccentC3[0x180];
extern const uint16_t kUtf8AccentE1[0x100];
// Windows-1252 byte tables; 0 leaves the byte unchanged.
extern const uint8_t kUpper1252[256];
extern const uint8_t kLower1252[256];
extern const uint8_t kAccent1252[256];

// The entry for c; code points outside the BMP have none.
template <class T>
T LookUp(const uint8_t* index, const T (*pages)[256], wchar_t c) {
  if (c < 0 || c > 0xFFFF) return 0;
  return pages[index[c >> 8]][c & 0xFF];
}

}  // namespace zru_tables

#endif
