#include "lists/list_registry.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <thread>

#include "foundation/thread.h"
#include "foundation/usage_records.h"

namespace {

using ListUsages = UsageRecords<ListInfo, 1>;

// The slots, in segments that never move, so that a search reads a slot
// while an open appends: segment s holds kFirst << s slots.
class ListSlots {
 public:
  // The slot of index, or null beyond the last slot. Any thread.
  std::atomic<ListInfo*>* Slot(size_t index) const {
    if (index >= count_.load(std::memory_order_acquire)) return nullptr;
    const Position at = PositionOf(index);
    return segments_[at.segment].load(std::memory_order_acquire) + at.offset;
  }
  size_t Count() const { return count_.load(std::memory_order_relaxed); }
  // Appends a slot holding list; false when out of memory. One thread at a
  // time (under the registry mutex).
  bool Append(ListInfo* list) {
    const size_t index = count_.load(std::memory_order_relaxed);
    const Position at = PositionOf(index);
    if (at.segment >= kSegments) return false;
    std::atomic<ListInfo*>* segment = segments_[at.segment].load(std::memory_order_relaxed);
    if (segment == nullptr) {
      segment = new (std::nothrow) std::atomic<ListInfo*>[kFirst << at.segment]();
      if (segment == nullptr) return false;
      segments_[at.segment].store(segment, std::memory_order_release);
    }
    segment[at.offset].store(list, std::memory_order_relaxed);
    count_.store(index + 1, std::memory_order_release);
    return true;
  }

 private:
  static constexpr size_t kFirst = 64;
  static constexpr int kSegments = 40;
  struct Position {
    int segment;
    size_t offset;
  };
  static Position PositionOf(size_t index) {
    const size_t group = index / kFirst + 1;
    const int segment = 63 - __builtin_clzll(group);
    return {segment, index - kFirst * ((size_t{1} << segment) - 1)};
  }

  std::atomic<std::atomic<ListInfo*>*> segments_[kSegments] = {};
  std::atomic<size_t> count_{0};
};

// Built on first use in static storage and never destroyed: a thread that
// ends during exit gives its usage record back to it. Lists still open then
// are neither written nor freed.
struct Registry {
  ZRMutex mutex{0};
  ListSlots slots;
  ListUsages usages;
};

Registry& TheRegistry() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* registry = new (storage) Registry;
  return *registry;
}

// A usage that reads is the list's address with its lowest bit set (lists
// are aligned, so the bit is free); a usage that only keeps the list is
// the address itself.
ListInfo* ReadingMark(const ListInfo* list) {
  return reinterpret_cast<ListInfo*>(reinterpret_cast<uintptr_t>(list) | 1);
}

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

// Waits for other threads' searches, which take well under a microsecond,
// unless a busy machine has paused the thread that makes them.
void Pause(int round) {
  if (round < 100) {
    std::this_thread::yield();
  } else {
    ZRThread::Sleep(1);
  }
}

std::atomic<ListInfo*>* SlotOf(long handle) {
  if (handle <= 0) return nullptr;
  return TheRegistry().slots.Slot(static_cast<unsigned long>(handle) - 1);
}

}  // namespace

ZRMutex& ListRegistryMutex() { return TheRegistry().mutex; }

ListInfo* FindListLocked(long handle) {
  std::atomic<ListInfo*>* slot = SlotOf(handle);
  return slot == nullptr ? nullptr : slot->load(std::memory_order_relaxed);
}

long FindListByName(const std::string& name) {
  const ListSlots& slots = TheRegistry().slots;
  for (size_t i = 0; i < slots.Count(); ++i) {
    const ListInfo* list = slots.Slot(i)->load(std::memory_order_relaxed);
    if (list != nullptr && list->name == name) return static_cast<long>(i + 1);
  }
  return 0;
}

long RegisterList(ListInfo* list) {
  ListSlots& slots = TheRegistry().slots;
  if (!slots.Append(list)) return 0;
  return static_cast<long>(slots.Count());
}

void UnregisterList(long handle) {
  // Sequentially consistent: a search that publishes its usage after this
  // store sees the slot empty when it checks it again.
  SlotOf(handle)->store(nullptr);
}

void WaitUntilUnused(const ListInfo& list) {
  const ListUsages& usages = TheRegistry().usages;
  for (int round = 0;
       usages.Holding(&list) + usages.Holding(ReadingMark(&list)) != 0; ++round)
    Pause(round);
}

ListUse::ListUse() : place_(MyPlace()) {}

ListUse::~ListUse() {
  if (list_ != nullptr) place_->store(nullptr, std::memory_order_release);
}

ListInfo* ListUse::Acquire(long handle) {
  std::atomic<ListInfo*>* slot = SlotOf(handle);
  ListInfo* list = slot == nullptr ? nullptr : slot->load();
  if (list == nullptr) return nullptr;
  // Publish, then check: either the last close's scan sees this usage, or
  // this check sees its empty slot. A slot is never filled again, so a
  // changed slot means the list is closed.
  place_->store(ReadingMark(list));
  if (slot->load() != list) {
    place_->store(nullptr, std::memory_order_release);
    return nullptr;
  }
  list_ = list;
  // The same pairing with a change: either its scan sees this reading
  // usage, or this load sees its flag.
  reading_ = !list->writing.load();
  if (!reading_) place_->store(list, std::memory_order_release);
  return list;
}

void ListUse::StopReading() {
  if (!reading_) return;
  // Release: what was read comes before a change that sees the mark gone.
  place_->store(list_, std::memory_order_release);
  reading_ = false;
}

ListWriting::ListWriting(ListInfo& list) : list_(list) {
  list_.writing.store(true);
  const ListUsages& usages = TheRegistry().usages;
  for (int round = 0; usages.Holding(ReadingMark(&list_)) != 0; ++round) Pause(round);
}

ListWriting::~ListWriting() { list_.writing.store(false, std::memory_order_release); }
