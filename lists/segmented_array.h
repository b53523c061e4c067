// SegmentedArray<T>: an array of atomic elements that only grows and whose
// elements never move, so that any thread may read one while another
// appends. Segment s holds 64 << s elements.
//
// Append is for one thread at a time (the owner's lock); At and Size may be
// called by any thread at any time; Clear needs the array to itself.
#ifndef ZRUTILS_LISTS_SEGMENTED_ARRAY_H
#define ZRUTILS_LISTS_SEGMENTED_ARRAY_H

#include <atomic>
#include <cstddef>
#include <new>

#include "foundation/non_copyable.h"

template <class T>
class SegmentedArray : private ZRNonCopyable {
 public:
  SegmentedArray() = default;
  ~SegmentedArray() { Clear(); }

  // The element of index, or null when index is not below Size().
  std::atomic<T>* At(size_t index) const {
    if (index >= size_.load(std::memory_order_acquire)) return nullptr;
    const Position at = PositionOf(index);
    return segments_[at.segment].load(std::memory_order_acquire) + at.offset;
  }
  size_t Size() const { return size_.load(std::memory_order_acquire); }
  // Appends an element holding value; false when out of memory.
  bool Append(T value) {
    const size_t index = size_.load(std::memory_order_relaxed);
    const Position at = PositionOf(index);
    if (at.segment >= kSegments) return false;
    std::atomic<T>* segment = segments_[at.segment].load(std::memory_order_relaxed);
    if (segment == nullptr) {
      segment = new (std::nothrow) std::atomic<T>[kFirst << at.segment]();
      if (segment == nullptr) return false;
      segments_[at.segment].store(segment, std::memory_order_release);
    }
    segment[at.offset].store(value, std::memory_order_relaxed);
    size_.store(index + 1, std::memory_order_release);
    return true;
  }
  // Empties the array. Nobody may read it meanwhile.
  void Clear() {
    for (auto& segment : segments_) delete[] segment.exchange(nullptr, std::memory_order_relaxed);
    size_.store(0, std::memory_order_relaxed);
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

  std::atomic<std::atomic<T>*> segments_[kSegments] = {};
  std::atomic<size_t> size_{0};
};

#endif
