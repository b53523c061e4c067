// Hash index creation: sizes and encodings, refusals, the table being
// searched while it is built, collisions, and failed writes that must leave
// the previous index in place.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hashindex/hash_functions.h"
#include "hashindex/hash_index.h"
#include "hashindex/hash_index_searcher.h"
#include "hashindex/hash_index_test_files.h"
#include "tests/test_support.h"

namespace {

PlainIndex Decode(const std::string& path) {
  PlainIndex p;
  EXPECT_TRUE(ReadPlainIndex(ReadWholeFile(path), p)) << path;
  return p;
}

std::vector<uint64_t> StoredEntries(const PlainIndex& p) {
  std::vector<uint64_t> entries;
  for (uint64_t e : p.table)
    if (e != 0) entries.push_back(e & ~(uint64_t{1} << (p.entryBits - 1)));
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(HashIndexCreate, SizesAndEncodings) {
  ScratchDir dir;
  const std::string path = dir.File("i");
  HashIndex index;
  // The table: the smallest prime above twice the keys, at least 17.
  for (auto [keys, slots] : {std::pair<uint32_t, uint32_t>{5, 17}, {100, 211}, {0, 17}, {9, 19}}) {
    ASSERT_EQ(index.BeginCreate(path.c_str(), 1000, keys), 0);
    EXPECT_EQ(index.TableSize(), slots) << keys;
    EXPECT_EQ(index.EntryBits(), 11u);  // 10 value bits and the continue flag
  }

  // Terminator encoding: 4 >= 4 keys x 1 bit; one 0 entry per key.
  ASSERT_EQ(index.BeginCreateUsingList(path.c_str(), 1, 4, 4), 0);
  EXPECT_EQ(index.ListFlag(), 0u);
  EXPECT_EQ(index.EntryBits(), 5u);  // positions up to 8
  for (const char* key : {"a", "b", "c", "d"}) ASSERT_EQ(index.Insert(key, 1), 0);
  ASSERT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  PlainIndex p = Decode(path);
  EXPECT_EQ(p.list, (std::vector<uint64_t>{0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(StoredEntries(p), (std::vector<uint64_t>{2, 4, 6, 8}));
  EXPECT_EQ(p.listFlagBits, 0);
  EXPECT_EQ(p.text, "");

  // Flag encoding: 3 < 4 keys x 1 bit; each group's first value flagged.
  ASSERT_EQ(index.BeginCreateUsingList(path.c_str(), 1, 3, 4), 0);
  EXPECT_EQ(index.ListBits(), 2u);
  EXPECT_EQ(index.ListFlag(), 2u);
  for (const char* key : {"a", "b", "c"}) ASSERT_EQ(index.Insert(key, 1), 0);
  EXPECT_EQ(index.Insert("d", 1), ERR_HASHINDEX_FULL);  // the list is full
  const std::string text(255, 't');
  ASSERT_EQ(index.EndCreate(text.c_str(), 0, 0, nullptr, 0), 0);
  p = Decode(path);
  EXPECT_EQ(p.list, (std::vector<uint64_t>{3, 3, 3}));
  EXPECT_EQ(p.listFlagBits, 2);
  EXPECT_EQ(p.text, text);  // a text of 255 bytes is kept whole
  EXPECT_EQ(p.keyCount, 3u);

}

TEST(HashIndexCreate, RefusalsAndCallsOutOfOrder) {
  ScratchDir dir;
  const std::string path = dir.File("i");
  const char* p = path.c_str();
  HashIndex index;
  // Calls before any creation.
  EXPECT_EQ(index.Insert("a", 1), ERR_HASHINDEX_BAD_CALL);
  EXPECT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), ERR_HASHINDEX_BAD_CALL);
  EXPECT_EQ(index.WriteToTableBuffer(0, 1), ERR_HASHINDEX_BAD_CALL);

  // Sizes beyond the format, refused before anything is allocated.
  struct Case { const char* what; std::function<int()> call; int code; } cases[] = {
      {"keys above 0x3FFFFFFF", [&] { return index.BeginCreate(p, 10, 0x40000000); }, ERR_HASHINDEX_TOO_WIDE},
      {"table beyond 32 bits", [&] { return index.BeginCreate(p, uint64_t{1} << 54, 0x3FFFFFFF); }, ERR_HASHINDEX_TOO_WIDE},
      {"value wider than 56 bits", [&] { return index.BeginCreate(p, uint64_t{1} << 56, 5); }, ERR_HASHINDEX_TOO_WIDE},
      {"list value of 56 bits with its flag", [&] { return index.BeginCreateUsingList(p, (uint64_t{1} << 56) - 1, 1, 5); }, ERR_HASHINDEX_TOO_WIDE},
      {"list beyond 32 bits", [&] { return index.BeginCreateUsingList(p, 1, 0xFFFFFFFF, 0x3FFFFFFF); }, ERR_HASHINDEX_TOO_WIDE},
      {"range multiplier beyond 32 bits", [&] { return index.BeginCreateUsingListAndRange(p, 5, 0xFFFFFFFF, 9, 5); }, ERR_HASHINDEX_TOO_WIDE},
      {"range values beyond 64 bits", [&] { return index.BeginCreateUsingListAndRange(p, uint64_t{1} << 40, 1u << 30, 9, 5); }, ERR_HASHINDEX_TOO_WIDE},
      {"largest value 0", [&] { return index.BeginCreate(p, 0, 5); }, ERR_HASHINDEX_BAD_VALUE},
      {"no file name", [&] { return index.BeginCreate(nullptr, 10, 5); }, ERR_HASHINDEX_BAD_CALL},
      {"folder missing", [&] { return index.BeginCreateUsingList((path + "/no/list").c_str(), 10, 5, 5); }, ERR_HASHINDEX_CREATE},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.code) << c.what;
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{});

  // Values: 0 would read as an empty slot; ranges only where declared.
  ASSERT_EQ(index.BeginCreate(p, 10, 2), 0);
  EXPECT_EQ(index.Insert("a", 0), ERR_HASHINDEX_BAD_VALUE);
  EXPECT_EQ(index.Insert("a", 11), ERR_HASHINDEX_BAD_VALUE);
  EXPECT_EQ(index.InsertRange("a", 1, 1), ERR_HASHINDEX_RANGE_LENGTH);
  EXPECT_EQ(index.InsertRange("a", 2, 1), ERR_HASHINDEX_RANGE_ORDER);
  EXPECT_EQ(index.Insert(nullptr, 1), ERR_HASHINDEX_BAD_CALL);
  ASSERT_EQ(index.Insert("a", 1), 0);
  ASSERT_EQ(index.Insert("b", 2), 0);
  EXPECT_EQ(index.Insert("c", 3), ERR_HASHINDEX_FULL);  // refused before anything changed

  // The table buffer refuses slots and values that do not fit.
  EXPECT_EQ(index.ReadFromTableBuffer(17), 0u);
  EXPECT_FALSE(index.GetFlagInTableBuffer(4000000000u));
  EXPECT_EQ(index.WriteToTableBuffer(17, 1), ERR_HASHINDEX_SLOT_RANGE);
  EXPECT_EQ(index.SetFlagInTableBuffer(17), ERR_HASHINDEX_SLOT_RANGE);
  EXPECT_EQ(index.WriteToTableBuffer(0, 32), ERR_HASHINDEX_BAD_VALUE);  // entries are 5 bits

  // Header fields that would not fit: refused before writing, and creation
  // goes on.
  const std::string text256(256, 'x'), userData(65535, 'u');
  EXPECT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 3), ERR_HASHINDEX_BAD_CALL);
  EXPECT_EQ(index.EndCreate(text256.c_str(), 0, 0, nullptr, 0), ERR_HASHINDEX_TOO_WIDE);
  EXPECT_EQ(index.EndCreate("t", 0, 0, userData.data(), 65535 - 54), ERR_HASHINDEX_TOO_WIDE);
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{});
  ASSERT_EQ(index.EndCreate("t", 7, 3, userData.data(), 65535 - 55), 0);
  const PlainIndex plain = Decode(path);
  EXPECT_EQ(plain.headerLength, 65535u);
  EXPECT_EQ(StoredEntries(plain), (std::vector<uint64_t>{1, 2}));

  // After EndCreate the table is gone: calls answer a code.
  EXPECT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), ERR_HASHINDEX_BAD_CALL);
  EXPECT_EQ(index.Insert("d", 1), ERR_HASHINDEX_BAD_CALL);
  HashIndexSearcher s;
  s.BeginSearch(&index, "a");
  EXPECT_EQ(s.SearchNext(), ERR_HASHINDEX_BAD_CALL);

  // With a list, the index being created cannot be searched (its list is
  // still in the ".tmp" file); an abandoned creation leaves nothing.
  {
    HashIndex listed;
    ASSERT_EQ(listed.BeginCreateUsingList(dir.File("l").c_str(), 10, 5, 5), 0);
    ASSERT_EQ(listed.Insert("a", 1), 0);
    s.BeginSearch(&listed, "a");
    EXPECT_EQ(s.SearchNext(), ERR_HASHINDEX_BAD_CALL);
    const std::vector<std::string> files = FolderListing(dir.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], "i");
    EXPECT_EQ(files[1], listed.ValueListFileName().substr(dir.path().size() + 1));
    EXPECT_EQ(files[1].rfind("l.tmp", 0), 0u) << files[1];
  }
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"i"});
}

TEST(HashIndexCreate, CollisionsAndSearchWhileCreating) {
  ScratchDir dir;
  HashIndex index;
  ASSERT_EQ(index.BeginCreate(dir.File("c").c_str(), 100, 5), 0);
  ASSERT_EQ(index.TableSize(), 17u);
  // Four keys of one probe sequence (home slot and step), and a fifth of
  // that sequence never entered.
  std::vector<std::string> same;
  const uint32_t first = OneAtATimeHash("k0", 2);
  const uint32_t home = first % 17;
  for (int i = 0; same.size() < 5; ++i) {
    const std::string key = "k" + std::to_string(i);
    const uint32_t h = OneAtATimeHash(key.data(), key.size());
    if (h % 17 == home && (h >> 24) == (first >> 24)) same.push_back(key);
  }
  for (int i = 0; i < 4; ++i) ASSERT_EQ(index.Insert(same[i].c_str(), 10 + i), 0);
  EXPECT_TRUE(index.GetFlagInTableBuffer(home));
  EXPECT_EQ(index.ReadFromTableBuffer(home), 0x80u + 10);  // 8-bit entries, flag set

  // Searched from the table in memory: the i-th key is the i-th candidate.
  auto candidates = [&](const std::string& key, uint64_t wanted) {
    HashIndexSearcher s;
    s.BeginSearch(&index, key.c_str());
    std::vector<uint64_t> seen;
    while (s.SearchNext() == 0 && !s.Finished() && seen.size() < 20) {
      seen.push_back(s.ValueFound());
      s.SetMatched(s.ValueFound() == wanted);
    }
    return seen;
  };
  EXPECT_EQ(candidates(same[2], 12), (std::vector<uint64_t>{10, 11, 12, 13}));  // goes on after a match
  EXPECT_EQ(candidates(same[4], 0), (std::vector<uint64_t>{10, 11, 12, 13}));

  ASSERT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  MTFile file;
  ASSERT_EQ(file.Open(dir.File("c").c_str(), OpenPafReadFile, nullptr, nullptr, 0), 0);
  HashIndex reader;
  ASSERT_EQ(reader.BeginRead(&file, 0), 0);
  // The caller's loop: the flagged candidates, then the last without flag.
  uint32_t slot = HashIndex::iNoHandle;
  std::vector<uint64_t> seen;
  do {
    uint64_t value;
    ASSERT_EQ(reader.Search(same[4].c_str(), slot, value), 0);
    seen.push_back(value);
  } while (slot != HashIndex::iNoHandle && seen.size() < 20);
  EXPECT_EQ(seen, (std::vector<uint64_t>{10, 11, 12, 13}));
  EXPECT_EQ(reader.GetMaxValueFound(), 127u);
}

// An index may be created with lookup3: each key's entry then sits at its
// lookup3 home slot, the header names the type, and a reader finds it.
TEST(HashIndexCreate, Lookup3HashType) {
  ScratchDir dir;
  const std::string path = dir.File("l");
  HashIndex index;
  EXPECT_EQ(index.SetHashType(kHashTypeLookup3), ERR_HASHINDEX_BAD_CALL);  // not creating
  ASSERT_EQ(index.BeginCreate(path.c_str(), 100, 3), 0);
  EXPECT_EQ(index.SetHashType(3), ERR_HASHINDEX_HASH_TYPE);
  ASSERT_EQ(index.SetHashType(kHashTypeLookup3), 0);
  const std::vector<std::string> keys = {"alpha", "beta", "gamma"};
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(index.Insert(keys[i].c_str(), 11 + i), 0);
  EXPECT_EQ(index.SetHashType(kHashTypeOneAtATime), ERR_HASHINDEX_BAD_CALL);  // after an insert
  ASSERT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  const PlainIndex p = Decode(path);
  EXPECT_EQ(p.hashType, kHashTypeLookup3);
  MTFile file;
  ASSERT_EQ(file.Open(path.c_str(), OpenPafReadFile, nullptr, nullptr, 0), 0);
  HashIndex reader;
  ASSERT_EQ(reader.BeginRead(&file, 0), 0);
  for (size_t i = 0; i < keys.size(); ++i) {
    const uint32_t home = Lookup3HashLittle(keys[i].data(), keys[i].size(), 0) % p.tableSize;
    uint64_t entry;
    ASSERT_EQ(reader.ReadFromTable(home, entry), 0);
    uint32_t slot = HashIndex::iNoHandle;
    uint64_t value;
    ASSERT_EQ(reader.Search(keys[i].c_str(), slot, value), 0);
    EXPECT_EQ(value, 11 + i) << keys[i];
    EXPECT_EQ(entry & ~(uint64_t{1} << (p.entryBits - 1)), value) << "home slot of " << keys[i];
  }
}

TEST(HashIndexCreate, RangesDebugOutput) {
  ScratchDir dir;
  HashIndex index;
  ASSERT_EQ(index.BeginCreateUsingListAndRange(dir.File("r").c_str(), 20, 10, 40, 5), 0);
  EXPECT_EQ(index.RangeMultiplier(), 11u);
  ASSERT_EQ(index.InsertRange("a", 5, 7), 0);  // stored as 57
  ASSERT_EQ(index.InsertRange("a", 0, 3), 0);
  ASSERT_EQ(index.InsertRange("b", 9, 9), 0);
  EXPECT_EQ(index.InsertRange("b", 0, 0), ERR_HASHINDEX_BAD_VALUE);  // 0 would end the group
  ASSERT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  const PlainIndex p = Decode(dir.File("r"));
  EXPECT_EQ(p.list, (std::vector<uint64_t>{0, 57, 3, 0, 99}));
  MTFile file;
  ASSERT_EQ(file.Open(dir.File("r").c_str(), OpenPafLoadIntoMemory, nullptr, nullptr, 0), 0);
  HashIndex reader;
  ASSERT_EQ(reader.BeginRead(&file, 0), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(reader.DebugOutput(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Records In Index: 8\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Scanning index file (to 5):          \b\b\b\b\b\b\b\b\b        5\n");
}

TEST(HashIndexCreate, WorkedExampleOfTheFormatDocument) {
  ScratchDir dir;
  const std::string path = dir.File("example.zrh");
  HashIndex index;
  ASSERT_EQ(index.BeginCreateUsingList(path.c_str(), 5, 3, 2), 0);
  ASSERT_EQ(index.Insert("apple", 2), 0);
  ASSERT_EQ(index.Insert("apple", 5), 0);
  ASSERT_EQ(index.Insert("pear", 3), 0);
  ASSERT_EQ(index.EndCreate("fruit", 0, 1, nullptr, 0), 0);
  const unsigned char expected[] = {
      0x5a, 0x72, 0x48, 0x74, 0x00, 0x3b, 0x01, 0x01, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x11,
      0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
      0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x04, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x66, 0x72, 0x75, 0x69, 0x74, 0x5a, 0x52, 0x68, 0x74, 0x00,
      0x00, 0x18, 0x00, 0x00, 0x40, 0x00, 0x5a, 0x52, 0x68, 0x74, 0xa5, 0xb0, 0x5a, 0x52, 0x68, 0x74};
  EXPECT_EQ(ReadWholeFile(path), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"example.zrh"});  // the ".tmp" is gone
}

TEST(HashIndexCreate, FailedWriteKeepsTheOldIndex) {
  ScratchDir dir;
  const std::string path = dir.File("names.zrh");
  HashIndex index;
  ASSERT_EQ(index.BeginCreateUsingList(path.c_str(), 1000, 10, 5), 0);
  ASSERT_EQ(index.Insert("old", 7), 0);
  ASSERT_EQ(index.EndCreate("old", 0, 0, nullptr, 0), 0);
  const std::string old = ReadWholeFile(path);
  MTFile mapped;  // a reader keeps the old index mapped meanwhile
  ASSERT_EQ(mapped.Open(path.c_str(), OpenPafFileMap, nullptr, nullptr, 0), 0);

  // The file system refuses the size the new index needs.
  for (bool withList : {false, true}) {
    EXPECT_EQ(ExitStatusUnderFileSizeLimit(8192, [&] {
                HashIndex big;
                const int begun = withList ? big.BeginCreateUsingList(path.c_str(), 1u << 20, 20000, 20000)
                                           : big.BeginCreate(path.c_str(), 1u << 20, 20000);
                if (begun != 0) return 2;
                // The value list fails while it is streamed, the table when
                // the index is written.
                int result = 0;
                for (int i = 0; i < 20000 && result == 0; ++i)
                  result = big.Insert(("key" + std::to_string(i)).c_str(), i + 1);
                if (result == 0) result = big.EndCreate("new", 0, 0, nullptr, 0);
                return result == ERR_HASHINDEX_WRITE ? 0 : 1;
              }),
              0) << withList;
    EXPECT_EQ(FolderListing(dir.path()), std::vector<std::string>{"names.zrh"});
    EXPECT_EQ(ReadWholeFile(path), old);
  }
  HashIndex reader;
  ASSERT_EQ(reader.BeginRead(&mapped, 0), 0);
  EXPECT_STREQ(reader.GetText(), "old");

  // An index that cannot take its place (a folder stands there).
  const std::string blocked = dir.File("blocked");
  mkdir(blocked.c_str(), 0777);
  WriteWholeFile(blocked + "/keep", "x");
  ASSERT_EQ(index.BeginCreate(blocked.c_str(), 10, 5), 0);
  ASSERT_EQ(index.Insert("a", 1), 0);
  EXPECT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), ERR_HASHINDEX_WRITE);
  EXPECT_EQ(FolderListing(dir.path()), (std::vector<std::string>{"blocked", "names.zrh"}));
  unlink((blocked + "/keep").c_str());
  rmdir(blocked.c_str());
}

// Two creations of one index with lists at once (interleaved here, as two
// threads or two processes may run them): each streams its list to a file of
// its own, so each ends whole and the index left in place is exactly one of
// the two.
TEST(HashIndexCreate, TwoCreationsOfOneIndexWithListsAtOnce) {
  ScratchDir dir;
  auto begin = [](HashIndex& index, const std::string& path, int who) {
    int result = index.BeginCreateUsingList(path.c_str(), 9000, 6000, 2000);
    for (int key = 0; key < 2000 && result == 0; ++key)
      for (int n = 0; n < 3 && result == 0; ++n)
        result = index.Insert(("k" + std::to_string(key)).c_str(), 1 + who * 4000 + key + n);
    return result;
  };
  std::string alone[2];
  for (int who = 0; who < 2; ++who) {
    HashIndex index;
    const std::string path = dir.File("alone" + std::to_string(who));
    ASSERT_EQ(begin(index, path, who), 0);
    ASSERT_EQ(index.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
    alone[who] = ReadWholeFile(path);
  }
  const std::string shared = dir.File("shared");
  HashIndex first, second;
  ASSERT_EQ(begin(first, shared, 0), 0);
  ASSERT_EQ(begin(second, shared, 1), 0);
  ASSERT_EQ(first.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  EXPECT_TRUE(ReadWholeFile(shared) == alone[0]);  // bytes: no dump on failure
  ASSERT_EQ(second.EndCreate(nullptr, 0, 0, nullptr, 0), 0);
  EXPECT_TRUE(ReadWholeFile(shared) == alone[1]);
}

}  // namespace
