// The process-wide registry of open lists: a list's handle is its slot's
// number plus 1; slots are only appended, and a closed list's slot stays
// empty, so a handle never names a second list.
//
// Opening, closing and finding a list by name take the registry mutex, which
// guards the names, every list's usageCount and the filling and emptying of
// slots. A search takes no lock at all on its common path: it reads the
// slot, publishes the list in its thread's usage record, and checks the
// slot again (usage_records.h); the last close empties the slot first and
// then waits until no record holds the list.
//
// Lock order: the registry mutex, then one list's mutex.
#ifndef ZRUTILS_LISTS_LIST_REGISTRY_H
#define ZRUTILS_LISTS_LIST_REGISTRY_H

#include <atomic>
#include <string>

#include "foundation/mutex.h"
#include "foundation/non_copyable.h"
#include "lists/list_info.h"

// The registry mutex.
ZRMutex& ListRegistryMutex();

// The following four need the registry mutex.
// The list of handle, or null (also for a handle of 0 or less).
ListInfo* FindListLocked(long handle);
// The handle of the first open list called `name` (byte for byte), or 0.
long FindListByName(const std::string& name);
// Registers list and answers its handle; 0 when there is no memory for
// the slot (the list is then not registered). The registry owns a
// registered list until UnregisterList.
long RegisterList(ListInfo* list);
// Empties the slot of handle, which names an open list: from now on no
// search can reach it. The caller takes the list over, and must wait with
// WaitUntilUnused before it frees it.
void UnregisterList(long handle);

// Waits, holding no lock, until no search uses the unregistered list.
void WaitUntilUnused(const ListInfo& list);

// One search's use of one list, in the calling thread's usage record: while
// it is held the list is not freed. One a thread at a time.
class ListUse : private ZRNonCopyable {
 public:
  // Throws std::bad_alloc when the thread's first record cannot be made.
  ListUse();
  // Gives the use back. Never throws.
  ~ListUse();

  // Starts using the list of handle; null when handle names no open list.
  ListInfo* Acquire(long handle);

 private:
  std::atomic<ListInfo*>* place_;
  bool holding_ = false;
};

#endif
