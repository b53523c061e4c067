// The DNS reply decoder on arbitrary bytes: whatever the counts, lengths
// and compression pointers say, it reads nothing outside the message and
// never holds more records than the header counted.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "email/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65535) return 0;
  // An exact-size copy, so that a read one byte past the end is caught.
  const std::vector<unsigned char> message(data, data + size);
  DnsResultRec result;
  const int code = DecodeDnsMessage(message.data(), static_cast<int>(size), result);
  if (code != 0 && code != 3 && code != 4) abort();
  if (result.questions.size() > static_cast<size_t>(result.qdcount) ||
      result.answers.size() > static_cast<size_t>(result.ancount) ||
      result.nameServers.size() > static_cast<size_t>(result.nscount) ||
      result.additional.size() > static_cast<size_t>(result.arcount))
    abort();
  // A decoded whole reply is a value: copies compare field by field.
  DnsResultRec copy = result;
  if (copy.answers.size() != result.answers.size()) abort();
  return 0;
}
