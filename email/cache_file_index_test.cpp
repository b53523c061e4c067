// The cache's in-memory index against files that change under it: appends,
// duplicates, cut lines, rewrites in place and by others, truncation,
// replacement, another process writing while threads read.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "email/email_server_cache.h"
#include "tests/test_support.h"

namespace {

void Append(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "ab");
  ASSERT_NE(nullptr, file);
  fputs(text.c_str(), file);
  fclose(file);
}

// What a search of the whole file finds: the position of the first
// "\n<domain>\t" whose line is ended, or 0.
int64_t FirstRecord(const std::string& file, const std::string& domain) {
  const std::string needle = '\n' + domain + '\t';
  const size_t at = file.find(needle);
  if (at == std::string::npos || file.find('\n', at + needle.size()) == std::string::npos) return 0;
  return static_cast<int64_t>(at + 1);
}

// One cache object searched after each change to its file, as files a
// writer, an editor or another process leave behind; every answer is
// compared with a search of the whole file.
TEST(CacheFileIndex, FollowsChangesToTheFile) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  const std::string other = dir.File("other");
  const int now = MinutesSince2010();
  const std::string a = MakeCacheLine("a.org", '4', now);
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* domain;
    char status;  // 0: not found
  };
  EmailServerCache writer;  // another object, as another process has
  const std::vector<Step> steps = {
      {"first record", [&] { WriteWholeFile(path, "\n" + a); }, "a.org", '4'},
      {"appended", [&] { Append(path, MakeCacheLine("b.org", '5', now)); }, "b.org", '5'},
      {"a later duplicate", [&] { Append(path, MakeCacheLine("a.org", '3', now)); }, "a.org", '4'},
      {"a cut line", [&] { Append(path, "c.org\t6a"); }, "c.org", 0},
      {"the cut line ended", [&] { Append(path, "bcd\n"); }, "c.org", '6'},
      {"rewritten in place by another object",
       [&] {
         EmailServerRecord record;
         writer.Open(path.c_str());
         writer.Search("a.org", record);
         writer.Update(record, '5');
       },
       "a.org", '5'},
      {"another domain written over a record", [&] {
         std::string file = ReadWholeFile(path);
         file.replace(1, 5, "z.org");
         WriteWholeFile(path, file);
       }, "a.org", '3'},
      {"truncated", [&] { WriteWholeFile(path, "\n" + MakeCacheLine("d.org", '4', now)); }, "b.org", 0},
      {"truncated, then found", [] {}, "d.org", '4'},
      {"regrown past the old end",
       [&] { WriteWholeFile(path, "\nxx\n" + MakeCacheLine("e.org", '3', now) + a); }, "e.org", '3'},
      {"replaced by rename", [&] {
         WriteWholeFile(other, "\n" + MakeCacheLine("f.org", '6', now));
         rename(other.c_str(), path.c_str());
       }, "f.org", '6'},
      {"deleted", [&] { remove(path.c_str()); }, "f.org", 0},
      {"a long line, then a record", [&] {
         Append(path, std::string(200000, 'x') + "\t6\n" + MakeCacheLine("g.org", '4', now));
       }, "g.org", '4'},
      {"the domain inside a longer one", [&] { Append(path, "b.h.org\t4abcd\n"); }, "h.org", 0},
      {"a long last line without its line feed", [&] { Append(path, std::string(5000, 'y')); }, "y", 0},
      {"a record at offset 0 is not one", [&] { WriteWholeFile(path, MakeCacheLine("i.org", '4', now)); },
       "i.org", 0},
  };
  EmailServerCache cache;
  for (const Step& step : steps) {
    step.change();
    ASSERT_EQ(kCacheOk, cache.OpenCurrent(path.c_str())) << step.what;
    EmailServerRecord record;
    ASSERT_EQ(kCacheOk, cache.Search(step.domain, record)) << step.what;
    EXPECT_EQ(step.status == 0, record.Empty()) << step.what;
    EXPECT_EQ(FirstRecord(ReadWholeFile(path), step.domain), record.position) << step.what;
    if (step.status != 0) {
      EXPECT_EQ(step.status, record.Status()) << step.what;
    }
  }
}

// A second process appends records, later duplicates of them, lines cut
// and ended later, and rewrites in place, while two threads of this process
// share one cache object to search those records and to add their own.
// Every record found stands where a search of the final file finds it, so
// the first record always won; every record is found at the end.
TEST(CacheFileIndexConcurrency, AnotherProcessWritesWhileThreadsRead) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  constexpr int kRecords = 300, kThreads = 2, kOwn = 60;
  const int now = MinutesSince2010();
  std::vector<std::string> domains, first, duplicate, rewrite;
  for (int i = 0; i < kRecords; ++i) {
    domains.push_back((i % 3 == 0 ? "h" : "d") + std::to_string(i) + ".org");
    first.push_back(MakeCacheLine(domains.back(), '4', now));
    duplicate.push_back(MakeCacheLine(domains.back(), '3', now));
    rewrite.push_back(MakeCacheLine(domains.back(), '6', now));
  }
  EmailServerCache cache;
  ASSERT_EQ(kCacheOk, cache.Open(path.c_str()));

  // The child uses system calls only: it was forked from a process that
  // may hold locks of its own.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    auto appendLocked = [fd](const std::string& text) {
      flock(fd, LOCK_EX);
      struct stat status;
      fstat(fd, &status);
      const off_t at = status.st_size;
      if (pwrite(fd, text.data(), text.size(), at) != static_cast<ssize_t>(text.size())) _exit(2);
      flock(fd, LOCK_UN);
      return at;
    };
    for (int i = 0; i < kRecords; ++i) {
      off_t at;
      if (i % 3 == 0) {  // a line cut by the writer, ended in a later lock
        at = appendLocked(first[i].substr(0, first[i].size() - 3));
        appendLocked(first[i].substr(first[i].size() - 3));
      } else {
        at = appendLocked(first[i]);
      }
      appendLocked(duplicate[i]);
      if (i % 2 == 0 && i % 3 != 0) {  // a cut line may have been ended by another
        flock(fd, LOCK_EX);
        if (pwrite(fd, rewrite[i].data(), rewrite[i].size(), at) < 0) _exit(3);
        flock(fd, LOCK_UN);
      }
    }
    _exit(0);
  }

  std::atomic<bool> childDone{false};
  std::mutex seenMutex;
  std::multimap<std::string, int64_t> seen;
  std::atomic<int> wrongStatus{0};
  auto reader = [&](int t) {
    std::multimap<std::string, int64_t> mine;
    for (int round = 0, own = 0; round < 100000; ++round) {
      const bool last = childDone.load();
      for (int i = round % 7; i < kRecords; i += 7) {
        EmailServerRecord record;
        if (cache.Search(domains[i].c_str(), record) != kCacheOk) ++wrongStatus;
        if (record.Empty()) continue;
        // A duplicate would show '3'; a cut line read before its end, a
        // wrong time. (One of this process's appends may end a cut line
        // first, as it must: that record keeps its cut time.)
        if (record.Status() != '4' && record.Status() != '6') ++wrongStatus;
        if (i % 3 != 0 && record.Age() > 1) ++wrongStatus;
        mine.emplace(domains[i], record.position);
      }
      if (own < kOwn) {
        const std::string domain = "p" + std::to_string(t) + "-" + std::to_string(own++) + ".org";
        EmailServerRecord record;
        cache.Search(domain.c_str(), record);
        if (record.Empty()) cache.Add(domain.c_str(), '5');
      }
      if (last && own >= kOwn) break;
    }
    std::lock_guard<std::mutex> hold(seenMutex);
    seen.insert(mine.begin(), mine.end());
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(reader, t);
  int status = 0;
  waitpid(child, &status, 0);
  childDone = true;
  for (std::thread& thread : threads) thread.join();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  EXPECT_EQ(0, wrongStatus.load());
  const std::string file = ReadWholeFile(path);
  for (const auto& observation : seen)
    EXPECT_EQ(FirstRecord(file, observation.first), observation.second) << observation.first;
  for (int i = 0; i < kRecords; ++i) {
    EmailServerRecord record;
    cache.Search(domains[i].c_str(), record);
    EXPECT_EQ(FirstRecord(file, domains[i]), record.position) << domains[i];
    EXPECT_EQ(i % 2 == 0 && i % 3 != 0 ? '6' : '4', record.Status()) << domains[i];
  }
  for (int t = 0; t < kThreads; ++t)
    for (int own = 0; own < kOwn; ++own) {
      const std::string domain = "p" + std::to_string(t) + "-" + std::to_string(own) + ".org";
      EXPECT_NE(0, FirstRecord(file, domain)) << domain;
    }
}

}  // namespace
