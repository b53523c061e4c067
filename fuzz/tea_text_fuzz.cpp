// Deciphering arbitrary texts: the buffer form must stay inside its room
// (guard bytes after it) and agree with the string forms where they share
// their decoding, and whatever a text deciphers to must encipher back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/tea.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 16) return 0;
  unsigned int key[4];
  memcpy(key, data, sizeof key);
  const std::string text(reinterpret_cast<const char*>(data) + 16, size - 16);
  const std::vector<unsigned char> bytes = TeaDecryptText(key, text.c_str());
  if (bytes.size() % 4 != 0 || (bytes.size() > 0 && bytes.size() < 8)) abort();
  const std::string plain = TeaDecryptTextS(key, text.c_str());
  if (plain.size() > bytes.size() ||
      (!plain.empty() && memcmp(plain.data(), bytes.data(), plain.size()) != 0))
    abort();
  for (size_t outSize : {size_t{0}, size_t{1}, size_t{5}, size_t{64}}) {
    std::vector<char> out(outSize + 4, '#');
    TeaDecryptText(key, text.c_str(), out.data(), outSize);
    for (size_t i = outSize; i < out.size(); ++i)
      if (out[i] != '#') abort();
    if (outSize > 0 && strnlen(out.data(), outSize) >= outSize) abort();
  }
  // A plaintext without NULs goes through the text form and back.
  const std::string inner(plain.c_str());
  if (TeaDecryptTextS(key, TeaEncryptText(key, inner.c_str()).c_str()) != inner) abort();
  return 0;
}
