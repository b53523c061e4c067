// Many threads reading one ShapeFileReader get the answers a single thread
// gets, in every holding (CI runs this under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shapes/shape_file_reader.h"
#include "tests/shape_writer.h"

namespace {

const std::string kSource = ZRU_SOURCE_DIR;

// One record's shape and first attribute, as a comparable text.
std::string Answer(const ShapeFileReader& reader, int32_t index, ShapeFileShape& shape) {
  std::string value;
  const int code = reader.ReadShape(index, shape);
  const int attributeCode = reader.ReadStringAttribute(index, 0, value);
  const uint64_t digest = DigestDoubles(&shape.points.data()->x, 2 * shape.points.size());
  return std::to_string(code) + " " + std::to_string(shape.parts.size()) + " " +
         std::to_string(digest) + " " + std::to_string(attributeCode) + " " + value + " " +
         std::to_string(shape.IsPointInShape((shape.minY + shape.maxY) / 2, (shape.minX + shape.maxX) / 2));
}

TEST(ShapeFileReaderConcurrency, EightThreadsGetTheSerialAnswers) {
  for (const std::string& base : {kSource + "/samples/naturalearth/naturalearth_lowres",
                                 kSource + "/tests/data/shapes/real/nybb"}) {
    for (int openType : {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap}) {
      SCOPED_TRACE(base + " " + std::to_string(openType));
      ShapeFileReader reader;
      std::string error;
      ASSERT_EQ(reader.Open(base, error, openType), 0) << error;
      std::vector<std::string> serial;
      ShapeFileShape shape;
      for (int32_t i = 0; i < reader.RecordCount(); ++i) serial.push_back(Answer(reader, i, shape));

      std::atomic<int> mismatches{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
          ShapeFileShape mine;
          ShapeFileReader::ShapeCache cache;
          const int32_t n = reader.RecordCount();
          for (int32_t k = 0; k < 2 * n; ++k) {
            const int32_t i = (k * (2 * t + 1) + t) % n;  // a different order per thread
            if (Answer(reader, i, mine) != serial[static_cast<size_t>(i)]) ++mismatches;
            const ShapeFileShape* cached = nullptr;
            if (reader.ReadShape(i, cache, cached) != 0 || cached->points.size() != mine.points.size())
              ++mismatches;
            if (reader.ReadShape(i, mine, true) != 0 || !mine.points.empty()) ++mismatches;
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
      EXPECT_EQ(mismatches.load(), 0);
    }
  }
}

}  // namespace
