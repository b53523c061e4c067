#include "hashindex/hash_index_searcher.h"

void HashIndexSearcher::BeginSearch(const HashIndex* index_, const char* key_) {
  index = index_;
  key = key_ != nullptr ? key_ : "";
  starting = true;
  searchState = SearchNotMatched;
  value = 0;
  rangeEnd = 0;
  inRange = false;
  listPos = 0;
  slot = HashIndex::iNoHandle;
}

int HashIndexSearcher::SearchNext() {
  if (index == nullptr) return ERR_HASHINDEX_BAD_CALL;
  return index->Search3(*this);
}

void HashIndexSearcher::SetMatched(bool matched) {
  if (searchState == SearchNeedsCheck) searchState = matched ? SearchMatched : SearchNotMatched;
}
