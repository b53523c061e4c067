#include "email/email_server_cache.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "email/cache_line_scan.h"

namespace {

const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/";
// 2010-01-01 00:00:00 UTC in Unix time.
constexpr time_t kEpoch2010 = 1262304000;
// Search reads this much at a time: large enough that a scan of a big
// cache makes few system calls, small enough to live on any thread.
constexpr size_t kSearchWindow = 64 * 1024;

int DigitValue(char c) {
  const char* found = c != '\0' ? strchr(kDigits, c) : nullptr;
  return found != nullptr ? static_cast<int>(found - kDigits) : -1;
}

// pwrite of the whole text: true when every byte reached the file.
bool WriteAt(int fd, const std::string& text, int64_t offset) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done,
                             static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A record line is "<domain>\t...\n": a domain holding either character
// would write a line that reads as some other domain's record.
bool StorableDomain(const std::string& domain) {
  return domain.find_first_of("\n\t") == std::string::npos;
}

// The status and time read from what follows a record's TAB: the status
// byte and at most 14 bytes of time.
constexpr size_t kStatusAndTime = 15;

// The status and time from the n bytes (at most kStatusAndTime) after a
// record's TAB.
void ParseStatusAndTime(const char* after, size_t n, CacheLineHit& hit) {
  char bytes[kStatusAndTime + 1];
  memcpy(bytes, after, n);
  bytes[n] = '\0';
  hit.status = bytes[0];
  // A line ending right after the TAB has no status and no time; the
  // digits of the next line must not be taken for its time.
  hit.minutes = n > 0 && bytes[0] != '\n' ? DecodeNumber(bytes + 1, 64) : 0;
}

// The status and time that follow the needle ending just before offset.
int ReadStatusAndTime(int fd, int64_t offset, CacheLineHit& hit) {
  char bytes[kStatusAndTime];
  const ssize_t n = ReadFileAt(fd, bytes, sizeof bytes, offset);
  if (n < 0) return kCacheReadError;
  ParseStatusAndTime(bytes, static_cast<size_t>(n), hit);
  return 0;
}

// Reads the record the index places at position: 0 when a whole record of
// domain still stands there (hit filled), 1 when it does not,
// kCacheReadError.
int ReadIndexedRecord(int fd, const std::string& domain, int64_t position, CacheLineHit& hit) {
  // "\n<domain>\t", the status and time, and the line feed ending them.
  const size_t needle = domain.size() + 2;
  std::string bytes(needle + kStatusAndTime + 1, '\0');
  const ssize_t n = ReadFileAt(fd, &bytes[0], bytes.size(), position - 1);
  if (n < 0) return kCacheReadError;
  const size_t length = static_cast<size_t>(n);
  if (length <= needle || bytes[0] != '\n' || bytes.compare(1, domain.size(), domain) != 0 ||
      bytes[needle - 1] != '\t' || memchr(&bytes[needle], '\n', length - needle) == nullptr)
    return 1;
  hit.position = position;
  ParseStatusAndTime(&bytes[needle], std::min(length - needle, kStatusAndTime), hit);
  return 0;
}

}  // namespace

std::string EncodeNumber(int value, int radix) {
  if (value < 0 || radix < 2 || radix > 64) return std::string();
  if (value == 0) return "0";
  std::string digits;
  for (; value > 0; value /= radix) digits.insert(digits.begin(), kDigits[value % radix]);
  return digits;
}

int DecodeNumber(const char* text, int radix) {
  if (radix < 2 || radix > 64 || text == nullptr) return 0;
  long long value = 0;
  for (; *text != '\0'; ++text) {
    const int digit = DigitValue(*text);
    if (digit < 0 || digit >= radix) break;
    value = value * radix + digit;
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

int MinutesSince2010() {
  return static_cast<int>((time(nullptr) - kEpoch2010) / 60);
}

std::string MakeCacheLine(const std::string& domain, char status, int minutes) {
  std::string time = EncodeNumber(minutes, 64);
  if (time.size() < 4) time.append(4 - time.size(), ' ');
  if (status == '\0' || status == '\n') status = ' ';
  return domain + '\t' + status + time + '\n';
}

int FindCacheLine(int fd, const std::string& domain, size_t windowSize,
                  std::vector<char>& window, CacheLineHit& hit) {
  const std::string needle = '\n' + domain + '\t';
  // The window must hold more than a needle, so that every round moves on.
  const size_t size = windowSize > 2 * needle.size() ? windowSize : 2 * needle.size();
  if (window.size() < size) window.resize(size);
  char* bytes = window.data();
  int64_t offset = 0;  // file offset of bytes[0]
  size_t kept = 0;     // bytes carried over from the previous window
  for (;;) {
    const ssize_t n = ReadFileAt(fd, bytes + kept, size - kept, offset + static_cast<int64_t>(kept));
    if (n < 0) return kCacheReadError;
    const size_t length = kept + static_cast<size_t>(n);
    const char* found = static_cast<const char*>(
        memmem(bytes, length, needle.data(), needle.size()));
    if (found != nullptr) {
      // The first occurrence decides: a record counts once its line feed
      // has been written, and a later occurrence lies past that line feed.
      const size_t after = static_cast<size_t>(found - bytes) + needle.size();
      const int64_t hitPosition = offset + (found - bytes) + 1;
      bool complete = memchr(bytes + after, '\n', length - after) != nullptr;
      for (int64_t scan = offset + static_cast<int64_t>(length); !complete && n > 0;) {
        const ssize_t more = ReadFileAt(fd, bytes, size, scan);
        if (more < 0) return kCacheReadError;
        if (more == 0) break;
        complete = memchr(bytes, '\n', static_cast<size_t>(more)) != nullptr;
        scan += more;
      }
      if (!complete) return 1;
      hit.position = hitPosition;
      return ReadStatusAndTime(fd, offset + static_cast<int64_t>(after), hit);
    }
    if (n == 0) return 1;
    // Only a needle cut by the window's end can still start here, and it
    // starts with a line feed within its last needle.size() - 1 bytes.
    // Whatever else the window held (a line of any length) is passed over.
    const size_t from = length > needle.size() - 1 ? length - (needle.size() - 1) : 0;
    const char* newline = static_cast<const char*>(memchr(bytes + from, '\n', length - from));
    kept = newline != nullptr ? static_cast<size_t>(bytes + length - newline) : 0;
    memmove(bytes, bytes + length - kept, kept);
    offset += static_cast<int64_t>(length - kept);
  }
}

EmailServerCache::EmailServerCache() : mutex_(0) {}

int EmailServerCache::Fd() const { return fileno(file_.f()); }

bool EmailServerCache::LockFile(int operation) {
  while (flock(Fd(), operation) != 0)
    if (errno != EINTR) return false;
  return true;
}

void EmailServerCache::UnlockFile() { flock(Fd(), LOCK_UN); }

int EmailServerCache::Open(const char* fileName) {
  ZRScopedLock lock(mutex_, true);
  return OpenLocked(fileName);
}

int EmailServerCache::OpenLocked(const char* fileName) {
  file_.Close();
  index_.Clear();
  if (fileName == nullptr) return kCacheCannotOpen;
  fileName_ = fileName;
  // "x": of two processes creating the file at once exactly one creates it
  // and writes the leading line feed; the other opens what it made. "e":
  // a host's child processes do not inherit the descriptor.
  bool created = false;
  for (int attempt = 0; attempt < 2 && !file_.IsOpen(); ++attempt) {
    if (file_.Open(fileName, "r+e", false)) break;
    if (errno != ENOENT) return kCacheCannotOpen;
    created = file_.Open(fileName, "w+xe", false);
    if (!created && errno != EEXIST) return kCacheCannotOpen;
  }
  if (!file_.IsOpen()) return kCacheCannotOpen;
  struct stat status;
  if (fstat(Fd(), &status) != 0) {
    file_.Close();
    return kCacheCannotOpen;
  }
  device_ = status.st_dev;
  inode_ = status.st_ino;
  if (created && LockFile(LOCK_EX)) {
    // Another process may have appended already (its Add repaired the
    // missing line feed), so the line feed goes only into an empty file.
    if (fstat(Fd(), &status) == 0 && status.st_size == 0) WriteAt(Fd(), "\n", 0);
    UnlockFile();
  }
  return kCacheOk;
}

int EmailServerCache::OpenCurrent(const char* fileName) {
  if (fileName == nullptr) return kCacheCannotOpen;
  ZRScopedLock lock(mutex_, true);
  struct stat status;
  if (file_.IsOpen() && fileName_ == fileName && stat(fileName, &status) == 0 &&
      status.st_dev == device_ && status.st_ino == inode_)
    return kCacheOk;
  return OpenLocked(fileName);
}

void EmailServerCache::Close() {
  ZRScopedLock lock(mutex_, true);
  file_.Close();
  index_.Clear();
}

bool EmailServerCache::IsOpen() const { return file_.IsOpen(); }

int EmailServerCache::Search(const char* domain, EmailServerRecord& record) {
  record.Clear();
  const std::string name = domain != nullptr ? domain : "";
  ZRScopedLock lock(mutex_, true);
  if (!file_.IsOpen()) return kCacheNotOpen;
  // Such a domain is never stored, and its needle could match across lines.
  if (!StorableDomain(name)) return kCacheOk;
  if (!LockFile(LOCK_SH)) return kCacheReadError;
  CacheLineHit hit;
  const int result = FindRecord(name, hit);
  UnlockFile();
  lock.Unlock();
  if (result == kCacheReadError) return kCacheReadError;
  if (result == 0) {
    record.position = hit.position;
    record.domain = name;
    record.status = hit.status;
    record.age = MinutesSince2010() - hit.minutes;
  }
  return kCacheOk;
}

int EmailServerCache::FindRecord(const std::string& domain, CacheLineHit& hit) {
  std::vector<char> window;
  if (domain.size() + 2 > CacheFileIndex::kWindow)
    return FindCacheLine(Fd(), domain, kSearchWindow, window, hit);
  if (index_.CatchUp(Fd()) < 0) return kCacheReadError;
  const int64_t position = index_.Find(domain);
  if (position == 0) return 1;
  const int result = ReadIndexedRecord(Fd(), domain, position, hit);
  if (result != 1) return result;
  // The file was changed other than by appending and rewriting records in
  // place: the scan answers, and the index is read afresh next time.
  index_.Clear();
  return FindCacheLine(Fd(), domain, kSearchWindow, window, hit);
}

int EmailServerCache::Add(const char* domain, char status) {
  const std::string name = domain != nullptr ? domain : "";
  if (!StorableDomain(name)) return kCacheUnstorableDomain;
  std::string line = MakeCacheLine(name, status, MinutesSince2010());
  ZRScopedLock lock(mutex_, true);
  if (!file_.IsOpen()) return kCacheNotOpen;
  if (!LockFile(LOCK_EX)) return kCacheSeekWrite;
  int result = kCacheOk;
  // Reading what others appended tells both the size and whether the file
  // ends with a line feed.
  const int64_t size = index_.CatchUp(Fd());
  if (size < 0) {
    result = kCacheSeekWrite;
  } else {
    // A last line without its line feed (a writer that was cut off) would
    // otherwise swallow the new record into a false one.
    const bool repair = !index_.EndsWithLineFeed(size);
    if (repair) line.insert(line.begin(), '\n');
    if (!WriteAt(Fd(), line, size))
      result = kCacheShortWrite;
    else if (!repair)
      index_.Appended(name, size, line.size());
  }
  UnlockFile();
  return result;
}

int EmailServerCache::Update(const EmailServerRecord& record, char status) {
  if (record.position <= 0) return kCacheNoPosition;
  if (!StorableDomain(record.domain)) return kCacheUnstorableDomain;
  const std::string line = MakeCacheLine(record.domain, status, MinutesSince2010());
  std::string onDisk(line.size(), '\0');
  ZRScopedLock lock(mutex_, true);
  if (!file_.IsOpen()) return kCacheNotOpen;
  if (!LockFile(LOCK_EX)) return kCacheSeekRead;
  int result = kCacheOk;
  const size_t domainLength = record.domain.size();
  const ssize_t n = ReadFileAt(Fd(), &onDisk[0], onDisk.size(), record.position);
  if (n < 0)
    result = kCacheSeekRead;
  else if (static_cast<size_t>(n) < onDisk.size())
    result = kCacheShortRead;
  else if (onDisk.compare(0, domainLength, record.domain) != 0)
    result = kCacheOtherDomain;
  else if (onDisk[domainLength] != '\t')
    result = kCacheNoTab;
  else if (onDisk.back() != '\n' ||
           onDisk.find('\n', domainLength) != onDisk.size() - 1)
    result = kCacheLengthDiffers;
  else if (!WriteAt(Fd(), line, record.position))
    result = kCacheShortWrite;
  UnlockFile();
  return result;
}
