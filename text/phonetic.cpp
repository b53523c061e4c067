#include "text/phonetic.h"

#include <cctype>
#include <cstring>

namespace {

// Keys index their tables with ASCII letters only: a locale's toupper or
// isalpha could make a byte of 0x80 or above (or, in a Turkish locale, the
// letter i) something else, and a signed char would index before a table.
inline bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
// Vowels of an upper-case letter; false for the terminator.
inline bool IsVowel(char c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U'; }
inline bool IsEIY(char c) { return c == 'E' || c == 'I' || c == 'Y'; }

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// Soundex codes of the upper-case letters A to Z; '-' marks H and W, which
// neither write a code nor separate two equal ones.
const char kSoundexCodes[] = "0123012-02245501262301-202";

inline char SoundexCode(char upper) { return kSoundexCodes[upper - 'A']; }

// Writes up to count Soundex digits for the letters of text, previous being
// the code of the letter before them. Returns the digits written.
int SoundexDigits(const char* text, char previous, char* digits, int count) {
  int written = 0;
  for (const char* p = text; *p != 0 && written < count; ++p) {
    if (!IsAsciiLetter(*p)) continue;
    const char code = SoundexCode(ToUpperAscii(*p));
    if (code == '-') continue;
    if (code != '0' && code != previous) digits[written++] = code;
    previous = code;
  }
  return written;
}

}  // namespace

void Soundex(char* key, const char* text, int maxLength) {
  if (maxLength < 0) return;
  const char* p = SkipSpace(text);
  if (!IsAsciiLetter(*p) || maxLength == 0) {
    key[0] = '\0';
    return;
  }
  std::memset(key, '0', static_cast<size_t>(maxLength));
  key[maxLength] = '\0';
  key[0] = ToUpperAscii(*p);
  // H and W have no code to compare the next letter with.
  const char first = SoundexCode(key[0]);
  SoundexDigits(p + 1, first == '-' ? '0' : first, key + 1, maxLength - 1);
}

unsigned short Soundex2(const char* text) {
  if (!IsAsciiLetter(text[0])) return 0;
  const char upper = ToUpperAscii(text[0]);
  const char first = SoundexCode(upper);
  char digits[3] = {'0', '0', '0'};
  SoundexDigits(text + 1, first == '-' ? '0' : first, digits, 3);
  return static_cast<unsigned short>((upper - 'A' + 1) * 512 + (digits[0] - '0') * 64 +
                                     (digits[1] - '0') * 8 + (digits[2] - '0'));
}

namespace {

// The characters the NYSIIS key is made from.
const int kNysiisWindow = 51;

// Rewrites the letter at i of the n letters (and the one or two after it)
// by the walk's rules.
void NysiisStep(char* s, int i, int n) {
  char& c = s[i];
  const bool first = i == 0;
  const bool hasNext = i + 1 < n;
  char* next = hasNext ? &s[i + 1] : nullptr;
  switch (c) {
    case 'E':
      if (!first && hasNext && *next == 'V') *next = 'F';
      [[fallthrough]];  // and E is coded as a vowel
    case 'A':
    case 'I':
    case 'O':
    case 'U':
      c = 'A';
      if (hasNext && *next == 'W') *next = 'A';
      break;
    case 'D':
      if (hasNext && *next == 'G') c = 'G';
      break;
    case 'G':
      if (i + 2 < n && s[i + 1] == 'H' && s[i + 2] == 'T') c = s[i + 1] = 'T';
      break;
    case 'H':
      if (!first && (s[i - 1] == 'A' || (hasNext && IsVowel(*next)))) c = s[i - 1];
      break;
    case 'K':
      c = hasNext && *next == 'N' ? 'N' : 'C';
      break;
    case 'M':
      if (!first) c = 'N';
      break;
    case 'Q':
      if (!first) c = 'G';
      break;
    case 'P':
      if (hasNext && *next == 'H') c = *next = 'F';
      break;
    case 'S':
      if (hasNext && *next == 'H')
        *next = i + 2 < n ? 'S' : 'A';
      else if (i + 2 < n && s[i + 1] == 'C' && s[i + 2] == 'H')
        s[i + 1] = 'S', s[i + 2] = i + 3 < n ? 'S' : 'A';
      break;
    case 'W':
      if (hasNext && *next == 'R') c = 'R';
      break;
    case 'Y':
      if (!first && hasNext) c = 'A';
      if (hasNext && *next == 'W') *next = c;
      break;
    case 'Z':
      c = 'S';
      break;
  }
}

}  // namespace

void Nysiis(char* key, const char* text, int maxLength) {
  if (maxLength < 0) return;
  std::memset(key, 0, static_cast<size_t>(maxLength) + 1);
  const char* p = SkipSpace(text);
  char s[kNysiisWindow];
  int n = 0;
  for (int i = 0; i < kNysiisWindow && p[i] != 0; ++i) {
    if (IsAsciiDigit(p[i])) return;
    if (IsAsciiLetter(p[i])) s[n++] = ToUpperAscii(p[i]);
  }
  if (n == 0) return;
  const char firstLetter = s[0];
  while (n > 1 && (s[n - 1] == 'S' || s[n - 1] == 'Z')) --n;
  if (n >= 3 && s[0] == 'M' && s[1] == 'A' && s[2] == 'C')
    s[1] = 'C';
  else if (n >= 2 && s[0] == 'P' && s[1] == 'F')
    s[0] = 'F';
  if (n >= 2) {
    const char before = s[n - 2], last = s[n - 1];
    if (last == 'D' && (before == 'R' || before == 'N')) {
      s[n - 2] = before == 'R' ? 'D' : 'N';
      --n;
    } else if (last == 'E' && (before == 'Y' || before == 'E' || before == 'I')) {
      s[n - 2] = 'Y';
      --n;
    } else if (last == 'T' && (before == 'D' || before == 'R' || before == 'N')) {
      s[n - 2] = before == 'N' ? 'N' : 'D';
      --n;
    } else if (last == 'X' && (before == 'I' || before == 'E')) {
      s[n - 2] = 'C';
    }
  }
  // The walk collects one letter more than the key keeps, so that the
  // endings below see what follows the cut. It is built here and copied
  // cut and terminated: the caller's room has only maxLength + 1 bytes.
  char code[kNysiisWindow];
  int k = 0;
  for (int i = 0; i < n && k <= maxLength; ++i) {
    NysiisStep(s, i, n);
    if (k == 0 || code[k - 1] != s[i]) code[k++] = s[i];
  }
  if (k >= 2 && code[k - 1] == 'A') --k;
  if (k >= 2 && code[k - 2] == 'A' && code[k - 1] == 'Y') code[--k - 1] = 'Y';
  if (code[0] == 'A') code[0] = firstLetter;
  if (k > maxLength) k = maxLength;
  std::memcpy(key, code, static_cast<size_t>(k));
}

namespace {

// The text as the walk reads it: in upper case, with an initial X read as S
// and the terminator (0) at and past its end, so that looking ahead never
// reads past the text. Nothing is copied.
class MetaphoneText {
 public:
  MetaphoneText(const char* text, size_t length, bool initialX)
      : text_(text), length_(length), initialX_(initialX) {}
  char operator[](size_t i) const {
    if (i >= length_) return 0;
    return i == 0 && initialX_ ? 'S' : ToUpperAscii(text_[i]);
  }

 private:
  const char* text_;
  size_t length_;
  bool initialX_;
};

}  // namespace

void Metaphone(char* key, const char* text, int maxLength) {
  if (maxLength < 0) return;
  key[0] = '\0';
  const size_t length = std::strlen(text);
  if (length == 0 || maxLength == 0) return;
  if (length == 1) {
    key[0] = ToUpperAscii(text[0]);
    key[1] = '\0';
    return;
  }
  // Initial pairs are recognised as written, in upper case only.
  size_t start = 0;
  const char c0 = text[0], c1 = text[1];
  if ((c0 == 'A' && c1 == 'E') || ((c0 == 'G' || c0 == 'K' || c0 == 'P') && c1 == 'N') ||
      (c0 == 'W' && c1 == 'R'))
    start = 1;
  const MetaphoneText s(text, length, c0 == 'X');
  int k = 0;
  auto put = [&](char c) { key[k++] = c; };
  for (size_t i = start; i < length && k < maxLength; ++i) {
    const char c = s[i];
    const char prev = i > start ? s[i - 1] : 0;
    if (c == prev) continue;
    const bool first = i == start;
    const char next = s[i + 1];
    const char after = next != 0 ? s[i + 2] : 0;
    switch (c) {
      case 'A':
      case 'E':
      case 'I':
      case 'O':
      case 'U':
        if (first) put(c);
        break;
      case 'B':
        if (!(prev == 'M' && next == 0)) put('B');
        break;
      case 'C':
        if (prev == 'S' && IsEIY(next)) break;
        if (next == 'I' && after == 'A')
          put('X');
        else if (IsEIY(next))
          put('S');
        else if (next == 'H')
          put(prev == 'S' ? 'K' : !first || IsVowel(after) || after == 0 ? 'X' : 'K');
        else
          put('K');
        break;
      case 'D':
        if (next == 'G' && IsEIY(after)) {
          put('J');
          i += 2;
        } else {
          put('T');
        }
        break;
      case 'G':
        if (!first && next == 'H' && (after == 0 || (IsAsciiLetter(after) && !IsVowel(after)))) break;
        if (!first && next == 'N') break;
        put(IsEIY(next) && prev != 'G' ? 'J' : 'K');
        break;
      case 'H':
        if (next == 0 || prev == 'C' || prev == 'S' || prev == 'P' || prev == 'T' || prev == 'G')
          break;
        if (IsVowel(next)) put('H');
        break;
      case 'K':
        if (prev != 'C') put('K');
        break;
      case 'P':
        put(next == 'H' ? 'F' : 'P');
        break;
      case 'Q':
        put('K');
        break;
      case 'S':
        put(next == 'H' || (next == 'I' && (after == 'O' || after == 'A')) ? 'X' : 'S');
        break;
      case 'T':
        if (next == 'I' && (after == 'O' || after == 'A'))
          put('X');
        else if (next == 'H')
          put('0');
        else if (!(next == 'C' && after == 'H'))
          put('T');
        break;
      case 'V':
        put('F');
        break;
      case 'W':
      case 'Y':
        if (IsVowel(next)) put(c);
        break;
      case 'X':
        put('K');
        if (k < maxLength) put('S');
        break;
      case 'Z':
        put('S');
        break;
      case 'F':
      case 'J':
      case 'L':
      case 'M':
      case 'N':
      case 'R':
        put(c);
        break;
      default:  // not a letter
        break;
    }
  }
  key[k] = '\0';
}
