#include "foundation/replacing_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

ReplacingFile::~ReplacingFile() { Discard(); }

std::string ReplacingFile::TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

bool ReplacingFile::Open(const std::string& path) {
  Discard();
  path_ = path;
  // A name of our own rather than mkstemp: open() with 0666 lets the umask
  // give the file the permissions fopen would, without touching the
  // process-wide umask that other threads rely on.
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tempPath_ = TemporaryNameFor(path);
    fd = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    tempPath_.clear();
    return false;
  }
  // A replaced file keeps its permissions.
  struct stat old;
  if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  file_ = fdopen(fd, "w");
  if (file_ == nullptr) {
    close(fd);
    Discard();
    return false;
  }
  return true;
}

bool ReplacingFile::Commit() {
  if (file_ == nullptr) return false;
  // Every step is checked: a full disk may only show at the flush or the
  // close, and a failure reported as success would lose the list on the
  // next load.
  bool ok = ferror(file_) == 0 && fflush(file_) == 0 && fsync(fileno(file_)) == 0;
  ok = (fclose(file_) == 0) && ok;
  file_ = nullptr;
  ok = ok && rename(tempPath_.c_str(), path_.c_str()) == 0;
  if (ok) tempPath_.clear();
  Discard();
  return ok;
}

void ReplacingFile::Discard() {
  if (file_ != nullptr) {
    fclose(file_);
    file_ = nullptr;
  }
  if (!tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}
