// zruValidateEmail: can the domain of an e-mail address receive mail? Its
// MX records through the DNS and, from level 3, a TCP connection to port 25
// of its mail servers; verdicts kept per domain in the cache file.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <strings.h>

#include "api/zrutils.h"
#include "email/dns_resolver.h"
#include "email/email_server_cache.h"
#include "email/socket_helpers.h"
#include "foundation/copy_answer.h"
#include "foundation/morvel_config.h"
#include "foundation/next_parameter.h"
#include "foundation/thread.h"

namespace {

// The process-wide settings: written once by InitEmailValidation, read-only
// afterwards.
int initOnce = 0;
std::string cacheFilePath;
int positiveExpiryMinutes = 1440;
int negativeExpiryMinutes = 30;
std::string socketInitError;

void InitEmailValidation() {
  MorvelConfig config;
  if (config.OpenKey("", 0)) config.ReadValue("EmailCacheFile", cacheFilePath);
  unsigned int minutes;
  if (config.ReadValueI("EmailCacheExpiryValid", minutes))
    positiveExpiryMinutes = minutes > 0x7fffffffU ? 0x7fffffff : static_cast<int>(minutes);
  if (config.ReadValueI("EmailCacheExpiryInvalid", minutes))
    negativeExpiryMinutes = minutes > 0x7fffffffU ? 0x7fffffff : static_cast<int>(minutes);
  if (InitSockets() != 0) socketInitError = "Socket library initialisation error";
}

// The cache file's one open descriptor and index in this process, shared by
// every thread (its calls are serialised inside it). Destroyed when the
// library is unloaded, so a host that loads and unloads it keeps neither
// the descriptor nor the index.
EmailServerCache& SharedCache() {
  static EmailServerCache cache;
  return cache;
}

// Verdicts that stay fresh for the positive expiry.
bool IsValidStatus(char status) { return status == '4' || status == '6' || status == '8'; }

// True when one of hosts accepts a TCP connection on port 25. Each attempt
// is bounded (tcp_client), so a silent host costs seconds, not minutes.
bool ConnectToAnyMailServer(const std::vector<std::string>& hosts) {
  for (const std::string& host : hosts) {
    int socket = -1;
    char errorText[256];
    const int result = tcp_client(&socket, host.c_str(), "25", errorText);
    if (socket >= 0) close(socket);
    if (result == 0) return true;
  }
  return false;
}

// The verdict for domain at level, with the DNS client's error text.
char Verdict(const char* domain, int level, std::string& detail) {
  DnsResultRec reply;
  // Class IN: a class-ANY MX query is answered with no data by common
  // resolvers, which would make every domain behind one look mail-less.
  if (DnsResolveQuery(domain, "MX", reply, detail, ns_c_in) != kDnsOk) return '3';
  detail.clear();
  std::vector<std::string> hosts;
  // An exchange of "." (a null MX) is a domain's statement that it takes
  // no mail, not a server to count or to try.
  for (const DnsResourceRec& record : reply.answers)
    if (record.type == ns_t_mx && !record.mxExchange.empty()) hosts.push_back(record.mxExchange);
  if (hosts.empty()) return '3';
  if (level <= 2) return '4';
  return ConnectToAnyMailServer(hosts) ? '6' : '5';
}

int ValidateEmail(char* buffer, int size) {
  ZRThread::CallOnce(initOnce, InitEmailValidation);
  int level = 2;
  char* cursor = buffer;
  char* key;
  char* value;
  if (NextParameter(cursor, key, value) && strcasecmp(key, "Level") == 0) level = atoi(value);
  char status = '1';
  std::string detail;
  const char* at = strchr(cursor, '@');
  if (at != nullptr) {
    // The domain is copied out: the answer overwrites the buffer.
    const std::string domain = at + 1;
    EmailServerCache& cache = SharedCache();
    EmailServerRecord record;
    const bool cached =
        !cacheFilePath.empty() && cache.OpenCurrent(cacheFilePath.c_str()) == kCacheOk;
    if (cached && cache.Search(domain.c_str(), record) == kCacheOk && !record.Empty()) {
      const bool positive = IsValidStatus(record.Status());
      if (record.Age() < (positive ? positiveExpiryMinutes : negativeExpiryMinutes)) {
        status = record.Status();
        detail.clear();
        CopyAnswer(buffer, std::string(1, status) + '\t', size);
        return 0;
      }
    }
    status = Verdict(domain.c_str(), level, detail);
    if (cached) {
      if (record.Empty())
        cache.Add(domain.c_str(), status);
      else
        cache.Update(record, status);
    }
  }
  CopyAnswer(buffer, std::string(1, status) + '\t' + detail, size);
  return 0;
}

}  // namespace

int zruValidateEmail(char* buffer, int size) {
  if (buffer == nullptr || size < 0) return 0;
  // Nothing may cross the C boundary: out of memory (or a failed lock)
  // answers '2', the verdict of a check that did not finish.
  try {
    return ValidateEmail(buffer, size);
  } catch (...) {
    CopyAnswer(buffer, "2\t", size);
    return 0;
  }
}
