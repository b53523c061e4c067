// zruPointInShapeBatch and zruShapeAttributes against zruPointInShape
// itself, point by point, on the Natural Earth countries and the projected
// boroughs, with the files mapped and read through; their
// codes for bad arguments; and threads calling them at once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/zrutils.h"
#include "shapes/shape_file_reader.h"
#include "spatial/shape_file_registry.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

struct Result {
  int status;
  std::string answer;
};

Result Call(const std::string& parameters) {
  std::vector<char> buffer(std::max<size_t>(parameters.size(), 4096) + 1);
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  const int status = zruPointInShape(buffer.data(), 4096);
  return {status, buffer.data()};
}

Result Attributes(const std::string& file, int record, const char* fields, int size = 4096) {
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
  const int status = zruShapeAttributes(file.c_str(), record, fields, buffer.data(), size);
  return {status, buffer.data()};
}

class PointInShapeBatch : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  }

  // A copy of the set (its index is written beside it), opened; the points:
  // random ones over the file's box and a little beyond, vertices of its
  // shapes, a NaN.
  std::string Open(const std::string& set, std::vector<double>& lats, std::vector<double>& lons) {
    const std::string base = dir_.File(set.substr(set.rfind('/') + 1));
    CopyShapeSet(std::string(ZRU_SOURCE_DIR) + "/" + set, base);
    ShapeFileReader reader;
    std::string error;
    EXPECT_EQ(reader.Open(base, error), 0) << error;
    const double dx = (reader.MaxX() - reader.MinX()) * 0.05;
    const double dy = (reader.MaxY() - reader.MinY()) * 0.05;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> x(reader.MinX() - dx, reader.MaxX() + dx);
    std::uniform_real_distribution<double> y(reader.MinY() - dy, reader.MaxY() + dy);
    ShapeFileShape shape;
    for (int i = 0; i < 3000; ++i) {
      lats.push_back(y(random));
      lons.push_back(x(random));
      if (i % 5 == 0 && reader.ReadShape(static_cast<int32_t>(random() % reader.RecordCount()),
                                         shape) == 0 && !shape.points.empty()) {
        const ShapeFilePoint& p = shape.points[random() % shape.points.size()];
        lats.back() = p.y;
        lons.back() = p.x;
      }
    }
    lats.push_back(NAN);
    lons.push_back(lons[0]);
    EXPECT_EQ(Call("OpenShapeFile=" + base + ".shp;").status, 0);
    return base + ".shp";
  }

  ScratchDir dir_;
  ScopedConfigFile config_{dir_.File("config")};
};

// Each record the batch gives, read with zruShapeAttributes, is the
// entry's answer for that point; -1 where the entry answers nothing.
TEST_F(PointInShapeBatch, AnswersAsTheEntryPointByPoint) {
  const struct {
    const char* set;
    const char* fields;
  } sets[] = {
      {"samples/naturalearth/naturalearth_lowres", "name,iso_a3"},
      {"tests/data/shapes/real/nybb", nullptr},
  };
  for (const char* config : {"ZRUtils/FileMapShapeFiles=Yes\n", "ZRUtils/FileMapShapeFiles=No\n"}) {
    WriteWholeFile(dir_.File("config"), config);
    for (const auto& set : sets) {
      SCOPED_TRACE(std::string(set.set) + " " + config);
      std::vector<double> lats, lons;
      const std::string file = Open(set.set, lats, lons);
      std::vector<int> records(lats.size(), -7);
      ASSERT_EQ(zruPointInShapeBatch(file.c_str(), lats.data(), lons.data(),
                                     static_cast<int>(lats.size()), records.data()),
                0);
      int found = 0, wrong = 0;
      for (size_t i = 0; i < lats.size(); ++i) {
        char at[96];
        snprintf(at, sizeof at, "LatLong=%.17g,%.17g;", lats[i], lons[i]);
        const Result entry = Call("ShapeFile=" + file + ";" + at +
                                  (set.fields != nullptr ? "Fields=" + std::string(set.fields) + ";" : ""));
        Result batch{0, ""};
        if (records[i] >= 0) {
          batch = Attributes(file, records[i], set.fields);
          ++found;
        }
        if ((entry.status != batch.status || entry.answer != batch.answer) && ++wrong <= 5) {
          ADD_FAILURE() << at << " entry " << entry.status << " " << entry.answer << ", batch "
                        << records[i] << " " << batch.answer;
        }
      }
      EXPECT_EQ(wrong, 0);
      EXPECT_GT(found, 300);
      EXPECT_EQ(records.back(), -1);  // the NaN
      EXPECT_EQ(Call("CloseShapeFile=" + file + ";").status, 0);
    }
  }
}

TEST_F(PointInShapeBatch, BadArgumentsGiveTheEntryCodes) {
  std::vector<double> lats, lons;
  const std::string file = Open("samples/naturalearth/naturalearth_lowres", lats, lons);
  const double lat = 51.507222, lon = -0.1275;
  int record = -7;
  EXPECT_EQ(zruPointInShapeBatch(nullptr, &lat, &lon, 1, &record), -1);
  EXPECT_EQ(zruPointInShapeBatch("", &lat, &lon, 1, &record), -1);
  EXPECT_EQ(zruPointInShapeBatch(file.c_str(), &lat, &lon, -1, &record), -2);
  EXPECT_EQ(zruPointInShapeBatch(file.c_str(), nullptr, &lon, 1, &record), -2);
  EXPECT_EQ(zruPointInShapeBatch(file.c_str(), &lat, &lon, 1, nullptr), -2);
  EXPECT_EQ(zruPointInShapeBatch(file.c_str(), nullptr, nullptr, 0, nullptr), 0);
  EXPECT_EQ(zruPointInShapeBatch("unopened.shp", &lat, &lon, 1, &record), 28021);
  EXPECT_EQ(record, -7);
  ASSERT_EQ(zruPointInShapeBatch(file.c_str(), &lat, &lon, 1, &record), 0);
  ASSERT_GE(record, 0);

  const struct {
    const char* file;
    int record;
    const char* fields;
    int size, status;
    std::string answer;
  } cases[] = {
      {file.c_str(), record, "name", 100, 0, "United Kingdom"},
      {file.c_str(), record, "name,nothing", 100, 28020, "ERR_SHAPEFILE_NO_SUCH_FIELD"},
      {file.c_str(), record, "name", 5, -6, "Buffe"},
      {file.c_str(), -1, "name", 100, 28007, "ERR_SHAPEFILE_INVALID_RECORD_NUM"},
      {file.c_str(), 1000000, "name", 100, 28007, "ERR_SHAPEFILE_INVALID_RECORD_NUM"},
      {"unopened.shp", 0, "name", 100, 28021, "ERR_SHAPEFILE_NOT_OPEN"},
      {"", 0, "name", 100, -1, "ShapeFile not provided"},
  };
  for (const auto& c : cases) {
    const Result r = Attributes(c.file, c.record, c.fields, c.size);
    EXPECT_EQ(r.status, c.status) << c.file << " " << c.record << " " << c.fields;
    EXPECT_EQ(r.answer, c.answer) << c.file << " " << c.record << " " << c.fields;
  }
  EXPECT_EQ(zruShapeAttributes(file.c_str(), record, "name", nullptr, 10), -2);
  // Closed, the file is no longer there for either.
  EXPECT_EQ(Call("CloseShapeFile=" + file + ";").status, 0);
  EXPECT_EQ(zruPointInShapeBatch(file.c_str(), &lat, &lon, 1, &record), 28021);
  EXPECT_EQ(Attributes(file, 0, "name").status, 28021);
}

// Threads batch and read attributes of one file at once, each getting the
// single thread's answers.
TEST_F(PointInShapeBatch, ConcurrencyOfBatchesAndAttributes) {
  std::vector<double> lats, lons;
  const std::string file = Open("samples/naturalearth/naturalearth_lowres", lats, lons);
  const int count = static_cast<int>(lats.size());
  std::vector<int> expected(lats.size());
  ASSERT_EQ(zruPointInShapeBatch(file.c_str(), lats.data(), lons.data(), count, expected.data()), 0);
  std::vector<std::string> names(expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    if (expected[i] >= 0) names[i] = Attributes(file, expected[i], "name").answer;
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<int> records(expected.size());
      for (int round = 0; round < 3; ++round) {
        if (zruPointInShapeBatch(file.c_str(), lats.data(), lons.data(), count, records.data()) != 0 ||
            records != expected) {
          ++failures[t];
        }
        for (size_t i = static_cast<size_t>(t); i < expected.size(); i += 16)
          if (expected[i] >= 0 && Attributes(file, expected[i], "name").answer != names[i]) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(Call("CloseShapeFile=" + file + ";").status, 0);
}

}  // namespace
