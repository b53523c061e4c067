// EmailServerCache: the e-mail domain cache file (docs/email_cache_file.md),
// one line per domain holding its last verdict and the minute it was
// reached. EmailServerRecord: one record as a search found it.
#ifndef ZRUTILS_EMAIL_EMAIL_SERVER_CACHE_H
#define ZRUTILS_EMAIL_EMAIL_SERVER_CACHE_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "email/cache_file_index.h"
#include "foundation/export.h"
#include "foundation/mutex.h"
#include "foundation/non_copyable.h"
#include "foundation/text_file.h"

// Result codes of EmailServerCache.
enum EmailCacheResult {
  kCacheOk = 0,
  kCacheCannotOpen = 1,       // Open: cannot open or create the file
  kCacheShortWrite = 2,       // Add, Update: fewer bytes written than the line holds
  kCacheNoPosition = 3,       // Update: the record was not found by Search
  kCacheNotOpen = 4,          // Search, Add, Update: the cache is not open
  kCacheReadError = 5,        // Search: read error
  kCacheSeekWrite = 6,        // Add, Update: cannot reach the place to write
  kCacheSeekRead = 7,         // Update: cannot reach the record to verify it
  kCacheShortRead = 8,        // Update: the old record could not be read whole
  kCacheNoMemory = 9,         // Update: no memory for the comparison
  kCacheOtherDomain = 10,     // Update: another domain stands at the position
  kCacheNoTab = 11,           // Update: no TAB after the domain on disk
  kCacheLengthDiffers = 12,   // Update: the old line is not as long as the new one
  kCacheUnstorableDomain = 13 // Add, Update: a domain with a line feed or TAB
};

// One record found by EmailServerCache::Search. Clear when nothing was
// found. A value; meaningful until the file next changes.
struct ZRU_EXPORT EmailServerRecord {
  int64_t position = 0;  // offset of the domain's first byte; 0: not found
  std::string domain;    // the domain searched for; empty when not found
  char status = 0;       // the verdict character stored
  int age = 0;           // minutes from the record's time to the search

  // Nothing was found. Told by the position, which a found record always
  // has, so that a record of the empty domain ("user@") is found too.
  bool Empty() const { return position == 0; }
  int Age() const { return age; }
  char Status() const { return status; }
  void Clear() { *this = EmailServerRecord(); }
};

struct CacheLineHit;

// Owns one open cache file (one descriptor) and an in-memory index of it
// (CacheFileIndex). Each object serialises its own calls with its mutex, a
// leaf lock; objects on the same file, in this process or others, exclude
// one another with flock (shared for Search, exclusive for Add and Update),
// so records are never interleaved nor lost. The index is built on the
// first search and then extended by the bytes appended since, so keep one
// object per file for as long as the file is used: a search is then a few
// small reads whatever the file's size. Thread-safe.
class ZRU_EXPORT EmailServerCache : private ZRNonCopyable {
 public:
  EmailServerCache();

  // Opens fileName for reading and writing, creating it with its leading
  // line feed when it does not exist (two creators cannot both write it).
  // kCacheOk or kCacheCannotOpen.
  int Open(const char* fileName);
  // Like Open, but keeps the open file (and its index) when fileName still
  // names it: one stat. A file deleted or replaced at that name since is
  // opened (or created) afresh.
  int OpenCurrent(const char* fileName);
  void Close();
  bool IsOpen() const;

  // Finds the first whole record of domain (byte-exact). kCacheOk with the
  // record filled when found and clear when not; kCacheNotOpen,
  // kCacheReadError. Lines of any length are passed over. Status and time
  // are always read from the file, never from the index.
  int Search(const char* domain, EmailServerRecord& record);
  // Appends a record of domain and status stamped with the current minute.
  // A file whose last line lacks its line feed (an interrupted writer, or an
  // empty file) gets one first, so the new record stands on a line of its
  // own and can be found.
  int Add(const char* domain, char status);
  // Rewrites the record Search found with status and the current minute,
  // after checking that the same domain and a line of the same length still
  // stand there; otherwise nothing is written.
  int Update(const EmailServerRecord& record, char status);

 private:
  // Locks the whole file against other objects (flock operation); false
  // when the lock cannot be taken.
  bool LockFile(int operation);
  void UnlockFile();
  int Fd() const;
  int OpenLocked(const char* fileName);
  // Search's work under the shared lock: 0 found, 1 not found,
  // kCacheReadError.
  int FindRecord(const std::string& domain, CacheLineHit& hit);

  std::string fileName_;
  SelfClosingFILE file_;
  dev_t device_ = 0;  // identity of the open file
  ino_t inode_ = 0;
  CacheFileIndex index_;
  ZRMutex mutex_;
};

// The base-64 number form of the time field: digits of
// "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/", most
// significant first. EncodeNumber gives "" for a negative value or a radix
// outside 2 to 64. DecodeNumber reads digits up to the first character not
// in the alphabet; a radix outside 2 to 64 gives 0; a value beyond int
// saturates at INT_MAX.
ZRU_EXPORT std::string EncodeNumber(int value, int radix);
ZRU_EXPORT int DecodeNumber(const char* text, int radix);
// Whole minutes since 2010-01-01 00:00:00 UTC, now.
ZRU_EXPORT int MinutesSince2010();
// "<domain>\t<status><time>\n" with the time of minutes padded with blanks
// to 4 characters; a status of 0 or line feed is written as a blank.
ZRU_EXPORT std::string MakeCacheLine(const std::string& domain, char status, int minutes);

#endif
