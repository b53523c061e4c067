#include "text/parse_double.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
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
    const std::from_chars_result r = std::from_chars(text, text + strlen(text), value);
    if (r.ec == std::errc() && *r.ptr != 'x' && *r.ptr != 'X') {
      if (end != nullptr) *end = const_cast<char*>(r.ptr);
      return value;
    }
  }
  return strtod(text, end);
}
