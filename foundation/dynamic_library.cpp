#include "foundation/dynamic_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

void* ZRDLL::Load(const char* fileName) { return dlopen(fileName, RTLD_LAZY); }

void* ZRDLL::FixNameAndLoad(const char* baseName) {
  // "lib" + name + ".so" and its NUL must fit in 256 bytes.
  if (strlen(baseName) + 6 > 255) return nullptr;
  char fileName[256];
  snprintf(fileName, sizeof fileName, "lib%s.so", baseName);
  return Load(fileName);
}

void* ZRDLL::GetProc(void* handle, const char* symbol) { return dlsym(handle, symbol); }

bool ZRDLL::Unload(void* handle) { return dlclose(handle) == 0; }

void ZRDLL::GetError(char* buffer, size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  const char* text = dlerror();
  if (text == nullptr) return;
  const size_t length = std::min(strlen(text), size - 1);
  memcpy(buffer, text, length);
  buffer[length] = '\0';
}
