// ZR_File: a SelfClosingFILE that also opens by wide-character path and
// mode (converted to UTF-8) and tests as a boolean. One thread at a time.
#ifndef ZRUTILS_FOUNDATION_ZR_FILE_H
#define ZRUTILS_FOUNDATION_ZR_FILE_H

#include "foundation/export.h"
#include "foundation/text_file.h"

class ZRU_EXPORT ZR_File : public SelfClosingFILE {
 public:
  using SelfClosingFILE::Open;
  bool Open(const wchar_t* path, const char* mode, bool reportError);
  bool Open(const wchar_t* path, const wchar_t* mode, bool reportError);
  // True when no stream is open.
  bool operator!() const { return !IsOpen(); }
};

#endif
