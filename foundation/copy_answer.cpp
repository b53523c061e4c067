#include "foundation/copy_answer.h"

#include <cstring>

void CopyAnswer(char* buffer, const char* text, int size) {
  if (buffer == nullptr || size < 0) return;
  strncpy(buffer, text, static_cast<size_t>(size));
  buffer[size] = '\0';
}
