// MTFile: a read-only file that many threads read at once by offset and
// length. The caller chooses how it is held: an open stream read by
// positioned reads (no lock), copied whole into memory, memory-mapped, or
// lent by the caller as a block of memory. Every way returns the same bytes.
//
// Read may run in any number of threads at once on one open object. Open,
// SetMemoryLocation, Close and destruction must not overlap any other call
// on the same object; its owner ensures that.
#ifndef ZRUTILS_FOUNDATION_MT_FILE_H
#define ZRUTILS_FOUNDATION_MT_FILE_H

#include <cstdint>
#include <cstdio>

#include "foundation/export.h"
#include "foundation/file_mapping.h"
#include "foundation/non_copyable.h"

// How MTFile::Open holds the file. Values other than these behave as
// OpenPafReadFile.
enum OpenPafType : int {
  OpenPafDefault = 0,         // as OpenPafReadFile
  OpenPafReadFile = 1,        // stream kept open; each read is one positioned read
  OpenPafLoadIntoMemory = 2,  // whole file copied into memory at open
  OpenPafFileMap = 3,         // file mapped read-only
  OpenPafNotSupported = 4,    // refused
};

// Result codes of MTFile (Open also passes on FileMapping's codes,
// ERR_FILE_TOO_LARGE included).
enum : int {
  ERR_MTFILE_SEEK = 4020,         // seek failed (no longer raised: streams read positioned)
  ERR_MTFILE_READ = 4021,         // read error, or fewer bytes than expected
  ERR_MTFILE_BAD_RANGE = 4022,    // negative offset or length, or offset past the end
  ERR_MTFILE_NOT_OPEN = 4023,     // the object is closed
  ERR_MTFILE_BAD_STATE = 4024,    // unknown state
  ERR_MTFILE_OPEN = 4025,         // cannot open; errorText: system text, ". ", path
  ERR_MTFILE_NOT_SUPPORTED = 4026,  // OpenPafNotSupported
  ERR_MTFILE_PAST_END = 4027,     // request runs past the end, no bytesRead given
};

enum MTFileState : int32_t {
  MTFileClosed = 0,
  MTFileStream = 1,
  MTFileLoaded = 2,
  MTFileMapped = 3,
  MTFileExternal = 4,
};

class ZRU_EXPORT MTFile : private ZRNonCopyable {
 public:
  MTFile() = default;
  ~MTFile() { Close(); }

  // Closes whatever is open, then opens path as openType says. Returns 0 or
  // a result code; a failure leaves the object closed. errorText (may be
  // null) is a buffer of errorTextSize bytes: it is made empty first and
  // receives a message on some failures, always cut to fit. Files of 2 GiB
  // or more are refused with ERR_FILE_TOO_LARGE. mapName is ignored (may be null), as
  // by FileMapping::Open.
  int Open(const char* path, int openType, const char* mapName, char* errorText,
           int errorTextSize);

  // Copies length bytes from offset on into destination. When the request
  // runs past the end: without bytesRead ERR_MTFILE_PAST_END; with it the
  // length is cut to what the file holds, stored in *bytesRead, and those
  // bytes are read. *bytesRead is not written when the request fits. Never
  // touches memory outside the file's bytes or length bytes at destination.
  int Read(void* destination, int32_t offset, int32_t length,
           int32_t* bytesRead) const;

  // Reads from the caller's size bytes at memory from now on; the caller
  // keeps them alive and unchanged while this object uses them. With a null
  // pointer or size 0 the object stays closed. name (may be null) is kept
  // as the path.
  void SetMemoryLocation(const char* name, const void* memory, int32_t size);

  // The bytes from offset to offset + length when the object holds the
  // file in memory (loaded, mapped or the caller's block) and the range lies
  // inside it; null for a stream or a range outside the file. Readers that
  // only look at a record use this to skip the copy. Valid until Close.
  const unsigned char* MemoryAt(int64_t offset, int64_t length) const;

  void Close();
  bool IsOpen() const { return state_ != MTFileClosed; }
  int32_t FileSize() const { return size_; }
  // The path given to Open or the name given to SetMemoryLocation.
  const char* Path() const { return path_; }

 private:
  int ReadStream(void* destination, int32_t offset, int32_t length) const;

  FILE* file_ = nullptr;
  MTFileState state_ = MTFileClosed;
  unsigned char* buffer_ = nullptr;
  const unsigned char* mappedMemory_ = nullptr;
  int32_t size_ = 0;
  char path_[256] = {};
  const unsigned char* externalMemory_ = nullptr;
  FileMapping mapping_;
};

#endif
