// zruPointInShape as a host sees it: the library loaded with dlopen, the
// Natural Earth 110 m countries opened, queried and closed, answers compared
// with GEOS's (tools/gen_point_in_shape_oracle.py), and many threads at once.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

using Entry = int (*)(char*, int);

struct Expected {
  double latitude, longitude;
  std::string answer;  // "name|iso_a3", or "" for no country
  double metres;       // distance to the edge, or NAN when not computed
};

std::vector<Expected> LoadAnswers() {
  std::ifstream in(ZRU_SOURCE_DIR "/tests/data/spatial/naturalearth_answers.tsv",
                   std::ios::binary);
  std::vector<Expected> answers;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() != 5) continue;
    answers.push_back({strtod(cells[0].c_str(), nullptr), strtod(cells[1].c_str(), nullptr),
                       cells[2].empty() ? "" : cells[2] + "|" + cells[3],
                       cells[4] == "-" ? NAN : strtod(cells[4].c_str(), nullptr)});
  }
  return answers;
}

class SpatialHost : public testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(ZRU_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    entry_ = reinterpret_cast<Entry>(dlsym(handle_, "zruPointInShape"));
    ASSERT_NE(entry_, nullptr);
    ASSERT_NE(dlsym(handle_, "ShapeFileCloserThreadProc"), nullptr);
    setenv("MORVEL_CONFIG_FILE", dir_.File("config").c_str(), 1);
    CopyShapeSet(ZRU_SOURCE_DIR "/samples/naturalearth/naturalearth_lowres", dir_.File("countries"));
    countries_ = dir_.File("countries.shp");
  }
  void TearDown() override {
    unsetenv("MORVEL_CONFIG_FILE");
    if (handle_ != nullptr) dlclose(handle_);
  }

  int Call(const std::string& parameters, std::string& answer) const {
    char buffer[1024];
    snprintf(buffer, sizeof buffer, "%s", parameters.c_str());
    const int status = entry_(buffer, sizeof buffer - 1);
    answer = buffer;
    return status;
  }

  static std::string Point(const Expected& e) {
    char text[80];
    snprintf(text, sizeof text, "LatLong=%.17g,%.17g;", e.latitude, e.longitude);
    return text;
  }

  void* handle_ = nullptr;
  Entry entry_ = nullptr;
  ScratchDir dir_;
  std::string countries_;
};

TEST_F(SpatialHost, NaturalEarthAnswersMatchGeos) {
  const std::vector<Expected> answers = LoadAnswers();
  ASSERT_GT(answers.size(), 3000u);
  std::string answer;
  // Memory-mapped, then read through the stream.
  for (const char* mode : {"Yes", "No"}) {
    SCOPED_TRACE(mode);
    WriteWholeFile(dir_.File("config"), std::string("ZRUtils/FileMapShapeFiles=") + mode + "\n");
    ASSERT_EQ(Call("IndexPrecision=1;OpenShapeFile=" + countries_ + ";", answer), 0) << answer;
    int wrong = 0, distances = 0;
    for (const Expected& e : answers) {
      const bool distance = !std::isnan(e.metres);
      const std::string query = "ShapeFile=" + countries_ + ";" + Point(e) +
                                "Fields=name,iso_a3;" + (distance ? "Distance=True;" : "");
      ASSERT_EQ(Call(query, answer), 0) << query << " " << answer;
      std::string names = answer;
      if (distance) {
        const size_t bar = answer.rfind('|');
        ASSERT_NE(bar, std::string::npos) << answer;
        names = answer.substr(0, bar);
        const double metres = atof(answer.c_str() + bar + 1);
        // Whole metres, truncated; the oracle's nearest point comes from
        // GEOS and its distance from the haversine formula.
        EXPECT_NEAR(metres, e.metres, 2.0 + e.metres * 1e-6) << query;
        distances += 1;
      }
      if (names != e.answer && ++wrong <= 10) {
        ADD_FAILURE() << query << " answered '" << names << "', GEOS '" << e.answer << "'";
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(distances, 20);
    ASSERT_EQ(Call("CloseShapeFile=" + countries_ + ";", answer), 0);
    EXPECT_EQ(Call("ShapeFile=" + countries_ + ";" + Point(answers[0]), answer), 28021);
    EXPECT_EQ(answer, "ERR_SHAPEFILE_NOT_OPEN");
  }
}

TEST_F(SpatialHost, FailedOpenWhileOthersWaitConcurrency) {
  const std::string missing = dir_.File("later.shp");
  std::vector<int> statuses(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::string answer;
      statuses[t] = Call("OpenShapeFile=" + missing + ";", answer);
    });
  for (auto& thread : threads) thread.join();
  for (int status : statuses) EXPECT_EQ(status, statuses[0]);
  EXPECT_NE(statuses[0], 0);
  std::string answer;
  EXPECT_EQ(Call("ShapeFile=" + missing + ";LatLong=51.5,-0.1;", answer), 28021);
  CopyShapeSet(dir_.File("countries"), dir_.File("later"));
  ASSERT_EQ(Call("IndexPrecision=1;OpenShapeFile=" + missing + ";", answer), 0) << answer;
  EXPECT_EQ(Call("ShapeFile=" + missing + ";LatLong=51.5,-0.1;Fields=iso_a3;", answer), 0);
  EXPECT_EQ(answer, "GBR");
  EXPECT_EQ(Call("CloseShapeFile=" + missing + ";", answer), 0);
}

// Eight threads open two copies of the set, query them and close them
// again in a loop; opens and closes of one name overlap, so files are
// closed and reopened under running queries. Every answer is GEOS's or,
// when the file was just closed, "ERR_SHAPEFILE_NOT_OPEN".
TEST_F(SpatialHost, ThreadsOpenQueryAndCloseConcurrency) {
  CopyShapeSet(dir_.File("countries"), dir_.File("copy"));
  const std::string names[] = {countries_, dir_.File("copy.shp")};
  std::string answer;
  for (const std::string& name : names) {  // build both indexes first
    ASSERT_EQ(Call("IndexPrecision=1;OpenShapeFile=" + name + ";", answer), 0) << answer;
    ASSERT_EQ(Call("CloseShapeFile=" + name + ";", answer), 0);
  }
  std::vector<Expected> answers = LoadAnswers();
  answers.resize(400);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::string reply;
      for (int round = 0; round < 6; ++round) {
        const std::string& name = names[(t + round) % 2];
        if (Call("OpenShapeFile=" + name + ";", reply) != 0) wrong += 1;
        for (size_t i = static_cast<size_t>(t * 7 + round); i < answers.size(); i += 9) {
          const int status =
              Call("ShapeFile=" + names[i % 2] + ";" + Point(answers[i]) + "Fields=name,iso_a3;",
                   reply);
          if (!(status == 0 && reply == answers[i].answer) && status != 28021) wrong += 1;
        }
        Call("CloseShapeFile=" + name + ";", reply);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  // A close that met a query in progress leaves its entry registered with
  // no opens; one more open and close pair closes it.
  for (const std::string& name : names) {
    ASSERT_EQ(Call("OpenShapeFile=" + name + ";", answer), 0);
    ASSERT_EQ(Call("CloseShapeFile=" + name + ";", answer), 0);
    EXPECT_EQ(Call("ShapeFile=" + name + ";" + Point(answers[0]), answer), 28021) << name;
  }
}

}  // namespace
