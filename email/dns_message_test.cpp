// The DNS client: the decoder on built replies (well-formed and malformed),
// the name tables, and whole queries against the loopback server.
#include <arpa/nameser.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "email/dns_message.h"
#include "email/dns_resolver.h"
#include "email/test_dns_server.h"

namespace {

// Builds replies byte by byte.
struct Wire {
  std::string bytes;
  Wire& U16(int v) {
    bytes += static_cast<char>(v >> 8 & 0xff);
    bytes += static_cast<char>(v & 0xff);
    return *this;
  }
  Wire& U32(uint32_t v) { return U16(static_cast<int>(v >> 16)).U16(static_cast<int>(v & 0xffff)); }
  Wire& Raw(const std::string& b) {
    bytes += b;
    return *this;
  }
  Wire& Name(const std::string& name) { return Raw(WireName(name)); }
  // Header with the given counts and a question for example.org MX IN.
  static Wire Reply(int an, int ns = 0, int ar = 0) {
    Wire w;
    w.U16(0x1234).U16(0x8580).U16(1).U16(an).U16(ns).U16(ar);
    w.Name("example.org").U16(ns_t_mx).U16(ns_c_in);
    return w;
  }
  // A record owned by the question's name.
  Wire& Record(int type, int class_, const std::string& data, int length = -1) {
    U16(0xc00c).U16(type).U16(class_).U32(3600);
    U16(length >= 0 ? length : static_cast<int>(data.size()));
    return Raw(data);
  }
  int Decode(DnsResultRec& result) const {
    std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    return DecodeDnsMessage(exact.data(), static_cast<int>(exact.size()), result);
  }
};

std::string MxData(int preference, const std::string& name) {
  Wire w;
  w.U16(preference).Name(name);
  return w.bytes;
}

TEST(DnsMessage, DecodesEveryKindOfRecord) {
  Wire w = Wire::Reply(6, 1, 1);
  w.Record(ns_t_mx, ns_c_in, MxData(10, "mx1.example.org"));
  w.Record(ns_t_a, ns_c_in, std::string("\x7f\x00\x00\x02", 4));
  w.Record(ns_t_a, 3, std::string("\x01\x02\x03\x04", 4));  // CHAOS: not read, skipped
  w.Record(ns_t_txt, ns_c_in, std::string("\x00\x03" "abc", 5));
  w.Record(ns_t_hinfo, ns_c_in, std::string("\x03x86\x05Linux", 10));
  w.Record(ns_t_cname, ns_c_in, "\xc0\x0c");
  Wire soa;
  soa.Name("ns.example.org").Name("host.example.org").U32(7).U32(60).U32(1).U32(86400).U32(0);
  w.Record(ns_t_soa, ns_c_in, soa.bytes);
  w.Record(ns_t_mx, ns_c_in, MxData(20, "mx2.example.org"));

  DnsResultRec r;
  ASSERT_EQ(kDnsOk, w.Decode(r));
  EXPECT_EQ(0x1234, r.id);
  EXPECT_TRUE(r.qr && r.aa && r.rd && r.ra);
  EXPECT_FALSE(r.tc || r.ad || r.cd);
  ASSERT_EQ(1u, r.questions.size());
  EXPECT_EQ("example.org", r.questions[0].name);
  EXPECT_EQ("MX", r.questions[0].sType());
  EXPECT_EQ("IN", r.questions[0].sClass());
  ASSERT_EQ(6u, r.answers.size());
  EXPECT_EQ(10u, r.answers[0].mxPreference);
  EXPECT_EQ("mx1.example.org", r.answers[0].mxExchange);
  EXPECT_EQ(2, r.answers[1].address[3]);
  EXPECT_EQ(0, r.answers[2].address[0]);
  EXPECT_EQ(std::vector<std::string>{"abc"}, r.answers[3].texts);
  EXPECT_EQ("x86", r.answers[4].cpu);
  EXPECT_EQ("Linux", r.answers[4].os);
  EXPECT_EQ("example.org", r.answers[5].targetName);
  ASSERT_EQ(1u, r.nameServers.size());
  EXPECT_EQ("host.example.org", r.nameServers[0].soaMailbox);
  EXPECT_EQ(86400u, r.nameServers[0].soaExpire);
  ASSERT_EQ(1u, r.additional.size());
  EXPECT_EQ("mx2.example.org", r.additional[0].mxExchange);
}

// Each malformed reply gives its code with the records before the fault.
TEST(DnsMessage, MalformedRepliesStopWithRecordsSoFar) {
  struct Case {
    const char* what;
    Wire wire;
    int code;
    size_t answers;
  };
  std::vector<Case> cases;
  {
    Wire w = Wire::Reply(3);
    w.Record(ns_t_mx, ns_c_in, MxData(5, "a.org"));
    w.Record(ns_t_mx, ns_c_in, MxData(10, "b.org") + '\0');  // RDLENGTH one too long
    w.Record(ns_t_mx, ns_c_in, MxData(15, "c.org"));
    cases.push_back({"long RDLENGTH", w, kDnsBadRecord, 2});
  }
  {
    Wire w = Wire::Reply(2);
    w.Record(ns_t_mx, ns_c_in, MxData(5, "a.org"));
    // owner (2) and fixed fields (10), then the preference (2)
    const int here = static_cast<int>(w.bytes.size()) + 12 + 2;
    Wire loop;
    loop.U16(1).U16(0xc000 | here);
    w.Record(ns_t_mx, ns_c_in, loop.bytes);
    cases.push_back({"pointer loop", w, kDnsBadName, 2});
  }
  {
    Wire w = Wire::Reply(1);
    w.Record(ns_t_mx, ns_c_in, MxData(5, "a.org"), 4000);  // RDLENGTH past the end
    cases.push_back({"RDLENGTH past the message", w, kDnsBadRecord, 1});
  }
  {
    Wire w = Wire::Reply(65535, 65535, 65535);  // counts the bytes cannot hold
    w.Record(ns_t_mx, ns_c_in, MxData(5, "a.org"));
    cases.push_back({"forged counts", w, kDnsBadName, 2});
  }
  {
    Wire w = Wire::Reply(1);
    w.Raw(std::string("\xc0\x0c\x00\x0f\x00", 5));  // cut inside the fixed fields
    cases.push_back({"cut record", w, kDnsBadRecord, 1});
  }
  {
    Wire w;
    w.U16(1).U16(0x8180).U16(0);
    cases.push_back({"short header", w, kDnsBadRecord, 0});
  }
  {
    Wire w = Wire::Reply(1);
    w.Record(ns_t_mx, ns_c_in, MxData(5, "a.org"));
    w.bytes[12] = '\xc0';  // the question's name points past the end
    w.bytes[13] = '\xff';
    cases.push_back({"question pointer", w, kDnsBadName, 0});
  }
  {
    Wire w = Wire::Reply(1);
    w.Record(ns_t_txt, ns_c_in, std::string("\x09" "ab", 3));  // string cut by the data's end
    cases.push_back({"cut TXT keeps what is there", w, kDnsOk, 1});
  }
  for (const Case& c : cases) {
    DnsResultRec r;
    EXPECT_EQ(c.code, c.wire.Decode(r)) << c.what;
    EXPECT_EQ(c.answers, r.answers.size()) << c.what;
  }
  DnsResultRec r;
  cases[0].wire.Decode(r);
  EXPECT_EQ("b.org", r.answers[1].mxExchange) << "the failing record keeps its fields";
  cases[7].wire.Decode(r);
  EXPECT_EQ(std::vector<std::string>{"ab"}, r.answers[0].texts);
}

TEST(DnsMessage, DebugOutPrintsTheReply) {
  Wire w = Wire::Reply(2);
  w.Record(ns_t_mx, ns_c_in, MxData(10, "mx1.example.org"));
  Wire soa;
  soa.Name("ns.example.org").Name("host.example.org").U32(7).U32(3600).U32(90).U32(86400).U32(0);
  w.Record(ns_t_soa, ns_c_in, soa.bytes);
  DnsResultRec r;
  ASSERT_EQ(kDnsOk, w.Decode(r));
  testing::internal::CaptureStdout();
  r.DebugOut();
  EXPECT_EQ(
      "\tOpcode: (0) QUERY\n\tQuery Id: 4660\n\tResponse code: (0) NOERROR\n"
      "\tFlags: QR AA RD RA\nQUESTIONS (1):\n\nexample.org  MX  IN\nANSWERS (2):\n"
      "\texample.org  MX  IN  1 hour  (len=19)\n\t10\tmx1.example.org\n"
      "\texample.org  SOA  IN  1 hour  (len=54)\n"
      "\tOrigin:ns.example.org; MainAddress:host.example.org; SerialNum:7;\n"
      "\tRefresh:1 hour; Retry:1 min 30 secs; Expire:1 day; Min:0 secs;\n"
      "NAME SERVERS (0):\nADDITIONAL RECORDS (0):\n",
      testing::internal::GetCapturedStdout());
}

TEST(DnsResolver, QueriesTheLoopbackServer) {
  TestDnsServer server;
  TestDnsServer::Entry mx;
  mx.mx = {{10, "mx1.ok.test"}, {20, "127.0.0.2"}};
  server.Add("ok.test", mx);
  TestDnsServer::Entry alias;
  alias.cname = "ok.test";
  server.Add("alias.test", alias);
  TestDnsServer::Entry loop = mx;
  loop.malformed = 2;
  server.Add("loop.test", loop);
  ASSERT_TRUE(server.Start());
  PointResolverAt(server.port());

  struct Case {
    const char* name;
    int queryClass;
    int code;
    size_t mxCount;
  } cases[] = {
      {"ok.test", ns_c_in, kDnsOk, 2},
      {"ok.test", ns_c_any, kDnsOk, 0},       // class ANY: no data, as dnsmasq answers
      {"loop.test", ns_c_in, kDnsBadName, 1},  // the records before the fault
      {"missing.test", ns_c_in, kDnsOk, 0},
  };
  for (const Case& c : cases) {
    DnsResultRec r;
    std::string error;
    EXPECT_EQ(c.code, DnsResolveQuery(c.name, "mx", r, error, c.queryClass)) << c.name;
    size_t mx = 0;
    for (const DnsResourceRec& record : r.answers) mx += record.type == ns_t_mx;
    EXPECT_EQ(c.mxCount, mx) << c.name;
  }
  DnsResultRec r;
  std::string error;
  EXPECT_EQ(kDnsOk, DnsResolveQuery("alias.test", "MX", r, error));
  ASSERT_EQ(3u, r.answers.size());
  EXPECT_EQ("ok.test", r.answers[0].targetName);
  EXPECT_EQ("mx1.ok.test", r.answers[1].mxExchange);
  EXPECT_EQ(kDnsInvalidType, DnsResolveQuery("ok.test", "AAAA", r, error));
  EXPECT_EQ("Invalid Type: AAAA", error);
}

}  // namespace
