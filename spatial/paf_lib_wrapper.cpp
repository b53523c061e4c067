#include "spatial/paf_lib_wrapper.h"

#include <cstring>

#include "foundation/dynamic_library.h"

bool PafLibWrapper::LoadFunctions(char* error) {
  void* handle = Handle();
  // Required names stop the binding at the first one missing; the pointers
  // bound before it are cleared, since the library is closed again.
#define ZRU_PAF_BIND_REQUIRED(name, type)                               \
  paf##name = reinterpret_cast<type>(ZRDLL::GetProc(handle, "paf" #name)); \
  if (paf##name == nullptr) {                                           \
    if (error != nullptr) strcpy(error, "paf" #name);                   \
    Clear();                                                            \
    return false;                                                       \
  }
  ZRU_PAF_REQUIRED_FUNCTIONS(ZRU_PAF_BIND_REQUIRED)
#undef ZRU_PAF_BIND_REQUIRED
#define ZRU_PAF_BIND_OPTIONAL(name, type) \
  paf##name = reinterpret_cast<type>(ZRDLL::GetProc(handle, "paf" #name));
  ZRU_PAF_OPTIONAL_FUNCTIONS(ZRU_PAF_BIND_OPTIONAL)
#undef ZRU_PAF_BIND_OPTIONAL
  return true;
}

bool PafLibWrapper::Unload() {
  if (!LibraryWrapper::Unload()) return false;
  Clear();
  return true;
}

void PafLibWrapper::Clear() {
#define ZRU_PAF_CLEAR(name, type) paf##name = nullptr;
  ZRU_PAF_REQUIRED_FUNCTIONS(ZRU_PAF_CLEAR)
  ZRU_PAF_OPTIONAL_FUNCTIONS(ZRU_PAF_CLEAR)
#undef ZRU_PAF_CLEAR
}
