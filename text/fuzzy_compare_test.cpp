#include "text/fuzzy_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// Restricted Damerau-Levenshtein (optimal string alignment) distance by the
// textbook dynamic programme.
int OsaDistance(const std::string& a, const std::string& b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
  for (size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[n][m];
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Random short texts over few letters, so that swaps and repeats abound:
// the distance within the bound is exact, beyond it only "more".
TEST(CompareStrings2, AgreesWithDynamicProgramme) {
  std::mt19937 random(5);
  auto text = [&] {
    std::string s(random() % 7, 'a');
    for (char& c : s) c = "abcd"[random() % 4];
    return s;
  };
  for (int round = 0; round < 4000; ++round) {
    const std::string a = text(), b = text();
    const int expected = OsaDistance(a, b);
    for (int maxEdits : {0, 1, 2, 3, 6}) {
      const int got = CompareStrings2(a.c_str(), b.c_str(), maxEdits, true);
      if (expected <= maxEdits)
        EXPECT_EQ(got, expected) << a << " " << b << " " << maxEdits;
      else
        EXPECT_GT(got, maxEdits) << a << " " << b << " " << maxEdits;
      EXPECT_EQ(CompareStrings2(Wide(a).c_str(), Wide(b).c_str(), maxEdits, true), got);
    }
    bool identical = true;
    EXPECT_EQ(StringsNearlyTheSame(a.c_str(), b.c_str(), identical, false, true), expected <= 1)
        << a << " " << b;
    EXPECT_EQ(identical, a == b);
    EXPECT_EQ(StringsNearlyTheSame(Wide(a).c_str(), Wide(b).c_str(), identical, false, true),
              expected <= 1);
  }
}

TEST(CompareStrings2, Rules) {
  const struct {
    const char *a, *b;
    int maxEdits;
    bool digitsMayDiffer;
    int result;
  } cases[] = {
      {"Jonathan", "Jonahtan", 2, false, 1}, {"abcd", "abce", 0, false, 1},
      {"abc", "abcdef", 2, false, 3},        {"Flat 12", "Flat 13", 2, false, 3},
      {"Flat 12", "Flat 13", 2, true, 1},    {"abc", "", 1, false, 3},
      // A negative bound counts as 0: different texts are never "equal".
      {"a", "b", -1, false, 1},              {"ab", "abcd", -5, false, 2},
      {"same", "same", -1, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareStrings2(c.a, c.b, c.maxEdits, c.digitsMayDiffer), c.result) << c.a << " " << c.b;
    EXPECT_EQ(CompareStrings2(Wide(c.a).c_str(), Wide(c.b).c_str(), c.maxEdits, c.digitsMayDiffer),
              c.result);
  }
}

// The digit rules (the rest is the oracle test's); an extra last digit is
// refused for narrow texts only.
TEST(StringsNearlyTheSame, Rules) {
  const struct {
    const char *a, *b;
    bool firstMustMatch, digitsMayDiffer, narrow, wide;
  } cases[] = {
      {"Smith", "mith", false, false, true, true},  {"Smith", "mith", true, false, false, false},
      {"12 High", "13 High", false, false, false, false},
      {"12 High", "13 High", false, true, true, true},
      {"Flat 12", "Flat 312", false, false, false, false},
      {"Flat 12", "Flat x12", false, false, true, true},
      {"Flat x12", "Flat 12", false, false, true, true},
      {"Flat", "Flat1", false, false, false, true}, {"Flat1", "Flat", false, false, false, true},
      {"Flat", "Flat1", false, true, true, true},
  };
  for (const auto& c : cases) {
    bool identical = true;
    EXPECT_EQ(StringsNearlyTheSame(c.a, c.b, identical, c.firstMustMatch, c.digitsMayDiffer),
              c.narrow) << c.a << " | " << c.b;
    EXPECT_FALSE(identical);
    EXPECT_EQ(StringsNearlyTheSame(Wide(c.a).c_str(), Wide(c.b).c_str(), identical,
                                   c.firstMustMatch, c.digitsMayDiffer), c.wide);
  }
}

// Jaro against python3-jellyfish on surname-like pairs (written by
// tools/gen_jaro_oracle.py), the known values among them, in single
// precision.
TEST(CompareJaro, AgreesWithJellyfish) {
  std::ifstream in(ZRU_SOURCE_DIR "/tests/data/text/jaro_jellyfish.tsv");
  ASSERT_TRUE(in.good());
  std::string line;
  int pairs = 0;
  while (std::getline(in, line)) {
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    ASSERT_NE(tab2, std::string::npos);
    const std::string a = line.substr(0, tab1), b = line.substr(tab1 + 1, tab2 - tab1 - 1);
    const double expected = std::stod(line.substr(tab2 + 1));
    EXPECT_NEAR(CompareJaro(a, b), expected, 1e-6) << a << " | " << b;
    EXPECT_EQ(CompareJaro(Wide(a), Wide(b)), CompareJaro(a, b));
    ++pairs;
  }
  EXPECT_GT(pairs, 3000);
  EXPECT_NEAR(CompareJaro("MARTHA", "MARHTA"), 0.9444f, 1e-4);
  EXPECT_NEAR(CompareJaro("DWAYNE", "DUANE"), 0.8222f, 1e-4);
  EXPECT_NEAR(CompareJaro("DIXON", "DICKSONX"), 0.7667f, 1e-4);
  EXPECT_EQ(CompareJaro("Smith", "Smith"), 1.0f);
  EXPECT_EQ(CompareJaro("abc", "xyz"), 0.0f);
}

}  // namespace
