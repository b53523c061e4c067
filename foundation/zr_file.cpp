#include "foundation/zr_file.h"

#include "text/unicode.h"

bool ZR_File::Open(const wchar_t* path, const char* mode, bool reportError) {
  return Open(WideToUtf8(path).c_str(), mode, reportError);
}

bool ZR_File::Open(const wchar_t* path, const wchar_t* mode, bool reportError) {
  return Open(WideToUtf8(path).c_str(), WideToUtf8(mode).c_str(), reportError);
}
