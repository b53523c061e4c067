// The three list entry points on arbitrary parameter texts and buffer sizes.
// The buffer is exactly as large as the size given, so any write past
// buffer[size] is caught by AddressSanitizer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const int kEntries = 3;
  int (*const entries[kEntries])(char*, int) = {zruOpenList, zruSearchList,
                                                zruCloseList};
  // First byte: which entry; second: the buffer size; the rest: parameters.
  // File= items are kept out: the fuzzer must not write files anywhere.
  std::string parameters(reinterpret_cast<const char*>(data + 2), size - 2);
  parameters = parameters.substr(0, strlen(parameters.c_str()));
  for (size_t at = 0; (at = parameters.find('=', at)) != std::string::npos; ++at)
    parameters[at] = '_';
  const int bufferSize = static_cast<int>(data[1]) - 8;  // a few negative ones
  std::vector<char> buffer(std::max<size_t>(parameters.size() + 1,
                                            static_cast<size_t>(std::max(bufferSize, 0)) + 1));
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  entries[data[0] % kEntries](buffer.data(), bufferSize);
  return 0;
}
