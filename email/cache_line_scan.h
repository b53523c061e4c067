// The scan behind EmailServerCache::Search, apart for the fuzzer and the
// tests. Internal: not installed, not exported.
#ifndef ZRUTILS_EMAIL_CACHE_LINE_SCAN_H
#define ZRUTILS_EMAIL_CACHE_LINE_SCAN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where FindCacheLine found a record.
struct CacheLineHit {
  int64_t position = 0;  // offset of the domain's first byte
  char status = 0;
  int minutes = 0;
};

// Scans the file fd (with pread, from offset 0) for the first "\n<domain>\t"
// whose line ends with a line feed, windowSize bytes at a time. 0 found, 1
// not found, kCacheReadError.
int FindCacheLine(int fd, const std::string& domain, size_t windowSize,
                  std::vector<char>& window, CacheLineHit& hit);

#endif
