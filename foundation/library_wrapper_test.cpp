// Run-time loading against real shared libraries: the stand-in address-data
// library "libzrpaf.so" (found through the test program's run path), names
// that no loader finds, and the bounds of every message.
#include "foundation/library_wrapper.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/dynamic_library.h"
#include "spatial/paf_lib_wrapper.h"
#include "tests/test_support.h"

namespace {

// Whether the loader holds libzrpaf.so now, without loading it.
bool PafMapped() { return LibraryIsLoaded("libzrpaf.so"); }

// A wrapper with one required function, given by the test; when it is
// missing, error gets filler characters before its name (at most 254 in
// all, as the contract of LoadFunctions asks).
class TestWrapper : public LibraryWrapper {
 public:
  TestWrapper(const char* name, const char* required, size_t filler = 0)
      : LibraryWrapper(name), required_(required), filler_(filler) {}
  int loads = 0;

 protected:
  bool LoadFunctions(char* error) override {
    ++loads;
    if (ZRDLL::GetProc(Handle(), required_) != nullptr) return true;
    if (error != nullptr) {
      memset(error, 'f', filler_);
      strcpy(error + filler_, required_);
    }
    return false;
  }

 private:
  const char* required_;
  size_t filler_;
};

TEST(LibraryWrapper, LoadsOnceAndUnloadsForReal) {
  TestWrapper wrapper("libzrpaf.so", "pafOpenArfId");
  EXPECT_TRUE(wrapper.Unload());  // never loaded
  ASSERT_EQ(wrapper.Load(nullptr), 0);
  EXPECT_EQ(wrapper.Load(nullptr), 0);  // at once: nothing looked up again
  EXPECT_EQ(wrapper.loads, 1);
  EXPECT_TRUE(PafMapped());
  EXPECT_TRUE(wrapper.Unload());
  EXPECT_FALSE(wrapper.IsLoaded());
  EXPECT_FALSE(PafMapped());
}

// The failures' codes and messages, and their bounds: the message never
// passes 254 characters, whatever the loader or the subclass wrote.
TEST(LibraryWrapper, FailuresAnswerCodesAndBoundedMessages) {
  const std::string longName(70, 'n');
  struct Case {
    std::string name, required;
    size_t filler;
    int code;
    std::string message;  // "" for: the loader's text naming the library
  } cases[] = {
      {"libzrpaf.so", "noSuchFunction", 0, 991,
       "noSuchFunction function doesn't exist in libzrpaf.so"},
      {"libzrpaf.so", "noSuchFunction", 240, 991,
       std::string(240, 'f') + "noSuchFunction"},
      {"libzrpaf.so", "noSuchFunction", 230, 991,
       std::string(230, 'f') + "noSuchFunction function "},
      {"libnosuchlibrary.so", "x", 0, 990, ""},
      // Cut to 63 characters: the cut name is what the loader tries.
      {longName, "x", 0, 990, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.filler));
    TestWrapper wrapper(c.name.c_str(), c.required.c_str(), c.filler);
    char error[256];
    memset(error, 'z', sizeof error);
    EXPECT_EQ(wrapper.Load(error), c.code);
    EXPECT_FALSE(wrapper.IsLoaded());
    EXPECT_LE(strnlen(error, sizeof error), 254u);
    EXPECT_EQ(error[255], 'z');
    const std::string cut = c.name.substr(0, 63);
    EXPECT_STREQ(wrapper.Name(), cut.c_str());
    if (c.message.empty()) {
      const std::string text = error;
      EXPECT_NE(text.find(cut + ": cannot open shared object file"), std::string::npos) << text;
      EXPECT_EQ(text.substr(text.size() - cut.size() - 2), ". " + cut);
    } else {
      EXPECT_EQ(std::string(error).substr(0, c.message.size()), c.message);
    }
    EXPECT_EQ(wrapper.Load(nullptr), c.code);  // no message asked for
    EXPECT_FALSE(PafMapped());
  }
}

TEST(ZRDLL, FixNameAndGetErrorBounds) {
  dlerror();
  EXPECT_EQ(ZRDLL::FixNameAndLoad(std::string(250, 'b').c_str()), nullptr);
  EXPECT_EQ(dlerror(), nullptr);  // not even tried
  EXPECT_EQ(ZRDLL::FixNameAndLoad(std::string(249, 'b').c_str()), nullptr);
  char text[16];
  memset(text, 'z', sizeof text);
  ZRDLL::GetError(text, 10);  // the 249-character name's failure
  EXPECT_STREQ(text, "libbbbbbb");
  EXPECT_EQ(text[10], 'z');
  ZRDLL::GetError(text, 10);  // nothing failed since
  EXPECT_STREQ(text, "");
  text[0] = 'q';
  ZRDLL::GetError(text, 0);
  EXPECT_EQ(text[0], 'q');
  void* handle = ZRDLL::FixNameAndLoad("zrpaf");
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(ZRDLL::GetProc(handle, "pafGetAddressId"), nullptr);
  EXPECT_TRUE(ZRDLL::Unload(handle));
}

// Every required function bound, optional ones as the library has them,
// and none left pointing into a library that is gone.
TEST(PafLibWrapper, BindsRequiredAndOptionalFunctions) {
  PafLibWrapper paf;
  char error[256];
  ASSERT_EQ(paf.Load(error), 0) << error;
#define ZRU_EXPECT_BOUND(name, type) EXPECT_NE(paf.paf##name, nullptr) << #name;
  ZRU_PAF_REQUIRED_FUNCTIONS(ZRU_EXPECT_BOUND)
#undef ZRU_EXPECT_BOUND
  EXPECT_NE(paf.pafReadBorderRecord, nullptr);
  EXPECT_NE(paf.pafGetNextAddressSearch, nullptr);
  EXPECT_EQ(paf.pafBeginPolygonSearch, nullptr);
  EXPECT_EQ(paf.pafGetSearchStatistics, nullptr);
  EXPECT_TRUE(paf.Unload());
  EXPECT_EQ(paf.pafGetAddressId, nullptr);
  EXPECT_EQ(paf.pafReadBorderRecord, nullptr);
  EXPECT_FALSE(PafMapped());
}

}  // namespace
