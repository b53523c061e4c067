#include "foundation/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/replacing_file.h"
#include "tests/test_support.h"

namespace {

// Whole lines of any length, one line end removed.
TEST(TextFile, LinesLoseOneLineEndOnly) {
  ScratchDir dir;
  const std::string path = dir.File("lines.txt"), longLine(5000, 'x');
  WriteWholeFile(path, "crlf\r\ncr only\r\n\r\nmid\rcr\nlf\n\n" + longLine + "\nlast");
  const std::vector<std::string> expected = {"crlf", "cr only", "", "mid\rcr", "lf", "", longLine, "last"};
  SelfClosingFILE file;
  ASSERT_TRUE(file.Open(path.c_str(), "r", false));
  std::string line;
  std::vector<std::string> lines;
  while (ReadTextLine(file.f(), line) == TextLineResult::kLine) lines.push_back(line);
  EXPECT_EQ(lines, expected);
  // fgets_ hands a long line over in pieces of its buffer, each without a line end.
  ASSERT_TRUE(file.Open(path.c_str(), "r", false));
  char buffer[1024];
  std::vector<std::string> pieces;
  while (fgets_(buffer, sizeof buffer, file.f()) != nullptr) pieces.push_back(buffer);
  ASSERT_EQ(pieces.size(), expected.size() + 4);
  EXPECT_EQ(pieces[0] + pieces[10], "crlf" + std::string(5000 - 4 * 1023, 'x'));
}

// A read error must not pass for the end of the file (a folder opens but cannot be read).
TEST(TextFile, ReadErrorIsNotEndOfFile) {
  ScratchDir dir;
  SelfClosingFILE file;
  std::string line;
  ASSERT_TRUE(file.Open(dir.path().c_str(), "r", false));
  EXPECT_EQ(ReadTextLine(file.f(), line), TextLineResult::kReadError);
  WriteWholeFile(dir.File("empty"), "");
  ASSERT_TRUE(file.Open(dir.File("empty").c_str(), "r", false));
  EXPECT_EQ(ReadTextLine(file.f(), line), TextLineResult::kEndOfFile);
}

// The target changes only on Commit, keeps its permissions, and no
// temporary file is ever left behind.
TEST(ReplacingFile, OldFileSurvivesEveryFailure) {
  ScratchDir dir;
  const std::string target = dir.File("target.txt"), folder = dir.File("folder");
  WriteWholeFile(target, "old\n");
  chmod(target.c_str(), 0640);
  {
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target));
    fputs("new\n", file.f());
  }  // destroyed without Commit
  EXPECT_EQ(ReadWholeFile(target), "old\n");

  ReplacingFile file;
  ASSERT_TRUE(file.Open(target));
  fputs("new\n", file.f());
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadWholeFile(target), "new\n");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);  // a folder in the target's place: rename fails
  ASSERT_TRUE(file.Open(folder));
  fputs("x\n", file.f());
  EXPECT_FALSE(file.Commit());
  EXPECT_FALSE(file.Open(dir.File("no/such/dir/file")));
  const auto entries = std::distance(std::filesystem::directory_iterator(dir.path()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 2);  // the target and the folder only
}

}  // namespace
