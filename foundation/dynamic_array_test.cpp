#include "foundation/dynamic_array.h"

#include <gtest/gtest.h>

namespace {

TEST(DynamicArray, GrowsOnlyAndKeepsContentsUntilItDoes) {
  DynamicArray<unsigned char> array;
  EXPECT_EQ(array.Get(), nullptr);
  ASSERT_TRUE(array.Resize(8));
  array[7] = 42;
  ASSERT_TRUE(array.Resize(4));  // smaller: same array, same contents
  EXPECT_EQ(array.Capacity(), 8u);
  EXPECT_EQ(array[7], 42);
  ASSERT_TRUE(array.Resize(16));  // larger: a new, zeroed array
  EXPECT_EQ(array.Capacity(), 16u);
  EXPECT_EQ(array[7], 0);
  array.Clear();
  EXPECT_EQ(array.Capacity(), 0u);
  EXPECT_EQ(array.Get(), nullptr);
}

}  // namespace
