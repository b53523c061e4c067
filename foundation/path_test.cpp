#include "foundation/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/zr_file.h"
#include "text/string_edit.h"
#include "tests/test_support.h"

namespace {

// A dot in a folder name is no extension; a name that starts with a dot is all extension.
TEST(ZRPath, Extraction) {
  const struct {
    const char *path, *filePath, *fileName, *extension, *withoutExtension;
  } cases[] = {
      {"dir/file.tar.gz", "dir/", "file.tar.gz", ".gz", "dir/file.tar"},
      {"dir.old/file", "dir.old/", "file", "", "dir.old/file"},
      {"dir/", "dir/", "", "", "dir/"},
      {"/abs/.hidden", "/abs/", ".hidden", ".hidden", "/abs/"},
      {"file.", "", "file.", ".", "file"},
      {"", "", "", "", ""},
      {"a/b.c/d.e", "a/b.c/", "d.e", ".e", "a/b.c/d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const ZR_Path path(c.path);
    EXPECT_EQ(path.ExtractFilePath().String(), c.filePath);
    EXPECT_EQ(path.ExtractFileName().String(), c.fileName);
    EXPECT_EQ(path.ExtractExtension().String(), c.extension);
    EXPECT_EQ(path.RemoveExtension().String(), c.withoutExtension);
    EXPECT_EQ(path.IsAbsolutePath(), c.path[0] == '/');
  }
}

// Wide paths travel as UTF-8; bytes that are not UTF-8 are read as Windows-1252.
TEST(ZRPath, WideFormsConvertThroughUtf8) {
  const std::wstring wide = L"/tmp/Stra\u00dfe/\u5730\u56f3.shp";
  ZR_Path path(wide);
  EXPECT_EQ(path.String(), "/tmp/Stra\xc3\x9f" "e/\xe5\x9c\xb0\xe5\x9b\xb3.shp");
  EXPECT_EQ(path.WString(), wide);
  EXPECT_EQ(ZR_Path::ConvertToOtherType(ZR_Path::ConvertFromOtherType(wide)), wide);
  EXPECT_EQ(ZR_Path("caf\xe9 \x80").WString(), L"caf\u00e9 \u20ac");
  path = "usr";
  path.AddTrailingPathDivider();
  path.AddTrailingPathDivider();
  path += L"l\u00e9";
  EXPECT_EQ((path + ZR_Path(".so")).String(), "usr/l\xc3\xa9.so");
}

// Wide names open, rename and remove the files with the UTF-8 names.
TEST(FileSystem, WidePathsOpenTheUtf8Names) {
  ScratchDir dir;
  WriteWholeFile(dir.File("gr\xc3\xbc\xc3\x9f" "e.txt"), "hello");
  const std::wstring wide = ZR_Path(dir.File("gr\xc3\xbc\xc3\x9f" "e.txt")).WString();
  const std::wstring renamed = ZR_Path(dir.File("\xc3\xa9.txt")).WString();
  EXPECT_TRUE(FileExists_(wide.c_str()));
  ZR_File file;
  ASSERT_TRUE(file.Open(wide.c_str(), L"rb", false));
  char buffer[8] = {};
  EXPECT_EQ(fread(buffer, 1, sizeof buffer, file.f()), 5u);
  file.Close();
  EXPECT_EQ(ZR_File_Rename(wide.c_str(), renamed.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir.File("\xc3\xa9.txt")), "hello");
  EXPECT_EQ(ZR_File_Remove(renamed.c_str()), 0);
  EXPECT_NE(ZR_File_Remove(renamed.c_str()), 0);
  EXPECT_FALSE(file.Open(renamed.c_str(), "r", false));
}

TEST(FileSystem, CreateDirMakesEveryMissingLevel) {
  ScratchDir dir;
  ASSERT_EQ(mkdir_(dir.File("a").c_str()), 0);
  EXPECT_TRUE(CreateDir(dir.File("a/b/c/").c_str()));
  EXPECT_TRUE(DirectoryExists_(dir.File("a/b/c").c_str()));
  EXPECT_TRUE(CreateDir(dir.File("a/b/c").c_str()));  // exists already
  EXPECT_TRUE(CreateDir(dir.File("x/y").c_str()));    // nothing of it existed

  std::string tooLong = dir.File("");
  tooLong += std::string(256 - tooLong.size(), 'd');
  EXPECT_FALSE(CreateDir(tooLong.c_str()));  // 256 bytes: refused, not cut
  EXPECT_TRUE(CreateDir(tooLong.substr(0, 255).c_str()));
  EXPECT_FALSE(CreateDir(""));

  WriteWholeFile(dir.File("file"), "");
  EXPECT_FALSE(CreateDir(dir.File("file/sub").c_str()));
}

// Dir_ lists matches (dot files only by a dot pattern) and answers null for a missing folder.
TEST(FileSystem, PatternsAndListings) {
  ScratchDir dir;
  for (const char* name : {"one.txt", "two.txt", ".hidden.txt", "three.dat"})
    WriteWholeFile(dir.File(name), name);
  ASSERT_TRUE(CreateDir(dir.File("sub.txt").c_str()));

  const auto list = [](const std::string& pattern) {
    std::vector<std::string> names;
    char** found = Dir_(pattern.c_str());
    if (found == nullptr) return std::vector<std::string>{"<null>"};
    for (char** name = found; *name != nullptr; ++name) names.push_back(*name);
    FreeArray_(found);
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(list(dir.File("*.txt")),
            (std::vector<std::string>{".hidden.txt", "one.txt", "sub.txt", "two.txt"}));
  EXPECT_EQ(list(dir.File(".*")), (std::vector<std::string>{".", "..", ".hidden.txt"}));
  EXPECT_EQ(list(dir.File("*.none")), std::vector<std::string>{});
  EXPECT_EQ(list(dir.File("missing/*")), std::vector<std::string>{"<null>"});
  EXPECT_EQ(list(dir.File(std::string(256, 'p'))), std::vector<std::string>{"<null>"});
  EXPECT_TRUE(FilePatternExists_(dir.File("t*.dat").c_str()));
  EXPECT_FALSE(FilePatternExists_(dir.File("t*.txt.x").c_str()));
  EXPECT_FALSE(FilePatternExists_(dir.File("missing/*").c_str()));

}

TEST(FileSystem, SixtyFourBitPositions) {
  ScratchDir dir;
  const std::string path = dir.File("sparse");
  WriteWholeFile(path, "");
  if (truncate(path.c_str(), int64_t{5} << 30) != 0) GTEST_SKIP() << "no sparse files here";
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(fseek_(file, int64_t{5} << 30, SEEK_SET), 0);
  EXPECT_EQ(ftell_(file), int64_t{5} << 30);
  fclose(file);
}

}  // namespace
