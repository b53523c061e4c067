// ZRDLL: the platform's run-time loader (dlopen, dlsym, dlclose, dlerror)
// behind a few static functions. No state; safe from any thread, except
// that GetError reports the calling thread's last loader failure and so
// belongs directly after the call that failed.
#ifndef ZRUTILS_FOUNDATION_DYNAMIC_LIBRARY_H
#define ZRUTILS_FOUNDATION_DYNAMIC_LIBRARY_H

#include <cstddef>

#include "foundation/export.h"

class ZRU_EXPORT ZRDLL {
 public:
  // Opens a shared library by file name or path (lazy binding); the
  // loader's handle, or null.
  static void* Load(const char* fileName);
  // Loads "lib" + baseName + ".so". Returns null without trying when the
  // whole name would not fit in 256 bytes.
  static void* FixNameAndLoad(const char* baseName);
  // The address of symbol in the library, or null.
  static void* GetProc(void* handle, const char* symbol);
  // Closes one reference to the library; true when the loader agreed.
  static bool Unload(void* handle);
  // Writes the loader's last error text into buffer, cut to size - 1
  // characters and NUL-terminated; the empty text when there is none.
  // Writes nothing when size is 0.
  static void GetError(char* buffer, size_t size);
};

#endif
