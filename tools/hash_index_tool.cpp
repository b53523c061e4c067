// hash_index_tool: builds, dumps and searches hash index files from the
// command line.
//   hash_index_tool build FILE < KEYS      one "key<TAB>value" a line; a key's
//                                          lines one after another
//   hash_index_tool info FILE              the header and the counts
//   hash_index_tool table FILE             every non-empty slot
//   hash_index_tool search FILE KEY        every candidate of KEY with its values
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/text_file.h"
#include "hashindex/hash_index.h"

static int Usage() {
  fprintf(stderr,
          "usage: hash_index_tool build FILE < KEYS   (lines: key TAB value)\n"
          "       hash_index_tool info FILE\n"
          "       hash_index_tool table FILE\n"
          "       hash_index_tool search FILE KEY\n");
  return 2;
}

static int Failed(const char* what, int result) {
  fprintf(stderr, "%s failed: %d\n", what, result);
  return 1;
}

// Reads every line first: the capacities must be known before creation.
static int Build(const char* path) {
  std::vector<std::pair<std::string, uint64_t>> entries;
  std::string line;
  uint64_t largest = 1;
  uint32_t keys = 0;
  while (ReadTextLine(stdin, line) == TextLineResult::kLine) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const uint64_t value = strtoull(line.c_str() + tab + 1, nullptr, 10);
    entries.emplace_back(line.substr(0, tab), value);
    if (value > largest) largest = value;
    if (entries.size() == 1 || entries[entries.size() - 2].first != entries.back().first) ++keys;
  }
  const bool list = keys != entries.size();
  HashIndex index;
  int result = list ? index.BeginCreateUsingList(path, largest, static_cast<uint32_t>(entries.size()), keys)
                    : index.BeginCreate(path, largest, keys);
  if (result != 0) return Failed("BeginCreate", result);
  for (const auto& [key, value] : entries)
    if ((result = index.Insert(key.c_str(), value)) != 0) return Failed(key.c_str(), result);
  // The table's size is gone once the file is written.
  const uint32_t slots = index.TableSize();
  if ((result = index.EndCreate(nullptr, 0, 0, nullptr, 0)) != 0) return Failed("EndCreate", result);
  printf("%u keys, %zu values, %u slots of %u bits\n", index.KeyCount(), entries.size(), slots,
         index.EntryBits());
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "build") return Build(argv[2]);
  MTFile file;
  char error[256];
  int result = file.Open(argv[2], OpenPafFileMap, nullptr, error, sizeof error);
  if (result != 0) return fprintf(stderr, "%s\n", error), Failed("open", result);
  HashIndex index;
  if ((result = index.BeginRead(&file, 255)) != 0) return Failed("BeginRead", result);

  if (command == "info") {
    printf("hash type %u, data version %u, flags %016" PRIx64 ", text \"%s\"\n",
           index.HashType(), index.GetDataVersion(), index.GetFlags(), index.GetText());
    printf("%u slots of %u bits, %u keys", index.TableSize(), index.EntryBits(), index.KeyCount());
    if (index.UsesList())
      printf("; list of %u entries of %u bits, %s encoding", index.ListCount(), index.ListBits(),
             index.ListFlag() != 0 ? "flag" : "terminator");
    if (index.RangeMultiplier() != 0) printf("; range multiplier %u", index.RangeMultiplier());
    printf("\nlargest value %" PRIu64 "\n", index.GetMaxValueFound());
    return index.DebugOutput() == 0 ? 0 : 1;
  }
  if (command == "table") {
    for (uint32_t slot = 0; slot < index.TableSize(); ++slot) {
      uint64_t entry;
      if ((result = index.ReadFromTable(slot, entry)) != 0) return Failed("read", result);
      const uint64_t flag = uint64_t{1} << (index.EntryBits() - 1);
      if (entry != 0)
        printf("%10u %c %" PRIu64 "\n", slot, (entry & flag) ? '+' : ' ', entry & ~flag);
    }
    return 0;
  }
  if (command == "search" && argc > 3) {
    uint32_t slot = HashIndex::iNoHandle;
    do {
      uint64_t value;
      uint32_t listPos = 0;
      result = index.UsesList() ? index.SearchUsingList(argv[3], slot, value, listPos)
                                : index.Search(argv[3], slot, value);
      if (result != 0) return Failed("search", result);
      if (value == 0 && listPos == 0) continue;
      printf("candidate:");
      while (result == 0 && (value != 0 || listPos == 0)) {
        printf(" %" PRIu64, value);
        if (listPos == 0) break;
        result = index.GetNextInList(listPos, value);
      }
      printf("\n");
    } while (slot != HashIndex::iNoHandle);
    return 0;
  }
  return Usage();
}
