// zruValidateEmail end to end: the loopback DNS server, listeners on port 25
// of 127.0.0.2 (accepting) and 127.0.0.4 (a full backlog: silent), the
// closed 127.0.0.3, and the cache file. The settings are read once per
// process, so every settings combination runs in a fresh process of this
// program (EmailChild.DISABLED_Run) with its own configuration file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/zrutils.h"
#include "email/dns_resolver.h"
#include "email/email_server_cache.h"
#include "email/email_test_support.h"
#include "email/socket_helpers.h"
#include "email/test_dns_server.h"
#include "tests/test_support.h"

namespace {

// The zone every test serves.
void FillZone(TestDnsServer& server) {
  auto mx = [](std::vector<std::pair<int, std::string>> hosts) {
    TestDnsServer::Entry entry;
    entry.mx = std::move(hosts);
    return entry;
  };
  server.Add("ok.test", mx({{10, "127.0.0.2"}}));
  server.Add("byname.test", mx({{10, "mail.byname.test"}}));
  TestDnsServer::Entry host;
  host.a = {"127.0.0.2"};
  server.Add("mail.byname.test", host);
  server.Add("refused.test", mx({{10, "127.0.0.3"}}));
  server.Add("second.test", mx({{10, "127.0.0.3"}, {20, "127.0.0.2"}}));
  server.Add("blackhole.test", mx({{10, "127.0.0.4"}}));
  TestDnsServer::Entry alias;
  alias.cname = "ok.test";
  server.Add("alias.test", alias);
  TestDnsServer::Entry big = mx({{10, "127.0.0.2"}});
  big.truncateUdp = true;
  server.Add("big.test", big);
  TestDnsServer::Entry bad = mx({{10, "127.0.0.2"}});
  bad.malformed = 1;
  server.Add("bad.test", bad);
  server.Add("nodata.test", host);
  server.Add("nullmx.test", mx({{0, ""}}));
}

// A fresh process of this program runs requests (one parameter text a
// line) through zruValidateEmail with config as its configuration file and
// answers one line each; threads > 1 share the requests out.
struct ChildRun {
  std::vector<std::string> answers;
  int descriptorsBefore = 0, descriptorsAfter = 0;
  bool ok = false;
  std::string log;
};

class Child {
 public:
  Child(const ScratchDir& dir, const std::string& name, const std::string& config,
        const std::vector<std::string>& requests, int dnsPort, int threads = 1)
      : in_(dir.File(name + ".in")), out_(dir.File(name + ".out")), log_(dir.File(name + ".log")) {
    const std::string configPath = dir.File(name + ".morvel");
    WriteWholeFile(configPath, config);
    std::string text;
    for (const std::string& request : requests) text += request + "\n";
    WriteWholeFile(in_, text);
    std::vector<std::string> env = {
        "MORVEL_CONFIG_FILE=" + configPath, "HOME=" + dir.path(), "ZRU_EMAIL_CHILD_IN=" + in_,
        "ZRU_EMAIL_CHILD_OUT=" + out_, "ZRU_EMAIL_DNS_PORT=" + std::to_string(dnsPort),
        "ZRU_EMAIL_THREADS=" + std::to_string(threads), "ZRU_EMAIL_CONNECT_MS=500"};
    for (const char* keep : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
      if (getenv(keep) != nullptr) env.push_back(std::string(keep) + "=" + getenv(keep));
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe", all = "--gtest_also_run_disabled_tests",
                filter = "--gtest_filter=EmailChild.DISABLED_Run";
    char* argv[] = {&exe[0], &all[0], &filter[0], nullptr};
    const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string cwd = dir.path();
    pid_ = fork();
    if (pid_ == 0) {
      // Its own folder, so that no ".morvel" of the build folder is read.
      if (chdir(cwd.c_str()) != 0) _exit(126);
      dup2(logFd, 1);
      dup2(logFd, 2);
      execve(argv[0], argv, envp.data());
      _exit(127);
    }
    close(logFd);
  }

  // Waits at most 60 seconds.
  ChildRun Wait() {
    ChildRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.log = ReadWholeFile(log_);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::vector<std::string> lines = SplitLines(ReadWholeFile(out_));
    if (!lines.empty() && sscanf(lines.back().c_str(), "fds %d %d", &run.descriptorsBefore,
                                 &run.descriptorsAfter) == 2)
      lines.pop_back();
    run.answers = lines;
    return run;
  }

 private:
  std::string in_, out_, log_;
  pid_t pid_ = -1;
};

ChildRun RunChild(const ScratchDir& dir, const std::string& name, const std::string& config,
                  const std::vector<std::string>& requests, int dnsPort) {
  ChildRun run = Child(dir, name, config, requests, dnsPort).Wait();
  EXPECT_TRUE(run.ok) << run.log;
  EXPECT_EQ(requests.size(), run.answers.size()) << run.log;
  run.answers.resize(requests.size());
  return run;
}

// The servers of one test.
struct Peers {
  TestDnsServer dns;
  Port25Listener accepting, silent;
  std::string skipReason;
  Peers() {
    FillZone(dns);
    if (!dns.Start()) skipReason = "cannot start the DNS server";
    if (skipReason.empty()) skipReason = accepting.Start("127.0.0.2", true);
    if (skipReason.empty()) skipReason = silent.Start("127.0.0.4", false);
  }
};

// A cache record written by hand, minutes ago.
std::string Aged(const std::string& domain, char status, int minutesAgo) {
  return MakeCacheLine(domain, status, MinutesSince2010() - minutesAgo);
}

// line is the record of domain with status, written within the last minute.
void ExpectStampedNow(const std::string& domain, char status, const std::string& line) {
  const std::string head = domain + '\t' + status;
  ASSERT_EQ(head, line.substr(0, head.size()));
  EXPECT_EQ(head.size() + 4, line.size()) << line;
  EXPECT_LE(MinutesSince2010() - DecodeNumber(line.c_str() + head.size(), 64), 1) << line;
}

TEST(ValidateEmail, VerdictsAtEachLevel) {
  Peers peers;
  if (!peers.skipReason.empty()) GTEST_SKIP() << peers.skipReason;
  ScratchDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"no.at.sign", "1\t"},
      {"a@ok.test", "4\t"},
      {"Level=3;a@ok.test", "6\t"},
      {"level=5;a@byname.test", "6\t"},      // MX by name, its A record
      {"Level=3;a@refused.test", "5\t"},     // 127.0.0.3:25 is closed
      {"Level=3;a@second.test", "6\t"},      // the second MX host accepts
      {"Level=3;a@alias.test", "6\t"},       // CNAME to ok.test
      {"a@big.test", "4\t"},                 // truncated over UDP, whole over TCP
      {"Level=3;a@bad.test", "3\t"},         // malformed reply
      {"Level=3;a@nodata.test", "3\t"},      // NODATA
      {"Level=3;a@missing.test", "3\t"},     // NXDOMAIN
      {"a@nullmx.test", "3\t"},              // MX "." : takes no mail
      {"Level=abc;a@ok.test", "4\t"},        // level 0
      {"a@ok.test ", "3\t"},                 // the blank is part of the domain
      {"Level=3;a@blackhole.test", "5\t"},   // no answer within the bound
  };
  std::vector<std::string> requests;
  for (const auto& c : cases) requests.push_back(c.first);
  const auto start = std::chrono::steady_clock::now();
  const ChildRun run = RunChild(dir, "verdicts", "", requests, peers.dns.port());
  for (size_t i = 0; i < requests.size(); ++i)
    EXPECT_EQ(cases[i].second, run.answers[i]) << requests[i];
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(run.descriptorsBefore, run.descriptorsAfter) << "no descriptor leaked";
  EXPECT_EQ(4, peers.accepting.Accepted(4));
  EXPECT_GE(peers.dns.TcpQueries(), 1);
}

TEST(ValidateEmail, CacheHitsFreshAndStale) {
  Peers peers;
  if (!peers.skipReason.empty()) GTEST_SKIP() << peers.skipReason;
  ScratchDir dir;
  const std::string cache = dir.File("domains.cache");
  const std::string config = "EmailCacheFile=" + cache + "\n";
  // Ages a minute inside and outside each expiry: a minute boundary may
  // pass while the test runs, never two.
  WriteWholeFile(cache, "\n" + Aged("ok.test", '4', 1438) + Aged("second.test", '6', 1441) +
                            Aged("alias.test", '3', 28) + Aged("big.test", '5', 31));
  const std::vector<std::string> requests = {
      "Level=3;a@ok.test",      // fresh positive: no DNS, no connection
      "Level=3;a@second.test",  // stale positive: checked again
      "Level=3;a@alias.test",   // fresh negative, reused although wrong now
      "a@big.test",             // stale negative: checked again
      "a@byname.test",          // new: appended
  };
  ChildRun run = RunChild(dir, "first", config, requests, peers.dns.port());
  const std::vector<std::string> expected = {"4\t", "6\t", "3\t", "4\t", "4\t"};
  EXPECT_EQ(expected, run.answers);
  EXPECT_EQ(0, peers.dns.Queries("ok.test"));
  EXPECT_EQ(0, peers.dns.Queries("alias.test"));
  EXPECT_EQ(1, peers.dns.Queries("second.test"));
  EXPECT_EQ(2, peers.dns.Queries("big.test")) << "over UDP, then over TCP";
  EXPECT_EQ(1, peers.accepting.Accepted(1)) << "only second.test was probed";
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(cache));
  ASSERT_EQ(6u, lines.size());
  EXPECT_EQ("", lines[0]);
  // Rewritten in place, stamped now.
  ExpectStampedNow("second.test", '6', lines[2]);
  ExpectStampedNow("big.test", '4', lines[4]);
  ExpectStampedNow("byname.test", '4', lines[5]);

  // A second process finds every verdict fresh: no traffic at all.
  run = RunChild(dir, "second", config, requests, peers.dns.port());
  EXPECT_EQ(expected, run.answers);
  EXPECT_EQ(1, peers.dns.Queries("second.test"));
  EXPECT_EQ(1, peers.dns.Queries("byname.test"));
  EXPECT_EQ(1, peers.accepting.Accepted(1));
}

TEST(ValidateEmail, ExpirySettings) {
  Peers peers;
  if (!peers.skipReason.empty()) GTEST_SKIP() << peers.skipReason;
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string settings;
    std::string record;
    const char* answer;
    int queries;
  } cases[] = {
      {"positive expiry 0: never reused", "EmailCacheExpiryValid=0\n", Aged("ok.test", '6', 0), "4\t", 1},
      {"negative expiry 0x3c reuses 45 minutes", "EmailCacheExpiryInvalid=0x3c\n", Aged("ok.test", '3', 45), "3\t", 0},
      {"positive expiry 010 (octal 8): 9 minutes is stale", "EmailCacheExpiryValid=010\n", Aged("ok.test", '4', 9), "4\t", 1},
      {"an unreadable value keeps 1440", "EmailCacheExpiryValid=abc\n", Aged("ok.test", '6', 1000), "6\t", 0},
      {"no cache file: nothing read", "#\n", Aged("ok.test", '3', 0), "4\t", 1},
  };
  int run = 0;
  for (const Case& c : cases) {
    const std::string cache = dir.File("cache" + std::to_string(run));
    WriteWholeFile(cache, "\n" + c.record);
    std::string config = c.settings;
    if (c.settings != "#\n") config += "EmailCacheFile=" + cache + "\n";
    const int before = peers.dns.Queries("ok.test");
    const ChildRun result = RunChild(dir, "run" + std::to_string(run++), config, {"a@ok.test"}, peers.dns.port());
    EXPECT_EQ(c.answer, result.answers[0]) << c.what;
    EXPECT_EQ(c.queries, peers.dns.Queries("ok.test") - before) << c.what;
    if (c.settings == "#\n") {
      EXPECT_EQ("\n" + c.record, ReadWholeFile(cache)) << c.what;
    }
  }
}

// Eight threads of one process and four of another validate different
// domains into one cache file: every record stands whole, once.
TEST(ValidateEmailConcurrency, ThreadsAndASecondProcessShareTheCache) {
  TestDnsServer dns;
  ASSERT_TRUE(dns.Start());
  ScratchDir dir;
  const std::string cache = dir.File("shared.cache");
  const std::string config = "EmailCacheFile=" + cache + "\n";
  std::vector<std::string> first, second;
  for (int i = 0; i < 160; ++i) first.push_back("u@a" + std::to_string(i) + ".many.test");
  for (int i = 0; i < 80; ++i) second.push_back("u@b" + std::to_string(i) + ".many.test");
  Child one(dir, "one", config, first, dns.port(), 8);
  Child two(dir, "two", config, second, dns.port(), 4);
  const ChildRun runOne = one.Wait(), runTwo = two.Wait();
  ASSERT_TRUE(runOne.ok) << runOne.log;
  ASSERT_TRUE(runTwo.ok) << runTwo.log;
  std::set<std::string> domains;
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(cache));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("", lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t tab = lines[i].find('\t');
    ASSERT_NE(std::string::npos, tab) << lines[i];
    EXPECT_EQ(Aged(lines[i].substr(0, tab), '4', 0).size(), lines[i].size() + 1) << lines[i];
    EXPECT_TRUE(domains.insert(lines[i].substr(0, tab)).second) << "twice: " << lines[i];
  }
  EXPECT_EQ(first.size() + second.size(), domains.size());
}

TEST(ValidateEmail, BufferRules) {
  // No "@": answered before any lookup, whatever the settings.
  char buffer[16] = "no-at-sign";
  EXPECT_EQ(0, zruValidateEmail(buffer, 15));
  EXPECT_STREQ("1\t", buffer);
  strcpy(buffer, "nothing");
  buffer[8] = 'Z';
  EXPECT_EQ(0, zruValidateEmail(buffer, 1));
  EXPECT_STREQ("1", buffer) << "cut to size, NUL at buffer[size]";
  strcpy(buffer, "nothing");
  EXPECT_EQ(0, zruValidateEmail(buffer, -1));
  EXPECT_STREQ("nothing", buffer);
  EXPECT_EQ(0, zruValidateEmail(nullptr, 10));
}

// dnsmasq, a real resolver, as a second peer: started on a free loopback
// port with a zone of --mx-host lines, killed at the end.
class Dnsmasq {
 public:
  ~Dnsmasq() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  // Empty when it answers, else why not.
  std::string Start() {
    if (access("/usr/sbin/dnsmasq", X_OK) != 0) return "dnsmasq is not installed";
    // A free port: the kernel's choice for a socket closed again at once.
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    close(probe);
    std::vector<std::string> args = {
        "/usr/sbin/dnsmasq", "--keep-in-foreground", "--port=" + std::to_string(port_),
        "--listen-address=127.0.0.1", "--bind-interfaces", "--no-resolv", "--no-hosts",
        "--pid-file=", "--user=root", "--log-facility=/dev/null",
        "--mx-host=dm.test,127.0.0.2,10", "--mx-host=byname.dm.test,mail.dm.test,10",
        "--address=/mail.dm.test/127.0.0.2", "--mx-host=closed.dm.test,127.0.0.3,10"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    PointResolverAt(port_);
    for (int i = 0; i < 100; ++i) {
      unsigned char answer[512];
      if (res_query("dm.test", ns_c_in, ns_t_mx, answer, sizeof answer) > 0) return std::string();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "dnsmasq did not answer";
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

TEST(ValidateEmail, DnsmasqAsPeer) {
  Port25Listener accepting;
  std::string reason = accepting.Start("127.0.0.2", true);
  Dnsmasq dnsmasq;
  if (reason.empty()) reason = dnsmasq.Start();
  if (!reason.empty()) GTEST_SKIP() << reason;
  // Class ANY gets no MX from a common resolver; class IN does.
  DnsResultRec reply;
  std::string error;
  EXPECT_EQ(0, DnsResolveQuery("dm.test", "MX", reply, error, ns_c_any));
  EXPECT_TRUE(reply.answers.empty());
  EXPECT_EQ(0, DnsResolveQuery("dm.test", "MX", reply, error));
  ASSERT_EQ(1u, reply.answers.size());
  EXPECT_EQ("127.0.0.2", reply.answers[0].mxExchange);

  ScratchDir dir;
  const std::vector<std::string> requests = {"a@dm.test", "Level=3;a@dm.test", "Level=3;a@byname.dm.test",
                                             "Level=3;a@closed.dm.test", "a@none.dm.test"};
  const ChildRun run = RunChild(dir, "dnsmasq", "", requests, dnsmasq.port());
  const std::vector<std::string> expected = {"4\t", "6\t", "6\t", "5\t", "3\t"};
  EXPECT_EQ(expected, run.answers);
  EXPECT_EQ(2, accepting.Accepted(2));
}

// The body of the child processes above; skipped unless started by them.
TEST(EmailChild, DISABLED_Run) {
  const char* in = getenv("ZRU_EMAIL_CHILD_IN");
  const char* out = getenv("ZRU_EMAIL_CHILD_OUT");
  if (in == nullptr || out == nullptr) GTEST_SKIP() << "runs only as a child of the e-mail tests";
  SetConnectTimeoutMs(atoi(getenv("ZRU_EMAIL_CONNECT_MS")));
  const int port = atoi(getenv("ZRU_EMAIL_DNS_PORT"));
  const int threads = atoi(getenv("ZRU_EMAIL_THREADS"));
  const std::vector<std::string> requests = SplitLines(ReadWholeFile(in));
  std::vector<std::string> answers(requests.size());
  const int before = OpenDescriptors();
  auto work = [&](int first) {
    PointResolverAt(port);
    for (size_t i = static_cast<size_t>(first); i < requests.size(); i += static_cast<size_t>(threads)) {
      char buffer[256];
      snprintf(buffer, sizeof buffer, "%s", requests[i].c_str());
      zruValidateEmail(buffer, 255);
      answers[i] = buffer;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& thread : pool) thread.join();
  const int after = OpenDescriptors();
  std::string text;
  for (const std::string& answer : answers) text += answer + "\n";
  text += "fds " + std::to_string(before) + " " + std::to_string(after) + "\n";
  WriteWholeFile(out, text);
}

}  // namespace
