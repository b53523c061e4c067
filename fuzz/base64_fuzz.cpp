// Base64 decoding of arbitrary texts, into the caller's buffer of every
// small size and into a vector. Guard bytes after the room must stay, and
// the two forms must agree whenever the buffer form succeeds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<unsigned char> all = Base64Decode(text.c_str());
  for (size_t outSize = 0; outSize <= 8 + all.size(); outSize += outSize < 8 || all.empty() ? 1 : all.size()) {
    std::vector<unsigned char> out(outSize + 4, 0xA5);
    const int n = Base64Decode(text.c_str(), out.data(), outSize);
    for (size_t i = outSize; i < out.size(); ++i)
      if (out[i] != 0xA5) abort();
    if (n < 0 || static_cast<size_t>(n) > outSize) abort();
    if (n > 0 && (static_cast<size_t>(n) != all.size() || memcmp(out.data(), all.data(), n) != 0))
      abort();
  }
  // What decodes, encodes back to the digits it came from when the last
  // group carries no stray low bits.
  const std::string again = Base64Encode(all, false);
  if (text.compare(0, again.size(), again) != 0 && (again.size() % 4 == 0)) abort();
  return 0;
}
