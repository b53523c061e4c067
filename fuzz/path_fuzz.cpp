// ZR_Path's splitting on arbitrary bytes: the parts must put the path back
// together, and the wide conversions must not read outside the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ZR_Path path(text);
  const ZR_Path directory = path.ExtractFilePath(), name = path.ExtractFileName();
  if ((directory + name) != path) abort();
  if (name.String().find('/') != std::string::npos) abort();
  const ZR_Path extension = path.ExtractExtension(), stem = path.RemoveExtension();
  if (extension.Empty() ? stem != path : (stem + extension) != path) abort();
  if (extension.String().find('/') != std::string::npos) abort();
  if (!extension.Empty() && extension.String()[0] != '.') abort();
  ZR_Path divided(path);
  divided.AddTrailingPathDivider();
  if (divided.String() != IncludeTrailingPathDelimiter(text)) abort();
  if (!path.Empty() && divided.String().back() != '/') abort();
  // Whatever the bytes, the wide form is a full text that converts back.
  const std::wstring wide = path.WString();
  const ZR_Path back(wide);
  (void)back;
  return 0;
}
