#include "text/fuzzy_compare.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

template <class C>
bool IsDigit(C c) {
  return c >= '0' && c <= '9';
}

size_t Length(const char* s) { return std::strlen(s); }
size_t Length(const wchar_t* s) { return std::wcslen(s); }

bool Same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool Same(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b) == 0; }

// The bounded recursion over the na characters of a and nb of b, maxEdits
// at least 0. Each level spends one edit, so the depth is at most maxEdits.
template <class C>
int Distance(const C* a, size_t na, const C* b, size_t nb, int maxEdits, bool digitsMayDiffer) {
  while (na > 0 && nb > 0 && *a == *b) ++a, ++b, --na, --nb;
  if (na == 0) return static_cast<int>(nb);
  if (nb == 0) return static_cast<int>(na);
  if (maxEdits == 0) return 1;
  if ((na > nb ? na - nb : nb - na) > static_cast<size_t>(maxEdits)) return maxEdits + 1;
  if (!digitsMayDiffer && IsDigit(*a) && IsDigit(*b)) return maxEdits + 1;
  const int next = maxEdits - 1;
  int best = Distance(a + 1, na - 1, b + 1, nb - 1, next, digitsMayDiffer);
  if (na >= 2 && nb >= 2 && a[0] == b[1] && a[1] == b[0])
    best = std::min(best, Distance(a + 2, na - 2, b + 2, nb - 2, next, digitsMayDiffer));
  best = std::min(best, Distance(a + 1, na - 1, b, nb, next, digitsMayDiffer));
  best = std::min(best, Distance(a, na, b + 1, nb - 1, next, digitsMayDiffer));
  return 1 + best;
}

template <class C>
int CompareStrings(const C* a, const C* b, int maxEdits, bool digitsMayDiffer) {
  // A negative bound would make the length test answer maxEdits + 1, that
  // is 0 or less, for texts that differ: "equal" for any pair.
  return Distance(a, Length(a), b, Length(b), std::max(maxEdits, 0), digitsMayDiffer);
}

template <class C>
bool NearlyTheSame(const C* a, const C* b, bool& identical, bool firstMustMatch,
                   bool digitsMayDiffer, bool extraMayBeDigit) {
  identical = false;
  if (firstMustMatch && *a != *b) return false;
  const C *p = a, *q = b;
  while (*p != 0 && *p == *q) ++p, ++q;
  if (*p == 0 && *q == 0) {
    identical = true;
    return true;
  }
  // One text is the other with one more character at its end.
  if (*p == 0 || *q == 0) {
    const C* rest = *p == 0 ? q : p;
    return rest[1] == 0 && (digitsMayDiffer || extraMayBeDigit || !IsDigit(rest[0]));
  }
  // Both p and q hold a character here, so p[1] and q[1] can be read.
  if (!digitsMayDiffer) {
    if (IsDigit(*p) && IsDigit(*q)) return false;
    if (IsDigit(*p) && *p != q[1]) return false;
    if (IsDigit(*q) && *q != p[1]) return false;
  }
  if (p[0] == q[1] && p[1] == q[0] && Same(p + 2, q + 2)) return true;
  return Same(p + 1, q + 1) || Same(p + 1, q) || Same(p, q + 1);
}

// Flags for the characters of both texts: on the stack for short texts, so
// that comparing names allocates nothing.
class MatchFlags {
 public:
  explicit MatchFlags(size_t count) {
    if (count > sizeof local_) {
      heap_.assign(count, 0);
      flags_ = heap_.data();
    } else {
      std::fill(local_, local_ + count, 0);
      flags_ = local_;
    }
  }
  char* data() { return flags_; }

 private:
  char local_[128];
  std::vector<char> heap_;
  char* flags_;
};

template <class S>
float Jaro(const S& a, const S& b) {
  const size_t na = a.size(), nb = b.size();
  if (na == 0 || nb == 0) return 0;
  const size_t longer = std::max(na, nb);
  const size_t window = longer / 2 > 0 ? longer / 2 - 1 : 0;
  MatchFlags flags(na + nb);
  char* matchedA = flags.data();
  char* matchedB = matchedA + na;
  size_t m = 0;
  for (size_t i = 0; i < na; ++i) {
    // The window is cut to b: past its end there is nothing to match.
    const size_t from = i > window ? i - window : 0;
    const size_t to = std::min(i + window + 1, nb);
    for (size_t j = from; j < to; ++j) {
      if (!matchedB[j] && b[j] == a[i]) {
        matchedA[i] = matchedB[j] = 1;
        ++m;
        break;
      }
    }
  }
  if (m == 0) return 0;
  size_t halfTranspositions = 0;
  for (size_t i = 0, j = 0; i < na; ++i) {
    if (!matchedA[i]) continue;
    while (!matchedB[j]) ++j;
    halfTranspositions += a[i] != b[j++];
  }
  halfTranspositions /= 2;
  const float fm = static_cast<float>(m);
  return (fm / static_cast<float>(na) + fm / static_cast<float>(nb) +
          static_cast<float>(m - halfTranspositions) / fm) /
         3.0f;
}

}  // namespace

int CompareStrings2(const char* a, const char* b, int maxEdits, bool digitsMayDiffer) {
  return CompareStrings(a, b, maxEdits, digitsMayDiffer);
}

int CompareStrings2(const wchar_t* a, const wchar_t* b, int maxEdits, bool digitsMayDiffer) {
  return CompareStrings(a, b, maxEdits, digitsMayDiffer);
}

bool StringsNearlyTheSame(const char* a, const char* b, bool& identical, bool firstMustMatch,
                          bool digitsMayDiffer) {
  return NearlyTheSame(a, b, identical, firstMustMatch, digitsMayDiffer, false);
}

bool StringsNearlyTheSame(const wchar_t* a, const wchar_t* b, bool& identical,
                          bool firstMustMatch, bool digitsMayDiffer) {
  return NearlyTheSame(a, b, identical, firstMustMatch, digitsMayDiffer, true);
}

float CompareJaro(const std::string& a, const std::string& b) { return Jaro(a, b); }

float CompareJaro(const std::wstring& a, const std::wstring& b) { return Jaro(a, b); }
