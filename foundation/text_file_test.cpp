#include "foundation/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/replacing_file.h"
#include "tests/test_support.h"

namespace {

TEST(TextFile, LinesLoseOneLineEndOnly) {
  ScratchDir dir;
  const std::string path = dir.File("lines.txt");
  const std::string longLine(5000, 'x');
  WriteWholeFile(path, "crlf\r\ncr only\r\n\r\nmid\rcr\nlf\n\n" + longLine +
                           "\nlast");
  // ReadTextLine returns whole lines; fgets_ with a small buffer pieces.
  const std::vector<std::string> expected = {"crlf", "cr only", "", "mid\rcr",
                                             "lf",   "",        longLine, "last"};
  SelfClosingFILE file;
  ASSERT_TRUE(file.Open(path.c_str(), "r", false));
  std::string line;
  std::vector<std::string> lines;
  while (ReadTextLine(file.f(), line) == TextLineResult::kLine) lines.push_back(line);
  EXPECT_EQ(lines, expected);

  ASSERT_TRUE(file.Open(path.c_str(), "r", false));  // reopens from the start
  char buffer[1024];
  std::vector<std::string> pieces;
  while (fgets_(buffer, sizeof buffer, file.f()) != nullptr) pieces.push_back(buffer);
  ASSERT_EQ(pieces.size(), expected.size() + 4);  // 5000 bytes in 5 pieces
  EXPECT_EQ(pieces[0], "crlf");
  EXPECT_EQ(pieces[1], "cr only");
  EXPECT_EQ(pieces[2], "");
  EXPECT_EQ(pieces[6], std::string(1023, 'x'));
  EXPECT_EQ(pieces[10], std::string(5000 - 4 * 1023, 'x'));
  EXPECT_EQ(pieces.back(), "last");
}

TEST(TextFile, ReadErrorIsNotEndOfFile) {
  ScratchDir dir;
  SelfClosingFILE file;
  // A folder opens for reading but every read fails.
  ASSERT_TRUE(file.Open(dir.path().c_str(), "r", false));
  std::string line;
  EXPECT_EQ(ReadTextLine(file.f(), line), TextLineResult::kReadError);

  WriteWholeFile(dir.File("empty"), "");
  ASSERT_TRUE(file.Open(dir.File("empty").c_str(), "r", false));
  EXPECT_EQ(ReadTextLine(file.f(), line), TextLineResult::kEndOfFile);
}

TEST(TextFile, OpenReportsFailureOnlyWhenAsked) {
  ScratchDir dir;
  const std::string missing = dir.File("missing");
  SelfClosingFILE file;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(file.Open(missing.c_str(), "r", false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(file.Open(missing.c_str(), "r", true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            missing + ": No such file or directory\n");
  EXPECT_FALSE(file.IsOpen());
}

TEST(ReplacingFile, OldFileSurvivesEveryFailure) {
  ScratchDir dir;
  const std::string target = dir.File("target.txt");
  WriteWholeFile(target, "old\n");
  chmod(target.c_str(), 0640);
  {
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target));
    fputs("new\n", file.f());
    // Destroyed without Commit: nothing changes, nothing is left behind.
  }
  EXPECT_EQ(ReadWholeFile(target), "old\n");

  ReplacingFile file;
  ASSERT_TRUE(file.Open(target));
  fputs("new\n", file.f());
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadWholeFile(target), "new\n");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions of the replaced file

  // A folder in the target's place: the rename fails, the folder stays.
  const std::string folder = dir.File("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_TRUE(file.Open(folder));
  fputs("x\n", file.f());
  EXPECT_FALSE(file.Commit());
  EXPECT_FALSE(file.Open(dir.File("no/such/dir/file")));

  // Only the target and the folder remain: no temporary file was left.
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++count;
  }
  EXPECT_EQ(count, 2);
}

}  // namespace
