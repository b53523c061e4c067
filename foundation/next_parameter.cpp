#include "foundation/next_parameter.h"

#include <cstring>

bool NextParameter(char*& cursor, char*& key, char*& value, size_t& keyLength) {
  // The first "=", ";" or TAB decides, in one pass: an item needs the "="
  // first (a ";" or a TAB before it ends the parameters) and then a ";".
  // Keys are short: a plain loop finds their end sooner than a library
  // search would set itself up.
  char* equals = cursor;
  while (*equals != '=' && *equals != ';' && *equals != '\t' && *equals != '\0') ++equals;
  char* semicolon = *equals == '=' ? strchr(equals + 1, ';') : nullptr;
  if (semicolon == nullptr) {
    key = value = cursor + strlen(cursor);
    keyLength = 0;
    return false;
  }
  key = cursor;
  keyLength = static_cast<size_t>(equals - cursor);
  *equals = '\0';
  *semicolon = '\0';
  value = equals + 1;
  cursor = semicolon + 1;
  return true;
}

bool NextParameter(char*& cursor, char*& key, char*& value) {
  size_t keyLength;
  return NextParameter(cursor, key, value, keyLength);
}
