// ListInfo: one open list, owned by the list registry.
#ifndef ZRUTILS_LISTS_LIST_INFO_H
#define ZRUTILS_LISTS_LIST_INFO_H

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/mutex.h"
#include "foundation/non_copyable.h"
#include "lists/list_table.h"

// Searches read `entries` without the mutex while `writing` is clear; the
// holder of the mutex changes them only while `writing` is set, after the
// searches already reading have finished (ListWriting, in list_registry.h).
struct ListInfo : private ZRNonCopyable {
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

  // The texts and their identifiers; see above for who may read them.
  ListTable entries;
  ZRMutex mutex{0};
  std::atomic<bool> writing{false};
};

#endif
