#include "email/cache_file_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

ssize_t ReadFileAt(int fd, char* buffer, size_t count, int64_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

void CacheFileIndex::Clear() {
  end_ = 0;
  first_.clear();
}

int64_t CacheFileIndex::Find(const std::string& domain) const {
  const auto found = first_.find(domain);
  return found != first_.end() ? found->second : 0;
}

size_t CacheFileIndex::IndexLines(const char* bytes, size_t length, int64_t start) {
  size_t at = 0;
  for (;;) {
    const char* lineFeed = static_cast<const char*>(memchr(bytes + at, '\n', length - at));
    if (lineFeed == nullptr) return at;
    const size_t lineEnd = static_cast<size_t>(lineFeed - bytes);
    // The file's first line is not preceded by a line feed, so it is no
    // record; in every other line the domain runs up to the first TAB, and
    // emplace keeps the first record of a domain.
    if (start + static_cast<int64_t>(at) > 0) {
      const char* tab = static_cast<const char*>(memchr(bytes + at, '\t', lineEnd - at));
      if (tab != nullptr) first_.emplace(std::string(bytes + at, tab), start + static_cast<int64_t>(at));
    }
    at = lineEnd + 1;
  }
}

int64_t CacheFileIndex::NextLineFeed(int fd, int64_t offset) {
  for (;;) {
    const ssize_t n = ReadFileAt(fd, window_.data(), kWindow, offset);
    if (n < 0) return -2;
    if (n == 0) return -1;
    const char* lineFeed = static_cast<const char*>(memchr(window_.data(), '\n', static_cast<size_t>(n)));
    if (lineFeed != nullptr) return offset + (lineFeed - window_.data());
    offset += n;
  }
}

void CacheFileIndex::Appended(const std::string& domain, int64_t position, size_t lineLength) {
  if (position != end_ || position == 0) return;
  first_.emplace(domain, position);
  end_ += static_cast<int64_t>(lineLength);
}

int64_t CacheFileIndex::CatchUp(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0) return -1;
  if (status.st_dev != device_ || status.st_ino != inode_ || status.st_size < end_) {
    Clear();
    device_ = status.st_dev;
    inode_ = status.st_ino;
  }
  window_.resize(kWindow + 1);
  while (end_ < status.st_size) {
    // The read starts one byte early, at the line feed that ended the last
    // read: if it is gone the file was rewritten, not appended to.
    const size_t back = end_ > 0 ? 1 : 0;
    const ssize_t n = ReadFileAt(fd, window_.data(), kWindow + back, end_ - static_cast<int64_t>(back));
    if (n < 0) return -1;
    if (static_cast<size_t>(n) <= back) break;
    if (back == 1 && window_[0] != '\n') {
      Clear();
      continue;
    }
    const char* bytes = window_.data() + back;
    const size_t length = static_cast<size_t>(n) - back;
    const size_t used = IndexLines(bytes, length, end_);
    if (used > 0) {
      end_ += static_cast<int64_t>(used);
      if (length < kWindow) break;  // the rest is a last line not yet ended
      continue;
    }
    if (length < kWindow) break;
    // A line longer than the window. A domain whose TAB lies beyond the
    // window is never looked up through the index, so the window decides.
    const char* tab = static_cast<const char*>(memchr(bytes, '\t', length));
    std::string domain;
    if (end_ > 0 && tab != nullptr) domain.assign(bytes, tab);
    const int64_t lineFeed = NextLineFeed(fd, end_ + static_cast<int64_t>(length));
    if (lineFeed == -2) return -1;
    if (lineFeed == -1) break;
    if (end_ > 0 && tab != nullptr) first_.emplace(domain, end_);
    end_ = lineFeed + 1;
  }
  return status.st_size;
}
