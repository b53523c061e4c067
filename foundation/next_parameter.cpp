#include "foundation/next_parameter.h"

#include <cstring>

bool NextParameter(char*& cursor, char*& key, char*& value) {
  // The first "=", ";" or TAB decides, in one pass: an item needs the "="
  // first (a ";" or a TAB before it ends the parameters) and then a ";".
  char* equals = cursor + strcspn(cursor, "=;\t");
  char* semicolon = *equals == '=' ? strchr(equals + 1, ';') : nullptr;
  if (semicolon == nullptr) {
    key = value = cursor + strlen(cursor);
    return false;
  }
  key = cursor;
  *equals = '\0';
  *semicolon = '\0';
  value = equals + 1;
  cursor = semicolon + 1;
  return true;
}
