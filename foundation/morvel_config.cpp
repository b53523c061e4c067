#include "foundation/morvel_config.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "foundation/config_file.h"
#include "text/unicode.h"

bool MorvelConfig::OpenKey(const std::string& key, int) {
  lastError_ = 0;
  EnsureConfigFileLoaded();
  if (loadError_ != 0) return SetError(loadError_);
  SetCurrentKey(key);
  return true;
}

void MorvelConfig::SetCurrentKey(std::string key) {
  key = ForwardSlashes(std::move(key));
  if (!key.empty() && key.back() != '/') key += '/';
  currentKey_ = std::move(key);
}

template <class S>
bool MorvelConfig::ReadValueT(const S& name, S& value) {
  if (!Begin()) return false;
  const std::string utf8Name = ToUtf8IfWide(name);
  if (utf8Name.find_first_of("/=") != std::string::npos) return SetError(ERR_CONFIG_BAD_NAME);
  const std::string prefix = currentKey_ + utf8Name + "=";
  for (const std::string& line : lines_) {
    if (!MatchesIgnoringCase(line, 0, prefix)) continue;
    value = FromUtf8IfWide<S>(line.substr(prefix.size()));
    return true;
  }
  return SetError(ERR_CONFIG_NOT_FOUND);
}

bool MorvelConfig::ReadValue(const std::string& name, std::string& value) {
  return ReadValueT(name, value);
}

bool MorvelConfig::ReadValue(const std::wstring& name, std::wstring& value) {
  return ReadValueT(name, value);
}

bool MorvelConfig::ReadValueI(const std::string& name, unsigned int& value) {
  std::string text;
  if (!ReadValue(name, text)) return false;
  // strtoul would turn "-1" into the largest value and quietly wrap what
  // does not fit, so both are refused here.
  const std::string::size_type first = text.find_first_not_of(" \t\n\v\f\r");
  if (first == std::string::npos || text[first] == '-') return SetError(ERR_CONFIG_NOT_A_NUMBER);
  errno = 0;
  char* end = nullptr;
  const unsigned long number = strtoul(text.c_str(), &end, 0);
  if (end == text.c_str() || end != text.c_str() + text.size() || errno == ERANGE ||
      number > UINT_MAX)
    return SetError(ERR_CONFIG_NOT_A_NUMBER);
  value = static_cast<unsigned int>(number);
  return true;
}

template <class S>
void MorvelConfig::EnumerateValuesT(std::vector<S>& names, std::vector<S>& values) {
  names.clear();
  values.clear();
  if (!Begin()) return;
  for (const std::string& line : lines_) {
    if (!MatchesIgnoringCase(line, 0, currentKey_)) continue;
    const std::string::size_type equals = line.find('=', currentKey_.size());
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(currentKey_.size(), equals - currentKey_.size());
    if (name.find('/') != std::string::npos) continue;
    names.push_back(FromUtf8IfWide<S>(name));
    values.push_back(FromUtf8IfWide<S>(line.substr(equals + 1)));
  }
}

void MorvelConfig::EnumerateValues(std::vector<std::string>& names,
                                   std::vector<std::string>& values) {
  EnumerateValuesT(names, values);
}

void MorvelConfig::EnumerateValues(std::vector<std::wstring>& names,
                                   std::vector<std::wstring>& values) {
  EnumerateValuesT(names, values);
}

std::vector<std::string> MorvelConfig::EnumerateKeys() {
  std::vector<std::string> keys;
  if (!Begin()) return keys;
  const std::string::size_type start = currentKey_.size();
  for (const std::string& line : lines_) {
    if (line.size() <= start || !MatchesIgnoringCase(line, 0, currentKey_)) continue;
    const std::string::size_type slash = line.find('/', start);
    if (slash == std::string::npos) continue;
    const std::string::size_type equals = line.find('=', start);
    if (equals != std::string::npos && equals < slash) continue;
    keys.push_back(line.substr(start, slash - start));
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

void MorvelConfig::EnsureConfigFileLoaded() {
  if (loaded_) return;
  loaded_ = true;
  loadError_ = 0;
  FILE* file = OpenConfigurationFile(false);
  if (file == nullptr) {
    loadError_ = ERR_CONFIG_NO_FILE;
    return;
  }
  loadError_ = ReadConfigFile(file);
  fclose(file);
}

int MorvelConfig::ReadConfigFile(FILE* file) {
  std::string line;
  TextLineResult result;
  while ((result = ReadConfigLine(file, line)) == TextLineResult::kLine)
    lines_.push_back(line);
  return result == TextLineResult::kReadError ? ERR_CONFIG_READ : 0;
}

bool MorvelConfig::SetError(int code) {
  lastError_ = code;
  return false;
}

bool MorvelConfig::Begin() {
  lastError_ = 0;
  return loadError_ == 0 || SetError(loadError_);
}
