// The cache file through real files: round trips, the format's edge cases,
// the faults mended (long lines, a cut last line, domains that would forge
// records, concurrent writers) and the base-64 time field.
#include <fcntl.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "email/cache_line_scan.h"
#include "email/email_server_cache.h"
#include "tests/test_support.h"

namespace {

const auto Line = MakeCacheLine;

// A new file holds one line feed; records are found where they were
// appended, by the exact domain only; a cache never opened refuses.
TEST(EmailServerCache, NewFileAddSearchRoundTrip) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  EmailServerCache cache;
  ASSERT_EQ(kCacheOk, cache.Open(path.c_str()));
  EXPECT_EQ("\n", ReadWholeFile(path));
  EmailServerRecord record;
  EXPECT_EQ(kCacheOk, cache.Add("mail.example.org", '6'));
  EXPECT_EQ(kCacheOk, cache.Add("example.org", '4'));
  ASSERT_EQ(kCacheOk, cache.Search("example.org", record));
  EXPECT_EQ('4', record.Status());
  EXPECT_LE(record.Age(), 1);
  EXPECT_EQ(static_cast<int64_t>(1 + Line("mail.example.org", '6', MinutesSince2010()).size()),
            record.position);
  EXPECT_EQ(kCacheOk, cache.Search("Example.org", record));
  EXPECT_TRUE(record.Empty()) << "matching is case-sensitive";

  EmailServerCache closed;
  EXPECT_EQ(kCacheNotOpen, closed.Search("x", record));
  EXPECT_EQ(kCacheCannotOpen, closed.Open((dir.path() + "/no/such/dir").c_str()));
}

// Every record is found whatever the window cuts: before, across and after
// each window edge.
TEST(EmailServerCache, RecordsAcrossWindowEdges) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  std::string file = "\n";
  std::vector<std::string> domains;
  for (int i = 0; i < 300; ++i) {
    domains.push_back("d" + std::to_string(i) + std::string(static_cast<size_t>(i % 37), 'q') + ".org");
    file += Line(domains.back(), static_cast<char>('3' + i % 4), i);
  }
  WriteWholeFile(path, file);
  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::vector<char> window;
  for (size_t size : {1u, 16u, 50u, 1023u, 4096u}) {
    for (size_t i = 0; i < domains.size(); ++i) {
      CacheLineHit hit;
      ASSERT_EQ(0, FindCacheLine(fd, domains[i], size, window, hit)) << size << " " << i;
      EXPECT_EQ(static_cast<char>('3' + i % 4), hit.status);
      EXPECT_EQ(static_cast<int>(i), hit.minutes);
      EXPECT_EQ(static_cast<int64_t>(file.find("\n" + domains[i] + "\t") + 1), hit.position);
    }
  }
  close(fd);
}

// A writer cut off mid-line, and an empty file, get their line feed before
// the next record, which is then found.
TEST(EmailServerCache, AppendRepairsTheLastLine) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  for (const std::string& start : {std::string("\nhalf.org\t4a"), std::string()}) {
    WriteWholeFile(path, start);
    EmailServerCache cache;
    ASSERT_EQ(kCacheOk, cache.Open(path.c_str()));
    EXPECT_EQ(start, ReadWholeFile(path)) << "opening changes nothing";
    ASSERT_EQ(kCacheOk, cache.Add("next.org", '6'));
    EXPECT_EQ(start + "\n" + Line("next.org", '6', MinutesSince2010()), ReadWholeFile(path));
    EmailServerRecord record;
    cache.Search("next.org", record);
    EXPECT_EQ('6', record.Status());
    // The cut line now ends on its own: its time reads as long ago, so the
    // verdict is stale and checked again.
    cache.Search("half.org", record);
    if (!start.empty()) {
      EXPECT_EQ('4', record.Status());
      EXPECT_GT(record.Age(), 1000000);
    }
  }
}

TEST(EmailServerCache, DomainsThatWouldForgeRecordsAreRefused) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  EmailServerCache cache;
  ASSERT_EQ(kCacheOk, cache.Open(path.c_str()));
  EXPECT_EQ(kCacheUnstorableDomain, cache.Add("evil.org\t6", '3'));
  EXPECT_EQ(kCacheUnstorableDomain, cache.Add("x\nvictim.org", '3'));
  EXPECT_EQ("\n", ReadWholeFile(path));
  EmailServerRecord record;
  EXPECT_EQ(kCacheOk, cache.Search("a\nb", record));
  EXPECT_TRUE(record.Empty());
  // The empty domain ("user@") is an ordinary record.
  EXPECT_EQ(kCacheOk, cache.Add("", '3'));
  cache.Search("", record);
  EXPECT_FALSE(record.Empty());
}

TEST(EmailServerCache, UpdateChecksWhatIsOnDisk) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  const int now = MinutesSince2010();
  EmailServerCache cache;
  EmailServerRecord record;
  EXPECT_EQ(kCacheNoPosition, cache.Update(record, '4'));

  WriteWholeFile(path, "\n" + Line("a.org", '3', now));
  ASSERT_EQ(kCacheOk, cache.Open(path.c_str()));
  cache.Search("a.org", record);
  WriteWholeFile(path, "\n" + Line("b.org", '3', now));
  EXPECT_EQ(kCacheOtherDomain, cache.Update(record, '4'));
  WriteWholeFile(path, "\na.org 3abcd\n");
  EXPECT_EQ(kCacheNoTab, cache.Update(record, '4'));
  // A record whose time has five digits is longer than the new line.
  const std::string five = "\na.org\t3" + EncodeNumber(64 * 64 * 64 * 64, 64) + "\n";
  WriteWholeFile(path, five);
  EXPECT_EQ(kCacheLengthDiffers, cache.Update(record, '4'));
  EXPECT_EQ(five, ReadWholeFile(path));
  WriteWholeFile(path, "\na.org\t3");
  EXPECT_EQ(kCacheShortRead, cache.Update(record, '4'));
}

// The time field's digits; the line is the file format, byte for byte.
TEST(EmailServerCache, Base64Numbers) {
  EXPECT_EQ("7Ei0", EncodeNumber(2000000, 64));
  EXPECT_EQ(2000000, DecodeNumber("7Ei0 ", 64));
  EXPECT_EQ("101", EncodeNumber(5, 2));
  EXPECT_EQ("", EncodeNumber(-1, 64));
  EXPECT_EQ("", EncodeNumber(5, 65));
  EXPECT_EQ(0, DecodeNumber("7Ei0", 1));
  EXPECT_EQ(0x7fffffff, DecodeNumber("//////////", 64));  // clamped, never wrapped
  EXPECT_EQ("example.org\t47Ei0\n", MakeCacheLine("example.org", '4', 2000000));
}

// Eight threads, each with its own cache object as the validator makes them,
// append into one file: every record is found and no line is merged.
TEST(EmailServerCacheConcurrency, EightThreadsAppendAndSearch) {
  ScratchDir dir;
  const std::string path = dir.File("cache");
  constexpr int kThreads = 8, kEach = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&path, t] {
      for (int i = 0; i < kEach; ++i) {
        EmailServerCache cache;
        if (cache.Open(path.c_str()) != kCacheOk) return;
        const std::string domain = "t" + std::to_string(t) + "-" + std::to_string(i) + ".org";
        EmailServerRecord record;
        cache.Search(domain.c_str(), record);
        if (record.Empty()) cache.Add(domain.c_str(), '4');
        cache.Search(domain.c_str(), record);
        if (!record.Empty()) cache.Update(record, '6');
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("", lines[0]) << "the file starts with one line feed";
  std::set<std::string> seen;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t tab = line.find('\t');
    ASSERT_NE(std::string::npos, tab) << line;
    EXPECT_EQ(tab + 6, line.size()) << line;
    EXPECT_EQ('6', line[tab + 1]) << line;
    EXPECT_TRUE(seen.insert(line.substr(0, tab)).second) << line;
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kEach), seen.size());
}

}  // namespace
