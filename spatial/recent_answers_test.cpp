#include "spatial/recent_answers.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Large shapes are kept only up to the budget of points, each found again
// with its own runs; small ones are kept beside them.
TEST(RecentAnswers, KeptShapesStayWithinTheirBudget) {
  auto recent = std::make_unique<RecentAnswers>();
  ShapeFileShape shape;
  shape.shapeType = 5;
  shape.parts = {0};
  for (int i = 0; i <= 16000; ++i)
    shape.points.push_back({10 + (i % 2) * 0.001 + i * 1e-4, 40.0 + (i % 3) * 0.01});
  shape.points.push_back(shape.points[0]);
  shape.minX = 10, shape.maxX = 12, shape.minY = 40, shape.maxY = 40.02;
  const ShapeEdgeRuns* runs = nullptr;
  int kept = 0;
  for (int32_t record = 0; record < 300; ++record) {
    shape.points[1].y = 40 + record * 1e-6;  // each record its own shape
    const ShapeFileShape* stored = recent->StoreShape(7, record, shape, runs);
    if (stored != nullptr) {
      EXPECT_EQ(stored->points[1].y, shape.points[1].y);
    }
  }
  for (int32_t record = 0; record < 300; ++record) {
    const ShapeFileShape* found = recent->FindShape(7, record, runs);
    if (found == nullptr) continue;
    ++kept;
    ASSERT_EQ(found->points[1].y, 40 + record * 1e-6);
    EXPECT_EQ(found->DistanceToEdge(40.01, 11, *runs), found->DistanceToEdge(40.01, 11));
  }
  EXPECT_GT(kept, 0);
  EXPECT_LE(kept, 16);  // 16 x 16,002 points fill the budget of 262,144
  ShapeFileShape small = shape;
  small.points.resize(5);
  small.points.back() = small.points[0];
  EXPECT_EQ(recent->FindShape(8, 1, runs), nullptr);
  ASSERT_NE(recent->StoreShape(8, 1, small, runs), nullptr);
  EXPECT_EQ(recent->FindShape(8, 1, runs)->points.size(), 5u);
}

}  // namespace
