#include "foundation/registry.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "foundation/config_file.h"
#include "foundation/text_file.h"

namespace {

constexpr size_t kMaxFullName = 254;

// Owns the stream OpenConfigurationFile returns.
struct ConfigurationFile {
  ConfigurationFile() : file(OpenConfigurationFile(true)) {}
  ~ConfigurationFile() {
    if (file != nullptr) fclose(file);
  }
  FILE* const file;
};

char* CopyText(const std::string& text) {
  char* copy = new (std::nothrow) char[text.size() + 1];
  if (copy != nullptr) memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

int LookUpRegistry_(const char* key, const char* name, char* buffer, int& size, bool) {
  if (name == nullptr) return ERR_CONFIG_NOT_FOUND;
  const std::string keyText = key != nullptr ? ForwardSlashes(key) : std::string();
  if (keyText.size() + strlen(name) > kMaxFullName) return ERR_CONFIG_NAME_TOO_LONG;
  if (strchr(name, '/') != nullptr) return ERR_CONFIG_NOT_FOUND;
  const std::string fullName = keyText + (keyText.empty() ? "" : "/") + name;

  ConfigurationFile config;
  if (config.file == nullptr) return ERR_CONFIG_NO_FILE;
  std::string line;
  while (ReadConfigLine(config.file, line) == TextLineResult::kLine) {
    if (line.find('=') != fullName.size() || !MatchesIgnoringCase(line, 0, fullName)) continue;
    const std::string value = line.substr(fullName.size() + 1);
    // With no room at all nothing may be written; the full length still
    // tells the caller how much room the value needs.
    if (buffer != nullptr && size >= 1) {
      strncpy(buffer, value.c_str(), static_cast<size_t>(size - 1));
      buffer[size - 1] = '\0';
    }
    size = value.size() > INT_MAX ? INT_MAX : static_cast<int>(value.size());
    return 0;
  }
  return ERR_CONFIG_NOT_FOUND;
}

bool LookUpRegistryI_(const char* key, const char* name, unsigned int& value, bool) {
  char buffer[30];
  int size = sizeof buffer;
  if (LookUpRegistry_(key, name, buffer, size, false) != 0) return false;
  // atoi's result is undefined for numbers that do not fit an int.
  errno = 0;
  const long number = strtol(buffer, nullptr, 10);
  if (errno == ERANGE || number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<unsigned int>(static_cast<int>(number));
  return true;
}

void EnumerateRegistry_(const char* key, char*** names, char*** values) {
  if (names == nullptr || values == nullptr) return;
  *names = nullptr;
  *values = nullptr;
  const std::string keyText = key != nullptr ? ForwardSlashes(key) : std::string();
  if (keyText.size() > kMaxFullName) return;
  const std::string prefix = keyText + "/";

  ConfigurationFile config;
  if (config.file == nullptr) return;
  size_t count = 0;
  std::string line;
  while (ReadConfigLine(config.file, line) == TextLineResult::kLine)
    if (MatchesIgnoringCase(line, 0, prefix)) ++count;

  char** nameArray = new (std::nothrow) char*[count + 1];
  char** valueArray = new (std::nothrow) char*[count + 1];
  if (nameArray == nullptr || valueArray == nullptr) {
    delete[] nameArray;
    delete[] valueArray;
    return;
  }
  rewind(config.file);
  size_t filled = 0;
  while (filled < count && ReadConfigLine(config.file, line) == TextLineResult::kLine) {
    if (!MatchesIgnoringCase(line, 0, prefix)) continue;
    const std::string rest = line.substr(prefix.size());
    const std::string::size_type equals = rest.find('=');
    if (equals == std::string::npos || rest.find('/') <= equals) continue;
    char* name = CopyText(rest.substr(0, equals));
    char* value = CopyText(rest.substr(equals + 1));
    if (name == nullptr || value == nullptr) {
      delete[] name;
      delete[] value;
      break;
    }
    nameArray[filled] = name;
    valueArray[filled] = value;
    ++filled;
  }
  nameArray[filled] = nullptr;
  valueArray[filled] = nullptr;
  *names = nameArray;
  *values = valueArray;
}

int EnumerateRegistryKeys_(const char*) { return 0; }

int SetRegistryValue_(const char*, const char*, const char*) { return 0; }
