// The hash index reader: whole files written by the library, read in every
// MTFile mode and compared with an independent reader; damaged headers,
// truncated files, packed widths, probe bounds and many threads at once.
#include "hashindex/hash_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hashindex/bit_packing.h"
#include "hashindex/hash_functions.h"
#include "hashindex/hash_index_searcher.h"
#include "hashindex/hash_index_test_files.h"
#include "tests/test_support.h"

namespace {

enum Layout { kNoList, kTerminatorList, kFlagList, kRanges };

// An index written by the library, with what each key must give.
struct BuiltIndex {
  std::string path;
  std::map<std::string, std::vector<uint64_t>> expected;  // all values, in order
  std::map<uint64_t, std::string> owner;                  // first value -> key
  bool IsKey(const std::string& key, uint64_t first) const {
    auto it = owner.find(first);
    return it != owner.end() && it->second == key;
  }
};

std::string Key(int i) {
  char key[16];
  snprintf(key, sizeof key, "k%05d", i);
  return key;
}

// Writes an index of n keys in the given layout. Some keys come back after
// others, so they occupy two slots.
BuiltIndex Build(const ScratchDir& dir, Layout layout, int n) {
  BuiltIndex b;
  b.path = dir.File("index" + std::to_string(layout) + ".zrh");
  HashIndex index;
  const uint32_t keys = static_cast<uint32_t>(n + 2);
  int result = 0;
  switch (layout) {
    case kNoList: result = index.BeginCreate(b.path.c_str(), 10 * n + 1000, keys); break;
    case kTerminatorList:
      result = index.BeginCreateUsingList(b.path.c_str(), 100 * n, 64 * keys, keys);
      break;
    case kFlagList: result = index.BeginCreateUsingList(b.path.c_str(), 100 * n, 3 * keys, keys); break;
    case kRanges: result = index.BeginCreateUsingListAndRange(b.path.c_str(), 100 * n, 3, 64 * keys, keys); break;
  }
  EXPECT_EQ(result, 0);
  auto add = [&](const std::string& key, std::vector<uint64_t> values) {
    b.owner[values[0]] = key;  // each call starts a group
    for (uint64_t v : values) {
      EXPECT_EQ(index.Insert(key.c_str(), v), 0);
      b.expected[key].push_back(v);
    }
  };
  auto addRange = [&](const std::string& key, uint64_t start, uint64_t end) {
    b.owner[start] = key;
    EXPECT_EQ(index.InsertRange(key.c_str(), start, end), 0);
    for (uint64_t v = start; v <= end; ++v) b.expected[key].push_back(v);
  };
  for (int i = 0; i < n; ++i) {
    const uint64_t base = (layout == kNoList ? 1 : 10) * uint64_t(i) + 1;
    if (layout == kNoList) add(Key(i), {base});
    else if (layout == kRanges) addRange(Key(i), 10 * base, 10 * base + i % 4);
    else if (i % 3 == 0) add(Key(i), {base});
    else add(Key(i), {base, base + 1, base + i % 3});
  }
  // A key that comes back after others: a second slot (a second group).
  if (layout == kRanges) {
    addRange(Key(7), 99 * n, 99 * n + 2);
    addRange("zero", 0, 2);  // a range that starts at 0
  } else {
    add(Key(7), {uint64_t(9) * n + 5});
  }
  EXPECT_EQ(index.EndCreate("test index", 0x1234, 1, "meta", 4), 0);
  return b;
}

// Every value the searcher gives for key, checking candidates with isKey.
std::vector<uint64_t> SearcherValues(const HashIndex& index, const std::string& key,
                                     const std::function<bool(uint64_t)>& isKey, int* result) {
  std::vector<uint64_t> values;
  HashIndexSearcher s;
  s.BeginSearch(&index, key.c_str());
  *result = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    *result = s.SearchNext();
    if (*result != 0 || s.Finished()) break;
    if (s.NeedToCheck()) s.SetMatched(isKey(s.ValueFound()));
    if (s.Matched()) values.push_back(s.ValueFound());
  }
  return values;
}

// The same through Search / SearchUsingList and GetNextInList, expanding
// ranges by hand.
std::vector<uint64_t> CallerValues(const HashIndex& index, const std::string& key,
                                   const std::function<bool(uint64_t)>& isKey, int* result) {
  std::vector<uint64_t> values;
  const uint32_t m = index.RangeMultiplier();
  auto expand = [&](uint64_t v) {
    if (m == 0) return values.push_back(v);
    for (uint64_t x = v / m; x <= v / m + v % m; ++x) values.push_back(x);
  };
  uint32_t slot = HashIndex::iNoHandle;
  *result = 0;
  do {
    uint64_t value;
    if (!index.UsesList()) {
      if ((*result = index.Search(key.c_str(), slot, value)) != 0) break;
      if (value != 0 && isKey(value)) values.push_back(value);
      continue;
    }
    uint32_t listPos;
    if ((*result = index.SearchUsingList(key.c_str(), slot, value, listPos)) != 0) break;
    if (listPos == 0 || !isKey(m ? value / m : value)) continue;
    while (value != 0) {
      expand(value);
      if ((*result = index.GetNextInList(listPos, value)) != 0) return values;
    }
  } while (slot != HashIndex::iNoHandle);
  return values;
}

// An index read through an MTFile held in one of the four ways: 0 stream,
// 1 loaded, 2 mapped, 3 the caller's block (kept in bytes).
struct ReadIndex {
  std::string bytes;
  MTFile file;
  HashIndex index;
  int Open(const std::string& path, int mode, int maxDataVersion = 2) {
    if (mode == 3) return OpenBytes(ReadWholeFile(path), maxDataVersion);
    const int types[3] = {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap};
    const int result = file.Open(path.c_str(), types[mode], nullptr, nullptr, 0);
    return result != 0 ? result : index.BeginRead(&file, maxDataVersion);
  }
  int OpenBytes(const std::string& b, int maxDataVersion = 2) {
    bytes = b;
    file.SetMemoryLocation("bytes", bytes.data(), static_cast<int32_t>(bytes.size()));
    return index.BeginRead(&file, maxDataVersion);
  }
};

TEST(HashIndex, HashFunctionVectors) {
  struct { const char* text; uint32_t oneAtATime; } oaat[] = {
      {"", 0}, {"a", 0xca2e9442}, {"The quick brown fox jumps over the lazy dog", 0x519e91f5}};
  for (auto& c : oaat) {
    EXPECT_EQ(OneAtATimeHash(c.text, strlen(c.text)), c.oneAtATime) << c.text;
    EXPECT_EQ(PlainOneAtATime(c.text), c.oneAtATime) << c.text;
  }
  EXPECT_EQ(Lookup3HashLittle("", 0, 0), 0xdeadbeefu);
  EXPECT_EQ(Lookup3HashLittle("Four score and seven years ago", 30, 0), 0x17770551u);

  // The index's own HashFunction follows its header's hash type.
  for (uint8_t type : {1, 2}) {
    PlainIndex p;
    p.hashType = type;
    p.entryBits = 8;
    p.table.assign(17, 0);
    ReadIndex r;
    ASSERT_EQ(r.OpenBytes(WritePlainIndex(p), 0), 0);
    const HashIndex& index = r.index;
    const char* text = "Four score and seven years ago";
    EXPECT_EQ(index.HashFunction(text, strlen(text)),
              type == 1 ? 0x17770551u : OneAtATimeHash(text, strlen(text)));
  }

  // The hashes read exactly the bytes given: each key sits in a heap block
  // of just its length (no NUL), so a read past it is an overflow that
  // AddressSanitizer reports.
  for (size_t length = 0; length < 40; ++length) {
    std::unique_ptr<char[]> exact(new char[length]);
    memset(exact.get(), 'x', length);
    const std::string same(length, 'x');
    EXPECT_EQ(Lookup3HashLittle(exact.get(), length, 0), Lookup3HashLittle(same.c_str(), length, 0));
    EXPECT_EQ(OneAtATimeHash(exact.get(), length), PlainOneAtATime(same));
  }
}

TEST(HashIndex, AllLayoutsInEveryOpenMode) {
  ScratchDir dir;
  const int n = 300;
  for (Layout layout : {kNoList, kTerminatorList, kFlagList, kRanges}) {
    const BuiltIndex b = Build(dir, layout, n);
    // The independent reader decodes the whole file and finds every key.
    PlainIndex plain;
    ASSERT_TRUE(ReadPlainIndex(ReadWholeFile(b.path), plain)) << layout;
    EXPECT_EQ(plain.text, "test index");
    EXPECT_EQ(plain.userData, "meta");
    EXPECT_EQ(plain.listFlagBits != 0, layout == kFlagList) << layout;
    for (const auto& [key, values] : b.expected) {
      auto isKey = [&, k = key](uint64_t v) { return b.IsKey(k, v); };
      EXPECT_EQ(PlainSearch(plain, key, isKey), values) << layout << " " << key;
    }

    for (int mode = 0; mode < 4; ++mode) {
      ReadIndex r;
      ASSERT_EQ(r.Open(b.path, mode), 0) << layout << " mode " << mode;
      const HashIndex& index = r.index;
      EXPECT_STREQ(index.GetText(), "test index");
      EXPECT_EQ(index.GetFlags(), 0x1234u);
      const char* meta;
      uint32_t metaSize;
      index.GetUserMetaData(meta, metaSize);
      ASSERT_EQ(metaSize, 4u);
      EXPECT_EQ(std::string(meta, 4), "meta");
      for (const auto& [key, values] : b.expected) {
        auto isKey = [&, k = key](uint64_t v) { return b.IsKey(k, v); };
        int result;
        EXPECT_EQ(SearcherValues(index, key, isKey, &result), values) << layout << mode << key;
        EXPECT_EQ(result, 0);
        EXPECT_EQ(CallerValues(index, key, isKey, &result), values) << layout << mode << key;
        EXPECT_EQ(result, 0);
      }
      // Keys never entered: every candidate is refused and the search ends.
      for (int i = n; i < n + 50; ++i) {
        int result;
        EXPECT_TRUE(SearcherValues(index, Key(i), [](uint64_t) { return false; }, &result).empty());
        EXPECT_EQ(result, 0);
      }
    }
  }
}

TEST(HashIndex, SearcherProtocol) {
  ScratchDir dir;
  const BuiltIndex b = Build(dir, kRanges, 40);
  ReadIndex r;
  ASSERT_EQ(r.Open(b.path, 2), 0);
  const HashIndex& index = r.index;
  HashIndexSearcher s;
  s.BeginSearch(&index, "zero");
  // The first candidate along the probe may belong to another key.
  do {
    ASSERT_EQ(s.SearchNext(), 0);
    ASSERT_FALSE(s.Finished());
    EXPECT_EQ(s.SearchNext(), ERR_HASHINDEX_NOT_ANSWERED);  // not answered yet
    s.SetMatched(b.IsKey("zero", s.ValueFound()));
  } while (!s.Matched());
  EXPECT_EQ(s.ValueFound(), 0u);  // the range 0 .. 2 is delivered from 0
  ASSERT_EQ(s.SearchNext(), 0);
  EXPECT_TRUE(s.Matched());
  EXPECT_EQ(s.ValueFound(), 1u);
  ASSERT_EQ(s.SearchNext(), 0);
  EXPECT_EQ(s.ValueFound(), 2u);

  // No index, and an index that was never read, answer a code.
  HashIndexSearcher none;
  EXPECT_EQ(none.SearchNext(), ERR_HASHINDEX_BAD_CALL);
  HashIndex unread;
  none.BeginSearch(&unread, "k");
  EXPECT_EQ(none.SearchNext(), ERR_HASHINDEX_BAD_CALL);
  uint32_t slot = HashIndex::iNoHandle;
  uint64_t value;
  EXPECT_EQ(unread.Search("k", slot, value), ERR_HASHINDEX_BAD_CALL);
  EXPECT_EQ(unread.Search2("k", slot, value, nullptr, nullptr), ERR_HASHINDEX_NOT_SUPPORTED);
}

// A header with a list, a text and user data, as the tests below damage it.
std::string ValidFile() {
  PlainIndex p;
  p.entryBits = 5;
  p.table = {0, 1, 0, 17, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  p.keyCount = 3;
  p.listBits = 4;
  p.listFlagBits = 4;
  p.list = {9, 2, 10, 11, 3};
  p.userData = "ud";
  p.text = "txt";
  return WritePlainIndex(p);
}

TEST(HashIndex, HeaderErrorsInTheOrderChecked) {
  const std::string good = ValidFile();
  ReadIndex r;
  HashIndex& index = r.index;
  ASSERT_EQ(r.OpenBytes(good), 0);
  // Each damage alone gives its code; all of them at once give the first
  // code, and taking them away one by one gives the next.
  struct Damage { size_t at; std::string bytes; int code; } damages[] = {
      {0, "ZrHx", ERR_HASHINDEX_MAGIC},
      {4, std::string("\x00\x35", 2), ERR_HASHINDEX_HEADER_LENGTH},
      {6, "\x02", ERR_HASHINDEX_FORMAT_VERSION},
      {7, "\x03", ERR_HASHINDEX_DATA_VERSION},
      {8, "\x03", ERR_HASHINDEX_HASH_TYPE},
      {48, std::string("\x00\x03", 2), ERR_HASHINDEX_HEADER_OVERFLOW},
      {10, std::string("\x00\x00", 2), ERR_HASHINDEX_BAD_SECTIONS},
      {54 + 5, "X", ERR_HASHINDEX_MARKER1},
      {54 + 5 + 4 + 11, "X", ERR_HASHINDEX_MARKER2},
      {good.size() - 1, "X", ERR_HASHINDEX_MARKER3},
  };
  std::string damaged = good;
  for (const Damage& d : damages) damaged.replace(d.at, d.bytes.size(), d.bytes);
  for (const Damage& d : damages) {
    EXPECT_EQ(r.OpenBytes(damaged), d.code);
    // A failed BeginRead leaves an index that answers nothing.
    uint32_t slot = HashIndex::iNoHandle;
    uint64_t value;
    EXPECT_EQ(index.Search("a", slot, value), ERR_HASHINDEX_BAD_CALL);
    std::string alone = good;
    alone.replace(d.at, d.bytes.size(), d.bytes);
    EXPECT_EQ(r.OpenBytes(alone), d.code);
    damaged.replace(d.at, d.bytes.size(), good.substr(d.at, d.bytes.size()));
  }
  EXPECT_EQ(r.OpenBytes(damaged), 0);
}

TEST(HashIndex, ImpossibleSectionsAreRefused) {
  // Fields that would size a shift, a division or a read beyond the file.
  struct Case { const char* what; size_t at; int width; uint64_t value; } cases[] = {
      {"entryBits 0", 10, 2, 0},       {"entryBits 57", 10, 2, 57},
      {"listBits 57", 36, 2, 57},      {"listBits 0 with a list", 36, 2, 0},
      {"listFlagBits above listBits", 38, 1, 5},
      {"tableSize 0", 12, 4, 0},       {"table too short", 12, 4, 18},
      {"list too short", 28, 4, 7},    {"tableBytes past the file", 20, 4, 0xFFFFFFF0u},
      {"listBytes past the file", 32, 4, 0xFFFFFFF0u},
      {"listBytes past 32 bits", 32, 4, 0xFFFFFFFFu},
  };
  const std::string good = ValidFile();
  ReadIndex r;
  for (const Case& c : cases) {
    std::string bytes = good;
    PutNumber(bytes, c.at, c.value, c.width);
    EXPECT_EQ(r.OpenBytes(bytes), ERR_HASHINDEX_BAD_SECTIONS) << c.what;
  }
}

TEST(HashIndex, EveryPrefixIsRefusedOrReadWhole) {
  const std::string good = ValidFile();
  for (size_t length = 0; length <= good.size() + 1; ++length) {
    std::string bytes = good.substr(0, length);
    if (length > good.size()) bytes += "?";  // trailing bytes are allowed
    ReadIndex r;
    HashIndex& index = r.index;
    const int result = r.OpenBytes(bytes);
    if (length < good.size()) {
      EXPECT_NE(result, 0) << length;
      continue;
    }
    ASSERT_EQ(result, 0);
    uint32_t slot = HashIndex::iNoHandle, listPos;
    uint64_t value;
    ASSERT_EQ(index.ReadFromTable(3, value), 0);
    EXPECT_EQ(value, 17u);
    ASSERT_EQ(index.ReadFromList(5, value), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(index.ReadFromList(6, value), ERR_HASHINDEX_LIST_RANGE);
    EXPECT_EQ(index.ReadFromTable(17, value), ERR_HASHINDEX_SLOT_RANGE);
    EXPECT_EQ(index.ReadValueFromFile(4294967295u, value), ERR_HASHINDEX_BIT_POSITION);
    // A key whose home slot (16) points at list position 2, a value without
    // the group-start flag.
    std::string key = "a";
    while (OneAtATimeHash(key.data(), key.size()) % 17 != 16) key += "a";
    EXPECT_EQ(index.SearchUsingList(key.c_str(), slot, value, listPos), ERR_HASHINDEX_LIST_FLAG);
    listPos = 1;
    ASSERT_EQ(index.GetNextInList(listPos, value), 0);
    EXPECT_EQ(value, 2u);
    ASSERT_EQ(index.GetNextInList(listPos, value), 0);
    EXPECT_EQ(value, 0u);  // 10 carries the flag: the next group
  }
}

TEST(HashIndex, EntryWidthsAtEveryBitOffset) {
  // Through the file for every width 1 to 56: 16 entries reach every bit
  // offset a width can take.
  uint64_t seed = 88172645463325252ull;
  auto next = [&] { seed ^= seed << 13; seed ^= seed >> 7; seed ^= seed << 17; return seed; };
  for (uint32_t width = 1; width <= 56; ++width) {
    PlainIndex p;
    p.entryBits = width;
    const uint64_t mask = (uint64_t{1} << width) - 1;
    for (int i = 0; i < 17; ++i) p.table.push_back(i == 0 ? mask : next() & mask);
    const std::string bytes = WritePlainIndex(p);
    ReadIndex r;
    HashIndex& index = r.index;
    ASSERT_EQ(r.OpenBytes(bytes), 0) << width;
    for (uint32_t i = 0; i < 17; ++i) {
      uint64_t value;
      ASSERT_EQ(index.ReadFromTable(i, value), 0);
      EXPECT_EQ(value, p.table[i]) << "width " << width << " entry " << i;
    }
  }
  // The packing helpers at every first bit, against bit-by-bit packing.
  for (int width = 1; width <= 56; ++width) {
    for (int firstBit = 0; firstBit < 8; ++firstBit) {
      const uint64_t value = next() & ((uint64_t{1} << width) - 1);
      std::string expected(9, '\0');
      PutBits(expected, firstBit, width, value);
      unsigned char packed[9] = {};
      OrPackedBits(packed, firstBit, width, value);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(packed), 9), expected) << width << "/" << firstBit;
      EXPECT_EQ(ExtractPackedBits(packed, firstBit, width), value) << width << "/" << firstBit;
    }
  }
}

TEST(HashIndex, ProbesEndWhenTheyComeRound) {
  // Every slot flagged: a key's probe must still end, after visiting each
  // slot it can reach once.
  for (uint32_t size : {17u, 16u}) {
    PlainIndex p;
    p.entryBits = 8;
    for (uint32_t i = 0; i < size; ++i) p.table.push_back(0x80 | (i + 1));
    const std::string bytes = WritePlainIndex(p);
    ReadIndex r;
    HashIndex& index = r.index;
    ASSERT_EQ(r.OpenBytes(bytes), 0);
    for (const char* key : {"a", "b", "key", "another key"}) {
      const uint32_t h = OneAtATimeHash(key, strlen(key));
      uint32_t step = (h >> 24) + 1;
      if (size <= step && step % size == 0) step = 1;
      uint32_t g = size, s = step % size;  // slots on the cycle: size / gcd
      while (s != 0) { const uint32_t t = g % s; g = s; s = t; }
      const uint32_t cycle = size / g;
      uint32_t slot = HashIndex::iNoHandle, calls = 0;
      uint64_t value;
      do {
        ASSERT_EQ(index.Search(key, slot, value), 0);
        ++calls;
      } while (slot != HashIndex::iNoHandle && calls < 1000);
      EXPECT_EQ(calls, cycle) << size << " " << key;
      uint32_t candidates = 0;
      HashIndexSearcher s2;
      s2.BeginSearch(&index, key);
      while (s2.SearchNext() == 0 && !s2.Finished() && candidates < 1000) {
        ++candidates;
        s2.SetMatched(false);
      }
      EXPECT_EQ(candidates, cycle) << size << " " << key;
    }
  }
  // A 16-slot table turns steps of 16 and 32 into 1.
  PlainIndex p;
  p.entryBits = 8;
  p.table.assign(16, 0);
  const std::string bytes = WritePlainIndex(p);
  ReadIndex r;
  HashIndex& index = r.index;
  ASSERT_EQ(r.OpenBytes(bytes), 0);
  EXPECT_EQ(index.CalculateSkip(15u << 24, nullptr), 1u);
  EXPECT_EQ(index.CalculateSkip(31u << 24, nullptr), 1u);
  EXPECT_EQ(index.CalculateSkip(7u << 24, nullptr), 8u);
}

TEST(HashIndexConcurrency, EightThreadsSearchOneMappedIndex) {
  ScratchDir dir;
  const BuiltIndex b = Build(dir, kFlagList, 2000);
  ReadIndex r;
  ASSERT_EQ(r.Open(b.path, 2), 0);
  const HashIndex& index = r.index;
  std::vector<int> wrong(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (const auto& [key, values] : b.expected) {
          auto isKey = [&, k = key](uint64_t v) { return b.IsKey(k, v); };
          int result;
          const bool ok = (t % 2 ? SearcherValues(index, key, isKey, &result)
                                 : CallerValues(index, key, isKey, &result)) == values;
          if (!ok || result != 0) ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

}  // namespace
