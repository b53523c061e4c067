// zru email: whether the domain of an e-mail address can receive mail,
// through zruValidateEmail, with its settings (the domain cache file) read
// from the configuration file as for any host.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "api/zrutils.h"
#include "tools/zru/zru_cli.h"

namespace {

struct EmailArguments {
  std::string address;
  int level = 2;
  std::string nameserver;
};

// The meaning of a verdict character.
const char* VerdictText(char verdict) {
  switch (verdict) {
    case '1': return "no @ in the address";
    case '2': return "the check could not finish";
    case '3': return "no MX record";
    case '4': return "MX records found";
    case '5': return "no mail server accepted a connection on port 25";
    case '6': return "a mail server accepted a connection on port 25";
    default: return "unknown verdict";
  }
}

// Points this thread's resolver, the one the entry point queries through, at
// one server: "A.B.C.D" or "A.B.C.D:PORT" (port 53 by default).
bool UseNameserver(const std::string& text) {
  const size_t colon = text.find(':');
  const std::string host = text.substr(0, colon);
  long port = 53;
  if (colon != std::string::npos) {
    const char* digits = text.c_str() + colon + 1;
    char* end;
    port = strtol(digits, &end, 10);
    if (end == digits || *end != '\0' || port < 1 || port > 65535) return false;
  }
  in_addr address;
  if (inet_pton(AF_INET, host.c_str(), &address) != 1) return false;
  if (res_init() != 0) return false;
  _res.nscount = 1;
  _res.nsaddr_list[0].sin_family = AF_INET;
  _res.nsaddr_list[0].sin_port = htons(static_cast<uint16_t>(port));
  _res.nsaddr_list[0].sin_addr = address;
  return true;
}

int Run(const EmailArguments& a) {
  if (!a.nameserver.empty() && !UseNameserver(a.nameserver)) {
    fprintf(stderr, "zru email: not a name server A.B.C.D[:PORT]: %s\n", a.nameserver.c_str());
    return kExitUsage;
  }
  // The level item comes first, so the whole address follows it as given.
  const std::string parameters = "Level=" + std::to_string(a.level) + ";" + a.address;
  std::string answer;
  CallEntry(zruValidateEmail, parameters, answer);
  const char verdict = answer.empty() ? '2' : answer[0];
  // After the verdict and its TAB: the DNS client's error text, if any.
  const std::string detail = answer.size() > 2 ? answer.substr(2) : std::string();
  printf("%c\t%s%s%s\n", verdict, VerdictText(verdict), detail.empty() ? "" : ": ",
         detail.c_str());
  return verdict == '2' ? kExitFailure : kExitDone;
}

}  // namespace

void AddEmailCommand(CLI::App& app, int& status) {
  auto a = std::make_shared<EmailArguments>();
  CLI::App* email = app.add_subcommand(
      "email", "Whether the domain of ADDRESS can receive mail, through zruValidateEmail");
  email->add_option("ADDRESS", a->address, "The e-mail address; only its domain is checked")
      ->required();
  email->add_option("--level", a->level,
                    "2: MX records (default); 3 and above: also a connection to port 25")
      ->check(CLI::NonNegativeNumber);
  email->add_option("--nameserver", a->nameserver,
                    "Ask this DNS server, A.B.C.D[:PORT], instead of the system's");
  email->footer(
      "Answers the verdict and its meaning: 1 no @, 2 could not finish (exit status 1),\n"
      "3 no MX record, 4 MX records, 5 no mail server accepted a connection, 6 one did.\n"
      "Verdicts are kept in the cache file named by the setting EmailCacheFile of the\n"
      "configuration file (MORVEL_CONFIG_FILE).");
  email->callback([a, &status] { status = Run(*a); });
}
