#include "foundation/open_type_setting.h"

#include <strings.h>

#include <string>

#include "foundation/morvel_config.h"

bool ReadOpenTypeSetting(const char* name, OpenPafType& mode) {
  MorvelConfig config;
  std::string value;
  if (!config.OpenKey("ZRUtils", 0) || !config.ReadValue(name, value)) return false;
  static const struct {
    const char* word;
    OpenPafType mode;
  } kWords[] = {{"Yes", OpenPafFileMap}, {"No", OpenPafReadFile}, {"Default", OpenPafDefault}};
  for (const auto& w : kWords) {
    if (strcasecmp(value.c_str(), w.word) == 0) {
      mode = w.mode;
      return true;
    }
  }
  return false;
}
