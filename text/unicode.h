// UTF-8, UTF-16, UCS-2 and wide-text conversion. A wide string holds code
// points (wchar_t is 32 bits) unless a function says it holds UTF-16 units.
// Every UTF-8 reader goes through DecodeUtf8Char, which accepts overlong forms
// and encoded surrogates as they decode; the Windows-1252 ("Ansi") functions
// are in text/charset.h, included here.
#ifndef ZRUTILS_TEXT_UNICODE_H
#define ZRUTILS_TEXT_UNICODE_H

#include <cstddef>
#include <string>

#include "foundation/export.h"
#include "text/charset.h"

// Byte classes.
inline bool Utf8IsSingle(char c) { return static_cast<unsigned char>(c) < 0x80; }
inline bool Utf8IsLead(unsigned char c) { return c >= 0xC2 && c <= 0xF4; }
inline bool Utf8IsContinue(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Number of bytes of text that are not continuation bytes.
ZRU_EXPORT size_t Utf8Strlen(const char* text);
// False at the terminator; otherwise steps over one byte and the
// continuation bytes after it.
ZRU_EXPORT bool Utf8Inc(const char*& p);
ZRU_EXPORT bool Utf8Inc(const char* s, int& i);

// Whether a buffer looks like UTF-8: true with a byte-order mark, otherwise
// by counting good and bad multi-byte sequences: no good one gives false, no
// bad one true, else good / ratio > bad. A ratio below 1 counts as 1.
ZRU_EXPORT bool IsBufferUtf8(const char* buffer, size_t length, int ratio);
ZRU_EXPORT bool IsStringUtf8(const char* text, int ratio);
ZRU_EXPORT bool IsStringUtf8(const std::string& text, int ratio);

// Decodes one character at p and advances over it. Fails without advancing
// on a continuation byte, a byte 0xF8 or above or a missing continuation
// byte; a four-byte form at or above 0x110000 is consumed and fails. When end
// is not null no byte at or after end is read.
ZRU_EXPORT bool DecodeUtf8Char(wchar_t& code, const char*& p, const char* end = nullptr);

ZRU_EXPORT bool NextUtf8Char(wchar_t& c, const char*& p);
// Decodes and converts to Windows-1252; false when the character cannot be
// decoded (p stays) or has no Windows-1252 form (p advances).
ZRU_EXPORT bool NextUtf8Char(char& c, const char*& p);
ZRU_EXPORT bool NextUtf8Char(std::wstring& s, const char*& p);
// When decoding fails, steps over one byte and returns its value.
ZRU_EXPORT wchar_t NextUtf8Char(const char*& p);

// Decodes a whole text; false at the first undecodable sequence (out then
// holds what came before it). The sized forms read at most maxBytes bytes and
// stop earlier at a terminator.
ZRU_EXPORT bool ReadUtf8String(std::wstring& out, const char* text);
ZRU_EXPORT bool ReadUtf8String(std::wstring& out, const char* text, size_t maxBytes);
// An undecodable byte is taken as the code point of its value.
ZRU_EXPORT void ReadUtf8StringTolerant(std::wstring& out, const char* text);
// To Windows-1252; false at the first undecodable or unrepresentable one.
ZRU_EXPORT bool ReadUtf8String(std::string& out, const char* text);
ZRU_EXPORT bool ReadUtf8String(std::string& out, const char* text, size_t maxBytes);
// To Windows-1252; an undecodable byte is copied, an unrepresentable
// character becomes 0x7F.
ZRU_EXPORT void ReadUtf8StringTolerant(std::string& out, const char* text);
// Tolerant decoding of all text.size() bytes.
ZRU_EXPORT std::wstring Utf8ToWide(const std::string& text);
// To UTF-16 units, surrogate pairs above 0xFFFF. An undecodable byte fails
// unless tolerant, when its value is taken as a unit.
ZRU_EXPORT bool Utf8ToUtf16(std::wstring& out, const char* text, bool tolerant);

// Writes the 1 to 4 bytes of c and returns their number; a negative code or
// one above 0x10FFFF writes nothing and returns 0.
ZRU_EXPORT int WideCharToUtf8(char* out, wchar_t c);
// A high surrogate directly followed by a low one is combined; a lone
// surrogate is written as three bytes; codes above 0x10FFFF are dropped.
ZRU_EXPORT std::string WideToUtf8(const wchar_t* text);
ZRU_EXPORT std::string WideToUtf8(const std::wstring& text);
ZRU_EXPORT std::string StringToUtf8(const wchar_t* text);
ZRU_EXPORT std::string StringToUtf8(const std::wstring& text);
// The narrow forms take Windows-1252.
ZRU_EXPORT std::string StringToUtf8(const char* text);
ZRU_EXPORT std::string StringToUtf8(const std::string& text);
ZRU_EXPORT std::string Windows1252ToUtf8(std::string text);
// In place: each byte of 0x80 or above is replaced by its UTF-8 bytes while
// the grown text and its terminator fit in capacity bytes; bytes that do not
// fit stay. Returns true.
ZRU_EXPORT bool Windows1252ToUtf8(char* text, size_t capacity);

// UTF-8 for wide texts, copies for narrow ones.
ZRU_EXPORT std::string ToUtf8IfWide(const wchar_t* text);
ZRU_EXPORT std::string ToUtf8IfWide(const std::wstring& text);
ZRU_EXPORT std::string ToUtf8IfWide(const char* text);
ZRU_EXPORT std::string ToUtf8IfWide(const std::string& text);
ZRU_EXPORT void ToUtf8IfDestNotWide(std::wstring& d, const std::wstring& s);
ZRU_EXPORT void ToUtf8IfDestNotWide(std::string& d, const std::wstring& s);

// A UTF-8 text as the string type S: a copy, or decoded for std::wstring.
template <class S>
S FromUtf8IfWide(const std::string& s);
template <>
inline std::string FromUtf8IfWide<std::string>(const std::string& s) {
  return s;
}
template <>
inline std::wstring FromUtf8IfWide<std::wstring>(const std::string& s) {
  return Utf8ToWide(s);
}

// Two bytes per character: the low 16 bits, low byte first (LE) or high
// byte first (BE). The narrow forms pair each byte with a zero byte.
ZRU_EXPORT std::string UnicodeToUCS2LE(const wchar_t* text);
ZRU_EXPORT std::string UnicodeToUCS2BE(const wchar_t* text);
ZRU_EXPORT std::string UnicodeToUCS2LE(const char* text);
ZRU_EXPORT std::string UnicodeToUCS2BE(const char* text);

// Clears out, then writes the UTF-16 units of the codes (a 0-terminated
// array, or one code); codes above 0x10FFFF are dropped.
ZRU_EXPORT void Utf32ToUtf16(std::wstring& out, const unsigned int* codes);
ZRU_EXPORT void Utf32ToUtf16(std::wstring& out, unsigned int code);
ZRU_EXPORT void Utf32ToWide(std::wstring& out, unsigned int code);

#endif
