// The three list entry points on arbitrary parameter texts and buffer sizes.
//
// An input is a sequence of calls separated by 0x01 bytes. Each call is one
// byte choosing the entry point, one byte giving the buffer size (minus 8,
// so a few sizes are negative) and the parameter text. The buffer is exactly
// as large as the parameter text or size + 1, whichever is larger, so any
// write past buffer[size] is caught by AddressSanitizer. Lists the input
// opened are closed at its end, so memory stays bounded.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"

namespace {

// The fuzzer must not read or write files: "File=" items lose their "=".
void DisarmFileItems(std::string& parameters) {
  for (size_t at = 0; at + 5 <= parameters.size(); ++at)
    if (strncasecmp(parameters.c_str() + at, "file=", 5) == 0) parameters[at + 4] = '_';
}

int Call(int (*entry)(char*, int), std::string parameters, int size,
         std::string* answer) {
  std::vector<char> buffer(std::max(parameters.size() + 1,
                                    static_cast<size_t>(std::max(size, 0)) + 1));
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  const int status = entry(buffer.data(), size);
  if (answer != nullptr && size >= 0) *answer = buffer.data();
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int (*const entries[3])(char*, int) = {zruOpenList, zruSearchList, zruCloseList};
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> opened;
  size_t start = 0;
  while (start + 2 <= input.size() && opened.size() < 64) {
    size_t end = input.find('\x01', start);
    if (end == std::string::npos) end = input.size();
    const int which = static_cast<unsigned char>(input[start]) % 3;
    const int bufferSize = static_cast<unsigned char>(input[start + 1]) - 8;
    std::string parameters = input.substr(start + 2, end - start - 2);
    parameters.resize(strlen(parameters.c_str()));
    DisarmFileItems(parameters);
    std::string answer;
    if (Call(entries[which], parameters, bufferSize, &answer) == 0 && which == 0 &&
        bufferSize > 20)
      opened.push_back(answer);
    start = end + 1;
  }
  for (const std::string& handle : opened) Call(zruCloseList, handle, 64, nullptr);
  return 0;
}
