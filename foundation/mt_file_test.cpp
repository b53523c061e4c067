#include "foundation/mt_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"

namespace {

// A byte pattern with no short period, so a read from the wrong offset
// cannot pass for the right one.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

// The four ways of holding a file, the caller's block included.
enum class Mode { kStream, kLoaded, kMapped, kExternal };

std::string ModeName(const testing::TestParamInfo<Mode>& info) {
  const char* names[] = {"Stream", "Loaded", "Mapped", "External"};
  return names[static_cast<int>(info.param)];
}

int OpenIn(Mode mode, MTFile& file, const std::string& path, const std::string& bytes) {
  char error[256];
  switch (mode) {
    case Mode::kStream: return file.Open(path.c_str(), OpenPafReadFile, nullptr, error, 256);
    case Mode::kLoaded: return file.Open(path.c_str(), OpenPafLoadIntoMemory, nullptr, error, 256);
    case Mode::kMapped: return file.Open(path.c_str(), OpenPafFileMap, nullptr, error, 256);
    case Mode::kExternal: file.SetMemoryLocation("block", bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  return 0;
}

class MTFileModes : public testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    bytes_ = Pattern(kSize);
    path_ = dir_.File("pattern.bin");
    WriteWholeFile(path_, bytes_);
    ASSERT_EQ(OpenIn(GetParam(), file_, path_, bytes_), 0);
    ASSERT_EQ(file_.FileSize(), kSize);
  }

  static constexpr int32_t kSize = 1000;
  ScratchDir dir_;
  std::string path_, bytes_;
  MTFile file_;
};

TEST_P(MTFileModes, EveryModeAnswersTheSameReads) {
  constexpr int32_t kUntouched = -7;
  const struct {
    const char* what;
    int32_t offset, length;
    bool withBytesRead;
    int result;
    int32_t copied, bytesRead;  // bytes that must arrive, *bytesRead afterwards
  } cases[] = {
      {"middle", 100, 200, true, 0, 200, kUntouched},
      {"exact end", kSize - 4, 4, true, 0, 4, kUntouched},
      {"empty at end", kSize, 0, false, 0, 0, kUntouched},
      {"past end, no bytesRead", kSize - 4, 10, false, ERR_MTFILE_PAST_END, 0, kUntouched},
      {"past end, bytesRead", kSize - 4, 10, true, 0, 4, 4},
      {"offset beyond size, bytesRead", kSize + 1, 1, true, ERR_MTFILE_BAD_RANGE, 0, kUntouched},
      {"offset beyond size, no bytesRead", kSize + 1, 1, false, ERR_MTFILE_PAST_END, 0, kUntouched},
      {"negative offset", -1, 4, true, ERR_MTFILE_BAD_RANGE, 0, kUntouched},
      {"negative length", 10, -5, true, ERR_MTFILE_BAD_RANGE, 0, kUntouched},
      // offset + length wraps in 32 bits.
      {"sum wraps", 10, INT32_MAX, false, ERR_MTFILE_PAST_END, 0, kUntouched},
      {"sum wraps, bytesRead", 10, INT32_MAX, true, 0, kSize - 10, kSize - 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char> destination(kSize + 16, '\x5a');
    int32_t bytesRead = kUntouched;
    const int result = file_.Read(destination.data(), c.offset, c.length,
                                  c.withBytesRead ? &bytesRead : nullptr);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(bytesRead, c.bytesRead);
    if (c.copied > 0) {
      EXPECT_EQ(std::string(destination.data(), c.copied), bytes_.substr(c.offset, c.copied));
    }
    for (size_t i = c.copied; i < destination.size(); ++i)
      ASSERT_EQ(destination[i], '\x5a') << "byte written at " << i;
  }
  file_.Close();
  char byte;
  EXPECT_EQ(file_.Read(&byte, 0, 1, nullptr), ERR_MTFILE_NOT_OPEN);
}

const auto kAllModes = testing::Values(Mode::kStream, Mode::kLoaded, Mode::kMapped, Mode::kExternal);
INSTANTIATE_TEST_SUITE_P(AllModes, MTFileModes, kAllModes, ModeName);

class MTFileConcurrency : public MTFileModes {};

// 16 threads reading one object at random places must all get the pattern.
TEST_P(MTFileConcurrency, SixteenThreadsReadThePattern) {
  std::vector<std::thread> threads;
  std::vector<int> failures(16, 0);
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([this, t, &failures] {
      std::mt19937 random(t);
      std::vector<char> destination(kSize);
      for (int i = 0; i < 1500; ++i) {
        const int32_t offset = random() % kSize;
        const int32_t length = random() % 200;
        int32_t bytesRead = length;
        if (file_.Read(destination.data(), offset, length, &bytesRead) != 0 ||
            bytes_.compare(offset, bytesRead, destination.data(), bytesRead) != 0)
          ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(16, 0));
}

INSTANTIATE_TEST_SUITE_P(AllModes, MTFileConcurrency, kAllModes, ModeName);

// Error texts are cut to the caller's size (0: nothing written); every
// failure leaves the object closed; an empty file opens except mapped.
TEST(MTFile, OpenFailuresLeaveItClosed) {
  ScratchDir dir;
  const std::string missing = dir.File("missing"), empty = dir.File("empty");
  MTFile file;
  char error[256], small[8 + 1], none = 'x';
  EXPECT_EQ(file.Open(missing.c_str(), OpenPafReadFile, nullptr, error, sizeof error), ERR_MTFILE_OPEN);
  EXPECT_EQ(std::string(error), std::string(strerror(ENOENT)) + ". " + missing);
  memset(small, 'x', sizeof small);
  file.Open(missing.c_str(), OpenPafLoadIntoMemory, nullptr, small, 8);
  EXPECT_EQ(std::string(small), std::string(strerror(ENOENT)).substr(0, 7));
  EXPECT_EQ(small[8], 'x');
  file.Open(missing.c_str(), OpenPafFileMap, nullptr, &none, 0);
  EXPECT_EQ(none, 'x');

  WriteWholeFile(empty, "");
  EXPECT_EQ(file.Open(empty.c_str(), OpenPafFileMap, nullptr, error, 256), ERR_FILEMAP_MAP);
  EXPECT_FALSE(file.IsOpen());
  for (int type : {0, 1, 2, 17}) {
    EXPECT_EQ(file.Open(empty.c_str(), type, nullptr, nullptr, 0), 0) << type;
    EXPECT_EQ(file.FileSize(), 0);
  }
  EXPECT_EQ(file.Open(empty.c_str(), OpenPafNotSupported, nullptr, nullptr, 0), ERR_MTFILE_NOT_SUPPORTED);
  EXPECT_FALSE(file.IsOpen());
  file.SetMemoryLocation("block", nullptr, 10);
  EXPECT_FALSE(file.IsOpen());
}

TEST(MTFile, FilesOfTwoGiBAreRefused) {
  ScratchDir dir;
  const std::string big = dir.File("big");  // sparse: the size costs no disk
  const int descriptor = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(descriptor, 0);
  const bool sized = ftruncate(descriptor, int64_t{1} << 31) == 0;
  close(descriptor);
  if (!sized) GTEST_SKIP() << "no sparse files here";
  MTFile file;
  char error[256];
  for (int type : {1, 2, 3}) {
    EXPECT_EQ(file.Open(big.c_str(), type, nullptr, error, sizeof error), ERR_FILE_TOO_LARGE)
        << type;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(std::string(error), std::string(strerror(EFBIG)) + ". " + big);
  }
  FileMapping mapping;
  EXPECT_EQ(mapping.Open(big.c_str(), nullptr, FileMapReadOnly, nullptr), ERR_FILE_TOO_LARGE);
  EXPECT_FALSE(mapping.FileIsOpen());
}

// A short read from a file that shrank is an error, not success over stale bytes.
TEST(MTFile, StreamReadOfAShrunkFileIsNoSuccess) {
  ScratchDir dir;
  const std::string path = dir.File("shrinks");
  const std::string bytes = Pattern(4096);
  WriteWholeFile(path, bytes);
  MTFile stream, loaded;
  ASSERT_EQ(stream.Open(path.c_str(), OpenPafReadFile, nullptr, nullptr, 0), 0);
  ASSERT_EQ(loaded.Open(path.c_str(), OpenPafLoadIntoMemory, nullptr, nullptr, 0), 0);
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);
  std::vector<char> destination(2000);
  EXPECT_EQ(stream.Read(destination.data(), 0, 2000, nullptr), ERR_MTFILE_READ);
  EXPECT_EQ(stream.Read(destination.data(), 0, 1000, nullptr), 0);  // still usable
  EXPECT_EQ(loaded.Read(destination.data(), 0, 2000, nullptr), 0);  // its own copy
  EXPECT_EQ(std::string(destination.data(), 2000), bytes.substr(0, 2000));
}

// A failed map must not lose the file; after a good one the name is gone.
TEST(FileMapping, UnlinksOnlyAfterTheMappingSucceeded) {
  ScratchDir dir;
  const std::string empty = dir.File("empty"), full = dir.File("full");
  WriteWholeFile(empty, "");
  WriteWholeFile(full, "mapped bytes");
  FileMapping mapping;
  char error[6];
  EXPECT_EQ(mapping.Open(empty.c_str(), nullptr, FileMapReadOnly | FileMapUnlink, error,
                         sizeof error),
            ERR_FILEMAP_MAP);
  EXPECT_EQ(std::string(error), std::string(strerror(EINVAL)).substr(0, 5));
  EXPECT_EQ(ReadWholeFile(empty), "");  // still there

  ASSERT_EQ(mapping.Open(full.c_str(), nullptr, FileMapUnlink, nullptr), 0);
  EXPECT_EQ(ReadWholeFile(full), "<missing>");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mapping.GetMemoryPointer()), mapping.FileSize()),
            "mapped bytes");
  mapping.GetMemoryPointer()[0] = 'M';  // read-write without FileMapReadOnly
}

}  // namespace
