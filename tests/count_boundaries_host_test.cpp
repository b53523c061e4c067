// zruCountBoundaries as a host sees it: libzrutils.so loaded with dlopen,
// and the address-data library found by libzrutils.so under its name
// "libzrpaf.so" on the loader's search path (LD_LIBRARY_PATH, set by CTest).
// Run again with a search path holding the incomplete stand-in (991) or
// none (990): ZRU_EXPECT_PAF_STATUS names the status expected then.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/test_support.h"

namespace {

using Entry = int (*)(char*, int);

class Host {
 public:
  Host() {
    handle_ = dlopen(ZRU_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << dlerror();
    if (handle_ != nullptr) entry_ = reinterpret_cast<Entry>(dlsym(handle_, "zruCountBoundaries"));
    EXPECT_NE(entry_, nullptr);
  }
  ~Host() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  int Call(const std::string& parameters, std::string& answer) const {
    char buffer[1024 + 1];
    snprintf(buffer, sizeof buffer, "%s", parameters.c_str());
    const int status = entry_(buffer, 1024);
    answer = buffer;
    return status;
  }

 private:
  void* handle_ = nullptr;
  Entry entry_ = nullptr;
};

bool PafMapped() { return LibraryIsLoaded("libzrpaf.so"); }

TEST(CountBoundariesHost, SampleArfEndToEnd) {
  if (getenv("ZRU_EXPECT_PAF_STATUS") != nullptr) GTEST_SKIP() << "a load-failure run";
  Host host;
  std::string answer;
  ASSERT_EQ(host.Call("Initialise;" ZRU_SOURCE_DIR "/samples/arf/sample.arf", answer), 0) << answer;
  const std::string id = answer;
  EXPECT_FALSE(id.empty());
  EXPECT_TRUE(PafMapped());
  EXPECT_EQ(host.Call("ARF=" ZRU_SOURCE_DIR "/samples/arf/sample.arf;GIF=Geo.Ward;Level=L;"
                      "LatLong=-27.4712,153.0281;",
                      answer),
            0);
  EXPECT_EQ(answer, "Ashford Green South East\t250\t32.3834");
  EXPECT_EQ(host.Call("Finalise;" + id, answer), 0);
  EXPECT_FALSE(PafMapped());
  EXPECT_EQ(host.Call("ARF=a;GIF=g;Level=L;LatLong=1,2;", answer), 990);
  EXPECT_EQ(answer, "Address-data library not initialised");
}

TEST(CountBoundariesLoadFailure, InitialiseAnswersTheLoaderFailure) {
  const char* expected = getenv("ZRU_EXPECT_PAF_STATUS");
  if (expected == nullptr) GTEST_SKIP() << "runs with a search path made for it";
  Host host;
  std::string answer;
  const int status = host.Call("Initialise", answer);
  EXPECT_EQ(status, atoi(expected));
  if (status == 991) {
    // The first missing function in the binding's order.
    EXPECT_EQ(answer, "pafReadPointRecord function doesn't exist in libzrpaf.so");
  } else {
    EXPECT_EQ(answer,
              "libzrpaf.so: cannot open shared object file: No such file or directory. "
              "libzrpaf.so");
  }
  EXPECT_FALSE(PafMapped());
  EXPECT_EQ(host.Call("ARF=a;GIF=g;Level=L;LatLong=1,2;", answer), 990);
  EXPECT_EQ(host.Call("Finalise", answer), 0);
}

}  // namespace
