#include "shapes/record_bytes.h"

#include <new>

#include "shapes/shapefile_error.h"

int RecordBytes::Read(const MTFile& file, int64_t offset, int64_t length) {
  if (!file.IsOpen()) return ERR_MTFILE_NOT_OPEN;
  if (offset < 0 || length < 0) return ERR_MTFILE_BAD_RANGE;
  if (offset + length > file.FileSize()) return ERR_MTFILE_PAST_END;
  data_ = file.MemoryAt(offset, length);
  if (data_ != nullptr) return 0;
  unsigned char* buffer = inline_;
  if (length > kInlineSize) {
    heap_.reset(new (std::nothrow) unsigned char[static_cast<size_t>(length)]);
    if (heap_ == nullptr) return ERR_SHAPEFILE_OUT_OF_MEMORY;
    buffer = heap_.get();
  }
  // Both fit in 32 bits: the range lies inside a file of at most 2 GiB.
  const int result = file.Read(buffer, static_cast<int32_t>(offset),
                               static_cast<int32_t>(length), nullptr);
  if (result != 0) return result;
  data_ = buffer;
  return 0;
}
