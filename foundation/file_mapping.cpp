#include "foundation/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/system_error_text.h"
#include "text/string_edit.h"

std::string SystemErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, in buffer or in static storage.
  return strerror_r(error, buffer, sizeof buffer);
}

namespace {

int Fail(int code, int error, char* errorText, int errorTextSize) {
  if (errorText != nullptr && errorTextSize > 0)
    ConcatStrings(errorText, static_cast<size_t>(errorTextSize), SystemErrorText(error).c_str(),
                  nullptr);
  return code;
}

}  // namespace

int FileMapping::Open(const char* path, const char* /*mapName*/, int flags,
                      char* errorText, int errorTextSize) {
  Close();
  const bool readOnly = (flags & FileMapReadOnly) != 0;
  const int descriptor = open(path, (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (descriptor < 0) return Fail(ERR_FILEMAP_OPEN, errno, errorText, errorTextSize);

  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    const int error = errno;
    close(descriptor);
    return Fail(ERR_FILEMAP_STAT, error, errorText, errorTextSize);
  }
  if (status.st_size > kMaxFileSize) {
    close(descriptor);
    return Fail(ERR_FILE_TOO_LARGE, EFBIG, errorText, errorTextSize);
  }
  const int32_t size = static_cast<int32_t>(status.st_size);
  void* memory = mmap(nullptr, static_cast<size_t>(size),
                      readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED,
                      descriptor, 0);
  if (memory == MAP_FAILED) {
    const int error = errno;
    close(descriptor);
    return Fail(ERR_FILEMAP_MAP, error, errorText, errorTextSize);
  }
  // Only now that the data is safely mapped: removing the name earlier
  // would lose the file whenever the status call or the mapping failed.
  if ((flags & FileMapUnlink) != 0) unlink(path);

  descriptor_ = descriptor;
  size_ = size;
  memory_ = static_cast<unsigned char*>(memory);
  return 0;
}

void FileMapping::Close() {
  if (memory_ != nullptr) munmap(memory_, static_cast<size_t>(size_));
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  size_ = 0;
  memory_ = nullptr;
}
