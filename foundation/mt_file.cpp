#include "foundation/mt_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "foundation/system_error_text.h"
#include "text/string_edit.h"

namespace {

// "<system text>. <path>", cut to the caller's buffer; size 0 writes nothing.
void SetOpenError(char* errorText, int errorTextSize, int error, const char* path) {
  if (errorText != nullptr && errorTextSize > 0)
    ConcatStrings(errorText, static_cast<size_t>(errorTextSize), SystemErrorText(error).c_str(),
                  ". ", path);
}

// The stream's size from its status, or from a seek to the end where the
// status has none; -1 when neither works.
int64_t StreamSize(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode)) return status.st_size;
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return ftello(file);
}

}  // namespace

int MTFile::Open(const char* path, int openType, const char* /*mapName*/,
                 char* errorText, int errorTextSize) {
  if (errorText != nullptr && errorTextSize > 0) errorText[0] = '\0';
  Close();
  if (openType == OpenPafNotSupported) return ERR_MTFILE_NOT_SUPPORTED;

  file_ = fopen(path, "rb");
  if (file_ == nullptr) {
    SetOpenError(errorText, errorTextSize, errno, path);
    return ERR_MTFILE_OPEN;
  }
  state_ = MTFileStream;
  snprintf(path_, sizeof path_, "%s", path);

  const int64_t fileSize = StreamSize(file_);
  if (fileSize < 0) {
    SetOpenError(errorText, errorTextSize, errno, path);
    Close();
    return ERR_MTFILE_READ;
  }
  if (fileSize > kMaxFileSize) {
    // Offsets are signed 32-bit: the rest of the file could not be reached,
    // and a size cut to 32 bits would be plainly wrong.
    SetOpenError(errorText, errorTextSize, EFBIG, path);
    Close();
    return ERR_FILE_TOO_LARGE;
  }
  size_ = static_cast<int32_t>(fileSize);

  if (openType == OpenPafFileMap) {
    fclose(file_);
    file_ = nullptr;
    state_ = MTFileClosed;
    const int result = mapping_.Open(path, nullptr, FileMapReadOnly,
                                     errorText, errorTextSize);
    if (result != 0) {
      Close();
      return result;
    }
    // The mapping's own size: the file may have changed since the stream
    // measured it, and only the mapped bytes may be read.
    mappedMemory_ = mapping_.GetMemoryPointer();
    size_ = mapping_.FileSize();
    state_ = MTFileMapped;
    return 0;
  }

  if (openType == OpenPafLoadIntoMemory) {
    // One byte at least, so that an empty file has a buffer too.
    buffer_ = new (std::nothrow) unsigned char[size_ > 0 ? size_ : 1];
    rewind(file_);
    const size_t got =
        buffer_ == nullptr ? 0 : fread(buffer_, 1, static_cast<size_t>(size_), file_);
    fclose(file_);
    file_ = nullptr;
    if (buffer_ == nullptr || got != static_cast<size_t>(size_)) {
      Close();
      return ERR_MTFILE_READ;
    }
    state_ = MTFileLoaded;
    return 0;
  }

  return 0;
}

int MTFile::Read(void* destination, int32_t offset, int32_t length,
                 int32_t* bytesRead) const {
  if (state_ == MTFileClosed) return ERR_MTFILE_NOT_OPEN;
  // A negative length would pass the end check below and then copy a huge
  // count; the sum is formed in 64 bits so it cannot wrap either.
  if (offset < 0 || length < 0) return ERR_MTFILE_BAD_RANGE;
  if (int64_t{offset} + length > size_) {
    if (bytesRead == nullptr) return ERR_MTFILE_PAST_END;
    if (offset > size_) return ERR_MTFILE_BAD_RANGE;
    length = size_ - offset;
    *bytesRead = length;
  }

  const unsigned char* source;
  switch (state_) {
    case MTFileStream:
      return ReadStream(destination, offset, length);
    case MTFileLoaded:
      source = buffer_;
      break;
    case MTFileMapped:
      source = mappedMemory_;
      break;
    case MTFileExternal:
      source = externalMemory_;
      break;
    default:
      return ERR_MTFILE_BAD_STATE;
  }
  if (length > 0) memcpy(destination, source + offset, static_cast<size_t>(length));
  return 0;
}

int MTFile::ReadStream(void* destination, int32_t offset, int32_t length) const {
  // A positioned read carries its own offset, so reads from many threads
  // need no lock and never see each other's file position. The stream's own
  // buffer and position are never used after open.
  const int descriptor = fileno(file_);
  char* out = static_cast<char*>(destination);
  int32_t done = 0;
  while (done < length) {
    const ssize_t got = pread(descriptor, out + done, static_cast<size_t>(length - done),
                              static_cast<off_t>(offset) + done);
    if (got > 0) {
      done += static_cast<int32_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      // Fewer bytes than the file held at open: it shrank, or the read
      // failed. Either way part of the caller's buffer was not filled, so
      // this is no success.
      return ERR_MTFILE_READ;
    }
  }
  return 0;
}

const unsigned char* MTFile::MemoryAt(int64_t offset, int64_t length) const {
  if (offset < 0 || length < 0 || offset + length > size_) return nullptr;
  switch (state_) {
    case MTFileLoaded: return buffer_ + offset;
    case MTFileMapped: return mappedMemory_ + offset;
    case MTFileExternal: return externalMemory_ + offset;
    default: return nullptr;
  }
}

void MTFile::SetMemoryLocation(const char* name, const void* memory, int32_t size) {
  Close();
  if (name != nullptr) snprintf(path_, sizeof path_, "%s", name);
  if (memory == nullptr || size <= 0) return;
  externalMemory_ = static_cast<const unsigned char*>(memory);
  size_ = size;
  state_ = MTFileExternal;
}

void MTFile::Close() {
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
  delete[] buffer_;
  buffer_ = nullptr;
  mapping_.Close();
  state_ = MTFileClosed;
  mappedMemory_ = nullptr;
  externalMemory_ = nullptr;
  size_ = 0;
}
