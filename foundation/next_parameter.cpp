#include "foundation/next_parameter.h"

#include <cstring>

bool NextParameter(char*& cursor, char*& key, char*& value) {
  char* equals = strchr(cursor, '=');
  char* semicolon = strchr(cursor, ';');
  char* tab = strchr(cursor, '\t');
  if (equals == nullptr || semicolon == nullptr || semicolon < equals ||
      (tab != nullptr && tab < equals)) {
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
