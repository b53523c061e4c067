// ListInfo: one open list, owned by the list registry.
#ifndef ZRUTILS_LISTS_LIST_INFO_H
#define ZRUTILS_LISTS_LIST_INFO_H

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/mutex.h"
#include "foundation/non_copyable.h"
#include "lists/list_table.h"

// Searches read `entries` without the mutex once `ready` is set, also while
// the mutex's holder adds to them (ListTable allows one writer beside any
// number of readers).
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

  // The texts and their identifiers; changed only under `mutex`.
  ListTable entries;
  ZRMutex mutex{0};
  // Set (release) once the list's file has been read; until then a search
  // waits for the reader on the mutex.
  std::atomic<bool> ready{false};
};

#endif
