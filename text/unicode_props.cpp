#include "text/unicode_props.h"

#include <cstring>

#include "text/unicode.h"
#include "text/unicode_tables.h"

using namespace zru_tables;

namespace {

enum : unsigned {
  kCategoryMask = 0x3F,
  kAlphabetic = 1u << 6,
  kUppercase = 1u << 7,
  kLowercase = 1u << 8,
  kWhiteSpace = 1u << 9,
  kHexDigit = 1u << 10,
  kCategoryNd = 16,
  kClassPunctuation = 5,  // category code / 8
};

unsigned Properties(wchar_t c) { return LookUp(kPropertyIndex, kPropertyPages, c); }

// The table's entry, or c itself where the entry is 0.
wchar_t Mapped(const uint8_t* index, const uint32_t (*pages)[256], wchar_t c) {
  const uint32_t e = LookUp(index, pages, c);
  return e == 0 ? c : static_cast<wchar_t>(e);
}

std::string Map1252(std::string text, const uint8_t* table) {
  for (char& c : text) {
    const uint8_t to = table[static_cast<unsigned char>(c)];
    if (to != 0) c = static_cast<char>(to);
  }
  return text;
}

// Removes accents in [text, end) and returns the new end. A replacement is
// never longer than the sequence it replaces, so writing trails reading.
char* RemoveUtf8Accents(char* text, char* end) {
  const char* r = text;
  char* w = text;
  while (r < end) {
    const unsigned char b0 = static_cast<unsigned char>(r[0]);
    unsigned base = 0;
    int length = 0;
    // Only well-formed sequences index the tables: a lead byte followed by
    // anything but continuation bytes is copied as it is.
    if (b0 >= 0xC3 && b0 <= 0xC8 && end - r >= 2 && Utf8IsContinue(r[1])) {
      length = 2;
      base = kUtf8AccentC3[(((b0 & 0x1F) << 6) | (r[1] & 0x3F)) - 0xC0];
    } else if (b0 == 0xE1 && end - r >= 3 && static_cast<unsigned char>(r[1]) >= 0xB8 &&
               static_cast<unsigned char>(r[1]) <= 0xBB && Utf8IsContinue(r[2])) {
      length = 3;
      base = kUtf8AccentE1[(((r[1] & 0x3F) << 6) | (r[2] & 0x3F)) - 0xE00];
    }
    if (base != 0) {
      w += WideCharToUtf8(w, static_cast<wchar_t>(base));
      r += length;
    } else {
      *w++ = *r++;
    }
  }
  return w;
}

}  // namespace

bool UnicodeIsAlpha(wchar_t c) { return (Properties(c) & kAlphabetic) != 0; }
bool UnicodeIsUpper(wchar_t c) { return (Properties(c) & kUppercase) != 0; }
bool UnicodeIsLower(wchar_t c) { return (Properties(c) & kLowercase) != 0; }
bool UnicodeIsSpace(wchar_t c) { return (Properties(c) & kWhiteSpace) != 0; }
bool UnicodeIsXdigit(wchar_t c) { return (Properties(c) & kHexDigit) != 0; }

bool UnicodeIsDigit(wchar_t c) {
  // An unassigned code point has entry 0, which is also the code of Lu, but
  // never that of Nd.
  return (Properties(c) & kCategoryMask) == kCategoryNd;
}

bool UnicodeIsAlnum(wchar_t c) { return UnicodeIsAlpha(c) || UnicodeIsDigit(c); }

bool UnicodeIsPunct(wchar_t c) {
  const unsigned p = Properties(c);
  return (p & kCategoryMask) / 8 == kClassPunctuation && (p & ~kCategoryMask) == 0;
}

wchar_t UnicodeToUpper(wchar_t c) { return Mapped(kUpperIndex, kUpperPages, c); }
wchar_t UnicodeToLower(wchar_t c) { return Mapped(kLowerIndex, kLowerPages, c); }

std::wstring UnicodeToUpper(std::wstring text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == 0xDF)
      out += L"SS";
    else
      out += UnicodeToUpper(c);
  }
  return out;
}

std::wstring UnicodeToLower(std::wstring text) {
  for (wchar_t& c : text) c = UnicodeToLower(c);
  return text;
}

void UnicodeUpperCaseMe(wchar_t* text) {
  for (; *text != 0; ++text) *text = UnicodeToUpper(*text);
}

std::string Utf8ToUpper(const std::string& text) {
  std::wstring wide;
  if (!ReadUtf8String(wide, text.c_str(), text.size())) return text;
  return WideToUtf8(UnicodeToUpper(wide));
}

std::wstring UnicodeCaseFold(std::wstring text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    const uint32_t e = LookUp(kFoldIndex, kFoldPages, c);
    if (e == 0)
      out += c;
    else if (e >= 0xD800 && e < 0xD800 + static_cast<uint32_t>(kFold2Count))
      out.append(kFold2[e - 0xD800], kFold2[e - 0xD800] + 2);
    else if (e >= 0xDA00 && e < 0xDA00 + static_cast<uint32_t>(kFold3Count))
      out.append(kFold3[e - 0xDA00], kFold3[e - 0xDA00] + 3);
    else
      out += static_cast<wchar_t>(e);
  }
  return out;
}

std::wstring UnicodeFold(const std::wstring& text) { return UnicodeCaseFold(text); }

wchar_t UnicodeRemoveAccents(wchar_t c) { return Mapped(kAccentIndex, kAccentPages, c); }

std::wstring UnicodeRemoveAccents(std::wstring text) {
  for (wchar_t& c : text) c = UnicodeRemoveAccents(c);
  return text;
}

void UnicodeRemoveAccentsMe(wchar_t* text) {
  for (; *text != 0; ++text) *text = UnicodeRemoveAccents(*text);
}

std::string UnicodeRemoveAccents(std::string text) { return Map1252(std::move(text), kAccent1252); }
std::string RemoveAccents1252(std::string text) { return Map1252(std::move(text), kAccent1252); }
std::string ToUpper1252(std::string text) { return Map1252(std::move(text), kUpper1252); }
std::string ToLower1252(std::string text) { return Map1252(std::move(text), kLower1252); }

void Utf8RemoveAccentsMe(char* text) {
  *RemoveUtf8Accents(text, text + std::strlen(text)) = 0;
}

void Utf8RemoveAccentsMe(std::string& text) {
  if (text.empty()) return;
  char* first = &text[0];
  text.resize(static_cast<size_t>(RemoveUtf8Accents(first, first + text.size()) - first));
}
