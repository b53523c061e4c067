// The UTF-8 decoders, validators and in-place converters on arbitrary bytes.
// The sized readers get a buffer with no terminator, so reading one byte
// beyond the bound is caught by the address sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/unicode.h"
#include "text/unicode_props.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> exact(data, data + size);  // not terminated
  const char* bytes = exact.data();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* terminated = text.c_str();

  std::wstring wide;
  std::string narrow;
  ReadUtf8String(wide, bytes, size);
  ReadUtf8String(narrow, bytes, size);
  IsBufferUtf8(bytes, size, static_cast<int>(size % 3));
  for (const char* p = bytes; p < bytes + size;) {
    wchar_t c;
    if (!DecodeUtf8Char(c, p, bytes + size)) ++p;
  }

  IsStringUtf8(terminated, 0);
  ReadUtf8StringTolerant(wide, terminated);
  ReadUtf8StringTolerant(narrow, terminated);
  Utf8ToUtf16(wide, terminated, true);
  Utf8ToUpper(text);
  Utf8Strlen(terminated);
  // Whatever decodes strictly is encoded back to something that decodes.
  if (ReadUtf8String(wide, terminated)) {
    std::wstring again;
    if (!ReadUtf8String(again, WideToUtf8(wide).c_str())) abort();
  }
  const std::wstring tolerant = Utf8ToWide(text);
  WideToUtf8(tolerant);
  UnicodeCaseFold(tolerant);

  // Accent removal in place never lengthens the text.
  std::string copy = text;
  Utf8RemoveAccentsMe(copy);
  if (copy.size() > text.size()) abort();
  std::vector<char> buffer(terminated, terminated + text.size() + 1);
  Utf8RemoveAccentsMe(buffer.data());

  // Windows-1252 to UTF-8 in place within a capacity taken from the input.
  const size_t length = std::strlen(terminated);
  const size_t capacity = length + 1 + (size > 0 ? data[0] % 8 : 0);
  std::vector<char> room(capacity);
  std::memcpy(room.data(), terminated, length + 1);
  Windows1252ToUtf8(room.data(), capacity);
  if (std::strlen(room.data()) >= capacity) abort();
  return 0;
}
