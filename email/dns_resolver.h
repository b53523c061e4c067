// DnsResolveQuery: one DNS query through the system resolver, with the
// whole reply decoded into a DnsResultRec.
#ifndef ZRUTILS_EMAIL_DNS_RESOLVER_H
#define ZRUTILS_EMAIL_DNS_RESOLVER_H

#include <arpa/nameser.h>

#include <string>

#include "email/dns_message.h"
#include "foundation/export.h"

// Queries name for type ("A", "NS", "CNAME", "SOA", "MB", "MG", "MR", "WKS",
// "MX", "PTR", "HINFO", "MINFO", "AXFR", any case) in queryClass (class IN
// unless a caller asks another, such as ns_c_any: common resolvers answer a
// class-ANY query with no data). Uses the calling thread's resolver state
// as the host set it (res_init and _res), without re-initialising it.
//
// 0 with the reply decoded, or with the result empty when the query failed
// (no reply, unknown name, no data): errorText then becomes "No results"
// when errno was 0, else is untouched. 1 with "Invalid Type: <type>" for a
// type not listed. 3 or 4 for a malformed reply (see DecodeDnsMessage), with
// the records decoded before the fault. Thread-safe.
ZRU_EXPORT int DnsResolveQuery(const char* name, const char* type, DnsResultRec& result,
                               std::string& errorText, int queryClass = ns_c_in);

#endif
