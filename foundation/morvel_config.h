// MorvelConfig: the settings of the configuration file (docs/config_file.md)
// read once per object. Every setting is a line "key/path/name=value"; the
// caller selects a key and reads or enumerates the values below it. Names
// and keys are compared without regard to ASCII case; values come back as
// written. Failures are result codes (config_codes.h) left in LastError().
//
// Not thread-safe: make one object per use, on the stack, so that every use
// sees the file as it is then.
#ifndef ZRUTILS_FOUNDATION_MORVEL_CONFIG_H
#define ZRUTILS_FOUNDATION_MORVEL_CONFIG_H

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/config_codes.h"
#include "foundation/export.h"

class ZRU_EXPORT MorvelConfig {
 public:
  // Reads nothing yet.
  MorvelConfig() = default;

  // Loads the file on first use and selects key (see SetCurrentKey). False
  // with LastError() 1301 or 1320 when the file cannot be found or read; the
  // key need not exist in the file. The int is not used.
  bool OpenKey(const std::string& key, int);
  // Backslashes become "/" and a "/" is appended to a non-empty key; the
  // empty key selects the top level.
  void SetCurrentKey(std::string key);

  // The value of name under the current key, the first such line winning.
  // False with 1321 when name holds "/" or "=", 1302 when there is no such
  // line; value is then untouched.
  bool ReadValue(const std::string& name, std::string& value);
  // The same for wide texts: the name is looked up in UTF-8 and the value
  // decoded from it.
  bool ReadValue(const std::wstring& name, std::wstring& value);
  // As ReadValue, then strtoul in base 0 (decimal, 0x hexadecimal, leading 0
  // octal). False with 1322 when the text is empty, not wholly a number,
  // negative or above the range of unsigned int.
  bool ReadValueI(const std::string& name, unsigned int& value);
  // Names and values directly under the current key, in file order,
  // duplicates included. Both vectors are cleared first.
  void EnumerateValues(std::vector<std::string>& names, std::vector<std::string>& values);
  void EnumerateValues(std::vector<std::wstring>& names, std::vector<std::wstring>& values);
  // Names of the sub-keys of the current key, sorted byte-wise, each once.
  std::vector<std::string> EnumerateKeys();

  int LastError() const { return lastError_; }

 private:
  template <class S>
  ZRU_HIDDEN bool ReadValueT(const S& name, S& value);
  template <class S>
  ZRU_HIDDEN void EnumerateValuesT(std::vector<S>& names, std::vector<S>& values);
  void EnsureConfigFileLoaded();
  int ReadConfigFile(FILE* file);
  // Stores code as the last error and returns false.
  bool SetError(int code);
  // Starts an operation: clears the last error, reports a load error.
  bool Begin();

  std::vector<std::string> lines_;
  std::string currentKey_;
  bool loaded_ = false;
  int loadError_ = 0;
  int lastError_ = 0;
};

#endif
