// zruCountBoundaries through the stand-in address-data library, loaded by
// its name "libzrpaf.so" (the test program's run path finds it): parameter
// reading, loading and unloading with their counts, answers on ARFs whose
// contents the tests know, failures injected into every library call, a
// finalise during a slow query, and eight threads at once.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "api/zrutils.h"
#include "spatial/paf_library.h"
#include "tests/test_support.h"

namespace {

struct Result {
  int status;
  std::string answer;
};

// Calls the entry with a buffer of size + 1 bytes (or more, when the
// parameters are longer), and checks that nothing was written past it.
Result Call(const std::string& parameters, int size = 1024) {
  const size_t room = std::max(parameters.size(), static_cast<size_t>(size)) + 1;
  std::vector<char> buffer(room + 16, '\x7f');
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  Result result;
  result.status = zruCountBoundaries(buffer.data(), size);
  for (size_t i = room; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '\x7f') << "written past the buffer by " << parameters;
  }
  result.answer.assign(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(size) + 1));
  return result;
}

bool PafMapped() { return LibraryIsLoaded("libzrpaf.so"); }

// A test hook of the loaded stand-in, found through dlsym; the reference
// taken to find it is dropped at once (the entry's own keeps it loaded).
template <class F>
F PafHook(const char* name) {
  void* handle = dlopen("libzrpaf.so", RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) {
    ADD_FAILURE() << "libzrpaf.so is not loaded";
    return nullptr;
  }
  F hook = reinterpret_cast<F>(dlsym(handle, name));
  dlclose(handle);
  EXPECT_NE(hook, nullptr) << name;
  return hook;
}

int OpenArfCount() { return PafHook<int (*)()>("zrpafOpenArfCount")(); }
int LastMode() { return PafHook<int (*)()>("zrpafLastMode")(); }
std::string LastText(const char* name) {
  char text[256] = "";
  PafHook<void (*)(char*, int)>(name)(text, static_cast<int>(sizeof text));
  return text;
}
void UnterminatedDescriptions(int on) {
  PafHook<void (*)(int)>("zrpafSetUnterminatedDescriptions")(on);
}

// One test address: 42 fields (state, locality, postcode, street, then
// empty ones), its coordinates and its value of the code "Code".
std::string Address(const std::string& locality, const std::string& street, double latitude,
                    double longitude, const std::string& value) {
  std::string line = "QX|" + locality + "|9999|" + street;
  for (int field = 5; field <= 42; ++field) line += '|';
  char point[64];
  snprintf(point, sizeof point, "|%.6f|%.6f|", latitude, longitude);
  return line + point + value;
}

class CountBoundaries : public testing::Test {
 protected:
  void SetUp() override {
    setenv("MORVEL_CONFIG_FILE", dir_.File("config").c_str(), 1);
    ASSERT_EQ(PafInitCountForTesting(), 0);
  }
  void TearDown() override {
    while (PafInitCountForTesting() > 0) Call("Finalise");
    EXPECT_FALSE(PafMapped());
    unsetenv("MORVEL_CONFIG_FILE");
  }

  // Writes an ARF of the stand-in's format and answers its path.
  std::string WriteArf(const std::string& name, const std::vector<std::string>& addresses,
                       const std::string& directives = "",
                       const std::string& codes = "T.Latitude+Longitude;T.Code") {
    std::string text = "ZRPAF-ARF 1\ncodes " + codes + "\n" + directives + "records\n";
    for (const std::string& address : addresses) text += address + "\n";
    WriteWholeFile(dir_.File(name), text);
    return dir_.File(name);
  }

  std::string Query(const std::string& arf, const std::string& items) {
    return "ARF=" + arf + ";" + items;
  }

  ScratchDir dir_;
};

// The keys come in a fixed order; a key out of order or unknown ends the
// reading. Parameters are checked before the library is needed, so a
// query that passes them answers 990 here.
TEST_F(CountBoundaries, ParametersAreReadInTheirOrder) {
  const std::string missing = "Missing latitude or longitude parameter";
  const struct {
    const char* parameters;
    int status;
    const char* answer;
  } cases[] = {
      {"GIF=g;ARF=a;Level=L;LatLong=1,2;", -1, "Missing ARF parameter"},
      {"ARF=a;Level=L;LatLong=1,2;", -1, "Missing GIF parameter"},
      {"ARF=a;GIF=g;LatLong=1,2;Level=L;", -1, "Missing Level parameter"},
      {"ARF=a;GIF=g;Level=s;LatLong=1,2;", -1, "Level parameter must be S or L"},
      {"ARF=a;GIF=g;Level=L;LatLong=12;", -1, missing.c_str()},
      {"ARF=a;GIF=g;Level=L;LatLong=1,;", -1, missing.c_str()},
      {"ARF=a;GIF=g;Level=L;", -1, missing.c_str()},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Range=0;", -1, "Invalid Range parameter"},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Range=-5;", -1, "Invalid Range parameter"},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Range=nan;", -1, "Invalid Range parameter"},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Range=inf;", -1, "Invalid Range parameter"},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Boundary=x;All=TRUE;", -1,
       "'All' option incompatible with input boundary"},
      {"arf=a;gif=g;level=Street;latlong=1,2;", 990, kPafNotInitialised},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Foo=1;Boundary=x;All=True;", 990, kPafNotInitialised},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;All=True;Boundary=x;", 990, kPafNotInitialised},
      {"ARF=a;GIF=g;Level=L;LatLong=1,2;Range=0.5;", 990, kPafNotInitialised},
  };
  for (const auto& c : cases) {
    const Result r = Call(c.parameters);
    EXPECT_EQ(r.status, c.status) << c.parameters;
    EXPECT_EQ(r.answer, c.answer) << c.parameters;
  }
}

// Nothing is called while the library is not initialised; a finalise
// without its initialise leaves no debt behind.
TEST_F(CountBoundaries, InitialiseAndFinaliseCount) {
  EXPECT_EQ(Call("Finalise;3").status, 990);
  EXPECT_EQ(Call("Finalise;3").answer, kPafNotInitialised);
  const Result unmatched = Call("finalise");
  EXPECT_EQ(unmatched.status, 0);
  EXPECT_EQ(unmatched.answer, "finalise");  // left as it came
  Call("Finalise");
  EXPECT_EQ(PafInitCountForTesting(), 0);

  EXPECT_EQ(Call("INITIALISE").status, 0);
  EXPECT_EQ(Call("Initialise").answer, "");
  EXPECT_EQ(PafInitCountForTesting(), 2);
  EXPECT_TRUE(PafMapped());
  EXPECT_EQ(Call("Finalise").status, 0);
  EXPECT_TRUE(PafMapped());
  EXPECT_EQ(Call("Finalise").status, 0);
  EXPECT_FALSE(PafMapped());
  EXPECT_EQ(PafInitCountForTesting(), 0);

  // An ARF opened by Initialise stays open until a Finalise names it; an
  // id the buffer cannot hold is not left open behind an empty answer.
  const std::string arf = WriteArf("a.arf", {Address("A", "S1", -30, 150, "x")});
  const Result opened = Call("INITIALISE;" + arf);
  ASSERT_EQ(opened.status, 0);
  EXPECT_EQ(opened.answer, std::to_string(atoi(opened.answer.c_str())));
  EXPECT_EQ(OpenArfCount(), 1);
  EXPECT_EQ(Call("Initialise;" + arf, 0).answer, "");
  EXPECT_EQ(OpenArfCount(), 1);
  EXPECT_EQ(Call("Initialise;" + dir_.File("none.arf")).answer, "");
  EXPECT_EQ(Call("Finalise;" + opened.answer).status, 0);
  EXPECT_EQ(OpenArfCount(), 0);
  EXPECT_EQ(PafInitCountForTesting(), 2);
}

// Answers on an ARF whose values the test chose: the nearest address's
// value or a given boundary, counted over its street (S) or locality (L);
// empty values count nowhere; "All" lists at most 10 values in byte order.
TEST_F(CountBoundaries, AnswersCountTheLocalityOrStreet) {
  std::vector<std::string> addresses = {
      Address("A", "S1", -30.0000, 150.0000, "x"), Address("A", "S1", -30.0010, 150.0000, "x"),
      Address("A", "S1", -30.0020, 150.0000, "y"), Address("A", "S1", -30.0030, 150.0000, ""),
      Address("A", "S2", -30.0040, 150.0000, "z"), Address("A", "S2", -30.0050, 150.0000, "x"),
      Address("C", "S6", -34.0000, 150.0000, ""),  Address("C", "S6", -34.0010, 150.0000, ""),
  };
  for (int i = 0; i <= 10; ++i) {
    addresses.push_back(Address("B", "S3", -31.0 - i * 0.001, 150, "v" + std::to_string(100 + i)));
    if (i < 10) addresses.push_back(Address("B", "S4", -32.0 - i * 0.001, 150, "w" + std::to_string(i)));
  }
  for (const char* value : {"b", "B", "a", "\xc3\xa9", "Z", "a"}) {
    addresses.push_back(Address("D", "S5", -33.0, 150.0, value));
  }
  const std::string arf = WriteArf("t.arf", addresses);
  ASSERT_EQ(Call("Initialise").status, 0);
  std::string w, wCounts, wPercents;
  for (int i = 0; i < 10; ++i) {
    w += (i ? "," : "") + ("w" + std::to_string(i));
    wCounts += i ? ",1" : "1";
    wPercents += i ? ",10.0000" : "10.0000";
  }
  const struct {
    std::string items;
    std::string answer;
  } cases[] = {
      {"GIF=Code;Level=S;LatLong=-30,150;", "x\t2\t66.6667"},
      {"GIF=T.Code;Level=L;LatLong=-30,150;", "x\t3\t60.0000"},
      {"GIF=Code;Level=Lane;LatLong=-30,150;All=true;", "x,y,z\t3,1,1\t60.0000,20.0000,20.0000"},
      {"GIF=Code;Level=L;LatLong=-30,150;Boundary=z;", "z\t1\t20.0000"},
      {"GIF=Code;Level=L;LatLong=-30,150;Boundary=q;", "q\t0\t0.0000"},
      {"GIF=Code;Level=S;LatLong=-31,150;All=True;", "v100\t1\t9.0909"},  // 11 values
      {"GIF=Code;Level=S;LatLong=-32,150;All=True;", w + "\t" + wCounts + "\t" + wPercents},
      {"GIF=Code;Level=S;LatLong=-33,150;All=True;",
       "B,Z,a,b,\xc3\xa9\t1,1,2,1,1\t16.6667,16.6667,33.3333,16.6667,16.6667"},
      {"GIF=Code;Level=S;LatLong=-34,150;", "\t0\t"},
      {"GIF=Code;Level=S;LatLong=-34,150;All=True;", "\t\t"},
      {"GIF=Code;Level=S;LatLong=-30.0009,150;Range=200;", "x\t2\t66.6667"},
  };
  for (const auto& c : cases) {
    const Result r = Call(Query(arf, c.items));
    EXPECT_EQ(r.status, 0) << c.items << ": " << r.answer;
    EXPECT_EQ(r.answer, c.answer) << c.items;
  }
  EXPECT_EQ(OpenArfCount(), 0);

  // The library receives the codes to set and the range ("2000" unless
  // given), and its own failures come back with its description.
  Call(Query(arf, "GIF=Code;Level=S;LatLong=-30,150;"));
  EXPECT_EQ(LastText("zrpafLastCodes"), "T.Latitude+Longitude,Code");
  EXPECT_EQ(LastText("zrpafLastRange"), "2000");
  const Result far = Call(Query(arf, "GIF=Code;Level=S;LatLong=-30.5,150;Range=150;"));
  EXPECT_EQ(LastText("zrpafLastRange"), "150");
  EXPECT_EQ(far.status, 6);
  EXPECT_EQ(far.answer, "No address within the search range");
  const Result unknown = Call(Query(arf, "GIF=Colour;Level=S;LatLong=-30,150;"));
  EXPECT_EQ(unknown.status, 5);
  EXPECT_EQ(unknown.answer, "Unknown geographical code");
  EXPECT_EQ(OpenArfCount(), 0);

  // An answer of size characters or more is replaced by the empty text.
  const std::string items = "GIF=Code;Level=L;LatLong=-30,150;All=True;";
  const size_t length = strlen("x,y,z\t3,1,1\t60.0000,20.0000,20.0000");
  const std::string parameters = Query(arf, items);
  std::vector<char> buffer(parameters.size() + 1);
  for (size_t size : {length, length + 1}) {
    memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
    EXPECT_EQ(zruCountBoundaries(buffer.data(), static_cast<int>(size)), 0);
    EXPECT_EQ(strlen(buffer.data()), size == length ? 0 : length);
  }
}

// The sample ARF, against counts made apart from the library (awk over
// the file): the wards of the locality of the address nearest the point.
TEST_F(CountBoundaries, SampleArfWards) {
  ASSERT_EQ(Call("Initialise").status, 0);
  const Result r = Call("ARF=" ZRU_SOURCE_DIR
                        "/samples/arf/sample.arf;GIF=Ward;Level=L;LatLong=-27.4712,153.0281;"
                        "All=True;");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.answer,
            "Ashford Green North East,Ashford Green North West,Ashford Green South East,"
            "Ashford Green South West\t240,78,250,204\t31.0881,10.1036,32.3834,26.4249");
}

// "FileMapArfs" reaches the library as the open mode: Yes 3, No 1,
// Default 0; another value leaves the mode as it was.
TEST_F(CountBoundaries, FileMapArfsSettingIsTheOpenMode) {
  const std::string arf = WriteArf("a.arf", {Address("A", "S1", -30, 150, "x")});
  const struct {
    const char* value;
    int mode;
  } cases[] = {{"YES", 3}, {"Maybe", 3}, {"no", 1}, {"Default", 0}};
  for (const auto& c : cases) {
    WriteWholeFile(dir_.File("config"), std::string("ZRUtils/FileMapArfs=") + c.value + "\n");
    ASSERT_EQ(Call("Initialise").status, 0);
    EXPECT_EQ(Call(Query(arf, "GIF=Code;Level=S;LatLong=-30,150;")).status, 0);
    EXPECT_EQ(LastMode(), c.mode) << c.value;
    Call("Finalise");
  }
  WriteWholeFile(dir_.File("config"), "ZRUtils/FileMapArfs=Default\n");
  ASSERT_EQ(Call("Initialise").status, 0);
  Call("Finalise");
}

// A failure of each library call answers its description and code, and
// leaves no ARF open; so does one in the middle of the walk.
TEST_F(CountBoundaries, InjectedFailuresCloseTheArf) {
  const std::vector<std::string> addresses = {
      Address("A", "S1", -30.0, 150, "x"), Address("A", "S1", -30.001, 150, "y"),
      Address("A", "S1", -30.002, 150, "x"), Address("A", "S1", -30.003, 150, "x")};
  const struct {
    const char* directive;
    int status;
    const char* function;
  } cases[] = {
      {"fail pafOpenArfId", 100, "pafOpenArfId"},
      {"fail pafGetPropertiesId", 101, "pafGetPropertiesId"},
      {"fail pafGetPropertiesId after 1", 101, "pafGetPropertiesId"},  // "GIFFields"
      {"fail pafSetPropertiesId", 102, "pafSetPropertiesId"},
      {"fail pafSetGeographicalCodesId", 103, "pafSetGeographicalCodesId"},
      {"fail pafGetAddressId", 104, "pafGetAddressId"},
      {"fail pafGetAddressId after 1", 104, "pafGetAddressId"},  // the walk's first
      {"fail pafGetNextAddressId", 105, "pafGetNextAddressId"},
      {"fail pafGetNextAddressId after 2", 105, "pafGetNextAddressId"},
  };
  ASSERT_EQ(Call("Initialise").status, 0);
  int n = 0;
  for (const auto& c : cases) {
    // A file of its own per case: the stand-in keeps parsed ARFs by name.
    const std::string arf =
        WriteArf("f" + std::to_string(++n) + ".arf", addresses, std::string(c.directive) + "\n");
    const Result r = Call(Query(arf, "GIF=Code;Level=L;LatLong=-30,150;"));
    EXPECT_EQ(r.status, c.status) << c.directive;
    EXPECT_EQ(r.answer, std::string("Injected failure in ") + c.function) << c.directive;
    EXPECT_EQ(OpenArfCount(), 0) << c.directive;
  }
  // A description without its NUL is read only up to the buffer's end.
  const std::string arf = WriteArf("f.arf", addresses, "fail pafGetAddressId\n");
  UnterminatedDescriptions(1);
  EXPECT_EQ(Call(Query(arf, "GIF=Code;Level=L;LatLong=-30,150;"), 40).answer, std::string(40, '#'));
  EXPECT_EQ(Call(Query(arf, "GIF=Code;Level=L;LatLong=-30,150;"), 5000).answer,
            std::string(4095, '#'));
  UnterminatedDescriptions(0);
  // An ARF without a latitude/longitude code.
  const std::string flat = WriteArf("n.arf", {"QX|A|9999|S1" + std::string(38, '|') + "|x"}, "",
                                    "T.Code");
  const Result none = Call(Query(flat, "GIF=Code;Level=L;LatLong=-30,150;"));
  EXPECT_EQ(none.status, -1);
  EXPECT_EQ(none.answer, "No GIF with Latitude+Longitude");
  EXPECT_EQ(OpenArfCount(), 0);
}

// The last finalise while a query runs: the library stays loaded until the
// query ends, and no new query starts meanwhile.
TEST_F(CountBoundaries, FinaliseDuringASlowQuery) {
  const std::string arf = WriteArf(
      "slow.arf", {Address("A", "S1", -30, 150, "x"), Address("A", "S1", -30.001, 150, "y")},
      "delay pafGetAddressId 150\n");
  ASSERT_EQ(Call("Initialise").status, 0);
  Result slow{};
  std::thread query([&] { slow = Call(Query(arf, "GIF=Code;Level=S;LatLong=-30,150;")); });
  while (PafUsersForTesting() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(Call("Finalise").status, 0);
  EXPECT_EQ(PafInitCountForTesting(), 0);
  EXPECT_TRUE(PafMapped());
  EXPECT_EQ(Call(Query(arf, "GIF=Code;Level=S;LatLong=-30,150;")).status, 990);
  query.join();
  EXPECT_EQ(slow.status, 0);
  EXPECT_EQ(slow.answer, "x\t1\t50.0000");
  EXPECT_FALSE(PafMapped());
}

// Eight threads query the sample ARF at once, each with its own ARF ids,
// while another initialises and finalises; every answer is the one a lone
// thread gets.
TEST_F(CountBoundaries, ConcurrencyEightThreads) {
  const std::string arf = ZRU_SOURCE_DIR "/samples/arf/sample.arf";
  ASSERT_EQ(Call("Initialise").status, 0);
  const struct {
    const char *items, *after;
  } kinds[] = {{"GIF=Ward;Level=L;", "All=True;"}, {"GIF=Cell300;Level=L;", ""},
               {"GIF=Ward;Level=S;", ""}};
  std::vector<std::string> queries, expected;
  for (int i = 0; i < 12; ++i) {
    char point[64];
    snprintf(point, sizeof point, "LatLong=%.4f,%.4f;Range=5000;", -27.44 - 0.005 * i,
             153.01 + 0.005 * (i % 7));
    queries.push_back("ARF=" + arf + ";" + kinds[i % 3].items + point + kinds[i % 3].after);
    const Result r = Call(queries.back());
    ASSERT_EQ(r.status, 0) << queries.back() << ": " << r.answer;
    expected.push_back(r.answer);
  }
  std::atomic<int> wrong{0};
  std::atomic<bool> stop{false};
  std::thread counter([&] {
    while (!stop) {
      Call("Initialise");
      Call("Finalise");
    }
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 6; ++round) {
        for (size_t i = 0; i < queries.size(); ++i) {
          const size_t q = (i + static_cast<size_t>(t)) % queries.size();
          const Result r = Call(queries[q]);
          if (r.status != 0 || r.answer != expected[q]) ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  stop = true;
  counter.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(OpenArfCount(), 0);
  EXPECT_EQ(PafInitCountForTesting(), 1);
}

}  // namespace
