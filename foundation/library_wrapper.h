// LibraryWrapper: one named shared library found at run time, with the
// functions a subclass needs from it. Load opens the library and has the
// subclass bind its functions; a missing library answers 990, a missing
// function 991, each with a readable message.
//
// Not locked: a wrapper shared between threads is loaded and unloaded under
// its owner's lock, and its functions are called only while it is loaded.
#ifndef ZRUTILS_FOUNDATION_LIBRARY_WRAPPER_H
#define ZRUTILS_FOUNDATION_LIBRARY_WRAPPER_H

#include "foundation/export.h"

enum : int {
  ERR_LIBRARY_NOT_LOADED = 990,     // the loader could not open the library
  ERR_LIBRARY_FUNCTION_MISSING = 991  // a required function is not in it
};

class ZRU_EXPORT LibraryWrapper {
 public:
  // Keeps the first 63 characters of fileName: the name given to the
  // loader as it stands (no "lib" prefix or ".so" suffix is added).
  explicit LibraryWrapper(const char* fileName);
  // Leaves a loaded library mapped: owners unload explicitly.
  virtual ~LibraryWrapper();
  LibraryWrapper(const LibraryWrapper&) = delete;
  LibraryWrapper& operator=(const LibraryWrapper&) = delete;

  // 0 when the library is loaded with all its required functions (at once
  // when it already was), 990 or 991 otherwise. error may be null; else it
  // holds at least 255 bytes and receives the failure's message:
  // "<loader text>. <name>" (990) or "<function> function doesn't exist in
  // <name>" (991), cut to 254 characters. A 991 leaves the library closed.
  int Load(char* error);
  // True when the library is not loaded afterwards; a loader refusal keeps
  // the handle, and the wrapper stays loaded.
  bool Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  const char* Name() const { return name_; }

 protected:
  // Binds the subclass's functions through Handle(). At the first required
  // one missing, writes its name into error (when not null, at most 254
  // characters) and returns false.
  virtual bool LoadFunctions(char* error) = 0;
  void* Handle() const { return handle_; }

 private:
  char name_[64];
  void* handle_ = nullptr;
};

#endif
