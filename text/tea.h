// The Corrected Block TEA cipher (XXTEA: delta 0x9E3779B9, 6 + 52 / count
// cycles) over 32-bit words with a 128-bit key of four words that the caller
// always supplies, and this library's text form of it: the text's bytes,
// NUL-padded to a multiple of 4 and at least 8, enciphered as little-endian
// words and carried as Base64 without "=" padding. All functions are pure
// and safe to call from any number of threads at once.
#ifndef ZRUTILS_TEXT_TEA_H
#define ZRUTILS_TEXT_TEA_H

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/export.h"

// Enciphers or deciphers count words in place. Fewer than 2 words are left
// as they are (neither read nor written).
ZRU_EXPORT void TeaEncrypt(const unsigned int* key, unsigned int* words, size_t count);
ZRU_EXPORT void TeaDecrypt(const unsigned int* key, unsigned int* words, size_t count);

// The cipher in place over length bytes read as big-endian words; buffers
// shorter than 8 bytes are left as they are. A last group of 1 to 3 bytes
// is enciphered as one more word with those bytes high and zeros below, of
// which only the high bytes are written back: the low bytes of that
// enciphered word are lost, so such a buffer does not decipher back to its
// plaintext. Use lengths that are multiples of 4 for anything that must be
// read again.
ZRU_EXPORT void TeaEncryptB(const unsigned int* key, unsigned char* bytes, size_t length);
ZRU_EXPORT void TeaDecryptB(const unsigned int* key, unsigned char* bytes, size_t length);

// The text form of text (of at least 11 characters) into out, cut to
// outSize - 1 characters and terminated; outSize 0 writes nothing, and out
// becomes the empty text when memory runs out.
ZRU_EXPORT void TeaEncryptText(const unsigned int* key, const char* text, char* out,
                               size_t outSize);
ZRU_EXPORT std::string TeaEncryptText(const unsigned int* key, const char* text);

// Deciphers a text form into out: the plaintext up to its first NUL, cut to
// outSize - 1 bytes and terminated. A text that does not decode to at least
// 8 bytes gives the empty text; outSize 0 writes nothing. Decoded bytes past
// the last whole word are copied as they are.
ZRU_EXPORT void TeaDecryptText(const unsigned int* key, const char* text, char* out,
                               size_t outSize);
// The deciphered bytes, a last group of 1 to 3 decoded bytes taken as one
// more word (low bytes first), all words written out with their NUL padding.
// Decoding ends at the first character that is no Base64 digit; fewer than 2
// words give an empty vector.
ZRU_EXPORT std::vector<unsigned char> TeaDecryptText(const unsigned int* key, const char* text);
// The same without its trailing NULs.
ZRU_EXPORT std::string TeaDecryptTextS(const unsigned int* key, const char* text);

#endif
