// The hash index reader on arbitrary bytes held in the caller's memory:
// BeginRead, then every kind of search for a few keys. Whatever the bytes,
// every call must return, without reading outside the block and without
// probing for ever.
#include <cstdint>
#include <string>

#include "foundation/mt_file.h"
#include "hashindex/hash_index.h"
#include "hashindex/hash_index_searcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  MTFile file;
  file.SetMemoryLocation("fuzz", data, static_cast<int32_t>(size));
  HashIndex index;
  if (index.BeginRead(&file, 255) != 0) return 0;
  index.GetMaxValueFound();
  uint64_t value;
  for (uint32_t slot : {0u, 1u, index.TableSize() - 1, index.TableSize(), 4294967295u}) {
    index.ReadFromTable(slot, value);
    index.ReadValueFromFile(slot, value);
  }
  for (uint32_t position : {0u, 1u, index.ListCount(), index.ListCount() + 1})
    index.ReadFromList(position, value);

  // Bounds on the loops are the test's own: a damaged file may hold ranges
  // of billions of values, which a searcher rightly delivers one by one.
  const char* keys[] = {"", "a", "key", "The quick brown fox", "k00007"};
  for (const char* key : keys) {
    uint32_t slot = HashIndex::iNoHandle;
    for (int calls = 0; calls < 5000; ++calls) {
      if (index.Search(key, slot, value) != 0 || slot == HashIndex::iNoHandle) break;
    }
    slot = HashIndex::iNoHandle;
    for (int calls = 0; calls < 5000; ++calls) {
      uint32_t listPos;
      if (index.SearchUsingList(key, slot, value, listPos) != 0) break;
      for (int next = 0; next < 100 && value != 0; ++next)
        if (index.GetNextInList(listPos, value) != 0) break;
      if (slot == HashIndex::iNoHandle) break;
    }
    HashIndexSearcher searcher;
    searcher.BeginSearch(&index, key);
    for (int step = 0; step < 5000; ++step) {
      if (searcher.SearchNext() != 0 || searcher.Finished()) break;
      if (searcher.NeedToCheck()) searcher.SetMatched(step % 3 == 0);
    }
  }
  return 0;
}
