// Windows-1252 ("Ansi") and ISO 8859-1 conversion of single characters and
// whole texts. Bytes 0x80 to 0x9F carry the 27 characters the code page
// assigns there; its five unassigned bytes and every other byte stand for the
// code point of the same value. U+0080 to U+009F have no Windows-1252 form.
#ifndef ZRUTILS_TEXT_CHARSET_H
#define ZRUTILS_TEXT_CHARSET_H

#include <cstddef>
#include <string>

#include "foundation/export.h"

enum CharsetEnum { CharsetUtf8 = 0, CharsetWindows1252 = 1, CharsetIso8859_1 = 2 };

// One character to Windows-1252; false (c untouched) when not representable.
ZRU_EXPORT bool CharWideToAnsi(char& c, wchar_t w);
ZRU_EXPORT bool CharToAnsi(char& c, wchar_t w);
// Narrow texts are Windows-1252 already: copies, true.
ZRU_EXPORT bool CharToAnsi(char& c, char a);
ZRU_EXPORT void AnsiToChar(char& c, char a);
// One Windows-1252 byte to its code point.
ZRU_EXPORT wchar_t CharAnsiToWide(unsigned char a);
ZRU_EXPORT void AnsiToChar(wchar_t& w, char a);

// Whole texts to Windows-1252, unrepresentable characters becoming
// replacement. The narrow forms copy.
ZRU_EXPORT std::string WideToAnsi(const wchar_t* text, char replacement);
ZRU_EXPORT std::string WideToAnsi(const std::wstring& text, char replacement);
ZRU_EXPORT std::string StringToAnsi(const wchar_t* text, char replacement);
ZRU_EXPORT std::string StringToAnsi(const std::wstring& text, char replacement);
ZRU_EXPORT std::string StringToAnsi(const char* text, char replacement);
ZRU_EXPORT std::string StringToAnsi(const std::string& text, char replacement);

// Converts through the terminator; false at the first unrepresentable
// character (what came before it is written). out must hold wcslen(text) + 1
// bytes. The narrow forms copy and return true.
ZRU_EXPORT bool WideToAnsi(char* out, const wchar_t* text);
ZRU_EXPORT bool WideToAnsi(std::string& out, const std::wstring& text);
ZRU_EXPORT bool StringToAnsi(char* out, const wchar_t* text);
ZRU_EXPORT bool StringToAnsi(std::string& out, const std::wstring& text);
ZRU_EXPORT bool StringToAnsi(char* out, const char* text);
ZRU_EXPORT bool StringToAnsi(std::string& out, const std::string& text);

// Every character of text has a Windows-1252 form.
ZRU_EXPORT bool CanWideToAnsi(const wchar_t* text);

// Windows-1252 texts to code points.
ZRU_EXPORT std::wstring AnsiToWide(const char* text, size_t length);
ZRU_EXPORT std::wstring AnsiToWide(const char* text);
ZRU_EXPORT std::wstring AnsiToWide(const std::string& text);
ZRU_EXPORT std::wstring StringToWide(const std::string& text);
ZRU_EXPORT std::wstring StringToWide(const std::wstring& text);
ZRU_EXPORT void AnsiToString(std::wstring& out, const char* text);
ZRU_EXPORT void AnsiToString(std::wstring& out, const char* text, size_t length);
ZRU_EXPORT void AnsiToString(std::string& out, const char* text);
ZRU_EXPORT void AnsiToString(std::string& out, const char* text, size_t length);
// Into terminated arrays of strlen(text) + 1 elements.
ZRU_EXPORT void AnsiToStringC(wchar_t* out, const char* text);
ZRU_EXPORT void AnsiToStringC(char* out, const char* text);

// One byte per character through convert, replacement where it fails.
ZRU_EXPORT std::string ConvertFromWide(const std::wstring& text,
                                       bool (*convert)(char&, wchar_t),
                                       char replacement);
// UTF-8, Windows-1252 or ISO 8859-1 (code points to 255 as bytes); any other
// charset gives the empty text.
ZRU_EXPORT std::string CharsetConvert(const std::wstring& text, CharsetEnum charset,
                                      char replacement);

#endif
