// The open shape-file registry under real threads: shared first opens, a
// failing opener with waiters, closes while in use, the closer thread, and
// a stress of all of them at once.
#include "spatial/shape_file_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/zrutils.h"
#include "foundation/thread.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

struct Result {
  int status;
  std::string answer;
};

Result Call(const std::string& parameters) {
  std::vector<char> buffer(parameters.size() + 257);
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  Result result;
  result.status = zruPointInShape(buffer.data(), 256);
  result.answer = buffer.data();
  return result;
}

// Waits (in small steps, up to a generous bound) until done() holds.
template <class F>
bool Eventually(F done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

int32_t UsageOf(const std::string& name) {
  for (const ShapeFileSnapshot& e : SnapshotShapeFilesForTesting())
    if (e.name == name) return e.usageCount;
  return -1;
}

// What the open hook does: count calls; optionally hold the opener until
// the expected waiters are waiting, then fail or throw.
std::atomic<int> hookCalls{0};
std::atomic<int> hookWaiters{0};
std::atomic<int> hookResult{0};
std::atomic<bool> hookThrows{false};

int OpenHook(const std::string& name) {
  hookCalls += 1;
  if (hookWaiters > 0) Eventually([&] { return UsageOf(name) == 1 + hookWaiters; });
  if (hookThrows) throw std::runtime_error("opener failed");
  return hookResult;
}

class ShapeFileRegistry : public testing::Test {
 protected:
  void SetUp() override {
    setenv("MORVEL_CONFIG_FILE", dir_.File("none").c_str(), 1);
    name_ = dir_.File("squares.shp");
    WriteShapeSet(dir_.File("squares"), 5,
                  {MakePolygon({RectangleRing(10, 40, 12, 42)}),
                   MakePolygon({RectangleRing(12, 40, 14, 42)})});
    hookCalls = 0;
    hookWaiters = 0;
    hookResult = 0;
    hookThrows = false;
  }
  void TearDown() override {
    SetShapeFileOpenHookForTesting(nullptr);
    SetShapeFileCloserPauseForTesting(30000);
    unsetenv("MORVEL_CONFIG_FILE");
    EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  }

  std::string Query() const { return "ShapeFile=" + name_ + ";LatLong=41,13;"; }

  ScratchDir dir_;
  std::string name_;
};

// Four first opens at once share one call of the opener, which waits until
// the three others wait for it, then succeeds, fails or throws.
TEST_F(ShapeFileRegistry, FailingOpenerReleasesItsWaitersConcurrency) {
  SetShapeFileOpenHookForTesting(OpenHook);
  const struct { const char* what; int result; bool throws; int expected; } cases[] = {
      {"opener succeeds", 0, false, 0},
      {"opener fails", ERR_SHAPEFILE_READ, false, ERR_SHAPEFILE_READ},
      {"opener throws", ERR_SHAPEFILE_READ, true, ERR_SHAPEFILE_OUT_OF_MEMORY}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    hookCalls = 0;
    hookWaiters = 3;
    hookResult = c.result;
    hookThrows = c.throws;
    std::vector<std::thread> threads;
    std::vector<Result> results(4);
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] { results[t] = Call("OpenShapeFile=" + name_ + ";"); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(hookCalls, 1);
    for (const Result& r : results) EXPECT_EQ(r.status, c.expected);
    if (c.expected == 0) {
      std::vector<ShapeFileSnapshot> entries = SnapshotShapeFilesForTesting();
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(entries[0].state, Open);
      EXPECT_EQ(entries[0].openCount, 4);
      EXPECT_EQ(entries[0].usageCount, 0);
      EXPECT_EQ(Call(Query()).answer, "shape1");
      for (int t = 0; t < 4; ++t) Call("CloseShapeFile=" + name_ + ";");
    }
    EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
    // Nothing is left "Opening": a later open calls the opener again.
    hookWaiters = 0;
    hookResult = 0;
    hookThrows = false;
    ASSERT_EQ(Call("OpenShapeFile=" + name_ + ";").status, 0);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(Call(Query()).answer, "shape1");
    Call("CloseShapeFile=" + name_ + ";");
  }
}

TEST_F(ShapeFileRegistry, CloseWhileInUseKeepsTheEntry) {
  ASSERT_EQ(Call("OpenShapeFile=" + name_ + ";").status, 0);
  {
    // A call in progress holds a usage, as a query does while it searches.
    std::vector<ShapeFileUse> acquired(1);
    DecrementUsageCountsWhenFinished guard(acquired);
    std::string error;
    ASSERT_EQ(AcquireShapeFile(acquired[0], name_.c_str(), error, OpenPafReadFile, false, -1), 0);
    Call("CloseShapeFile=" + name_ + ";");
    std::vector<ShapeFileSnapshot> entries = SnapshotShapeFilesForTesting();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].openCount, 0);
    EXPECT_EQ(entries[0].usageCount, 1);
    EXPECT_EQ(Call(Query()).answer, "shape1");
    // Nor does the closer take a file in use, however old its last use.
    EXPECT_TRUE(CloseIdleShapeFiles(ShapeFileClockSeconds() + 1000));
    EXPECT_EQ(SnapshotShapeFilesForTesting().size(), 1u);
  }
  EXPECT_EQ(UsageOf(name_), 0);
  EXPECT_EQ(Call(Query()).answer, "shape1");
  Call("OpenShapeFile=" + name_ + ";");
  Call("CloseShapeFile=" + name_ + ";");
}

TEST_F(ShapeFileRegistry, CloserClosesIdleFiles) {
  ASSERT_EQ(Call("OpenShapeFile=" + name_ + ";").status, 0);
  const int64_t now = ShapeFileClockSeconds();
  EXPECT_TRUE(CloseIdleShapeFiles(now + 60));  // not older than 60 s yet
  EXPECT_EQ(Call(Query()).answer, "shape1");  // a query is a use
  EXPECT_EQ(SnapshotShapeFilesForTesting().size(), 1u);
  EXPECT_TRUE(CloseIdleShapeFiles(ShapeFileClockSeconds() + 61));
  EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  EXPECT_EQ(Call(Query()).status, 28021);
  EXPECT_FALSE(CloseIdleShapeFiles(now));  // empty registry

  // The thread procedure itself, with short pauses and the clock moved on
  // 90 s instead of waiting: it closes the file, then ends on an empty pass.
  SetShapeFileCloserPauseForTesting(10);
  ASSERT_EQ(Call("OpenShapeFile=" + name_ + ";").status, 0);
  ZRThread closer;
  ASSERT_EQ(closer.CreateNewThread(ShapeFileCloserThreadProc, nullptr), 0);
  closer.DetachThread();
  ASSERT_TRUE(Eventually([] { return ShapeFileCloserRunning(); }));
  // A second start while one runs returns at once.
  EXPECT_EQ(ShapeFileCloserThreadProc(nullptr), nullptr);
  EXPECT_EQ(Call(Query()).answer, "shape1");
  ShiftShapeFileClockForTesting(90);
  EXPECT_TRUE(Eventually([] { return SnapshotShapeFilesForTesting().empty(); }));
  EXPECT_TRUE(Eventually([] { return !ShapeFileCloserRunning(); }));
  EXPECT_EQ(Call(Query()).status, 28021);
  // After it ended, it may be started again; on an empty registry it ends
  // at its first pass.
  ShapeFileCloserThreadProc(nullptr);
  EXPECT_FALSE(ShapeFileCloserRunning());
}

// Eight threads open, query and close three files in random order while
// the closer thread runs with short pauses and another thread sweeps idle
// files outright.
TEST_F(ShapeFileRegistry, StressOfOpensQueriesClosesAndCloserConcurrency) {
  std::vector<std::string> names;
  for (int f = 0; f < 3; ++f) {
    CopyShapeSet(dir_.File("squares"), dir_.File("set" + std::to_string(f)));
    names.push_back(dir_.File("set" + std::to_string(f) + ".shp"));
    ASSERT_EQ(Call("OpenShapeFile=" + names.back() + ";").status, 0);  // builds the index
    Call("CloseShapeFile=" + names.back() + ";");
  }
  // The sweeper keeps a closer running (started as hosts start it), moves
  // the clock on so that its passes find files idle, and sweeps idle files
  // itself as well.
  SetShapeFileCloserPauseForTesting(3);
  std::atomic<bool> stop{false};
  std::thread sweeper([&] {
    while (!stop) {
      if (!ShapeFileCloserRunning()) {
        ZRThread closer;
        if (closer.CreateNewThread(ShapeFileCloserThreadProc, nullptr) == 0) closer.DetachThread();
      }
      ShiftShapeFileClockForTesting(61);
      CloseIdleShapeFiles(ShapeFileClockSeconds());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      for (int i = 0; i < 300; ++i) {
        const std::string& name = names[random() % names.size()];
        switch (random() % 4) {
          case 0:
            if (Call("OpenShapeFile=" + name + ";").status != 0) wrong += 1;
            break;
          case 1:
            Call("CloseShapeFile=" + name + ";");
            break;
          default: {
            Result r = Call("ShapeFile=" + name + ";LatLong=41,11;");
            if (!(r.status == 0 && r.answer == "shape0") && r.status != 28021) wrong += 1;
          }
        }
      }
    });
  for (auto& thread : threads) thread.join();
  stop = true;
  sweeper.join();
  EXPECT_EQ(wrong, 0);
  for (const ShapeFileSnapshot& e : SnapshotShapeFilesForTesting()) {
    EXPECT_EQ(e.usageCount, 0) << e.name;
    EXPECT_EQ(e.state, Open) << e.name;
  }
  CloseIdleShapeFiles(ShapeFileClockSeconds() + 1000);
  EXPECT_TRUE(SnapshotShapeFilesForTesting().empty());
  EXPECT_TRUE(Eventually([] { return !ShapeFileCloserRunning(); }));
}

}  // namespace
