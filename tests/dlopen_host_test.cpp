// A host program that knows the library only by its file name: it loads it
// with dlopen, finds the entry points by name and drives lists end to end.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"

namespace {

using Entry = int (*)(char*, int);

class LoadedLibrary : public testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(ZRU_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    for (auto [name, entry] : {std::pair{"zruOpenList", &open_},
                               std::pair{"zruSearchList", &search_},
                               std::pair{"zruCloseList", &close_}}) {
      *entry = reinterpret_cast<Entry>(dlsym(handle_, name));
      ASSERT_NE(*entry, nullptr) << name;
    }
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }

  static std::string Call(Entry entry, const std::string& parameters, int* status) {
    char buffer[512];
    snprintf(buffer, sizeof buffer, "%s", parameters.c_str());
    *status = entry(buffer, sizeof buffer - 1);
    return buffer;
  }

  void* handle_ = nullptr;
  Entry open_ = nullptr, search_ = nullptr, close_ = nullptr;
};

TEST_F(LoadedLibrary, ListsEndToEnd) {
  ScratchDir dir;
  const std::string path = dir.File("streets.txt");
  WriteWholeFile(path, "1\tHigh Street\n2\tMill Lane\n");
  int status;
  const std::string h = Call(open_, "File=" + path, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(Call(search_, h + "\tMill Lane", &status), "2\tMill Lane\t");
  EXPECT_EQ(Call(search_, h + "\tChurch Road\tInsertOnNotFound", &status),
            "3\tChurch Road\tNew");
  EXPECT_EQ(Call(close_, h + "\tFile=" + path, &status), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadWholeFile(path), "3\tChurch Road\n1\tHigh Street\n2\tMill Lane\n");
}

TEST_F(LoadedLibrary, ThreadsShareOneNamedListConcurrency) {
  ScratchDir dir;
  const std::string path = dir.File("shared.txt");
  constexpr int kThreads = 4, kTexts = 200;
  WriteWholeFile(path, "");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      int status;
      const std::string h = Call(open_, "Name=shared\tFile=" + path, &status);
      for (int i = 0; i < kTexts; ++i)
        Call(search_, h + "\ttext " + std::to_string(i) + "\tInsertOnNotFound",
             &status);
      Call(close_, h + "\tFile=" + path, &status);
      EXPECT_EQ(status, 0);
    });
  for (auto& thread : threads) thread.join();
  // Every text once, identifiers 1 to kTexts each once.
  const std::string contents = ReadWholeFile(path);
  std::vector<int> ids(kTexts + 1, 0);
  size_t lines = 0;
  for (size_t start = 0; start < contents.size(); ++lines) {
    const size_t end = contents.find('\n', start);
    ++ids.at(static_cast<size_t>(std::stoi(contents.substr(start, end - start))));
    start = end + 1;
  }
  EXPECT_EQ(lines, static_cast<size_t>(kTexts));
  for (int id = 1; id <= kTexts; ++id) EXPECT_EQ(ids[static_cast<size_t>(id)], 1) << id;
}

}  // namespace
