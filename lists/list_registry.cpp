#include "lists/list_registry.h"

#include <cstddef>
#include <new>
#include <thread>

#include "foundation/thread.h"
#include "foundation/usage_records.h"
#include "lists/segmented_array.h"

namespace {

using ListUsages = UsageRecords<ListInfo, 1>;

// Built on first use in static storage and never destroyed: a thread that
// ends during exit gives its usage record back to it.
struct Registry {
  ZRMutex mutex{0};
  // Slots in segments that never move, so that a search reads one while an
  // open appends.
  SegmentedArray<ListInfo*> slots;
  ListUsages usages;
};

Registry& TheRegistry() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* registry = new (storage) Registry;
  return *registry;
}

// When the library is unloaded (or the process ends), the lists still open
// are freed without being written, and so are the slots: a host that
// unloads the library loses no memory. The mutex and the usage records stay
// for threads that end later.
struct FreeListsAtUnload {
  ~FreeListsAtUnload() {
    SegmentedArray<ListInfo*>& slots = TheRegistry().slots;
    for (size_t i = 0; i < slots.Size(); ++i) delete slots.At(i)->exchange(nullptr);
    slots.Clear();
  }
} freeListsAtUnload;

// The thread's record, claimed by its first search and given back when the
// thread ends.
struct ThreadRecord {
  ListUsages::Record* record = nullptr;
  ~ThreadRecord() { ListUsages::Release(record); }
};

std::atomic<ListInfo*>* MyPlace() {
  static thread_local ThreadRecord mine;
  if (mine.record == nullptr) mine.record = TheRegistry().usages.Claim();
  return &mine.record->holding[0];
}

std::atomic<ListInfo*>* SlotOf(long handle) {
  if (handle <= 0) return nullptr;
  return TheRegistry().slots.At(static_cast<unsigned long>(handle) - 1);
}

}  // namespace

ZRMutex& ListRegistryMutex() { return TheRegistry().mutex; }

ListInfo* FindListLocked(long handle) {
  std::atomic<ListInfo*>* slot = SlotOf(handle);
  return slot == nullptr ? nullptr : slot->load(std::memory_order_relaxed);
}

long FindListByName(const std::string& name) {
  const SegmentedArray<ListInfo*>& slots = TheRegistry().slots;
  for (size_t i = 0; i < slots.Size(); ++i) {
    const ListInfo* list = slots.At(i)->load(std::memory_order_relaxed);
    if (list != nullptr && list->name == name) return static_cast<long>(i + 1);
  }
  return 0;
}

long RegisterList(ListInfo* list) {
  SegmentedArray<ListInfo*>& slots = TheRegistry().slots;
  if (!slots.Append(list)) return 0;
  return static_cast<long>(slots.Size());
}

void UnregisterList(long handle) {
  // Sequentially consistent: a search that publishes its usage after this
  // store sees the slot empty when it checks it again.
  SlotOf(handle)->store(nullptr);
}

void WaitUntilUnused(const ListInfo& list) {
  // A search holds a list for well under a microsecond, unless a busy
  // machine has paused the thread that makes it.
  for (int round = 0; TheRegistry().usages.Holding(&list) != 0; ++round) {
    if (round < 100) {
      std::this_thread::yield();
    } else {
      ZRThread::Sleep(1);
    }
  }
}

ListUse::ListUse() : place_(MyPlace()) {}

ListUse::~ListUse() {
  // Release: the search's reads of the list come before a close that sees
  // the place empty.
  if (holding_) place_->store(nullptr, std::memory_order_release);
}

ListInfo* ListUse::Acquire(long handle) {
  std::atomic<ListInfo*>* slot = SlotOf(handle);
  ListInfo* list = slot == nullptr ? nullptr : slot->load();
  if (list == nullptr) return nullptr;
  // Publish, then check: either the last close's scan sees this usage, or
  // this check sees its empty slot. A slot is never filled again, so a
  // changed slot means the list is closed.
  place_->store(list);
  if (slot->load() != list) {
    place_->store(nullptr, std::memory_order_release);
    return nullptr;
  }
  holding_ = true;
  return list;
}
