#include "text/unicode.h"

#include <cstdint>
#include <cstring>

namespace {

// Multi-byte sequences counted by the UTF-8 sniffers.
struct SequenceCount {
  int good = 0;
  int bad = 0;
};

// Continuation bytes a lead byte asks for, 0 for a byte that cannot lead.
int ExpectedContinuations(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 1;
  if (b >= 0xE0 && b <= 0xEF) return 2;
  if (b >= 0xF0 && b <= 0xF4) return 3;
  return 0;
}

bool LooksLikeUtf8(const SequenceCount& n, int ratio) {
  if (n.good == 0) return false;
  if (n.bad == 0) return true;
  // A ratio of 0 or less would divide by zero; it means "any majority".
  return n.good / (ratio < 1 ? 1 : ratio) > n.bad;
}

// The one encoder, inline for the same reason as Decode.
inline int Encode(char* out, wchar_t c) {
  // Negative codes and codes beyond Unicode have no UTF-8 form; writing
  // their bits would give lead bytes no reader accepts.
  if (c < 0 || c > 0x10FFFF) return 0;
  const unsigned int u = static_cast<unsigned int>(c);
  if (u < 0x80) {
    out[0] = static_cast<char>(u);
    return 1;
  }
  if (u < 0x800) {
    out[0] = static_cast<char>(0xC0 | (u >> 6));
    out[1] = static_cast<char>(0x80 | (u & 0x3F));
    return 2;
  }
  if (u < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (u >> 12));
    out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (u & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (u >> 18));
  out[1] = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (u & 0x3F));
  return 4;
}

// Appends the UTF-16 units of code; codes above 0x10FFFF are dropped.
void AppendUtf16(std::wstring& out, unsigned int code) {
  if (code < 0x10000) {
    out += static_cast<wchar_t>(code);
  } else if (code <= 0x10FFFF) {
    out += static_cast<wchar_t>(((code - 0x10000) >> 10) + 0xD800);
    out += static_cast<wchar_t>((code & 0x3FF) + 0xDC00);
  }
}

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The one decoder, inline so the bulk converters do not pay a call per
// character. A sequence cut by end fails at the bound; a terminator fails
// as a non-continuation byte, and the tests run in order, so neither is
// ever read past.
inline bool Decode(wchar_t& code, const char*& p, const char* end) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
  const ptrdiff_t room = end != nullptr ? end - p : 4;
  if (room <= 0) return false;
  const unsigned int b0 = s[0];
  if (b0 < 0x80) {
    code = static_cast<wchar_t>(b0);
    p += 1;
    return true;
  }
  if (b0 < 0xC0) return false;
  if (b0 < 0xE0) {
    if (room < 2 || !IsContinuation(s[1])) return false;
    code = static_cast<wchar_t>(((b0 & 0x1F) << 6) | (s[1] & 0x3F));
    p += 2;
    return true;
  }
  if (b0 < 0xF0) {
    if (room < 3 || !IsContinuation(s[1]) || !IsContinuation(s[2])) return false;
    code = static_cast<wchar_t>(((b0 & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    p += 3;
    return true;
  }
  if (b0 < 0xF8) {
    if (room < 4 || !IsContinuation(s[1]) || !IsContinuation(s[2]) || !IsContinuation(s[3]))
      return false;
    const unsigned int value = ((b0 & 0x07) << 18) | ((s[1] & 0x3F) << 12) |
                               ((s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    p += 4;  // consumed even beyond U+10FFFF
    if (value >= 0x110000) return false;
    code = static_cast<wchar_t>(value);
    return true;
  }
  return false;
}

// Decodes, or leaves p where it was: the tolerant readers step over one
// byte where decoding fails, even where the decoder consumed a four-byte
// form beyond U+10FFFF (stepping from there could pass the terminator).
inline bool DecodeOrStay(wchar_t& code, const char*& p, const char* end) {
  const char* q = p;
  if (!Decode(code, q, end)) return false;
  p = q;
  return true;
}

// Decodes [p, end) into out. An undecodable byte stops with false, or with
// tolerant stands for the code point of its value.
bool DecodeRange(std::wstring& out, const char* p, const char* end, bool tolerant) {
  // No text decodes to more characters than it has bytes.
  out.resize(static_cast<size_t>(end - p));
  wchar_t* const first = &out[0];
  wchar_t* w = first;
  bool ok = true;
  while (p < end) {
    const unsigned char b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
      *w++ = b;
      ++p;
      // Runs of ASCII, the bulk of address text, eight bytes at a time.
      uint64_t eight;
      while (end - p >= 8 &&
             (std::memcpy(&eight, p, 8), (eight & 0x8080808080808080ull) == 0)) {
        for (int k = 0; k < 8; ++k) w[k] = static_cast<unsigned char>(p[k]);
        p += 8;
        w += 8;
      }
    } else if (DecodeOrStay(*w, p, end)) {
      ++w;
    } else if (tolerant) {
      *w++ = b;
      ++p;
    } else {
      ok = false;
      break;
    }
  }
  out.resize(static_cast<size_t>(w - first));
  return ok;
}

// The end of a sized text: the terminator or maxBytes, whichever comes
// first. strnlen looks at no byte beyond maxBytes; with maxBytes 0 the text
// is not looked at at all (it may be an empty buffer's null pointer).
const char* BoundedEnd(const char* text, size_t maxBytes) {
  return maxBytes == 0 ? text : text + strnlen(text, maxBytes);
}

// The narrow strict reader over [p, end).
bool DecodeRangeToAnsi(std::string& out, const char* p, const char* end) {
  out.clear();
  while (p < end) {
    wchar_t w;
    char c;
    if (!DecodeUtf8Char(w, p, end) || !CharWideToAnsi(c, w)) return false;
    out += c;
  }
  return true;
}

// The UTF-8 of n wide characters, surrogate pairs combined.
std::string EncodeRange(const wchar_t* text, size_t n) {
  std::string out(n * 4, '\0');
  char* const first = &out[0];
  char* o = first;
  for (size_t i = 0; i < n; ++i) {
    wchar_t c = text[i];
    if (c >= 0 && c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    o += Encode(o, c);
  }
  out.resize(static_cast<size_t>(o - first));
  return out;
}

std::string Ucs2(const wchar_t* text, bool littleEndian) {
  std::string out;
  for (; *text != 0; ++text) {
    const char low = static_cast<char>(*text & 0xFF);
    const char high = static_cast<char>((*text >> 8) & 0xFF);
    out += littleEndian ? low : high;
    out += littleEndian ? high : low;
  }
  return out;
}

std::string Ucs2(const char* text, bool littleEndian) {
  std::string out;
  for (; *text != 0; ++text) {
    out += littleEndian ? *text : '\0';
    out += littleEndian ? '\0' : *text;
  }
  return out;
}

}  // namespace

size_t Utf8Strlen(const char* text) {
  size_t n = 0;
  for (; *text != 0; ++text)
    if (!Utf8IsContinue(*text)) ++n;
  return n;
}

bool Utf8Inc(const char*& p) {
  if (*p == 0) return false;
  ++p;
  while (Utf8IsContinue(*p)) ++p;
  return true;
}

bool Utf8Inc(const char* s, int& i) {
  const char* p = s + i;
  if (!Utf8Inc(p)) return false;
  i = static_cast<int>(p - s);
  return true;
}

bool IsBufferUtf8(const char* buffer, size_t length, int ratio) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(buffer);
  if (length > 2 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return true;
  SequenceCount n;
  for (size_t i = 0; i < length;) {
    if (b[i] < 0x80) {
      ++i;
      continue;
    }
    const size_t need = static_cast<size_t>(ExpectedContinuations(b[i]));
    if (need == 0) {
      ++n.bad;
      ++i;
      continue;
    }
    if (length - i - 1 < need) {
      ++n.bad;
      break;
    }
    bool all = true;
    for (size_t k = 1; k <= need; ++k) all = all && (b[i + k] & 0xC0) == 0x80;
    ++(all ? n.good : n.bad);
    i += need + 1;
  }
  return LooksLikeUtf8(n, ratio);
}

bool IsStringUtf8(const char* text, int ratio) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(text);
  SequenceCount n;
  for (size_t i = 0; b[i] != 0;) {
    if (b[i] < 0x80) {
      ++i;
      continue;
    }
    const size_t need = static_cast<size_t>(ExpectedContinuations(b[i]));
    size_t k = 1;
    // The terminator is no continuation byte, so this never reads past it.
    while (need != 0 && k <= need && (b[i + k] & 0xC0) == 0x80) ++k;
    if (need != 0 && k > need) {
      ++n.good;
      i += need + 1;
    } else {
      ++n.bad;
      ++i;
    }
  }
  return LooksLikeUtf8(n, ratio);
}

bool IsStringUtf8(const std::string& text, int ratio) {
  return IsStringUtf8(text.c_str(), ratio);
}

bool DecodeUtf8Char(wchar_t& code, const char*& p, const char* end) {
  return Decode(code, p, end);
}

bool NextUtf8Char(wchar_t& c, const char*& p) { return DecodeUtf8Char(c, p); }

bool NextUtf8Char(char& c, const char*& p) {
  wchar_t w;
  return DecodeUtf8Char(w, p) && CharWideToAnsi(c, w);
}

bool NextUtf8Char(std::wstring& s, const char*& p) {
  wchar_t w;
  if (!DecodeUtf8Char(w, p)) return false;
  s.assign(1, w);
  return true;
}

wchar_t NextUtf8Char(const char*& p) {
  wchar_t w;
  if (DecodeOrStay(w, p, nullptr)) return w;
  return static_cast<unsigned char>(*p++);
}

bool ReadUtf8String(std::wstring& out, const char* text) {
  return DecodeRange(out, text, text + std::strlen(text), false);
}

bool ReadUtf8String(std::wstring& out, const char* text, size_t maxBytes) {
  return DecodeRange(out, text, BoundedEnd(text, maxBytes), false);
}

void ReadUtf8StringTolerant(std::wstring& out, const char* text) {
  DecodeRange(out, text, text + std::strlen(text), true);
}

bool ReadUtf8String(std::string& out, const char* text) {
  return DecodeRangeToAnsi(out, text, text + std::strlen(text));
}

bool ReadUtf8String(std::string& out, const char* text, size_t maxBytes) {
  return DecodeRangeToAnsi(out, text, BoundedEnd(text, maxBytes));
}

void ReadUtf8StringTolerant(std::string& out, const char* text) {
  out.clear();
  for (const char* p = text; *p != 0;) {
    wchar_t w;
    char c;
    if (!DecodeOrStay(w, p, nullptr))
      out += *p++;
    else
      out += CharWideToAnsi(c, w) ? c : '\x7F';
  }
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  DecodeRange(out, text.data(), text.data() + text.size(), true);
  return out;
}

bool Utf8ToUtf16(std::wstring& out, const char* text, bool tolerant) {
  out.clear();
  for (const char* p = text; *p != 0;) {
    wchar_t w;
    if (DecodeOrStay(w, p, nullptr)) {
      AppendUtf16(out, static_cast<unsigned int>(w));
    } else if (tolerant) {
      out += static_cast<wchar_t>(static_cast<unsigned char>(*p++));
    } else {
      return false;
    }
  }
  return true;
}

int WideCharToUtf8(char* out, wchar_t c) { return Encode(out, c); }

std::string WideToUtf8(const wchar_t* text) { return EncodeRange(text, std::wcslen(text)); }
std::string WideToUtf8(const std::wstring& text) { return EncodeRange(text.data(), text.size()); }
std::string StringToUtf8(const wchar_t* text) { return WideToUtf8(text); }
std::string StringToUtf8(const std::wstring& text) { return WideToUtf8(text); }
std::string StringToUtf8(const char* text) { return Windows1252ToUtf8(std::string(text)); }
std::string StringToUtf8(const std::string& text) { return Windows1252ToUtf8(text); }

std::string Windows1252ToUtf8(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    char bytes[4];
    out.append(bytes, static_cast<size_t>(WideCharToUtf8(
                          bytes, CharAnsiToWide(static_cast<unsigned char>(c)))));
  }
  return out;
}

bool Windows1252ToUtf8(char* text, size_t capacity) {
  size_t length = std::strlen(text);
  for (size_t i = 0; i < length;) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    char bytes[4];
    const size_t n = static_cast<size_t>(WideCharToUtf8(bytes, CharAnsiToWide(b)));
    if (length + n - 1 + 1 > capacity) {
      ++i;
      continue;
    }
    // Move the rest and its terminator back to make room.
    std::memmove(text + i + n, text + i + 1, length - i);
    std::memcpy(text + i, bytes, n);
    length += n - 1;
    i += n;
  }
  return true;
}

std::string ToUtf8IfWide(const wchar_t* text) { return WideToUtf8(text); }
std::string ToUtf8IfWide(const std::wstring& text) { return WideToUtf8(text); }
std::string ToUtf8IfWide(const char* text) { return text; }
std::string ToUtf8IfWide(const std::string& text) { return text; }
void ToUtf8IfDestNotWide(std::wstring& d, const std::wstring& s) { d = s; }
void ToUtf8IfDestNotWide(std::string& d, const std::wstring& s) { d = WideToUtf8(s); }

std::string UnicodeToUCS2LE(const wchar_t* text) { return Ucs2(text, true); }
std::string UnicodeToUCS2BE(const wchar_t* text) { return Ucs2(text, false); }
std::string UnicodeToUCS2LE(const char* text) { return Ucs2(text, true); }
std::string UnicodeToUCS2BE(const char* text) { return Ucs2(text, false); }

void Utf32ToUtf16(std::wstring& out, const unsigned int* codes) {
  out.clear();
  for (; *codes != 0; ++codes) AppendUtf16(out, *codes);
}

void Utf32ToUtf16(std::wstring& out, unsigned int code) {
  out.clear();
  AppendUtf16(out, code);
}

void Utf32ToWide(std::wstring& out, unsigned int code) {
  out.assign(1, static_cast<wchar_t>(code));
}
