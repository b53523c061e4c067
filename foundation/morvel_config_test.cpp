#include "foundation/morvel_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/registry.h"
#include "tests/test_support.h"

namespace {

// Runs body in a child process, which may chdir and change the environment
// freely, and returns what it answered.
std::string InChild(const std::function<std::string()>& body) {
  ScratchDir out;
  EXPECT_EQ(ExitStatusInChild([&] {
              WriteWholeFile(out.File("answer"), body());
              return 0;
            }),
            0);
  return ReadWholeFile(out.File("answer"));
}

// Runs body in a child whose current directory holds .morvel with contents,
// and in which no other candidate can interfere.
std::string WithConfig(const std::string& contents, const std::function<std::string()>& body) {
  ScratchDir dir;
  WriteWholeFile(dir.File(".morvel"), contents);
  return InChild([&] {
    if (chdir(dir.path().c_str()) != 0) return std::string("<no chdir>");
    unsetenv("MORVEL_CONFIG_FILE");
    setenv("HOME", "/nonexistent", 1);
    return body();
  });
}

// "value" or "error <code>" for one MorvelConfig read.
std::string Read(const std::string& key, const std::string& name) {
  MorvelConfig config;
  std::string value = "<untouched>";
  if (!config.OpenKey(key, 0) || !config.ReadValue(name, value))
    return "error " + std::to_string(config.LastError());
  return value;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& t : texts) all += t + "|";
  return all;
}

// Names match in any case with "\\" or "/" between key parts, the first line
// wins, and numbers that do not fit an unsigned int are errors, not wrapped.
TEST(MorvelConfig, ReadValueCases) {
  const std::string file =
      "  emailcachefile=/tmp/cache\r\nEmailCacheExpiryValid = 10\nZRUtils/FileMapArfs=\n"
      "ZRUtils/FileMapShapeFiles=Yes  \nzrutils/filemapshapefiles=No\nA/B/x=in A/B\n\t\n"
      "N/hex=0x10\nN/trailing=12abc\nN/negative=-1\nN/max=4294967295\nN/over=4294967296\n"
      "N/huge=99999999999999999999999\nlast line without end=yes";
  const std::string answers = WithConfig(file, [] {
    std::string all;
    for (const auto& read : std::vector<std::pair<std::string, std::string>>{
             {"", "EmailCacheFile"},
             {"", "EmailCacheExpiryValid"},  // blanks around "=" are part of the name
             {"ZRUtils", "FileMapArfs"},
             {"ZRUTILS/", "FileMapShapeFiles"},
             {"A\\B", "x"},
             {"", "x=y"},
             {"", "last line without end"}})
      all += Read(read.first, read.second) + "|";
    MorvelConfig numbers;
    numbers.OpenKey("N", 0);
    for (const char* name : {"hex", "trailing", "negative", "max", "over", "huge", "missing"}) {
      unsigned int value = 7;
      all += (numbers.ReadValueI(name, value) ? std::to_string(value)
                                              : "error " + std::to_string(numbers.LastError())) + "|";
    }
    MorvelConfig neverOpened;
    std::string value;
    neverOpened.ReadValue(std::string("EmailCacheFile"), value);
    return all + std::to_string(neverOpened.LastError());
  });
  EXPECT_EQ(answers,
            "/tmp/cache|error 1302||Yes  |in A/B|error 1321|yes|"
            "16|error 1322|error 1322|4294967295|error 1322|error 1322|error 1302|1302");
}

// Keys and names enumerate once each, in order; wide texts travel as UTF-8.
TEST(MorvelConfig, EnumerationExample) {
  const std::string file = "K/Sub1/x=1\nK/Sub1/y=2\nK/sub2=3\nK/Sub0/\nk/sub2=dup\nKey/z=4\n"
                           "Stra\xc3\x9f" "e/N\xc3\xa4me=Gr\xc3\xbc\xc3\x9f" "e\n";
  EXPECT_EQ(WithConfig(file,
                       [] {
                         MorvelConfig config, wide;
                         config.OpenKey("K", 0);
                         std::vector<std::string> names{"stale"}, values;
                         config.EnumerateValues(names, values);
                         wide.OpenKey("Stra\xc3\x9f" "e", 0);
                         std::wstring value;
                         std::vector<std::wstring> wideNames, wideValues;
                         wide.ReadValue(std::wstring(L"N\u00e4me"), value);
                         wide.EnumerateValues(wideNames, wideValues);
                         const bool wideOk = value == L"Gr\u00fc\u00dfe" &&
                                             wideNames == std::vector<std::wstring>{L"N\u00e4me"} &&
                                             wideValues == std::vector<std::wstring>{value};
                         return Joined(config.EnumerateKeys()) + " " + Joined(names) + " " +
                                Joined(values) + (wideOk ? " wide ok" : " wide wrong");
                       }),
            "Sub0|Sub1| sub2|sub2| 3|dup| wide ok");
}

// Lines longer than any read buffer stay one line: the text after the point
// where a fixed buffer would cut must not turn up as a setting.
TEST(MorvelConfig, LongLineMakesNoPhantomSetting) {
  std::string line = "K/long=";
  line += std::string(255 - line.size(), 'a') + "K/phantom=1";
  line += std::string(1023 - line.size(), 'b') + "K/ghost=2";
  line += std::string(5000, 'c');
  const std::string value = line.substr(7);
  EXPECT_EQ(WithConfig(line + "\nK/after=3\n",
                       [&] {
                         MorvelConfig config;
                         config.OpenKey("K", 0);
                         std::vector<std::string> names, values;
                         config.EnumerateValues(names, values);
                         std::string read;
                         config.ReadValue(std::string("long"), read);
                         char buffer[16];
                         int size = sizeof buffer, phantomSize = size;
                         const int found = LookUpRegistry_("K", "long", buffer, size, false);
                         const int phantom = LookUpRegistry_("K", "phantom", buffer, phantomSize, false);
                         return Joined(names) + (read == value ? " whole " : " cut ") + Read("K", "phantom") +
                                " " + Read("K", "ghost") + " " + std::to_string(found) + ":" +
                                std::to_string(size) + " " + std::to_string(phantom);
                       }),
            "long|after| whole error 1302 error 1302 0:" + std::to_string(value.size()) + " 1302");
}

// Candidates in order: the current folder, MORVEL_CONFIG_FILE, HOME (with or
// without a final "/"); the registry-style functions skip a HOME over 246 bytes.
TEST(MorvelConfig, SearchOrder) {
  ScratchDir dir;
  const std::string cwd = dir.File("cwd"), home = dir.File("home"), empty = dir.File("empty");
  ASSERT_TRUE(CreateDir(cwd.c_str()) && CreateDir(home.c_str()) && CreateDir(empty.c_str()));
  WriteWholeFile(cwd + "/.morvel", "where=cwd\n");
  WriteWholeFile(dir.File("named"), "where=named\n");
  WriteWholeFile(home + "/.morvel", "where=home\n");
  const std::string longHome = dir.path() + "/" + std::string(250 - dir.path().size() - 1, 'h');
  ASSERT_TRUE(CreateDir(longHome.c_str()));
  WriteWholeFile(longHome + "/.morvel", "where=long home\n");

  const std::string answers = InChild([&] {
    const auto both = [] {
      char buffer[32];
      int size = sizeof buffer;
      const int result = LookUpRegistry_("", "where", buffer, size, false);
      return Read("", "where") + "/" + (result == 0 ? buffer : std::to_string(result)) + "|";
    };
    std::string all;
    setenv("MORVEL_CONFIG_FILE", (dir.File("named")).c_str(), 1);
    setenv("HOME", home.c_str(), 1);
    if (chdir(cwd.c_str()) != 0) return std::string("<no chdir>");
    all += both();
    if (chdir(empty.c_str()) != 0) return std::string("<no chdir>");
    all += both();
    setenv("MORVEL_CONFIG_FILE", "", 1);
    all += both();
    setenv("MORVEL_CONFIG_FILE", dir.File("missing").c_str(), 1);
    setenv("HOME", (home + "/").c_str(), 1);
    all += both();
    setenv("HOME", longHome.c_str(), 1);
    all += both();
    unsetenv("HOME");
    all += both();
    return all;
  });
  // Without any file the answer comes from /usr/etc/.morvel, if the machine has one.
  const std::string fixed = FileExists_("/usr/etc/.morvel") ? "" : "error 1301/1301|";
  const std::string expected = "cwd/cwd|named/named|home/home|home/home|long home/";
  if (!fixed.empty()) {
    EXPECT_EQ(answers, expected + "1301|" + fixed);
  } else {
    EXPECT_EQ(answers.substr(0, expected.size()), expected);
  }
}

// Answers cut to the caller's size (0: nothing written), full lengths
// reported, out-of-range numbers refused.
TEST(Registry, LookUpAndEnumerate) {
  const std::string file =
      "K/x=abcdef\nK//x=double slash\nK/n=42\nK/big=99999999999\nK/neg=-3\n"
      "K/Sub/y=no\nK/novalue\n  k/second=2\n";
  const std::string answers = WithConfig(file, [] {
    std::string all;
    const auto look = [&all](const char* key, const char* name, int size) {
      char buffer[16];
      memset(buffer, '#', sizeof buffer);
      buffer[15] = '\0';
      const int result = LookUpRegistry_(key, name, buffer, size, false);
      all += std::to_string(result) + ":" + std::to_string(size) + ":" + buffer + "|";
    };
    look("K", "x", 4);    // cut to 3 bytes, full length reported
    look("K", "x", 0);    // no room: nothing written
    look("K/", "x", 16);  // looks for K//x
    look("K", "a/b", 16);
    look(std::string(250, 'k').c_str(), "12345", 16);
    look(nullptr, "K/x", 16);
    unsigned int value = 7;
    for (const char* name : {"n", "big", "neg", "missing"}) {
      const bool found = LookUpRegistryI_("K", name, value, false);
      all += std::to_string(found) + ":" + std::to_string(value) + "|";
    }
    char** names;
    char** values;
    EnumerateRegistry_("K", &names, &values);
    for (int i = 0; names[i] != nullptr; ++i) {
      all += std::string(names[i]) + "=" + values[i] + ",";
      delete[] names[i];
      delete[] values[i];
    }
    delete[] names;
    delete[] values;
    all += std::to_string(EnumerateRegistryKeys_("K")) +
           std::to_string(SetRegistryValue_("K", "x", "new"));
    return all;
  });
  EXPECT_EQ(answers,
            "0:6:abc|0:6:###############|0:12:double slash|1302:16:"
            "###############|1300:16:###############|1302:16:###############|"
            "1:42|0:42|1:4294967293|0:4294967293|"
            "x=abcdef,n=42,big=99999999999,neg=-3,second=2,00");
}

}  // namespace
