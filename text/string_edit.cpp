#include "text/string_edit.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "text/unicode.h"
#include "text/unicode_props.h"

namespace {

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }
bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

template <class C>
C** SplitPieces(const C* s, C c) {
  size_t count = 1;
  for (const C* p = s; *p != 0; ++p) count += *p == c;
  // malloc rather than new: running out of memory is a null result, not an
  // exception crossing into the host.
  C** pieces = static_cast<C**>(std::calloc(count + 1, sizeof(C*)));
  if (pieces == nullptr) return nullptr;
  const C* start = s;
  for (size_t i = 0; i < count; ++i) {
    const C* stop = start;
    while (*stop != 0 && *stop != c) ++stop;
    std::basic_string<C> piece(start, stop);
    TrimMe(piece);
    pieces[i] = static_cast<C*>(std::malloc((piece.size() + 1) * sizeof(C)));
    if (pieces[i] == nullptr) {
      FreeArray_(pieces);
      return nullptr;
    }
    std::copy(piece.c_str(), piece.c_str() + piece.size() + 1, pieces[i]);
    start = stop + 1;
  }
  return pieces;
}

template <class C>
void FreePieces(C** pieces) {
  if (pieces == nullptr) return;
  for (C** p = pieces; *p != nullptr; ++p) std::free(*p);
  std::free(pieces);
}

// Formats with snprintf at whatever length the value needs ("%f" of a large
// double runs to over 300 characters).
template <class T>
std::string Format(const char* format, T value) {
  char small[64];
  const int n = std::snprintf(small, sizeof small, format, value);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), format, value);
  out.resize(static_cast<size_t>(n));
  return out;
}

// Number texts are ASCII, so widening byte by byte is exact.
std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void CollapseSpaces(std::string& text) { text = RemoveMultipleSpaces(text); }

// Writes text back over the buffer it came from; it is never longer.
void StoreBack(char* buffer, const std::string& text) {
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

// Removes open ... close pairs from the inside out, stopping for the pair
// when the last open has no close after it.
void RemovePairs(std::string& text, char open, char close) {
  for (;;) {
    const size_t first = text.rfind(open);
    if (first == std::string::npos) return;
    const size_t last = text.find(close, first);
    if (last == std::string::npos) return;
    text.erase(first, last - first + 1);
  }
}

// Title case walks characters; the two ways of reading them differ only in
// decoding, classes and how a case change is written back.
struct ByteText {
  static int Decode(const char* p, wchar_t& c) {
    c = static_cast<unsigned char>(*p);
    return 1;
  }
  static bool IsAlpha(wchar_t c) { return std::isalpha(static_cast<int>(c)) != 0; }
  static bool IsAlnum(wchar_t c) { return std::isalnum(static_cast<int>(c)) != 0; }
  static bool IsApostrophe(wchar_t c) { return c == '\''; }
  static void Write(char* p, int, wchar_t c, bool upper) {
    *p = static_cast<char>(upper ? std::toupper(static_cast<int>(c))
                                 : std::tolower(static_cast<int>(c)));
  }
};

struct Utf8Text {
  // Bytes of the character at p; a byte that does not decode counts as one
  // character that is no letter, so it is never rewritten.
  static int Decode(const char* p, wchar_t& c) {
    const char* q = p;
    if (DecodeUtf8Char(c, q)) return static_cast<int>(q - p);
    c = 0xFFFD;
    return 1;
  }
  static bool IsAlpha(wchar_t c) { return UnicodeIsAlpha(c); }
  static bool IsAlnum(wchar_t c) { return UnicodeIsAlnum(c); }
  static bool IsApostrophe(wchar_t c) { return c == '\'' || c == 0x2019; }
  static void Write(char* p, int length, wchar_t c, bool upper) {
    char bytes[4];
    const wchar_t to = upper ? UnicodeToUpper(c) : UnicodeToLower(c);
    // Only a change of the same length keeps the text in its buffer.
    if (to != c && WideCharToUtf8(bytes, to) == length) std::memcpy(p, bytes, length);
  }
};

// Capitals after the first letter of a word that is a Roman numeral from 1
// to 49 (ii, xiv; li and liv, 50 and more, keep title case).
void RomanNumeralRule(char* s, size_t first, size_t end) {
  if (end - first < 2) return;
  std::string word(s + first, s + end);
  for (char c : word)
    if (std::strchr("IVXLivxl", c) == nullptr) return;
  const int value = ReadRomanNumeral(word.c_str());
  if (value < 1 || value > 49) return;
  for (size_t i = first + 1; i < end; ++i) s[i] = Upper(s[i]);
}

template <class T>
char* TitleCaseWith(char* s) {
  size_t w = 0;         // byte where the current word starts
  size_t wordChars = 0;  // characters of the word before i
  size_t i = 0;
  while (s[i] != 0) {
    wchar_t c;
    const int length = T::Decode(s + i, c);
    if (T::IsAlpha(c)) {
      const bool upper =
          i == w || (i == w + 2 && s[w] == 'M' && s[w + 1] == 'c');
      T::Write(s + i, length, c, upper);
      ++wordChars;
    } else if (T::IsApostrophe(c)) {
      // The two characters after it, read only up to the terminator.
      wchar_t n1 = 0, n2 = 0, n3 = 0;
      size_t j = i + static_cast<size_t>(length);
      if (s[j] != 0) j += static_cast<size_t>(T::Decode(s + j, n1));
      if (n1 != 0 && s[j] != 0) j += static_cast<size_t>(T::Decode(s + j, n2));
      if (n2 != 0 && s[j] != 0) T::Decode(s + j, n3);
      auto isWord = [](wchar_t x) { return x != 0 && (T::IsAlnum(x) || T::IsApostrophe(x)); };
      const bool bothWord = isWord(n1) && isWord(n2);
      const wchar_t a = n1 < 0x80 ? std::tolower(static_cast<int>(n1)) : n1;
      const wchar_t b = n2 < 0x80 ? std::tolower(static_cast<int>(n2)) : n2;
      const bool contraction =
          ((a == 'l' && b == 'l') || (a == 'v' && b == 'e') || (a == 'r' && b == 'e')) &&
          !isWord(n3);
      if ((!bothWord && wordChars >= 2) || (bothWord && contraction)) {
        ++wordChars;  // stays inside the word
      } else {
        w = i + static_cast<size_t>(length);
        wordChars = 0;
      }
    } else if (c < 0x80 ? std::isdigit(static_cast<int>(c)) != 0 : UnicodeIsDigit(c)) {
      ++wordChars;  // digits neither end nor start a word
    } else {
      RomanNumeralRule(s, w, i);
      w = i + static_cast<size_t>(length);
      wordChars = 0;
    }
    i += static_cast<size_t>(length);
  }
  RomanNumeralRule(s, w, i);
  return s;
}

// Adds the leading roman-numeral group of text that matches one of forms
// (tried in order) and steps over it.
int RomanGroup(const char*& text, const char* const* forms, const int* values, int n) {
  for (int k = 0; k < n; ++k) {
    const size_t len = std::strlen(forms[k]);
    size_t i = 0;
    while (i < len && Lower(text[i]) == forms[k][i]) ++i;
    if (i == len) {
      text += len;
      return values[k];
    }
  }
  return 0;
}

// The 5-bit code of a byte for Compress5.
unsigned FiveBitCode(unsigned char c) {
  if (c == 0) return 0;
  if (c >= '0' && c <= '9') return 1 + (c - '0');
  if (c >= 'A' && c <= 'H') return 11 + (c - 'A');
  static const char kRest[] = "IJKLMNOQPRSTUVW";
  static const unsigned kCodes[] = {19, 19, 20, 21, 22, 23, 24, 24, 25, 26, 27, 28, 29, 29, 30};
  const char* p = std::strchr(kRest, c);
  return p != nullptr ? kCodes[p - kRest] : 31;
}

// Packs codes of the given width most significant bit first, checking the
// room before every byte, and returns the bytes written: size when the
// destination filled up before the codes ended.
template <class Code>
int PackBits(unsigned char* destination, int size, const char* source, int count, int width,
             Code code) {
  int used = 0;
  unsigned accumulator = 0;
  int bits = 0;
  for (int i = 0; i < count; ++i) {
    accumulator = (accumulator << width) | code(static_cast<unsigned char>(source[i]));
    bits += width;
    while (bits >= 8) {
      if (used >= size) return used;
      bits -= 8;
      destination[used++] = static_cast<unsigned char>(accumulator >> bits);
    }
  }
  if (bits > 0) {
    if (used >= size) return used;
    destination[used++] = static_cast<unsigned char>(accumulator << (8 - bits));
  }
  return used;
}

}  // namespace

char* strupr_(char* s) {
  for (char* p = s; *p != 0; ++p) *p = Upper(*p);
  return s;
}

char* strlwr_(char* s) {
  for (char* p = s; *p != 0; ++p) *p = Lower(*p);
  return s;
}

wchar_t* wcsupr_(wchar_t* s) {
  for (wchar_t* p = s; *p != 0; ++p) *p = static_cast<wchar_t>(std::towupper(*p));
  return s;
}

char* strrev_(char* s) {
  std::reverse(s, s + std::strlen(s));
  return s;
}

char* itoa_(int value, char* buffer, int base) {
  if (base < 2 || base > 36) {
    buffer[0] = 0;
    return buffer;
  }
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  // Unsigned negation so that the smallest int has a magnitude too.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  char digits[32];
  int n = 0;
  do {
    digits[n++] = kDigits[magnitude % static_cast<unsigned>(base)];
    magnitude /= static_cast<unsigned>(base);
  } while (magnitude != 0);
  char* p = buffer;
  if (value < 0) *p++ = '-';
  while (n > 0) *p++ = digits[--n];
  *p = 0;
  return buffer;
}

bool iscsym_(int c) { return c == '_' || IsAlnum(static_cast<char>(c)); }

int wcsnicmp_(const wchar_t* a, const wchar_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == 0 || b[i] == 0) {
      if (a[i] == 0 && b[i] == 0) return 0;
      return a[i] != 0 ? 1 : -2;
    }
    const wint_t x = std::towlower(a[i]);
    const wint_t y = std::towlower(b[i]);
    if (x != y) return x > y ? 1 : -1;
  }
  return 0;
}

int wcsicmp_(const wchar_t* a, const wchar_t* b) { return wcsnicmp_(a, b, static_cast<size_t>(-1)); }

void RTrim_(char* s) {
  size_t n = std::strlen(s);
  while (n > 0 && s[n - 1] == ' ') --n;
  s[n] = 0;
}

void Trim_(char* s, char c) {
  // With NUL as c the terminator itself would be "trimmed".
  if (c == 0) return;
  const char set[2] = {c, 0};
  Trim_(s, set);
}

void Trim_(char* s, const char* set) {
  size_t n = std::strlen(s);
  while (n > 0 && std::strchr(set, s[n - 1]) != nullptr) --n;
  size_t first = 0;
  while (first < n && std::strchr(set, s[first]) != nullptr) ++first;
  std::memmove(s, s + first, n - first);
  s[n - first] = 0;
}

char* StripChars(char* s, const char* set) {
  char* w = s;
  for (const char* r = s; *r != 0; ++r)
    if (std::strchr(set, *r) == nullptr) *w++ = *r;
  *w = 0;
  return s;
}

void Replace(char* s, char c, char to) {
  for (; *s != 0; ++s)
    if (*s == c) *s = to;
}

void Replace(char* s, const char* set, char to) {
  for (; *s != 0; ++s)
    if (std::strchr(set, *s) != nullptr) *s = to;
}

char* strcatc(char* s, char c) {
  const size_t n = std::strlen(s);
  s[n] = c;
  s[n + 1] = 0;
  return s;
}

char* IncludeTrailingPathDelimiter(char* s) {
  const size_t n = std::strlen(s);
  if (n > 0 && s[n - 1] != '/' && s[n - 1] != '\\') strcatc(s, '/');
  return s;
}

void SplitInPlace(char* text, char delimiter, bool keepEmpties, std::vector<char*>& pieces) {
  pieces.clear();
  for (char* start = text;; ++start) {
    char* end = strchrnul(start, delimiter);
    const bool last = *end == '\0';
    char* first = start;
    char* stop = end;
    while (first < stop && *first == ' ') ++first;
    while (stop > first && stop[-1] == ' ') --stop;
    *stop = '\0';
    if (keepEmpties || first < stop) pieces.push_back(first);
    if (last) return;
    start = end;
  }
}

char** Split_(const char* s, char c) { return SplitPieces(s, c); }
wchar_t** Split_(const wchar_t* s, wchar_t c) { return SplitPieces(s, c); }
void FreeArray_(char** pieces) { FreePieces(pieces); }
void FreeArray_(wchar_t** pieces) { FreePieces(pieces); }

void ConcatStrings(char* destination, size_t size, const char* a, const char* b, const char* c,
                   const char* d) {
  if (size == 0) return;
  size_t used = 0;
  for (const char* piece : {a, b, c, d}) {
    if (piece == nullptr) continue;
    while (*piece != 0 && used < size - 1) destination[used++] = *piece++;
  }
  destination[used] = 0;
}

void ConcatStrings(char* destination, size_t size, const char* a, const char* b, long n) {
  ConcatStrings(destination, size, a, b, ZR_to_string(n).c_str());
}

void ConcatStrings(char* destination, size_t size, const char* a, long n, const char* c) {
  ConcatStrings(destination, size, a, ZR_to_string(n).c_str(), c);
}

bool Localtime(const time_t& time, struct tm& result) {
  return localtime_r(&time, &result) != nullptr;
}

bool Ctime(const time_t& time, char* buffer) {
  if (ctime_r(&time, buffer) != nullptr) return true;
  buffer[0] = 0;
  return false;
}

std::string ZR_to_string(int value) { return Format("%d", value); }
std::string ZR_to_string(unsigned int value) { return Format("%u", value); }
std::string ZR_to_string(long value) { return Format("%ld", value); }
std::string ZR_to_string(unsigned long value) { return Format("%lu", value); }
std::string ZR_to_string(long long value) { return Format("%lld", value); }
std::string ZR_to_string(unsigned long long value) { return Format("%llu", value); }
std::string ZR_to_string(float value) { return Format("%f", static_cast<double>(value)); }
std::string ZR_to_string(double value) { return Format("%f", value); }
std::string ZR_to_string(long double value) { return Format("%Lf", value); }
std::wstring ZR_to_wstring(int value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(unsigned int value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(long value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(unsigned long value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(long long value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(unsigned long long value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(float value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(double value) { return Widen(ZR_to_string(value)); }
std::wstring ZR_to_wstring(long double value) { return Widen(ZR_to_string(value)); }

bool ZR_strcpy(char* destination, const char* source, size_t size) {
  if (destination == nullptr || source == nullptr || size == 0) return false;
  const size_t n = strnlen(source, size);
  if (n >= size) {
    std::memcpy(destination, source, size - 1);
    destination[size - 1] = 0;
    return false;
  }
  std::memcpy(destination, source, n + 1);
  return true;
}

void RemoveMultipleSpaces(char* text) {
  char* w = text;
  for (const char* r = text; *r != 0; ++r)
    if (*r != ' ' || r == text || r[-1] != ' ') *w++ = *r;
  *w = 0;
}

void RemovePunctuationForIndex(std::string& text, char keep) {
  for (char& c : text)
    if (!IsAlnum(c) && c != keep) c = ' ';
  CollapseSpaces(text);
  if (!text.empty() && text.front() == ' ') text.erase(0, 1);
  if (!text.empty() && text.back() == ' ') text.pop_back();
}

void RemovePunctuationForIndex(char* text, char keep) {
  std::string s(text);
  RemovePunctuationForIndex(s, keep);
  StoreBack(text, s);
}

void RemoveInBrackets(std::string& text) {
  RemovePairs(text, '(', ')');
  RemovePairs(text, '[', ']');
  RemovePairs(text, '{', '}');
  CollapseSpaces(text);
}

void RemoveInBrackets(char* text) {
  std::string s(text);
  RemoveInBrackets(s);
  StoreBack(text, s);
}

char* TitleCase(char* s) { return TitleCaseWith<ByteText>(s); }
char* TitleCaseUtf8(char* s) { return TitleCaseWith<Utf8Text>(s); }

bool ReadDateDMY(const char* text, int& year, int& month, int& day) {
  static const char kMonths[12][4] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
  month = 0;
  day = 31;
  long numbers[3];
  int count = 0;
  bool named = false;
  const char* p = text;
  for (int item = 0; item < 3; ++item) {
    while (*p != 0 && !IsAlnum(*p)) ++p;
    if (*p == 0) break;
    if (IsAlpha(*p)) {
      if (named) return false;
      int m = 0;
      // Lower() of the terminator is no letter, so a short name fails here
      // before reading past it.
      while (m < 12 && !(Lower(p[0]) == kMonths[m][0] && Lower(p[1]) == kMonths[m][1] &&
                         Lower(p[2]) == kMonths[m][2]))
        ++m;
      if (m == 12) return false;
      month = m + 1;
      named = true;
      while (IsAlpha(*p)) ++p;
    } else {
      char* end;
      const long value = std::strtol(p, &end, 10);
      if (value == 0) return false;
      // Clamped so that a long run of digits cannot wrap into a negative int.
      numbers[count++] = std::min(value, static_cast<long>(INT_MAX));
      p = end;
    }
  }
  long y;  // numbers are 1 to INT_MAX
  if (!named && count == 3) {
    day = static_cast<int>(numbers[0]);
    month = static_cast<int>(numbers[1]);
    y = numbers[2];
  } else if (named && count == 2) {
    day = static_cast<int>(numbers[0]);
    y = numbers[1];
  } else if (!named && count == 2) {
    month = static_cast<int>(numbers[0]);
    y = numbers[1];
  } else if (count == 1) {
    if (!named) month = 12;
    y = numbers[0];
  } else {
    return false;
  }
  if (y <= 99) y += 2000;
  year = static_cast<int>(y);
  return true;
}

int ReadRomanNumeral(const char* text) {
  static const char* const kHundreds[] = {"cm", "dccc", "dcc", "dc", "d", "cd", "ccc", "cc", "c"};
  static const char* const kTens[] = {"xc", "lxxx", "lxx", "lx", "l", "xl", "xxx", "xx", "x"};
  static const char* const kUnits[] = {"ix", "viii", "vii", "vi", "v", "iv", "iii", "ii", "i"};
  static const int kValues[] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  static const int kHundredValues[] = {900, 800, 700, 600, 500, 400, 300, 200, 100};
  static const int kTenValues[] = {90, 80, 70, 60, 50, 40, 30, 20, 10};
  int sum = 0;
  while (Lower(*text) == 'm') {
    sum += 1000;
    ++text;
  }
  sum += RomanGroup(text, kHundreds, kHundredValues, 9);
  sum += RomanGroup(text, kTens, kTenValues, 9);
  sum += RomanGroup(text, kUnits, kValues, 9);
  return *text == 0 ? sum : 0;
}

int CharToSixBits(char c) { return c >= '!' && c <= '_' ? c - 32 : 0; }

int Compress6(unsigned char* destination, int size, const char* source, int count) {
  return PackBits(destination, std::max(size, 0), source, count, 6,
                  [](unsigned char c) { return (c - 32u) & 63u; });
}

void Decompress6(char* destination, const unsigned char* source, int count) {
  unsigned accumulator = 0;
  int bits = 0;
  for (int i = 0; i < count; ++i) {
    if (bits < 6) {
      accumulator = (accumulator << 8) | *source++;
      bits += 8;
    }
    bits -= 6;
    destination[i] = static_cast<char>(((accumulator >> bits) & 63u) + 32);
  }
}

int Compress5(unsigned char* destination, int size, const char* source, int count) {
  return PackBits(destination, std::max(size, 0), source, count, 5, FiveBitCode);
}
