// RecordBytes: the bytes of one file range for one reader call. When the
// file is held in memory they are looked at where they lie; otherwise they
// are read into a buffer of the call's own, inline for small records, so
// many threads can read one file without sharing a buffer and most reads
// allocate nothing. The range is checked against the file's size before any
// buffer is made, so an untrusted length cannot cause a huge allocation.
#ifndef ZRUTILS_SHAPES_RECORD_BYTES_H
#define ZRUTILS_SHAPES_RECORD_BYTES_H

#include <cstdint>
#include <memory>

#include "foundation/mt_file.h"

class RecordBytes {
 public:
  RecordBytes() = default;
  RecordBytes(const RecordBytes&) = delete;
  RecordBytes& operator=(const RecordBytes&) = delete;

  // Makes data() the length bytes at offset of file. 0, or
  // ERR_MTFILE_NOT_OPEN for a closed file, ERR_MTFILE_BAD_RANGE for a negative offset or length,
  // ERR_MTFILE_PAST_END for a range past the end, ERR_SHAPEFILE_OUT_OF_MEMORY
  // when no buffer can be had, or the file's read code.
  int Read(const MTFile& file, int64_t offset, int64_t length);
  const unsigned char* data() const { return data_; }

 private:
  static constexpr int64_t kInlineSize = 4096;
  const unsigned char* data_ = nullptr;
  std::unique_ptr<unsigned char[]> heap_;
  unsigned char inline_[kInlineSize];
};

#endif
