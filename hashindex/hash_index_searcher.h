// HashIndexSearcher: one search of a HashIndex in progress. It yields the
// key's candidates one at a time; the caller checks each against its own
// data and answers with SetMatched. After a match it delivers the rest of
// that key's values (its list group, each range value by value) without
// further checks, then goes on probing, since a key may occupy several
// slots. Belongs to one thread; the index it searches is not owned.
//
//   searcher.BeginSearch(&index, key);
//   while (searcher.SearchNext() == 0 && !searcher.Finished()) {
//     if (searcher.NeedToCheck()) searcher.SetMatched(Mine(searcher.ValueFound()));
//     else Use(searcher.ValueFound());   // a further value of a matched key
//   }
#ifndef ZRUTILS_HASHINDEX_HASH_INDEX_SEARCHER_H
#define ZRUTILS_HASHINDEX_HASH_INDEX_SEARCHER_H

#include <cstdint>
#include <string>

#include "foundation/export.h"
#include "hashindex/hash_index.h"

class ZRU_EXPORT HashIndexSearcher {
 public:
  // The states of a search.
  static constexpr uint32_t SearchNeedsCheck = 0;  // ValueFound is a candidate to check
  static constexpr uint32_t SearchMatched = 1;     // last candidate was the key
  static constexpr uint32_t SearchNotMatched = 2;  // last candidate was not the key
  static constexpr uint32_t SearchFinished = 3;    // no candidate remains

  // Starts a search of key (copied) in index (not owned; it must outlive
  // the search).
  void BeginSearch(const HashIndex* index, const char* key);
  // The next candidate or value: 0 with a value, or with Finished() when no
  // candidate remains; 4823 when the last candidate was not answered; 4819
  // without an index to search.
  int SearchNext();
  uint64_t ValueFound() const { return value; }
  bool NeedToCheck() const { return searchState == SearchNeedsCheck; }
  bool Matched() const { return searchState == SearchMatched; }
  bool Finished() const { return searchState == SearchFinished; }
  // The answer for the candidate just found; ignored in any other state.
  void SetMatched(bool matched);

 private:
  friend class HashIndex;

  uint64_t value = 0;
  uint64_t rangeEnd = 0;  // last value of the current range (see inRange)
  uint32_t slot = HashIndex::iNoHandle;
  uint32_t listPos = 0;
  uint32_t skip = 0;
  uint32_t searchState = SearchFinished;
  bool starting = false;
  std::string key;
  const HashIndex* index = nullptr;
  // Where the probe began: coming back to it ends the search, so a damaged
  // table whose whole probe cycle is flagged cannot keep it going for ever.
  uint32_t homeSlot = HashIndex::iNoHandle;
  // A range is being delivered. Kept apart from rangeEnd, whose 0 is also
  // the legitimate end of a range 0 .. 0 of a damaged or foreign file.
  bool inRange = false;
};

#endif
