#include "foundation/config_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr size_t kMaxHomeLength = 246;

// The variable's value, or null when it is unset or empty.
const char* Variable(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

FILE* OpenConfigurationFile(bool limitHome) {
  if (FILE* file = fopen(".morvel", "r")) return file;
  if (const char* named = Variable("MORVEL_CONFIG_FILE"))
    if (FILE* file = fopen(named, "r")) return file;
  if (const char* home = Variable("HOME")) {
    const std::string text = home;
    if (!limitHome || text.size() <= kMaxHomeLength) {
      const std::string path = text + (text.back() == '/' ? "" : "/") + ".morvel";
      if (FILE* file = fopen(path.c_str(), "r")) return file;
    }
  }
  return fopen("/usr/etc/.morvel", "r");
}

TextLineResult ReadConfigLine(FILE* file, std::string& line) {
  for (;;) {
    const TextLineResult result = ReadTextLine(file, line);
    if (result != TextLineResult::kLine) return result;
    const auto first = std::find_if(line.begin(), line.end(), [](char c) {
      return !isspace(static_cast<unsigned char>(c));
    });
    if (first == line.end()) continue;
    line.erase(line.begin(), first);
    return result;
  }
}

bool MatchesIgnoringCase(const std::string& text, std::string::size_type at,
                         const std::string& prefix) {
  if (at > text.size() || text.size() - at < prefix.size()) return false;
  for (std::string::size_type i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[at + i]) != LowerAscii(prefix[i])) return false;
  return true;
}

std::string ForwardSlashes(std::string key) {
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}
