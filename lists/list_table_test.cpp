// ListTable against std::map as the oracle: the same answers for every text,
// and the same text order, whatever order the texts were added in.
#include "lists/list_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<std::string, int32_t>> Ordered(const ListTable& table) {
  std::vector<std::pair<std::string, int32_t>> entries;
  for (const ListTable::Entry& e : table.InTextOrder()) entries.emplace_back(e.text, e.id);
  return entries;
}

// Texts of every shape: empty, bytes above 0x7f (which sort after ASCII),
// NUL bytes, prefixes of each other, and texts larger than an arena chunk.
TEST(ListTable, AgreesWithAnOrderedMap) {
  std::mt19937 random(7);
  const std::string big(3 << 20, 'b');
  std::vector<std::string> texts = {"", "a", "ab", "a\x80", "a\x7f", std::string("n\0ul", 4),
                                    std::string("n\0um", 4), big, big + "c", "\xff"};
  for (int i = 0; i < 20000; ++i)
    texts.push_back(std::to_string(random() % 10000) + (i % 3 == 0 ? " Street" : ""));
  // Sorted first (as a list file holds them), then in random order, then a
  // sorted run after an unsorted one.
  std::vector<std::string> sortedFirst(texts.begin() + 10, texts.begin() + 8000);
  std::sort(sortedFirst.begin(), sortedFirst.end());
  std::vector<std::vector<std::string>> orders = {sortedFirst, texts};
  orders[1].insert(orders[1].end(), sortedFirst.begin(), sortedFirst.end());

  for (const std::vector<std::string>& order : orders) {
    ListTable table;
    std::map<std::string, int32_t> oracle;
    int32_t next = -5;
    for (const std::string& text : order) {
      const bool added = oracle.emplace(text, next).second;
      ASSERT_EQ(table.Add(text, next), added) << text.size();
      next = next == -1 ? 1 : next + 1;
    }
    ASSERT_EQ(table.Size(), oracle.size());
    for (const std::string& text : texts) {
      int32_t id = 0;
      const auto found = oracle.find(text);
      ASSERT_EQ(table.Find(text, id), found != oracle.end()) << text.size();
      if (found != oracle.end()) {
        EXPECT_EQ(id, found->second);
      }
    }
    int32_t id = 0;
    EXPECT_FALSE(table.Find("not there", id));
    EXPECT_FALSE(table.Find(std::string("n\0u", 3), id));
    const std::vector<std::pair<std::string, int32_t>> expected(oracle.begin(), oracle.end());
    EXPECT_EQ(Ordered(table), expected);
    table.Clear();
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_FALSE(table.Find("a", id));
    EXPECT_TRUE(table.Add("a", 3));
    EXPECT_TRUE(table.Find("a", id));
    EXPECT_EQ(id, 3);
  }
}

}  // namespace
