// A host that knows the library only by its file name validates e-mail
// addresses through dlopen against a loopback DNS server, with a cache file
// shared by its threads. Its own process: the settings are read once.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "email/email_test_support.h"
#include "email/test_dns_server.h"
#include "tests/test_support.h"

namespace {

using Entry = int (*)(char*, int);

std::string Validate(Entry entry, const std::string& request) {
  char buffer[256];
  snprintf(buffer, sizeof buffer, "%s", request.c_str());
  entry(buffer, sizeof buffer - 1);
  return buffer;
}

TEST(DlopenEmail, VerdictsAndTheCacheThroughTheLoadedLibrary) {
  TestDnsServer dns;
  dns.Add("missing.test", TestDnsServer::Entry{{}, {}, "", true});
  ASSERT_TRUE(dns.Start());
  ScratchDir dir;
  const std::string cache = dir.File("email.cache");
  WriteWholeFile(dir.File("morvel.cfg"), "EmailCacheFile=" + cache + "\n");
  setenv("MORVEL_CONFIG_FILE", dir.File("morvel.cfg").c_str(), 1);
  void* handle = dlopen(ZRU_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, handle) << dlerror();
  const auto validate = reinterpret_cast<Entry>(dlsym(handle, "zruValidateEmail"));
  ASSERT_NE(nullptr, validate);

  PointResolverAt(dns.port());
  const int before = OpenDescriptors();
  EXPECT_EQ("4\t", Validate(validate, "user@a.many.test"));
  EXPECT_EQ("3\t", Validate(validate, "user@missing.test"));
  EXPECT_EQ("1\t", Validate(validate, "no at sign"));
  // Threads of the host ask for the same domains: answered from the cache.
  std::vector<std::thread> threads;
  std::vector<std::string> answers(4);
  for (size_t t = 0; t < answers.size(); ++t)
    threads.emplace_back([&, t] {
      PointResolverAt(dns.port());
      answers[t] = Validate(validate, "x@a.many.test") + Validate(validate, "y@missing.test");
    });
  for (std::thread& thread : threads) thread.join();
  for (const std::string& answer : answers) EXPECT_EQ("4\t3\t", answer);
  EXPECT_EQ(1, dns.Queries("a.many.test"));
  EXPECT_EQ(1, dns.Queries("missing.test"));
  EXPECT_EQ(before + 1, OpenDescriptors()) << "the cache file, once for the process";

  // The cache deleted under the process: created afresh at the next call.
  remove(cache.c_str());
  EXPECT_EQ("4\t", Validate(validate, "user@a.many.test"));
  EXPECT_EQ(2, dns.Queries("a.many.test"));
  const std::string file = ReadWholeFile(cache);
  EXPECT_EQ('\n', file[0]);
  EXPECT_EQ(0u, file.find("\na.many.test\t4")) << file;
  EXPECT_EQ(before + 1, OpenDescriptors());
  dlclose(handle);
  EXPECT_EQ(before, OpenDescriptors()) << "unloading closes the cache file";
}

}  // namespace
