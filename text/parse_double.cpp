#include "text/parse_double.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// strtod reads the decimal point of the thread's locale; from_chars always
// reads '.'.
bool DecimalPointIsDot() {
  const locale_t locale = uselocale(static_cast<locale_t>(0));
  const char* point =
      locale == LC_GLOBAL_LOCALE ? nl_langinfo(RADIXCHAR) : nl_langinfo_l(RADIXCHAR, locale);
  return point[0] == '.' && point[1] == '\0';
}

// The plain decimals of parameter texts ("51.507222"): at most 15
// significant digits, at most 22 digits after the point. The digits then make an integer
// and a power of ten that doubles hold exactly, and one division rounds
// their quotient correctly, as strtod does. False, with nothing set, for
// every other text.
bool ParseShortDecimal(const char* text, double& value, const char*& end) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text + (text[0] == '-');
  uint64_t digits = 0;
  int count = 0, fraction = 0;
  // Leading zeros add no digit to the integer.
  const auto take = [&]() {
    digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    count += digits != 0;
  };
  for (; *p >= '0' && *p <= '9'; ++p) take();
  if (*p == '.') {
    const char* first = ++p;
    for (; *p >= '0' && *p <= '9'; ++p) take();
    fraction = static_cast<int>(p - first);
    if (fraction == 0) return false;  // "5." : left to the full parser
  }
  // An exponent or a hexadecimal prefix makes another number.
  if (count > 15 || fraction > 22 || *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return false;
  value = static_cast<double>(digits) / kPowers[fraction];
  if (text[0] == '-') value = -value;
  end = p;
  return true;
}

}  // namespace

double ParseDouble(const char* text, char** end) {
  // A number that starts with a digit, after at most a minus sign, reads
  // the same through from_chars, which rounds correctly as strtod does.
  // Everything else goes to strtod itself: leading white space, "+",
  // infinities and NaN (letters), hexadecimal ("0x", where from_chars
  // stops at the "x"), values out of range (an error from from_chars) and
  // locales with another decimal point.
  const char* digits = text + (text[0] == '-');
  if (*digits >= '0' && *digits <= '9' && DecimalPointIsDot()) {
    double value = 0;
    const char* stop = nullptr;
    if (ParseShortDecimal(text, value, stop)) {
      if (end != nullptr) *end = const_cast<char*>(stop);
      return value;
    }
    const std::from_chars_result r = std::from_chars(text, text + strlen(text), value);
    if (r.ec == std::errc() && *r.ptr != 'x' && *r.ptr != 'X') {
      if (end != nullptr) *end = const_cast<char*>(r.ptr);
      return value;
    }
  }
  return strtod(text, end);
}
