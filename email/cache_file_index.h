// CacheFileIndex: an in-memory index of an e-mail domain cache file
// (docs/email_cache_file.md), from each domain to the position of its first
// whole record, so that a search reads a few bytes instead of the file.
#ifndef ZRUTILS_EMAIL_CACHE_FILE_INDEX_H
#define ZRUTILS_EMAIL_CACHE_FILE_INDEX_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/export.h"

// The file only grows by appended lines, and records are rewritten in place
// with lines of the same length, so a record's position never changes and
// the index can be kept up to date by reading only the bytes appended since
// its last read. It holds positions only, never a status or a time: those
// are read from the file at each search. Not thread-safe: its owner
// serialises calls and holds the file's lock (shared at least) around them.
class ZRU_EXPORT CacheFileIndex {
 public:
  // Domains whose needle ("\n<domain>\t") exceeds this are not indexed
  // (their TAB may lie beyond the first window of a line); their searches
  // scan the file.
  static constexpr size_t kWindow = 64 * 1024;

  // Brings the index up to the file fd: reads the lines appended since the
  // last call. Starts afresh when fd is another file (device, inode) than
  // before, when the file shrank, or when the line feed that ended the last
  // read is no longer there. A last line without its line feed is not
  // indexed until the line feed arrives. The file's size, or -1 on an error.
  int64_t CatchUp(int fd);
  // Every line of the file has been read and ends with a line feed: true
  // after CatchUp gave size when the file is not empty and has no bytes past
  // its last line feed.
  bool EndsWithLineFeed(int64_t size) const { return size > 0 && end_ == size; }
  // The owner appended a record line of domain, lineLength bytes, at
  // position, under the file's exclusive lock right after a CatchUp: it is
  // indexed without reading it back. Ignored unless position is where the
  // index stopped reading.
  void Appended(const std::string& domain, int64_t position, size_t lineLength);
  // The position (offset of the domain's first byte) of the first whole
  // record of domain read so far; 0 when there is none.
  int64_t Find(const std::string& domain) const;
  // Forgets everything; the next CatchUp reads the whole file.
  void Clear();
  // Domains indexed.
  size_t Size() const { return first_.size(); }

 private:
  // Indexes the lines of window (the file's bytes from offset start, which
  // follows a line feed unless it is 0) that end with a line feed; returns
  // how many bytes those lines take.
  size_t IndexLines(const char* bytes, size_t length, int64_t start);
  // The position of the first line feed at or after offset, or -1 when the
  // file has none; -2 on a read error.
  int64_t NextLineFeed(int fd, int64_t offset);

  dev_t device_ = 0;
  ino_t inode_ = 0;
  int64_t end_ = 0;  // bytes read: 0, or just past a line feed
  std::unordered_map<std::string, int64_t> first_;
  std::vector<char> window_;
};

// pread of the whole count unless end of file comes first: the bytes read,
// or -1.
ssize_t ReadFileAt(int fd, char* buffer, size_t count, int64_t offset);

#endif
