#include "email/test_dns_server.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

void Put16(std::string& out, int value) {
  out += static_cast<char>(value >> 8 & 0xff);
  out += static_cast<char>(value & 0xff);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, static_cast<int>(value >> 16));
  Put16(out, static_cast<int>(value & 0xffff));
}

// One resource record of class IN; owner is a wire name or a pointer.
void Record(std::string& out, const std::string& owner, int type, const std::string& data) {
  out += owner;
  Put16(out, type);
  Put16(out, ns_c_in);
  Put32(out, 3600);
  Put16(out, static_cast<int>(data.size()));
  out += data;
}

}  // namespace

std::string WireName(const std::string& name) {
  std::string out;
  size_t start = 0;
  while (start < name.size()) {
    size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    out += static_cast<char>(dot - start);
    out += name.substr(start, dot - start);
    start = dot + 1;
  }
  return out + '\0';
}

TestDnsServer::TestDnsServer() = default;

TestDnsServer::~TestDnsServer() {
  if (thread_.joinable()) {
    char byte = 0;
    if (write(stop_[1], &byte, 1) != 1) {}
    thread_.join();
  }
  for (int fd : {udp_, tcp_, stop_[0], stop_[1]})
    if (fd >= 0) close(fd);
}

void TestDnsServer::Add(const std::string& name, const Entry& entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  zone_[Lower(name)] = entry;
}

int TestDnsServer::Queries(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_[Lower(name)];
}

bool TestDnsServer::Start() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(udp_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(udp_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return false;
    tcp_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(tcp_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(tcp_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(tcp_, 64) == 0) {
      port_ = ntohs(address.sin_port);
      break;
    }
    close(udp_);
    close(tcp_);
    udp_ = tcp_ = -1;
  }
  if (port_ == 0 || pipe(stop_) != 0) return false;
  thread_ = std::thread(&TestDnsServer::Serve, this);
  return true;
}

void TestDnsServer::Serve() {
  for (;;) {
    pollfd entries[3] = {{udp_, POLLIN, 0}, {tcp_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(entries, 3, -1) < 0) continue;
    if (entries[2].revents != 0) return;
    if (entries[0].revents & POLLIN) {
      unsigned char query[4096];
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = recvfrom(udp_, query, sizeof query, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n > 0) {
        const std::string reply = Answer(query, static_cast<size_t>(n), false);
        if (!reply.empty())
          sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
      }
    }
    if (entries[1].revents & POLLIN) {
      const int client = accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) ServeTcp(client);
    }
  }
}

void TestDnsServer::ServeTcp(int client) {
  timeval limit{2, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  // The resolver may send several queries on one connection.
  for (;;) {
    unsigned char prefix[2];
    if (recv(client, prefix, 2, MSG_WAITALL) != 2) break;
    const size_t length = static_cast<size_t>(prefix[0] << 8 | prefix[1]);
    std::vector<unsigned char> query(length);
    if (length == 0 || recv(client, query.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length))
      break;
    ++tcpQueries_;
    const std::string reply = Answer(query.data(), length, true);
    std::string framed;
    Put16(framed, static_cast<int>(reply.size()));
    framed += reply;
    if (send(client, framed.data(), framed.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(framed.size()))
      break;
  }
  close(client);
}

std::string TestDnsServer::Answer(const unsigned char* query, size_t length, bool overTcp) {
  if (length < NS_HFIXEDSZ + 5) return std::string();
  // The question: plain labels (a resolver never compresses its query).
  std::string name;
  size_t at = NS_HFIXEDSZ;
  while (at < length && query[at] != 0) {
    const size_t label = query[at];
    if (at + 1 + label >= length) return std::string();
    if (!name.empty()) name += '.';
    name.append(reinterpret_cast<const char*>(query + at + 1), label);
    at += 1 + label;
  }
  if (at + 5 > length) return std::string();
  const int type = query[at + 1] << 8 | query[at + 2];
  const int class_ = query[at + 3] << 8 | query[at + 4];
  const std::string question(reinterpret_cast<const char*>(query + NS_HFIXEDSZ), at + 5 - NS_HFIXEDSZ);

  Entry entry;
  bool known;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = Lower(name);
    ++queries_[key];
    auto found = zone_.find(key);
    known = found != zone_.end();
    if (known) {
      entry = found->second;
    } else if (key.size() > 10 && key.compare(key.size() - 10, 10, ".many.test") == 0) {
      known = true;
      entry.mx.push_back({10, "127.0.0.2"});
    }
  }
  const std::string self("\xc0\x0c", 2);
  std::string answers;
  int count = 0;
  int rcode = ns_r_noerror;
  bool truncated = false;
  if (!known || entry.nxdomain) {
    rcode = ns_r_nxdomain;
  } else if (class_ != ns_c_in) {
    // No data for other classes, as dnsmasq answers a class-ANY query.
  } else if (entry.truncateUdp && !overTcp) {
    truncated = true;
  } else {
    std::string owner = self;
    if (!entry.cname.empty()) {
      // The alias and then the target's records, as a recursive server
      // answers.
      Record(answers, self, ns_t_cname, WireName(entry.cname));
      ++count;
      owner = WireName(entry.cname);
      std::lock_guard<std::mutex> lock(mutex_);
      auto target = zone_.find(Lower(entry.cname));
      entry = target != zone_.end() ? target->second : Entry();
    }
    if (type == ns_t_mx) {
      for (const auto& mx : entry.mx) {
        std::string data;
        Put16(data, mx.first);
        if (entry.malformed == 2) {
          // The exchange name points at itself: header, question, the
          // records before, then owner (2), fixed fields (10), preference (2).
          const int here = static_cast<int>(NS_HFIXEDSZ + question.size() + answers.size() + 2 + 10 + 2);
          Put16(data, 0xc000 | here);
        } else {
          data += WireName(mx.second);
        }
        // One byte more than the preference and the name hold.
        if (entry.malformed == 1) data += '\0';
        std::string record;
        Record(record, owner, ns_t_mx, data);
        answers += record;
        ++count;
      }
    }
    if (type == ns_t_a) {
      for (const std::string& dotted : entry.a) {
        in_addr address;
        inet_aton(dotted.c_str(), &address);
        Record(answers, owner, ns_t_a, std::string(reinterpret_cast<const char*>(&address), 4));
        ++count;
      }
    }
  }
  std::string authority;
  int authorityCount = 0;
  if (count == 0 && !truncated) {
    std::string soa = WireName("ns.test") + WireName("hostmaster.test");
    Put32(soa, 1);
    Put32(soa, 7200);
    Put32(soa, 3600);
    Put32(soa, 86400);
    Put32(soa, 300);
    Record(authority, WireName("test"), ns_t_soa, soa);
    authorityCount = 1;
  }
  std::string reply;
  reply.append(reinterpret_cast<const char*>(query), 2);
  const int flags = 0x8000 | 0x0400 | (truncated ? 0x0200 : 0) | (query[2] & 0x01) << 8 | 0x0080 | rcode;
  Put16(reply, flags);
  Put16(reply, 1);
  Put16(reply, count);
  Put16(reply, authorityCount);
  Put16(reply, 0);
  return reply + question + answers + authority;
}

void PointResolverAt(int port) {
  // res_init reads the process's shared resolver configuration under a lock
  // of the C library that the thread sanitizer cannot see: one thread at a
  // time keeps its reports to real races.
  static std::mutex initMutex;
  std::lock_guard<std::mutex> lock(initMutex);
  res_init();
  _res.nscount = 1;
  _res.nsaddr_list[0].sin_family = AF_INET;
  _res.nsaddr_list[0].sin_port = htons(static_cast<uint16_t>(port));
  _res.nsaddr_list[0].sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  _res.retrans = 1;
  _res.retry = 2;
  _res.options &= ~(RES_DNSRCH | RES_DEFNAMES);
}
