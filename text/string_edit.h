// String editing helpers on std::string and std::wstring: splitting and
// trimming in place.
#ifndef ZRUTILS_TEXT_STRING_EDIT_H
#define ZRUTILS_TEXT_STRING_EDIT_H

#include <cstddef>
#include <string>
#include <vector>

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

// Cuts text before every character for which isDelimiter is true. A text
// without delimiters gives one piece, the empty text one empty piece.
template <class S, class IsDelimiter>
std::vector<S> SplitAt(const S& text, IsDelimiter isDelimiter, bool trim,
                       bool keepEmpties) {
  std::vector<S> pieces;
  typename S::size_type start = 0;
  for (typename S::size_type i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !isDelimiter(text[i])) continue;
    S piece = text.substr(start, i - start);
    if (trim) TrimMe(piece);
    if (keepEmpties || !piece.empty()) pieces.push_back(std::move(piece));
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

#endif
