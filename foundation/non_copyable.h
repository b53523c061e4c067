// ZRNonCopyable: base class of objects that own a system resource (a mutex,
// a thread handle, a stream) and therefore must never be copied.
#ifndef ZRUTILS_FOUNDATION_NON_COPYABLE_H
#define ZRUTILS_FOUNDATION_NON_COPYABLE_H

#include "foundation/export.h"

class ZRU_EXPORT ZRNonCopyable {
 public:
  ZRNonCopyable(const ZRNonCopyable&) = delete;
  ZRNonCopyable& operator=(const ZRNonCopyable&) = delete;

 protected:
  ZRNonCopyable() = default;
  ~ZRNonCopyable() = default;
};

#endif
