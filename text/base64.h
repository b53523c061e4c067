// Base64 with the standard alphabet
// ("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
// "=" padding optional on both sides. All functions are pure and safe to
// call from any number of threads at once.
#ifndef ZRUTILS_TEXT_BASE64_H
#define ZRUTILS_TEXT_BASE64_H

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/export.h"

// Encodes length bytes into out as a terminated text: 4 characters for every
// 3 bytes, 2 or 3 for a last group of 1 or 2 bytes, followed by "==" or "="
// when pad is true. out must hold 4 * ceil(length / 3) + 1 bytes.
ZRU_EXPORT void Base64Encode(const unsigned char* data, size_t length, char* out, bool pad);
// The same as a string.
ZRU_EXPORT std::string Base64Encode(const unsigned char* data, size_t length, bool pad);
ZRU_EXPORT std::string Base64Encode(const std::vector<unsigned char>& data, bool pad);

// Decodes the terminated text into out[0] to out[outSize - 1] and returns the
// number of bytes written. Decoding stops at the terminator or at a
// character that is not a digit of the alphabet but lies between '+' and 'z'
// ("=" among them): what was decoded before it counts, a last group of 2 or
// 3 digits giving 1 or 2 bytes and a single digit nothing. 0, a failure,
// when a character below '+' or above 'z' comes first (a blank, a control
// or any byte of 0x80 or above), when the bytes would not fit in outSize
// or number more than INT_MAX. Nothing is ever written at or after
// out[outSize]; after a failure out holds unspecified bytes.
ZRU_EXPORT int Base64Decode(const char* text, unsigned char* out, size_t outSize);
// Decodes as above, except that every character that is not a digit ends
// decoding (none fails): the complete bytes decoded before it.
ZRU_EXPORT std::vector<unsigned char> Base64Decode(const char* text);

#endif
