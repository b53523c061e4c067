// Usage records: how the threads of a registry say, without taking its lock,
// which of its entries their calls are using, so that a remover can tell
// when an entry is no longer used and may be freed.
//
// Each thread that takes usages claims a record of its own: a few places,
// each holding the address of one entry in use, or null. Only the owning
// thread writes its places; removers read them all. The registry keeps the
// rule that makes this safe: an acquirer publishes the address in a place
// (a sequentially consistent store) and then checks, with a sequentially
// consistent load, that the entry is still reachable; a remover first makes
// the entry unreachable (or counts its removal) in the same way and only
// then counts the places that hold it. One of the two always sees the other.
// A place is emptied with a release store, so a remover that sees it empty
// also sees every read the call made of the entry.
#ifndef ZRUTILS_FOUNDATION_USAGE_RECORDS_H
#define ZRUTILS_FOUNDATION_USAGE_RECORDS_H

#include <atomic>
#include <cstdint>

#include "foundation/non_copyable.h"

// One thread's places. Aligned to cache lines of its own, so that a thread's
// stores never touch what another thread reads.
template <class T, int N>
struct alignas(64) UsageRecord : private ZRNonCopyable {
  static constexpr int kPlaces = N;
  std::atomic<T*> holding[N] = {};
  std::atomic<bool> taken{false};  // belongs to a running thread
  UsageRecord* next = nullptr;     // set before the record is published

  // A place that holds nothing, or -1. Only the owning thread calls it.
  int FreePlace() const {
    for (int i = 0; i < N; ++i)
      if (holding[i].load(std::memory_order_relaxed) == nullptr) return i;
    return -1;
  }
};

// The records of one registry: a list that only grows, read and claimed
// without a lock. Records are never freed, since a thread that ends gives its
// record back for the next thread to claim; the set is meant to live in
// storage that is never destroyed, so a thread ending during exit still
// finds it. Every member may be called from any thread.
template <class T, int N>
class UsageRecords : private ZRNonCopyable {
 public:
  using Record = UsageRecord<T, N>;

  UsageRecords() = default;

  // A record no running thread holds, or a new one; the caller owns it until
  // it calls Release. Throws std::bad_alloc.
  Record* Claim() {
    for (Record* r = head_.load(std::memory_order_acquire); r != nullptr; r = r->next) {
      bool free = false;
      if (!r->taken.load(std::memory_order_relaxed) &&
          r->taken.compare_exchange_strong(free, true, std::memory_order_acquire))
        return r;
    }
    Record* record = new Record;
    record->taken.store(true, std::memory_order_relaxed);
    record->next = head_.load(std::memory_order_relaxed);
    while (!head_.compare_exchange_weak(record->next, record, std::memory_order_release,
                                        std::memory_order_relaxed)) {
    }
    return record;
  }

  // Gives a record back; its places must all be empty.
  static void Release(Record* record) {
    if (record != nullptr) record->taken.store(false, std::memory_order_release);
  }

  // The number of places, over every record, that hold `entry`.
  int32_t Holding(const T* entry) const {
    int32_t count = 0;
    for (const Record* r = head_.load(std::memory_order_acquire); r != nullptr; r = r->next)
      for (const auto& place : r->holding) count += place.load() == entry ? 1 : 0;
    return count;
  }

 private:
  std::atomic<Record*> head_{nullptr};
};

#endif
