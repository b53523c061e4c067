// DNS messages as plain records: the reply's header, questions and resource
// records with typed fields, decoded from wire bytes (RFC 1035) that need
// not be trusted, and the names of the codes for display.
#ifndef ZRUTILS_EMAIL_DNS_MESSAGE_H
#define ZRUTILS_EMAIL_DNS_MESSAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/export.h"

// Results of decoding (and of DnsResolveQuery).
enum DnsResult {
  kDnsOk = 0,
  kDnsInvalidType = 1,   // the query type text is not one DnsResolveQuery asks
  kDnsBadName = 3,       // a domain name could not be expanded
  kDnsBadRecord = 4,     // a record ran past its RDLENGTH or past the message
};

// One entry of the question section. A value.
struct ZRU_EXPORT DnsQuestionRec {
  std::string name;
  int type = 0;
  int class_ = 0;

  std::string sType() const;
  std::string sClass() const;
};

// One resource record. The common part is filled for every record; of the
// type-specific fields only those of its type are, the rest stay empty or 0.
// A value.
struct ZRU_EXPORT DnsResourceRec {
  std::string name;
  uint16_t type = 0;
  uint16_t class_ = 0;
  uint32_t ttl = 0;
  uint16_t dataLength = 0;
  unsigned char address[4] = {0, 0, 0, 0};  // A (class IN or HS), WKS; network order
  uint8_t protocol = 0;                     // A with RDLENGTH 7, WKS
  uint16_t port = 0;                        // A with RDLENGTH 7
  std::string targetName;                   // NS, CNAME, MB, MG, MR, PTR
  std::string cpu, os;                      // HINFO
  std::string soaOrigin, soaMailbox;        // SOA
  uint32_t soaSerial = 0, soaRefresh = 0, soaRetry = 0, soaExpire = 0, soaMinimum = 0;
  uint32_t mxPreference = 0;                // MX
  std::string mxExchange;                   // MX
  std::vector<std::string> texts;           // TXT, one per non-empty string
  std::string responsibleMailbox, errorMailbox;  // MINFO
  std::vector<unsigned char> wksBitmap;     // WKS

  std::string sType() const;
  // Decodes the record at position within message[0, messageLength) and
  // moves position past it. kDnsOk; kDnsBadName; kDnsBadRecord when the
  // data does not end exactly RDLENGTH bytes after its start or a field
  // would be read past the message. Never reads outside the message; on
  // failure the fields read so far stay filled.
  int InterpretRecord(const unsigned char*& position, const unsigned char* message,
                      int messageLength);
  // Prints the record to standard output.
  void DebugOut() const;
};

// One decoded reply. A value.
struct ZRU_EXPORT DnsResultRec {
  int opcode = 0, id = 0, rcode = 0;
  bool qr = false, aa = false, tc = false, rd = false;
  bool ra = false, ad = false, cd = false;
  int qdcount = 0, ancount = 0, nscount = 0, arcount = 0;
  std::vector<DnsQuestionRec> questions;
  std::vector<DnsResourceRec> answers;
  std::vector<DnsResourceRec> nameServers;
  std::vector<DnsResourceRec> additional;

  // Header fields 0 or false, all four sections empty.
  void Clear();
  std::string sOpcode() const;
  std::string sResultcode() const;
  // Prints the header and every record to standard output.
  void DebugOut() const;
};

// Decodes a whole reply into result (cleared first). The counts are the
// header's; the sections hold the records decoded, in order, up to and
// including a record that failed (its fields as far as they were read).
// Decoding stops at the first failure and returns its code; a message
// shorter than its header gives kDnsBadRecord. Safe for any bytes.
ZRU_EXPORT int DecodeDnsMessage(const unsigned char* message, int messageLength,
                                DnsResultRec& result);

// Names of codes; a code without a name gives the empty text.
ZRU_EXPORT std::string DnsTypeToString(int type);
ZRU_EXPORT std::string DnsClassToString(int class_);
// The query types DnsResolveQuery accepts (any case): their code, else -1.
ZRU_EXPORT int DnsTypeFromString(const char* type);
// "1 day 2 hours 1 min 5 secs" style; 0 gives "0 secs".
ZRU_EXPORT std::string TimeToString(unsigned long seconds);

#endif
