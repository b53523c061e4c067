// Phonetic keys for names and words spelt in different ways: Soundex as
// text and packed into 16 bits, a NYSIIS variant and a Metaphone variant.
// Keys code the 26 ASCII letters in either case, whatever the host's locale
// and the sign of char; any other byte is skipped as the rules say (bytes of
// 0x80 and above are never letters). Every key function writes at most
// maxLength + 1 bytes, the terminator included, whatever the text; a
// negative maxLength writes nothing. Pure, allocation-free and safe to call
// from any number of threads at once. Stored keys depend on these exact
// rules: do not change them.
#ifndef ZRUTILS_TEXT_PHONETIC_H
#define ZRUTILS_TEXT_PHONETIC_H

#include "foundation/export.h"

// American Soundex (A E I O U Y 0, B F P V 1, C G J K Q S X Z 2, D T 3, L 4,
// M N 5, R 6; H and W neither coded nor separating): after leading white
// space, the first letter in upper case, then the codes of the following
// letters, a code repeated only when a vowel or Y came between, padded with
// '0' to exactly maxLength characters ("R163" for Robert with 4). Other
// characters are skipped. The empty key when the text, after its white
// space, does not begin with a letter, or when maxLength is 0.
ZRU_EXPORT void Soundex(char* key, const char* text, int maxLength);

// The first letter and three Soundex digits as one number: (letter - 'A' +
// 1) * 512 + d1 * 64 + d2 * 8 + d3, missing digits 0. 0 when the text does
// not begin with a letter (no white space is skipped).
ZRU_EXPORT unsigned short Soundex2(const char* text);

// A NYSIIS variant of at most maxLength characters, from the first 51
// characters after leading white space (other characters than letters
// dropped). It codes the first letter like the others and restores it only
// when it became A; H next to a vowel takes the letter before it; ND and NT
// end as N, IX and EX as CX; only MAC and PF count as prefixes. The empty key
// when those 51 characters hold a digit or no letter.
ZRU_EXPORT void Nysiis(char* key, const char* text, int maxLength);

// A Metaphone variant of at most maxLength characters: a letter repeated
// next to itself counts once (C too); the initial pairs AE, GN, KN, PN and WR
// drop their first letter and an initial X reads as S only when written in
// upper case; TH gives the digit '0'. A text of one character gives that
// character in upper case, the empty text the empty key.
ZRU_EXPORT void Metaphone(char* key, const char* text, int maxLength);

#endif
