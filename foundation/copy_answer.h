// CopyAnswer: how every C entry point hands its answer back.
//
// Entry points take (char* buffer, int size) where the buffer holds size + 1
// bytes. The answer is copied as strncpy(buffer, text, size) copies it (cut to
// size bytes, the rest of the first size bytes filled with NULs) and a NUL is
// always written at buffer[size]. A negative size writes nothing at all: the
// caller has declared a buffer with no room, and writing would overrun it.
#ifndef ZRUTILS_FOUNDATION_COPY_ANSWER_H
#define ZRUTILS_FOUNDATION_COPY_ANSWER_H

#include <string>

#include "foundation/export.h"

ZRU_EXPORT void CopyAnswer(char* buffer, const char* text, int size);

inline void CopyAnswer(char* buffer, const std::string& text, int size) {
  CopyAnswer(buffer, text.c_str(), size);
}

#endif
