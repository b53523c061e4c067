// String editing helpers: in-place editing of NUL-terminated byte texts
// (the caller leaves room where a function lengthens a text), the same kinds
// of operations on std::string and std::wstring as templates, search-key
// normalisers, title case, date and Roman-numeral parsers and two character
// packers. Byte classes and case are the C library's (isalpha, toupper, ...)
// for the byte taken as unsigned, in the host's locale.
#ifndef ZRUTILS_TEXT_STRING_EDIT_H
#define ZRUTILS_TEXT_STRING_EDIT_H

#include <algorithm>
#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/export.h"

// Removes leading occurrences of c in place.
template <class S>
void LTrimMe(S& text, typename S::value_type c) {
  const typename S::size_type first = text.find_first_not_of(c);
  text.erase(0, first == S::npos ? text.size() : first);
}

// Removes trailing occurrences of c in place.
template <class S>
void RTrimMe(S& text, typename S::value_type c) {
  const typename S::size_type last = text.find_last_not_of(c);
  text.erase(last == S::npos ? 0 : last + 1);
}

// Removes leading and trailing occurrences of c in place.
template <class S>
void TrimMe(S& text, typename S::value_type c) {
  RTrimMe(text, c);
  LTrimMe(text, c);
}

// Removes leading and trailing spaces (the space character only) in place.
template <class S>
void TrimMe(S& text) {
  TrimMe(text, typename S::value_type(' '));
}

namespace zru_detail {

// Keeps a parameter out of template argument deduction.
template <class S>
struct Same {
  using type = S;
};

// Cuts text before every character for which isDelimiter is true. A text
// without delimiters gives one piece, the empty text one empty piece.
template <class S, class IsDelimiter>
std::vector<S> SplitAt(const S& text, IsDelimiter isDelimiter, bool trim,
                       bool keepEmpties) {
  using Size = typename S::size_type;
  const typename S::value_type space(' ');
  std::vector<S> pieces;
  // One allocation for the array, one copy a piece: the entry points split
  // every parameter text they get.
  pieces.reserve(1 + static_cast<Size>(
                         std::count_if(text.begin(), text.end(), isDelimiter)));
  Size start = 0;
  for (Size i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !isDelimiter(text[i])) continue;
    Size first = start, last = i;
    if (trim) {
      while (first < last && text[first] == space) ++first;
      while (last > first && text[last - 1] == space) --last;
    }
    if (keepEmpties || first < last) pieces.push_back(text.substr(first, last - first));
    start = i + 1;
  }
  return pieces;
}

}  // namespace zru_detail

// Pieces of text between delimiter characters. With trim each piece loses
// its leading and trailing spaces; without keepEmpties empty pieces (after
// trimming) are dropped, otherwise they stay so that positions count.
template <class S>
std::vector<S> Split(const S& text, typename S::value_type delimiter,
                     bool trim, bool keepEmpties) {
  return zru_detail::SplitAt(
      text, [delimiter](typename S::value_type c) { return c == delimiter; },
      trim, keepEmpties);
}

// As above, with any character of the delimiter text (a character array
// such as "\t;") delimiting.
template <class S, std::size_t N>
std::vector<S> Split(const S& text, const typename S::value_type (&delimiters)[N],
                     bool trim, bool keepEmpties) {
  const typename S::value_type* first = delimiters;
  const typename S::value_type* last = first;
  while (last < first + N && *last != 0) ++last;
  return zru_detail::SplitAt(
      text,
      [first, last](typename S::value_type c) {
        for (const typename S::value_type* d = first; d < last; ++d)
          if (*d == c) return true;
        return false;
      },
      trim, keepEmpties);
}

template <class S, class D>
std::vector<S> SplitWithTrimNoEmpties(const S& text, const D& delimiter) {
  return Split(text, delimiter, true, false);
}

// The pieces Split(text, delimiter, true, keepEmpties) gives, cut where they
// lie, for parameter texts the caller may write into: each delimiter and
// each piece's trailing spaces become NULs, and pieces is set to the start
// of every piece (after its leading spaces). A caller that reuses the
// vector allocates nothing once it has grown.
ZRU_EXPORT void SplitInPlace(char* text, char delimiter, bool keepEmpties,
                             std::vector<char*>& pieces);

// A copy in which every run of spaces is one space; other white space stays.
template <class S>
S RemoveMultipleSpaces(const S& text) {
  S out;
  out.reserve(text.size());
  for (typename S::size_type i = 0; i < text.size(); ++i)
    if (text[i] != ' ' || i == 0 || text[i - 1] != ' ') out += text[i];
  return out;
}

// A copy in which every character occurring in set becomes to. set may be a
// character array ("\t;") as well as a string.
template <class S>
S ReplaceAnyChar(const S& text, const typename zru_detail::Same<S>::type& set,
                 typename S::value_type to) {
  S out = text;
  for (typename S::value_type& c : out)
    if (set.find(c) != S::npos) c = to;
  return out;
}

// The text before its last '.', unless a ':', '/' or '\\' follows that '.'
// (then the dot belongs to a folder or drive name and the whole text comes
// back).
template <class S>
S RemoveExtension(const S& text) {
  const typename S::size_type dot = text.rfind(typename S::value_type('.'));
  if (dot == S::npos) return text;
  for (typename S::size_type i = dot + 1; i < text.size(); ++i)
    if (text[i] == ':' || text[i] == '/' || text[i] == '\\') return text;
  return text.substr(0, dot);
}

// In-place editing of NUL-terminated texts. Those that return a pointer
// return their first argument.
ZRU_EXPORT char* strupr_(char* s);
ZRU_EXPORT char* strlwr_(char* s);
ZRU_EXPORT wchar_t* wcsupr_(wchar_t* s);
ZRU_EXPORT char* strrev_(char* s);

// The longest text itoa_ writes: '-', 32 binary digits and the terminator.
const int kItoaBufferSize = 34;
// Writes value in base 2 to 36 (lower-case digits) into buffer, which must
// hold kItoaBufferSize bytes; a negative value gets '-' before the digits of
// its magnitude; a base outside 2 to 36 gives the empty text.
ZRU_EXPORT char* itoa_(int value, char* buffer, int base);
// Alphanumeric or '_'.
ZRU_EXPORT bool iscsym_(int c);
// Compares through towlower: 1 or -1 at the first difference; when a text
// ends: 0 when both do, 1 when a is longer, -2 when a is a proper prefix of b.
ZRU_EXPORT int wcsicmp_(const wchar_t* a, const wchar_t* b);
// The same over at most n characters.
ZRU_EXPORT int wcsnicmp_(const wchar_t* a, const wchar_t* b, size_t n);

// Removes trailing spaces.
ZRU_EXPORT void RTrim_(char* s);
// Removes leading and trailing c; with c NUL nothing happens.
ZRU_EXPORT void Trim_(char* s, char c);
// Removes leading and trailing characters that occur in set.
ZRU_EXPORT void Trim_(char* s, const char* set);
// Removes every character that occurs in set.
ZRU_EXPORT char* StripChars(char* s, const char* set);
ZRU_EXPORT void Replace(char* s, char c, char to);
ZRU_EXPORT void Replace(char* s, const char* set, char to);
// Appends c; s needs room for one more byte.
ZRU_EXPORT char* strcatc(char* s, char c);
// Appends "/" unless s is empty or ends in '/' or '\\'.
ZRU_EXPORT char* IncludeTrailingPathDelimiter(char* s);

// The pieces of s between the characters c (which must not be NUL), each
// trimmed of spaces, empty ones kept, in a null-terminated array of
// separately allocated texts; null when memory runs out. Release the result
// with FreeArray_.
ZRU_EXPORT char** Split_(const char* s, char c);
ZRU_EXPORT wchar_t** Split_(const wchar_t* s, wchar_t c);
ZRU_EXPORT void FreeArray_(char** pieces);
ZRU_EXPORT void FreeArray_(wchar_t** pieces);

// Joins the pieces that are not null into destination, writing at most
// size - 1 characters and the terminator (nothing at all when size is 0);
// the piece that does not fit is cut and later ones dropped.
ZRU_EXPORT void ConcatStrings(char* destination, size_t size, const char* a, const char* b,
                              const char* c = nullptr, const char* d = nullptr);
// a, b and n in decimal; a, n in decimal and c.
ZRU_EXPORT void ConcatStrings(char* destination, size_t size, const char* a, const char* b,
                              long n);
ZRU_EXPORT void ConcatStrings(char* destination, size_t size, const char* a, long n,
                              const char* c);

// localtime_r; true on success.
ZRU_EXPORT bool Localtime(const time_t& time, struct tm& result);
// ctime_r into buffer (26 bytes or more); the empty text and false on failure.
ZRU_EXPORT bool Ctime(const time_t& time, char* buffer);

// Numbers as sprintf formats them ("%d", "%u", "%ld", "%lu", "%lld", "%llu",
// "%f", "%Lf"), of any length.
ZRU_EXPORT std::string ZR_to_string(int value);
ZRU_EXPORT std::string ZR_to_string(unsigned int value);
ZRU_EXPORT std::string ZR_to_string(long value);
ZRU_EXPORT std::string ZR_to_string(unsigned long value);
ZRU_EXPORT std::string ZR_to_string(long long value);
ZRU_EXPORT std::string ZR_to_string(unsigned long long value);
ZRU_EXPORT std::string ZR_to_string(float value);
ZRU_EXPORT std::string ZR_to_string(double value);
ZRU_EXPORT std::string ZR_to_string(long double value);
ZRU_EXPORT std::wstring ZR_to_wstring(int value);
ZRU_EXPORT std::wstring ZR_to_wstring(unsigned int value);
ZRU_EXPORT std::wstring ZR_to_wstring(long value);
ZRU_EXPORT std::wstring ZR_to_wstring(unsigned long value);
ZRU_EXPORT std::wstring ZR_to_wstring(long long value);
ZRU_EXPORT std::wstring ZR_to_wstring(unsigned long long value);
ZRU_EXPORT std::wstring ZR_to_wstring(float value);
ZRU_EXPORT std::wstring ZR_to_wstring(double value);
ZRU_EXPORT std::wstring ZR_to_wstring(long double value);
// Copies source into destination of size bytes. False (nothing written)
// for a null pointer or size 0; false with the first size - 1 characters
// written when source does not fit; true otherwise.
ZRU_EXPORT bool ZR_strcpy(char* destination, const char* source, size_t size);

// Search-key normalisers, in place. RemoveMultipleSpaces: runs of spaces to
// one. RemovePunctuationForIndex: every character neither alphanumeric nor
// keep becomes a space, runs collapse, one leading and one trailing space
// go. RemoveInBrackets: removes round, then square, then curly bracketed
// parts from the inside out, then collapses runs of spaces.
ZRU_EXPORT void RemoveMultipleSpaces(char* text);
ZRU_EXPORT void RemovePunctuationForIndex(char* text, char keep);
ZRU_EXPORT void RemovePunctuationForIndex(std::string& text, char keep);
ZRU_EXPORT void RemoveInBrackets(char* text);
ZRU_EXPORT void RemoveInBrackets(std::string& text);

// Title case for names: capital first letters, McX, O'Brien, John's, we'll
// and Roman numerals below 50 (II, XIV) in capitals. In place; returns s.
ZRU_EXPORT char* TitleCase(char* s);
// The same on UTF-8 with the Unicode case tables; U+2019 is an apostrophe
// too. The text keeps its length: a case change whose UTF-8 form would be
// longer or shorter is not made, and bytes that do not decode stay.
ZRU_EXPORT char* TitleCaseUtf8(char* s);

// Reads a day-month-year date ("12/08/21", "Aug 2004", "2004"). Missing
// parts stand for the end of the period (day 31, month 12 for a bare year);
// years to 99 get 2000 added. month and day are set to 0 and 31 first; year
// is written only on success.
ZRU_EXPORT bool ReadDateDMY(const char* text, int& year, int& month, int& day);
// The value of a Roman numeral, any case; 0 when characters remain.
ZRU_EXPORT int ReadRomanNumeral(const char* text);

// c - 32 for '!' to '_', 0 otherwise.
ZRU_EXPORT int CharToSixBits(char c);
// Packs count bytes as 6-bit codes (byte - 32) mod 64, most significant bit
// first. Returns the bytes used, or size when the destination fills up first
// (the output is then cut).
ZRU_EXPORT int Compress6(unsigned char* destination, int size, const char* source, int count);
// Unpacks count 6-bit codes to the characters code + 32; no terminator.
ZRU_EXPORT void Decompress6(char* destination, const unsigned char* source, int count);
// Packs count bytes as 5-bit codes for digits and the upper-case letters
// (NUL 0, '0'-'9' 1-10, 'A'-'H' 11-18, ..., anything else 31). Returns the
// bytes used, at most size; what does not fit is dropped.
ZRU_EXPORT int Compress5(unsigned char* destination, int size, const char* source, int count);

#endif
