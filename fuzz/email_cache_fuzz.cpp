// The cache file search on arbitrary files: the window scan finds exactly
// what a search of the whole file finds (the first "\n<domain>\t" whose line
// is ended), for every window size; and a record added to any file is found
// afterwards. The in-memory index finds the same, whether it reads the file
// at once or first a head of it (cut anywhere, mid-line too) and then the
// rest as appended bytes. Input: one byte of window size (and of where the
// head ends), the domain up to a line feed, then the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "email/cache_line_scan.h"
#include "email/email_server_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t window = 1 + data[0];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t cut = rest.find('\n');
  if (cut == std::string::npos) return 0;
  const std::string domain = rest.substr(0, cut);
  if (domain.find('\t') != std::string::npos) return 0;
  const std::string file = rest.substr(cut + 1);

  const int fd = memfd_create("cache", 0);
  if (fd < 0) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const size_t head = file.size() * data[0] / 255;
  if (write(fd, file.data(), head) != static_cast<ssize_t>(head)) abort();
  EmailServerCache cache;
  if (cache.Open(path.c_str()) != 0) abort();
  EmailServerRecord record;
  if (cache.Search(domain.c_str(), record) != 0) abort();
  if (write(fd, file.data() + head, file.size() - head) != static_cast<ssize_t>(file.size() - head))
    abort();

  const std::string needle = '\n' + domain + '\t';
  const size_t at = file.find(needle);
  const bool expected = at != std::string::npos && file.find('\n', at + needle.size()) != std::string::npos;
  std::vector<char> scratch;
  CacheLineHit hit;
  const int found = FindCacheLine(fd, domain, window, scratch, hit);
  if (found != (expected ? 0 : 1)) abort();
  if (expected) {
    if (hit.position != static_cast<int64_t>(at + 1)) abort();
    const size_t statusAt = at + needle.size();
    if (hit.status != file[statusAt]) abort();
    // The time is read from the 14 bytes after the status.
    const std::string time = file.substr(statusAt + 1, 14);
    const int minutes = file[statusAt] == '\n' ? 0 : DecodeNumber(time.c_str(), 64);
    if (hit.minutes != minutes) abort();
  }
  // The index, after the head and the appended rest, finds what the scan
  // finds (for the domain up to a NUL: Search takes a C string).
  CacheLineHit scanned;
  const bool inFile = FindCacheLine(fd, domain.c_str(), window, scratch, scanned) == 0;
  if (cache.Search(domain.c_str(), record) != 0) abort();
  if (record.position != (inFile ? scanned.position : 0)) abort();
  if (inFile && record.status != scanned.status) abort();

  // Appending repairs a cut last line, so the new record is always found.
  if (cache.Add(domain.c_str(), '4') == 0) {
    if (cache.Search(domain.c_str(), record) != 0 || record.Empty()) abort();
  }
  cache.Close();
  close(fd);
  return 0;
}
