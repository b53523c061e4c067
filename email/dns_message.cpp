#include "email/dns_message.h"

#include <arpa/inet.h>
#include <resolv.h>
#include <strings.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const kOpcodeNames[16] = {
    "QUERY", "IQUERY", "CQUERYM", "CQUERYU", "4", "5", "6", "7",
    "8", "UPDATEA", "UPDATED", "UPDATEDA", "UPDATEM", "UPDATEMA", "ZONEINIT", "ZONEREF"};
const char* const kResultNames[16] = {
    "NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN", "NOTIMP", "REFUSED", "6", "7",
    "8", "9", "10", "11", "12", "13", "14", "NOCHANGE"};

struct NamedCode {
  int code;
  const char* name;
};
const NamedCode kTypeNames[] = {
    {1, "A"}, {2, "NS"}, {3, "MD"}, {4, "MF"}, {5, "CNAME"}, {6, "SOA"}, {7, "MB"},
    {8, "MG"}, {9, "MR"}, {10, "NULL"}, {11, "WKS"}, {12, "PTR"}, {13, "HINFO"},
    {14, "MINFO"}, {15, "MX"}, {16, "TXT"}, {17, "RP"}, {18, "AFSDB"}, {19, "X25"},
    {20, "ISDN"}, {21, "RT"}, {22, "NSAP"}, {23, "NSAP_PTR"}, {24, "SIG"}, {25, "KEY"},
    {26, "PX"}, {27, "GPOS"}, {28, "AAAA"}, {29, "LOC"}, {30, "NXT"}, {31, "EID"},
    {32, "NIMLOC"}, {33, "SRV"}, {34, "ATMA"}, {35, "NAPTR"}, {250, "TSIG"},
    {251, "IXFR"}, {252, "AXFR"}, {253, "MAILB"}, {254, "MAILA"}, {255, "ANY"}};
const NamedCode kClassNames[] = {{1, "IN"}, {3, "CHAOS"}, {4, "HS"}, {254, "NONE"}, {255, "ANY"}};
const NamedCode kQueryTypes[] = {
    {1, "A"}, {2, "NS"}, {5, "CNAME"}, {6, "SOA"}, {7, "MB"}, {8, "MG"}, {9, "MR"},
    {11, "WKS"}, {15, "MX"}, {12, "PTR"}, {13, "HINFO"}, {14, "MINFO"}, {252, "AXFR"}};

template <size_t N>
std::string NameOf(const NamedCode (&table)[N], int code) {
  for (const NamedCode& entry : table)
    if (entry.code == code) return entry.name;
  return std::string();
}

// Bounded reads over [position, end): each returns false, reading nothing,
// when the field would cross end. Every field of a reply goes through
// these, so no count or length in the message can lead a read outside it.
class Reader {
 public:
  Reader(const unsigned char* message, const unsigned char* position, const unsigned char* end)
      : message_(message), position_(position), end_(end) {}

  const unsigned char* position() const { return position_; }
  size_t left() const { return static_cast<size_t>(end_ - position_); }

  bool U8(uint8_t& value) {
    if (left() < 1) return false;
    value = *position_++;
    return true;
  }
  bool U16(uint16_t& value) {
    if (left() < 2) return false;
    value = static_cast<uint16_t>(position_[0] << 8 | position_[1]);
    position_ += 2;
    return true;
  }
  bool U32(uint32_t& value) {
    if (left() < 4) return false;
    value = static_cast<uint32_t>(position_[0]) << 24 | static_cast<uint32_t>(position_[1]) << 16 |
            static_cast<uint32_t>(position_[2]) << 8 | position_[3];
    position_ += 4;
    return true;
  }
  bool Bytes(void* out, size_t count) {
    if (left() < count) return false;
    memcpy(out, position_, count);
    position_ += count;
    return true;
  }
  bool Skip(size_t count) {
    if (left() < count) return false;
    position_ += count;
    return true;
  }
  // A possibly compressed name. dn_expand bounds every label and pointer by
  // the message's end and rejects pointer loops; the name must also start
  // before end (the end of the record's data, for names inside it).
  bool Name(std::string& name) {
    if (left() < 1) return false;
    char expanded[1025];
    const int used = dn_expand(message_, messageEnd_ ? messageEnd_ : end_, position_,
                               expanded, sizeof expanded);
    if (used < 0 || static_cast<size_t>(used) > left()) return false;
    name = expanded;
    position_ += used;
    return true;
  }
  // Names inside a record's data may point anywhere in the message.
  void SetMessageEnd(const unsigned char* messageEnd) { messageEnd_ = messageEnd; }

 private:
  const unsigned char* message_;
  const unsigned char* position_;
  const unsigned char* end_;
  const unsigned char* messageEnd_ = nullptr;
};

// The counted character-strings of HINFO and TXT.
bool CharacterString(Reader& data, std::string& text) {
  uint8_t length;
  if (!data.U8(length)) return false;
  const size_t present = length < data.left() ? length : data.left();
  text.assign(reinterpret_cast<const char*>(data.position()), present);
  data.Skip(present);
  return present == length;
}

}  // namespace

std::string DnsTypeToString(int type) { return NameOf(kTypeNames, type); }
std::string DnsClassToString(int class_) { return NameOf(kClassNames, class_); }

int DnsTypeFromString(const char* type) {
  if (type == nullptr) return -1;
  for (const NamedCode& entry : kQueryTypes)
    if (strcasecmp(entry.name, type) == 0) return entry.code;
  return -1;
}

std::string TimeToString(unsigned long seconds) {
  if (seconds == 0) return "0 secs";
  const struct {
    unsigned long amount;
    const char* unit;
  } parts[] = {{seconds / 86400, "day"}, {seconds / 3600 % 24, "hour"},
               {seconds / 60 % 60, "min"}, {seconds % 60, "sec"}};
  std::string text;
  for (const auto& part : parts) {
    if (part.amount == 0) continue;
    if (!text.empty()) text += ' ';
    text += std::to_string(part.amount) + ' ' + part.unit;
    if (part.amount != 1) text += 's';
  }
  return text;
}

std::string DnsQuestionRec::sType() const { return DnsTypeToString(type); }
std::string DnsQuestionRec::sClass() const { return DnsClassToString(class_); }
std::string DnsResourceRec::sType() const { return DnsTypeToString(type); }

int DnsResourceRec::InterpretRecord(const unsigned char*& position, const unsigned char* message,
                                    int messageLength) {
  const unsigned char* end = message + (messageLength > 0 ? messageLength : 0);
  Reader header(message, position, end);
  if (!header.Name(name)) return kDnsBadName;
  if (!header.U16(type) || !header.U16(class_) || !header.U32(ttl) || !header.U16(dataLength))
    return kDnsBadRecord;
  if (header.left() < dataLength) return kDnsBadRecord;
  const unsigned char* dataStart = header.position();
  const unsigned char* dataEnd = dataStart + dataLength;
  // Fields are read within the data; names may point back into the message.
  Reader data(message, dataStart, dataEnd);
  data.SetMessageEnd(end);
  bool ok = true;
  switch (type) {
    case ns_t_a:
      if (class_ == ns_c_in || class_ == ns_c_hs) {
        ok = data.Bytes(address, 4);
        if (ok && dataLength == 7) ok = data.U8(protocol) && data.U16(port);
      }
      data.Skip(data.left());
      break;
    case ns_t_ns: case ns_t_cname: case ns_t_mb: case ns_t_mg: case ns_t_mr: case ns_t_ptr:
      if (!data.Name(targetName)) return kDnsBadName;
      break;
    case ns_t_soa:
      if (!data.Name(soaOrigin) || !data.Name(soaMailbox)) return kDnsBadName;
      ok = data.U32(soaSerial) && data.U32(soaRefresh) && data.U32(soaRetry) &&
           data.U32(soaExpire) && data.U32(soaMinimum);
      break;
    case ns_t_wks:
      if (dataLength >= 5) {
        data.Bytes(address, 4);
        data.U8(protocol);
        wksBitmap.assign(data.position(), dataEnd);
        data.Skip(data.left());
      }
      break;
    case ns_t_hinfo:
      ok = CharacterString(data, cpu) && CharacterString(data, os);
      break;
    case ns_t_minfo:
      if (!data.Name(responsibleMailbox) || !data.Name(errorMailbox)) return kDnsBadName;
      break;
    case ns_t_mx: {
      uint16_t preference = 0;
      ok = data.U16(preference);
      mxPreference = preference;
      if (ok && !data.Name(mxExchange)) return kDnsBadName;
      break;
    }
    case ns_t_txt:
      while (data.left() > 0) {
        std::string text;
        // A string cut by the end of the data keeps what is there.
        CharacterString(data, text);
        if (!text.empty()) texts.push_back(text);
      }
      break;
    default:
      // MD, MF, NULL and every type above TXT: the data is not interpreted.
      data.Skip(data.left());
      break;
  }
  position = dataEnd;
  return ok && data.position() == dataEnd ? kDnsOk : kDnsBadRecord;
}

void DnsResultRec::Clear() { *this = DnsResultRec(); }

std::string DnsResultRec::sOpcode() const {
  return opcode >= 0 && opcode < 16 ? kOpcodeNames[opcode] : "";
}

std::string DnsResultRec::sResultcode() const {
  return rcode >= 0 && rcode < 16 ? kResultNames[rcode] : "";
}

namespace {

// Decodes count records of one section, appending each to records.
int DecodeSection(int count, const unsigned char*& position, const unsigned char* message,
                  int messageLength, std::vector<DnsResourceRec>& records) {
  for (int i = 0; i < count; ++i) {
    records.emplace_back();
    const int result = records.back().InterpretRecord(position, message, messageLength);
    if (result != kDnsOk) return result;
  }
  return kDnsOk;
}

}  // namespace

int DecodeDnsMessage(const unsigned char* message, int messageLength, DnsResultRec& result) {
  result.Clear();
  if (message == nullptr || messageLength < NS_HFIXEDSZ) return kDnsBadRecord;
  const unsigned char* h = message;
  result.id = h[0] << 8 | h[1];
  result.qr = (h[2] & 0x80) != 0;
  result.opcode = (h[2] >> 3) & 0x0f;
  result.aa = (h[2] & 0x04) != 0;
  result.tc = (h[2] & 0x02) != 0;
  result.rd = (h[2] & 0x01) != 0;
  result.ra = (h[3] & 0x80) != 0;
  result.ad = (h[3] & 0x20) != 0;
  result.cd = (h[3] & 0x10) != 0;
  result.rcode = h[3] & 0x0f;
  result.qdcount = h[4] << 8 | h[5];
  result.ancount = h[6] << 8 | h[7];
  result.nscount = h[8] << 8 | h[9];
  result.arcount = h[10] << 8 | h[11];

  // Records are appended as they decode, never allocated from the counts:
  // a forged count of 65 535 costs nothing when the bytes are not there.
  Reader reader(message, message + NS_HFIXEDSZ, message + messageLength);
  for (int i = 0; i < result.qdcount; ++i) {
    result.questions.emplace_back();
    DnsQuestionRec& question = result.questions.back();
    if (!reader.Name(question.name)) return kDnsBadName;
    uint16_t type, class_;
    if (!reader.U16(type) || !reader.U16(class_)) return kDnsBadRecord;
    question.type = type;
    question.class_ = class_;
  }
  const unsigned char* position = reader.position();
  int code = DecodeSection(result.ancount, position, message, messageLength, result.answers);
  if (code == kDnsOk)
    code = DecodeSection(result.nscount, position, message, messageLength, result.nameServers);
  if (code == kDnsOk)
    code = DecodeSection(result.arcount, position, message, messageLength, result.additional);
  return code;
}

void DnsResourceRec::DebugOut() const {
  printf("\t%s  %s  %s  %s  (len=%d)\n", name.c_str(), sType().c_str(),
         DnsClassToString(class_).c_str(), TimeToString(ttl).c_str(), dataLength);
  char dotted[INET_ADDRSTRLEN];
  switch (type) {
    case ns_t_a:
      inet_ntop(AF_INET, address, dotted, sizeof dotted);
      printf("\tIP:%s; Protocol:%d; Port:%d;\n", dotted, protocol, port);
      break;
    case ns_t_ns: case ns_t_cname: case ns_t_mb: case ns_t_mg: case ns_t_mr: case ns_t_ptr:
      printf("\t%s;\n", targetName.c_str());
      break;
    case ns_t_soa:
      printf("\tOrigin:%s; MainAddress:%s; SerialNum:%d;\n", soaOrigin.c_str(),
             soaMailbox.c_str(), static_cast<int>(soaSerial));
      printf("\tRefresh:%s; Retry:%s; Expire:%s; Min:%s;\n", TimeToString(soaRefresh).c_str(),
             TimeToString(soaRetry).c_str(), TimeToString(soaExpire).c_str(),
             TimeToString(soaMinimum).c_str());
      break;
    case ns_t_wks:
      inet_ntop(AF_INET, address, dotted, sizeof dotted);
      printf("\tIP:%s;\n", dotted);
      for (unsigned char byte : wksBitmap) printf("%x ", byte);
      printf("\n");
      break;
    case ns_t_hinfo:
      printf("\tCPU:%s; OS:%s;\n", cpu.c_str(), os.c_str());
      break;
    case ns_t_minfo:
      printf("\t%s\n", responsibleMailbox.c_str());
      printf("\t%s\n", errorMailbox.c_str());
      break;
    case ns_t_mx:
      printf("\t%d\t%s\n", static_cast<int>(mxPreference), mxExchange.c_str());
      break;
    case ns_t_txt:
      for (const std::string& text : texts) printf("\t%s\n", text.c_str());
      break;
    default:
      break;
  }
}

void DnsResultRec::DebugOut() const {
  printf("\tOpcode: (%d) %s\n", opcode, sOpcode().c_str());
  printf("\tQuery Id: %d\n", id);
  printf("\tResponse code: (%d) %s\n", rcode, sResultcode().c_str());
  printf("\tFlags:");
  const struct {
    bool set;
    const char* name;
  } flags[] = {{qr, "QR"}, {aa, "AA"}, {tc, "TC"}, {rd, "RD"}, {ra, "RA"}, {ad, "AD"}, {cd, "CD"}};
  for (const auto& flag : flags)
    if (flag.set) printf(" %s", flag.name);
  printf("\n");
  printf("QUESTIONS (%d):\n", qdcount);
  for (const DnsQuestionRec& question : questions)
    printf("\n%s  %s  %s\n", question.name.c_str(), question.sType().c_str(),
           question.sClass().c_str());
  printf("ANSWERS (%d):\n", ancount);
  for (const DnsResourceRec& record : answers) record.DebugOut();
  printf("NAME SERVERS (%d):\n", nscount);
  for (const DnsResourceRec& record : nameServers) record.DebugOut();
  printf("ADDITIONAL RECORDS (%d):\n", arcount);
  for (const DnsResourceRec& record : additional) record.DebugOut();
}
