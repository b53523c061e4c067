// DynamicArray<T>: a buffer that only grows, for records of varying size
// read again and again (shapes, attribute rows, index columns). It is
// reallocated only when a larger record arrives. Belongs to one thread at a
// time.
#ifndef ZRUTILS_FOUNDATION_DYNAMIC_ARRAY_H
#define ZRUTILS_FOUNDATION_DYNAMIC_ARRAY_H

#include <cstdint>
#include <new>

#include "foundation/non_copyable.h"

template <class T>
class DynamicArray : private ZRNonCopyable {
 public:
  DynamicArray() = default;
  ~DynamicArray() { Clear(); }

  // Makes room for count elements. A larger count replaces the array: the
  // old contents are discarded and the new elements default-constructed. A
  // count not above the capacity keeps array and contents. False when the
  // new array cannot be allocated; the array is then empty (capacity 0).
  bool Resize(uint64_t count) {
    if (count <= capacity_) return true;
    Clear();
    data_ = new (std::nothrow) T[count]();
    if (data_ == nullptr) return false;
    capacity_ = count;
    return true;
  }

  T* Get() { return data_; }
  const T* Get() const { return data_; }
  T& operator[](uint64_t index) { return data_[index]; }
  const T& operator[](uint64_t index) const { return data_[index]; }
  // Frees the array; the capacity becomes 0.
  void Clear() {
    delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
  }
  uint64_t Capacity() const { return capacity_; }

 private:
  T* data_ = nullptr;
  uint64_t capacity_ = 0;
};

#endif
