#include "text/parse_double.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// Value bits and end offset both match strtod's.
void ExpectAsStrtod(const std::string& text) {
  char* strtodEnd = nullptr;
  char* ourEnd = nullptr;
  const double expected = strtod(text.c_str(), &strtodEnd);
  const double got = ParseDouble(text.c_str(), &ourEnd);
  EXPECT_EQ(memcmp(&expected, &got, sizeof got), 0) << '"' << text << "\" " << expected << " " << got;
  EXPECT_EQ(ourEnd - text.c_str(), strtodEnd - text.c_str()) << '"' << text << '"';
}

TEST(ParseDouble, AgreesWithStrtod) {
  const char* const texts[] = {
      "", "-", "+1", " 51.5", "\t-0.1", "51.5,-0.1", "51.5 ,x", "-0", "0", "007", "1.", ".5", "-.5",
      "1e", "1e+", "1e5x", "2.5E-3;", "0x1A", "0X1p3", "-0x10", "1x", "inf", "-nan", "NaN(12)",
      "1e400", "-1e400", "1e-400", "4.9e-324", "2.2250738585072011e-308", "179769313486231570e291",
      "0.30000000000000004441", "123456789012345678901234567890", "9007199254740993",
      "1.00000000000000011102230246251565404236316680908203125", "51.507222\xc2\xb0", "1,5",
  };
  for (const char* text : texts) ExpectAsStrtod(text);
  EXPECT_EQ(ParseDouble("12.5", nullptr), 12.5);
}

// Coordinates as hosts write them: 6 decimals, shortest round trip, and
// exponents.
TEST(ParseDouble, AgreesWithStrtodOnRandomCoordinates) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> degrees(-180, 180);
  char text[64];
  for (int i = 0; i < 20000; ++i) {
    const double value = degrees(random);
    const char* const formats[] = {"%.6f", "%.17g", "%.3e", "%.0f"};
    snprintf(text, sizeof text, formats[i % 4], value);
    ExpectAsStrtod(text);
  }
  // Around the short decimals read without from_chars: 15 and 16 digits,
  // 22 and 23 after the point, integers near 2^53.
  std::uniform_int_distribution<long long> digits(0, 99999999999999999);
  const char* const shapes[] = {"%lld",        "%.15lld",         "%.16lld",
                                "0.%.15lld",   "-9.%.14lld",      "0.0000000%.15lld",
                                "0.00000000%.15lld", "12345.%.11lld", "9007199254740%.3lld"};
  for (int i = 0; i < 20000; ++i) {
    snprintf(text, sizeof text, shapes[i % 9], digits(random) % (i % 2 ? 1000 : 10000000000000000));
    ExpectAsStrtod(text);
  }
}

// Where the locale's decimal point is a comma, both stop at the ".".
TEST(ParseDouble, FollowsTheLocalesDecimalPoint) {
  const std::string saved = setlocale(LC_NUMERIC, nullptr);
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma installed";
  ExpectAsStrtod("51.5");
  ExpectAsStrtod("51,5");
  setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
