#include "foundation/library_wrapper.h"

#include <algorithm>
#include <cstring>

#include "foundation/dynamic_library.h"

namespace {

// The messages live in the caller's buffer of at least 255 bytes; every
// text added to them stops at its 254th character.
constexpr size_t kErrorLimit = 254;

void Append(char* error, const char* text) {
  const size_t used = strnlen(error, kErrorLimit);
  const size_t length = std::min(strlen(text), kErrorLimit - used);
  memcpy(error + used, text, length);
  error[used + length] = '\0';
}

}  // namespace

LibraryWrapper::LibraryWrapper(const char* fileName) {
  const size_t length = strnlen(fileName, sizeof name_ - 1);
  memcpy(name_, fileName, length);
  name_[length] = '\0';
}

LibraryWrapper::~LibraryWrapper() = default;

int LibraryWrapper::Load(char* error) {
  if (handle_ != nullptr) return 0;
  handle_ = ZRDLL::Load(name_);
  if (handle_ == nullptr) {
    if (error != nullptr) {
      ZRDLL::GetError(error, kErrorLimit + 1);
      // The name goes after the loader's text only when both fit whole.
      if (strlen(error) + strlen(name_) + 2 <= kErrorLimit) {
        Append(error, ". ");
        Append(error, name_);
      }
    }
    return ERR_LIBRARY_NOT_LOADED;
  }
  if (error != nullptr) error[0] = '\0';
  if (!LoadFunctions(error)) {
    ZRDLL::Unload(handle_);
    handle_ = nullptr;
    if (error != nullptr) {
      // A subclass may have left a text without its NUL in the limit.
      error[kErrorLimit] = '\0';
      Append(error, " function doesn't exist in ");
      Append(error, name_);
    }
    return ERR_LIBRARY_FUNCTION_MISSING;
  }
  return 0;
}

bool LibraryWrapper::Unload() {
  if (handle_ == nullptr) return true;
  if (!ZRDLL::Unload(handle_)) return false;
  handle_ = nullptr;
  return true;
}
