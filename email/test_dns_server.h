// A DNS server on loopback for the tests and benchmarks of the e-mail code:
// UDP and TCP on one port of 127.0.0.1, serving a small zone of MX, A,
// CNAME and SOA records, NXDOMAIN and NODATA answers, replies truncated over
// UDP and whole over TCP, and deliberately malformed replies. Like common
// resolvers it answers a class-ANY query with no data. It counts the
// queries it gets per name.
#ifndef ZRUTILS_EMAIL_TEST_DNS_SERVER_H
#define ZRUTILS_EMAIL_TEST_DNS_SERVER_H

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestDnsServer {
 public:
  // How a name is answered.
  struct Entry {
    std::vector<std::pair<int, std::string>> mx;  // preference, exchange
    std::vector<std::string> a;                   // dotted quads
    std::string cname;                            // alias target
    bool nxdomain = false;
    bool truncateUdp = false;  // TC over UDP, the whole answer over TCP
    int malformed = 0;         // 1: an MX RDLENGTH one byte long; 2: a name
                               // pointer loop in an MX exchange
  };

  TestDnsServer();
  ~TestDnsServer();

  // Names are compared without regard to case. Names ending in
  // ".many.test" not listed answer one MX, 127.0.0.2.
  void Add(const std::string& name, const Entry& entry);
  // Binds 127.0.0.1 on a free port (UDP and TCP) and starts serving.
  bool Start();
  int port() const { return port_; }
  int Queries(const std::string& name);
  int TcpQueries() const { return tcpQueries_.load(); }

 private:
  void Serve();
  std::string Answer(const unsigned char* query, size_t length, bool overTcp);
  void ServeTcp(int client);

  std::mutex mutex_;
  std::map<std::string, Entry> zone_;
  std::map<std::string, int> queries_;
  std::atomic<int> tcpQueries_{0};
  int udp_ = -1, tcp_ = -1, stop_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
};

// A domain name in wire form: length-prefixed labels and a 0 byte.
std::string WireName(const std::string& name);

// Points the calling thread's resolver at 127.0.0.1:port with short
// timeouts and no search domains. The resolver state is per thread, so every
// thread that queries must call it.
void PointResolverAt(int port);

#endif
