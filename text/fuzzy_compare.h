// Fuzzy comparison of names and words: a bounded restricted
// Damerau-Levenshtein distance, a one-edit test and the Jaro similarity, for
// narrow (byte) and wide texts. Pure and safe to call from any number of
// threads at once; nothing is allocated for texts under 64 characters.
#ifndef ZRUTILS_TEXT_FUZZY_COMPARE_H
#define ZRUTILS_TEXT_FUZZY_COMPARE_H

#include <string>

#include "foundation/export.h"

// The number of insertions, deletions, substitutions and swaps of two
// adjacent characters that turn a into b, when it is at most maxEdits; a
// larger result only says the distance exceeds maxEdits. Unless
// digitsMayDiffer, a digit ('0' to '9') is never edited into another digit:
// where two differ the result is maxEdits + 1. A negative maxEdits counts as
// 0. The cost grows as 4 to the power maxEdits: meant for small bounds.
ZRU_EXPORT int CompareStrings2(const char* a, const char* b, int maxEdits, bool digitsMayDiffer);
ZRU_EXPORT int CompareStrings2(const wchar_t* a, const wchar_t* b, int maxEdits,
                               bool digitsMayDiffer);

// True when a and b are equal (identical is then set) or one insertion,
// deletion, substitution or adjacent swap apart. With firstMustMatch texts
// that differ in their first character are never near. Unless
// digitsMayDiffer, an edit may not change one digit into another nor insert
// or delete a digit next to a different one; a narrow text's extra last
// character may not be a digit either (a wide text's may).
ZRU_EXPORT bool StringsNearlyTheSame(const char* a, const char* b, bool& identical,
                                     bool firstMustMatch, bool digitsMayDiffer);
ZRU_EXPORT bool StringsNearlyTheSame(const wchar_t* a, const wchar_t* b, bool& identical,
                                     bool firstMustMatch, bool digitsMayDiffer);

// The Jaro similarity, 0 (nothing in common, or an empty text) to 1 (equal),
// in single precision. Half the transpositions are counted, rounded down.
ZRU_EXPORT float CompareJaro(const std::string& a, const std::string& b);
ZRU_EXPORT float CompareJaro(const std::wstring& a, const std::wstring& b);

#endif
