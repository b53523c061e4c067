// FileMapping: one whole file mapped into memory, owning its descriptor and
// its mapping. Belongs to one thread at a time; the mapped bytes may be read
// by any number of threads while it stays open.
#ifndef ZRUTILS_FOUNDATION_FILE_MAPPING_H
#define ZRUTILS_FOUNDATION_FILE_MAPPING_H

#include <cstdint>
#include <string>

#include "foundation/export.h"
#include "foundation/non_copyable.h"

// Result codes of FileMapping::Open (MTFile::Open passes them on).
enum : int {
  ERR_FILEMAP_OPEN = 4003,  // the file cannot be opened
  ERR_FILEMAP_MAP = 4004,   // the file cannot be mapped (an empty file too)
  ERR_FILEMAP_STAT = 4007,  // the file's status cannot be read
  // The file holds 2 GiB or more: sizes and offsets are signed 32-bit, so
  // such a file is refused rather than silently cut to its low 32 bits.
  ERR_FILE_TOO_LARGE = 4028,
};

// Largest file FileMapping and MTFile accept.
constexpr int64_t kMaxFileSize = INT32_MAX;

// Open flags, combined by OR.
enum : int {
  // Open read-only and map for reading; without it, read-write and mapped
  // for reading and writing.
  FileMapReadOnly = 1,
  // Ignored: kept so that programs that pass it still compile.
  FileMapReserved = 2,
  // Remove the file's directory entry once the mapping is made, so the data
  // lives only as long as the mapping.
  FileMapUnlink = 4,
};

class ZRU_EXPORT FileMapping : private ZRNonCopyable {
 public:
  FileMapping() = default;
  ~FileMapping() { Close(); }

  // Maps the whole file at path. Returns 0 or one of the codes above; on
  // failure nothing stays open and, when errorText is given, the system's
  // text for the error is written into it, cut to errorTextSize - 1
  // characters (size 0 writes nothing). mapName is ignored (may be null): mappings
  // have no names on this platform; the parameter stays for existing callers.
  int Open(const char* path, const char* mapName, int flags, char* errorText,
           int errorTextSize = 256);
  // Unmaps and closes the descriptor; nothing when not open.
  void Close();
  // Start of the mapping, null when closed; writable only without
  // FileMapReadOnly.
  unsigned char* GetMemoryPointer() const { return memory_; }
  bool FileIsOpen() const { return memory_ != nullptr; }
  int32_t FileSize() const { return size_; }

 private:
  int32_t descriptor_ = -1;
  int32_t size_ = 0;
  unsigned char* memory_ = nullptr;
};

#endif
