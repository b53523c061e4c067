// ListInfo: one open list, owned by the list registry.
#ifndef ZRUTILS_LISTS_LIST_INFO_H
#define ZRUTILS_LISTS_LIST_INFO_H

#include <cstdint>
#include <map>
#include <string>

#include "foundation/mutex.h"

struct ListInfo {
  // Registry name; empty for an anonymous list. Set before the list is
  // registered and never changed.
  std::string name;
  // Opens not yet matched by a close; guarded by the registry mutex.
  int32_t usageCount = 0;

  // The fields below are guarded by `mutex`.
  // Largest identifier ever read or assigned; new texts get one above it.
  int32_t highestId = 0;
  // Set by an insertion, never cleared: only a changed list is written.
  bool modified = false;
  // The list's file exists but could not be read whole. Such a list must
  // never be written back: it would replace the real contents with the part
  // that was read.
  bool loadFailed = false;
  // Texts in byte-wise order (std::string compares as unsigned bytes).
  std::map<std::string, int32_t> entries;

  ZRMutex mutex{0};
};

#endif
