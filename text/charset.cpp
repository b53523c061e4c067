#include "text/charset.h"

#include <cstring>

#include "text/unicode.h"

namespace {

// The code page's assignments for 0x80 to 0x9F; 0 marks the five bytes it
// leaves unassigned, which stand for themselves.
const wchar_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool Iso8859_1(char& c, wchar_t w) {
  if (w < 0 || w > 0xFF) return false;
  c = static_cast<char>(w);
  return true;
}

}  // namespace

bool CharWideToAnsi(char& c, wchar_t w) {
  if ((w >= 0 && w < 0x80) || (w >= 0xA0 && w <= 0xFF)) {
    c = static_cast<char>(w);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == w) {
      c = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

bool CharToAnsi(char& c, wchar_t w) { return CharWideToAnsi(c, w); }
bool CharToAnsi(char& c, char a) {
  c = a;
  return true;
}
void AnsiToChar(char& c, char a) { c = a; }

wchar_t CharAnsiToWide(unsigned char a) {
  if (a >= 0x80 && a <= 0x9F && kHighControls[a - 0x80] != 0)
    return kHighControls[a - 0x80];
  return a;
}

void AnsiToChar(wchar_t& w, char a) { w = CharAnsiToWide(static_cast<unsigned char>(a)); }

std::string ConvertFromWide(const std::wstring& text, bool (*convert)(char&, wchar_t),
                            char replacement) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    char c;
    out += convert(c, w) ? c : replacement;
  }
  return out;
}

std::string WideToAnsi(const std::wstring& text, char replacement) {
  return ConvertFromWide(text, CharWideToAnsi, replacement);
}
std::string WideToAnsi(const wchar_t* text, char replacement) {
  return WideToAnsi(std::wstring(text), replacement);
}
std::string StringToAnsi(const wchar_t* text, char replacement) {
  return WideToAnsi(std::wstring(text), replacement);
}
std::string StringToAnsi(const std::wstring& text, char replacement) {
  return WideToAnsi(text, replacement);
}
std::string StringToAnsi(const char* text, char) { return text; }
std::string StringToAnsi(const std::string& text, char) { return text; }

bool WideToAnsi(char* out, const wchar_t* text) {
  for (;; ++text, ++out) {
    if (!CharWideToAnsi(*out, *text)) {
      *out = 0;
      return false;
    }
    if (*text == 0) return true;
  }
}

bool WideToAnsi(std::string& out, const std::wstring& text) {
  out.clear();
  for (wchar_t w : text) {
    char c;
    if (!CharWideToAnsi(c, w)) return false;
    out += c;
  }
  return true;
}

bool StringToAnsi(char* out, const wchar_t* text) { return WideToAnsi(out, text); }
bool StringToAnsi(std::string& out, const std::wstring& text) { return WideToAnsi(out, text); }
bool StringToAnsi(char* out, const char* text) {
  std::strcpy(out, text);
  return true;
}
bool StringToAnsi(std::string& out, const std::string& text) {
  out = text;
  return true;
}

bool CanWideToAnsi(const wchar_t* text) {
  char c;
  for (; *text != 0; ++text)
    if (!CharWideToAnsi(c, *text)) return false;
  return true;
}

std::wstring AnsiToWide(const char* text, size_t length) {
  std::wstring out(length, L'\0');
  for (size_t i = 0; i < length; ++i)
    out[i] = CharAnsiToWide(static_cast<unsigned char>(text[i]));
  return out;
}
std::wstring AnsiToWide(const char* text) { return AnsiToWide(text, std::strlen(text)); }
std::wstring AnsiToWide(const std::string& text) { return AnsiToWide(text.data(), text.size()); }
std::wstring StringToWide(const std::string& text) { return AnsiToWide(text); }
std::wstring StringToWide(const std::wstring& text) { return text; }

void AnsiToString(std::wstring& out, const char* text) { out = AnsiToWide(text); }
void AnsiToString(std::wstring& out, const char* text, size_t length) {
  out = AnsiToWide(text, length);
}
void AnsiToString(std::string& out, const char* text) { out = text; }
void AnsiToString(std::string& out, const char* text, size_t length) {
  out.assign(text, length);
}

void AnsiToStringC(wchar_t* out, const char* text) {
  do {
    *out++ = CharAnsiToWide(static_cast<unsigned char>(*text));
  } while (*text++ != 0);
}
void AnsiToStringC(char* out, const char* text) { std::strcpy(out, text); }

std::string CharsetConvert(const std::wstring& text, CharsetEnum charset, char replacement) {
  switch (charset) {
    case CharsetUtf8:
      return WideToUtf8(text);
    case CharsetWindows1252:
      return ConvertFromWide(text, CharWideToAnsi, replacement);
    case CharsetIso8859_1:
      return ConvertFromWide(text, Iso8859_1, replacement);
  }
  return std::string();
}
