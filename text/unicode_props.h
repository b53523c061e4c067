// Character classes, case mapping, case folding and accent removal over the
// Basic Multilingual Plane, from tables generated from the Unicode Character
// Database (categories and case mappings of version 5.1, binary properties of
// 5.2). Code points outside U+0000 to U+FFFF have no properties and pass
// unchanged. The narrow std::string forms work on Windows-1252 bytes, the
// Utf8 ones on UTF-8.
#ifndef ZRUTILS_TEXT_UNICODE_PROPS_H
#define ZRUTILS_TEXT_UNICODE_PROPS_H

#include <string>

#include "foundation/export.h"

// Alphabetic, Uppercase, Lowercase, White_Space and Hex_Digit properties.
ZRU_EXPORT bool UnicodeIsAlpha(wchar_t c);
ZRU_EXPORT bool UnicodeIsUpper(wchar_t c);
ZRU_EXPORT bool UnicodeIsLower(wchar_t c);
ZRU_EXPORT bool UnicodeIsSpace(wchar_t c);
ZRU_EXPORT bool UnicodeIsXdigit(wchar_t c);
// General category Nd.
ZRU_EXPORT bool UnicodeIsDigit(wchar_t c);
ZRU_EXPORT bool UnicodeIsAlnum(wchar_t c);
// A punctuation category (Pd to Pf) and none of the property bits.
ZRU_EXPORT bool UnicodeIsPunct(wchar_t c);

// Simple (one-to-one) case mappings.
ZRU_EXPORT wchar_t UnicodeToUpper(wchar_t c);
ZRU_EXPORT wchar_t UnicodeToLower(wchar_t c);
// Simple mapping, except that U+00DF becomes "SS".
ZRU_EXPORT std::wstring UnicodeToUpper(std::wstring text);
ZRU_EXPORT std::wstring UnicodeToLower(std::wstring text);
ZRU_EXPORT void UnicodeUpperCaseMe(wchar_t* text);
// Decodes strictly, upper-cases and re-encodes; a text that does not decode
// comes back unchanged.
ZRU_EXPORT std::string Utf8ToUpper(const std::string& text);

// Full case folding: one character may become two or three.
ZRU_EXPORT std::wstring UnicodeCaseFold(std::wstring text);
ZRU_EXPORT std::wstring UnicodeFold(const std::wstring& text);

// Letters to their base letters (é to e, Ø to O, ł to l).
ZRU_EXPORT wchar_t UnicodeRemoveAccents(wchar_t c);
ZRU_EXPORT std::wstring UnicodeRemoveAccents(std::wstring text);
ZRU_EXPORT void UnicodeRemoveAccentsMe(wchar_t* text);
// Windows-1252 texts.
ZRU_EXPORT std::string UnicodeRemoveAccents(std::string text);
ZRU_EXPORT std::string RemoveAccents1252(std::string text);
ZRU_EXPORT std::string ToUpper1252(std::string text);
ZRU_EXPORT std::string ToLower1252(std::string text);
// UTF-8 in place, for the letters U+00C0 to U+023F and U+1E00 to U+1EFF;
// the text never grows. Malformed sequences are left as they are.
ZRU_EXPORT void Utf8RemoveAccentsMe(char* text);
ZRU_EXPORT void Utf8RemoveAccentsMe(std::string& text);

#endif
