// The list entry points end to end, through real files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/zrutils.h"
#include "tests/test_support.h"

namespace {

struct Reply {
  int status;
  std::string answer;
};

// Calls an entry point the way a host does: the parameter text in a buffer
// of size + 1 bytes, the answer read back from it.
Reply Call(int (*entry)(char*, int), const std::string& parameters, int size = 16384) {
  std::vector<char> buffer(static_cast<size_t>(std::max<int>(size, 0)) + 1 + parameters.size());
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  const int status = entry(buffer.data(), size);
  return {status, std::string(buffer.data())};
}

std::string Open(const std::string& parameters) {
  const Reply r = Call(zruOpenList, parameters);
  EXPECT_EQ(r.status, 0) << parameters << " -> " << r.answer;
  return r.answer;
}

Reply Search(const std::string& handle, const std::string& text, bool insert = false) {
  return Call(zruSearchList, handle + "\t" + text + (insert ? "\tInsertOnNotFound" : ""));
}

Reply Close(const std::string& handle, const std::string& path = "") {
  return Call(zruCloseList, handle + (path.empty() ? "" : "\tFile=" + path));
}

// Lists share by file path (read once) or by case-sensitive name, never when
// anonymous; only the last close of a changed list writes its file.
TEST(Lists, OpenSharesAndOnlyTheLastCloseWrites) {
  ScratchDir dir;
  const std::string path = dir.File("l.txt"), out = dir.File("out.txt");
  WriteWholeFile(path, "1\tone\n");
  const std::string a = Open(""), b = Open("");
  EXPECT_EQ(std::stol(b), std::stol(a) + 1);
  const std::string f1 = Open("File=" + path);
  WriteWholeFile(path, "1\tchanged\n");
  const std::string f2 = Open("  file=" + path);  // key in any case, trimmed
  EXPECT_EQ(f1, f2);
  EXPECT_EQ(Search(f2, "one").answer, "1\tone\t");  // not read again
  const std::string n1 = Open("Name=Colours"), n2 = Open("NAME=colours");
  EXPECT_NE(n1, n2);
  EXPECT_EQ(Open("File=" + path + "\tName=Colours"), n1);
  EXPECT_EQ(Search(n1, "a", true).answer, "1\ta\tNew");
  for (const std::string& h : {a, b, f1, f2, n1, n2}) EXPECT_EQ(Close(h, out).status, 0);
  EXPECT_EQ(ReadWholeFile(out), "<missing>");  // n1 has a user left; f1 is unchanged
  EXPECT_EQ(Close(n1, out).status, 0);
  EXPECT_EQ(ReadWholeFile(out), "1\ta\n");
  EXPECT_EQ(Close(n1).answer, "Invalid list handle");
}

TEST(Lists, LoadSkipsAndKeepsLinesAsTheFormatSays) {
  ScratchDir dir;
  const std::string path = dir.File("list.txt");
  const std::string longText(5000, 'L');
  WriteWholeFile(path, "5\tdup\n0\tzero id\n7 space\n   3\tleading spaces\n9\tdup\n-4\tnegative\n"
                       "x\tno digits\n12\tcrlf\r\n2\t\n6\t tab\tinside \n8\t" + longText + "\n"
                       "11\tlast without LF");
  const std::string h = Open("File=" + path);
  const std::pair<std::string, std::string> cases[] = {
      {"dup", "5\tdup\t"},            // first line wins
      {"zero id", "0\t\t"},           // identifier 0 skipped
      {"space", "0\t\t"},             // no TAB after the digits
      {"leading spaces", "3\tleading spaces\t"},
      {"negative", "-4\tnegative\t"},
      {"no digits", "0\t\t"},
      {"crlf", "12\tcrlf\t"},
      {"tab\tinside", "0\t\t"},       // the search text is cut at the TAB
      {longText, "8\t" + longText + "\t"},
      {"last without LF", "11\tlast without LF\t"},
  };
  for (const auto& c : cases) EXPECT_EQ(Search(h, c.first).answer, c.second) << c.first;
  // highestId counted the duplicate 12 > 9 > 5: the next text gets 13.
  EXPECT_EQ(Search(h, "new", true).answer, "13\tnew\tNew");
  EXPECT_EQ(Search(h, "new", true).answer, "13\tnew\t");
  EXPECT_EQ(Search(h, "  padded  ", true).answer, "14\tpadded\tNew");

  const std::string out = dir.File("out.txt");
  ASSERT_EQ(Close(h, out).status, 0);
  // Sorted by bytes; skipped lines and the later duplicate are gone; the
  // long text, the empty text and the text with a TAB come back whole.
  EXPECT_EQ(ReadWholeFile(out),
            "2\t\n6\t tab\tinside \n8\t" + longText + "\n12\tcrlf\n5\tdup\n"
            "11\tlast without LF\n3\tleading spaces\n-4\tnegative\n13\tnew\n"
            "14\tpadded\n");
  // And the written file loads back to the same list.
  const std::string again = Open("File=" + out);
  EXPECT_EQ(Search(again, longText).answer, "8\t" + longText + "\t");
  EXPECT_EQ(Search(again, "next", true).answer, "15\tnext\tNew");
  EXPECT_EQ(Close(again).status, 0);
}

// Handles are read in full (2^32 + h is not h), texts with a line break are
// refused before they reach the file, and a closed handle stays invalid.
TEST(Lists, HandleAndParameterErrors) {
  const std::string h = Open("");
  const struct {
    int (*entry)(char*, int);
    std::string parameters;
    int status;
    std::string answer;
  } cases[] = {
      {zruSearchList, h, ERR_LIST_HANDLE, "Missing list handle parameter"},
      {zruSearchList, "0\ttext", ERR_LIST_HANDLE, "Missing list handle parameter"},
      {zruSearchList, "999999\ttext", ERR_LIST_HANDLE, "Invalid list handle"},
      {zruSearchList, std::to_string(4294967296L + std::stol(h)) + "\ttext", ERR_LIST_HANDLE,
       "Invalid list handle"},
      {zruSearchList, "99999999999999999999999\ttext", ERR_LIST_HANDLE, "Invalid list handle"},
      {zruSearchList, " " + h + "junk \tmissing", 0, "0\t\t"},
      {zruSearchList, h + "\ttext\tinsertonnotfound\tunknown", 0, "1\ttext\tNew"},
      {zruSearchList, h + "\tline\nbreak\tInsertOnNotFound", ERR_LIST_TEXT,
       "Text holds a line break and cannot be stored"},
      {zruSearchList, h + "\tcarriage return\r\tInsertOnNotFound", ERR_LIST_TEXT,
       "Text holds a line break and cannot be stored"},
      {zruSearchList, h + "\tinner\rreturn\tInsertOnNotFound", 0, "2\tinner\rreturn\tNew"},
      {zruSearchList, h + "\tline\nbreak", 0, "0\t\t"},
      {zruCloseList, "x", ERR_LIST_HANDLE, "Missing list handle parameter"},
      {zruCloseList, h, 0, ""},
      {zruCloseList, h, ERR_LIST_HANDLE, "Invalid list handle"},
      {zruSearchList, h + "\ttext", ERR_LIST_HANDLE, "Invalid list handle"},
  };
  for (const auto& c : cases) {
    const Reply r = Call(c.entry, c.parameters);
    EXPECT_EQ(r.status, c.status) << c.parameters;
    EXPECT_EQ(r.answer, c.answer) << c.parameters;
  }
}

// An insert at the largest identifier is refused, not wrapped negative.
TEST(Lists, IdentifiersNeverOverflow) {
  ScratchDir dir;
  const std::string path = dir.File("top.txt");
  WriteWholeFile(path, "2147483647\ttop\n");
  const std::string h = Open("File=" + path);
  EXPECT_EQ(Search(h, "top").answer, "2147483647\ttop\t");
  const Reply r = Search(h, "one more", true);
  EXPECT_EQ(r.status, ERR_LIST_FULL);
  EXPECT_EQ(r.answer, "No identifier left in list");
  EXPECT_EQ(Close(h).status, 0);
}

// The answer is cut at size, never written past buffer[size]; a negative size writes nothing.
TEST(Lists, AnswersStayInsideTheBuffer) {
  const std::string h = Open("");
  Search(h, "abcdefgh", true);
  const std::string parameters = h + "\tabcdefgh";
  for (int size : {-1, 0, 1, 10, 11, 12, 40}) {
    const size_t room = static_cast<size_t>(std::max(size, 0)) + 1;
    std::vector<char> buffer(std::max(room, parameters.size() + 1) + 16, '#');
    std::copy(parameters.begin(), parameters.end(), buffer.begin());
    buffer[parameters.size()] = 0;
    const std::vector<char> before = buffer;
    EXPECT_EQ(zruSearchList(buffer.data(), size), 0);
    if (size < 0) {
      EXPECT_EQ(buffer, before) << "negative size wrote into the buffer";
      continue;
    }
    EXPECT_EQ(std::string(buffer.data()), std::string("1\tabcdefgh\t").substr(0, size)) << size;
    for (size_t i = room; i < buffer.size(); ++i)
      ASSERT_EQ(buffer[i], before[i]) << "size " << size << " byte " << i;
  }
  EXPECT_EQ(Close(h).status, 0);
}

TEST(Lists, FailedSaveLeavesTheOldFileAndReports) {
  ScratchDir dir;
  const std::string missingDir = dir.File("no/such/list.txt");
  std::string h = Open("");
  Search(h, "x", true);
  Reply r = Close(h, missingDir);
  EXPECT_EQ(r.status, ERR_LIST_WRITE);
  EXPECT_EQ(r.answer, "Cannot open output file " + missingDir);
  EXPECT_EQ(Close(h).answer, "Invalid list handle");

  // A disk filling up during the write: a file size limit, in a child to keep it there.
  const std::string path = dir.File("big.txt");
  WriteWholeFile(path, "1\told contents\n");
  EXPECT_EQ(ExitStatusInChild([&] {
              std::string list = Open("File=" + path);
              for (int i = 0; i < 1000; ++i) Search(list, "text number " + std::to_string(i), true);
              return ExitStatusUnderFileSizeLimit(4096, [&] {
                const Reply closed = Close(list, path);
                return closed.status == ERR_LIST_WRITE && closed.answer == "Cannot open output file " + path ? 0 : 1;
              });
            }),
            0);
  EXPECT_EQ(ReadWholeFile(path), "1\told contents\n");
}

// A list whose file could not be read stays registered empty but is never
// written back over that file; a missing file starts a new one.
TEST(Lists, AListThatCouldNotBeReadNeverOverwritesItsFile) {
  ScratchDir dir;
  const std::string fresh = dir.File("fresh.txt");
  Reply r = Call(zruOpenList, "File=" + fresh);
  EXPECT_EQ(r.status, ERR_LIST_READ);
  EXPECT_EQ(r.answer, "Cannot open input file " + fresh);
  std::string h = Open("File=" + fresh);
  Search(h, "first", true);
  EXPECT_EQ(Close(h, fresh).status, 0);  // the failed open counts as a user too
  EXPECT_EQ(Close(h, fresh).status, 0);
  EXPECT_EQ(ReadWholeFile(fresh), "1\tfirst\n");

  // A real file that cannot be opened: no descriptor left.
  const std::string real = dir.File("real.txt");
  WriteWholeFile(real, "1\tprecious\n");
  rlimit saved, tight;
  getrlimit(RLIMIT_NOFILE, &saved);
  const int lowest = dup(0);
  close(lowest);
  tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  setrlimit(RLIMIT_NOFILE, &tight);
  r = Call(zruOpenList, "File=" + real);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(r.status, ERR_LIST_READ);
  h = Open("File=" + real);  // the registered empty list is found again
  EXPECT_EQ(Search(h, "other", true).answer, "1\tother\tNew");
  EXPECT_EQ(Close(h, real).status, 0);
  r = Close(h, real);
  EXPECT_EQ(r.status, ERR_LIST_WRITE);
  EXPECT_EQ(r.answer, "Cannot open output file " + real);
  EXPECT_EQ(ReadWholeFile(real), "1\tprecious\n");

  // A file that opens but cannot be read (a folder here).
  const std::string folder = dir.File("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  r = Call(zruOpenList, "File=" + folder);
  EXPECT_EQ(r.status, ERR_LIST_READ);
  EXPECT_EQ(r.answer, "Cannot read input file " + folder);
}

// The lists' lock-free paths under eight threads: searches and insertions
// in one shared list opened and closed by name every round, and in lists of
// each thread's own (written and read back every round), and an anonymous
// list opened and closed while other threads search it through a handle
// they did not open. Every text keeps one
// identifier, no identifier is given twice, and what was inserted is found
// afterwards and written to the file in text order.
TEST(ListsConcurrency, EightThreadsSearchInsertAndCloseSharedAndOwnLists) {
  ScratchDir dir;
  const std::string sharedPath = dir.File("shared21.txt");
  std::string initial;
  for (int i = 1; i <= 100; ++i)
    initial += std::to_string(i) + "\tstart " + std::to_string(1000 + i) + "\n";
  WriteWholeFile(sharedPath, initial);
  const std::string keeper = Open("File=" + sharedPath + "\tName=stress21-shared");
  constexpr int kThreads = 8, kRounds = 20, kInserts = 4;
  for (int t = 0; t < kThreads; ++t)
    WriteWholeFile(dir.File("own" + std::to_string(t) + ".txt"), "");  // lists start empty
  std::atomic<long> churn{0};  // the handle of a list closed and opened again
  std::vector<std::map<std::string, std::string>> seen(kThreads), own(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      const std::string ownPath = dir.File("own" + std::to_string(t) + ".txt");
      for (int round = 0; round < kRounds; ++round) {
        const std::string shared = Open("Name=stress21-shared");
        const std::string mine = Open("File=" + ownPath + "\tName=own-" + std::to_string(t));
        // What earlier rounds wrote comes back with the same identifiers.
        for (const auto& [text, id] : own[t])
          EXPECT_EQ(Search(mine, text).answer, id + "\t" + text + "\t");
        for (int k = 0; k < kInserts; ++k) {
          const std::string text =
              "t" + std::to_string(t) + " r" + std::to_string(round) + " k" + std::to_string(k);
          const Reply r = Search(shared, text, true);
          ASSERT_EQ(r.status, 0);
          ASSERT_EQ(r.answer.substr(r.answer.find('\t')), "\t" + text + "\tNew");
          seen[t][text] = r.answer.substr(0, r.answer.find('\t'));
          const Reply o = Search(mine, text, true);
          own[t][text] = o.answer.substr(0, o.answer.find('\t'));
          // Another thread's text: found with one identifier, or not yet there.
          const std::string other = "t" + std::to_string(random() % kThreads) + " r" +
                                    std::to_string(random() % kRounds) + " k0";
          const Reply f = Search(shared, other);
          if (f.answer != "0\t\t")
            seen[t].emplace(other, f.answer.substr(0, f.answer.find('\t')));
          const int start = 1 + static_cast<int>(random() % 100);
          EXPECT_EQ(Search(shared, "start " + std::to_string(1000 + start)).answer,
                    std::to_string(start) + "\tstart " + std::to_string(1000 + start) + "\t");
        }
        // A list that ends while others search it: they answer from it or
        // find its handle invalid.
        if (t == 0) {
          const std::string h = Open("");
          Search(h, "churn", true);
          churn = std::stol(h);
          Search(h, "churn " + std::to_string(round), true);
          EXPECT_EQ(Close(h).status, 0);
        } else if (churn != 0) {
          const Reply c = Search(std::to_string(churn.load()), "churn");
          EXPECT_TRUE((c.status == 0 && c.answer == "1\tchurn\t") ||
                      (c.status == ERR_LIST_HANDLE && c.answer == "Invalid list handle"))
              << c.status << " " << c.answer;
        }
        EXPECT_EQ(Close(mine, ownPath).status, 0);
        EXPECT_EQ(Close(shared, sharedPath).status, 0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(Close(keeper, sharedPath).status, 0);

  // One identifier a text, one text an identifier, and the file holds
  // exactly the starting texts and every insertion, in text order.
  std::map<std::string, std::string> expected;
  for (int i = 1; i <= 100; ++i) expected["start " + std::to_string(1000 + i)] = std::to_string(i);
  for (const auto& s : seen)
    for (const auto& [text, id] : s)
      EXPECT_EQ(expected.emplace(text, id).first->second, id) << text;
  std::set<std::string> ids;
  for (const auto& [text, id] : expected) EXPECT_TRUE(ids.insert(id).second) << id;
  std::string file;
  for (const auto& [text, id] : expected) file += id + "\t" + text + "\n";
  EXPECT_EQ(ReadWholeFile(sharedPath), file);
  for (int t = 0; t < kThreads; ++t) {
    std::string ownFile;
    for (const auto& [text, id] : own[t]) ownFile += id + "\t" + text + "\n";
    EXPECT_EQ(ReadWholeFile(dir.File("own" + std::to_string(t) + ".txt")), ownFile) << t;
  }
}

}  // namespace
