#include "email/dns_resolver.h"

#include <netinet/in.h>
#include <resolv.h>

#include <cerrno>

int DnsResolveQuery(const char* name, const char* type, DnsResultRec& result,
                    std::string& errorText, int queryClass) {
  result.Clear();
  const int typeCode = DnsTypeFromString(type);
  if (typeCode < 0) {
    errorText = std::string("Invalid Type: ") + (type != nullptr ? type : "");
    return kDnsInvalidType;
  }
  unsigned char answer[4096];
  errno = 0;
  // res_query works on this thread's resolver state and initialises it only
  // when the host has not: a host that pointed it at its own servers keeps
  // them.
  const int received = res_query(name, queryClass, typeCode, answer, sizeof answer);
  if (received < 0) {
    if (errno == 0) errorText = "No results";
    return kDnsOk;
  }
  // A reply longer than the buffer is reported with its full length; only
  // the bytes held can be decoded.
  const int held = received < static_cast<int>(sizeof answer) ? received : sizeof answer;
  return DecodeDnsMessage(answer, held, result);
}
