// zruCountBoundaries on arbitrary query items and arbitrary address data:
// the first line of the input is the query after "ARF=<file>;", the rest
// the body of an ARF of the stand-in address-data library (after its
// "ZRPAF-ARF 1" line), so that the records, delimiter and code list the
// entry reads back from the library are the fuzzer's. Whatever they hold,
// the entry must answer within its buffer. Without libzrpaf.so on the
// search path only the parameter reading is exercised.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string arf = "/tmp/count_boundaries_fuzz." + std::to_string(getpid()) + ".arf";
  // The file goes when the process ends.
  static const struct Remover {
    ~Remover() { unlink(arf.c_str()); }
  } remover;
  static const bool loaded = [] {
    char text[256] = "Initialise";
    return zruCountBoundaries(text, 255) == 0;
  }();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string items = input.substr(0, newline);
  if (loaded) {
    FILE* file = fopen(arf.c_str(), "wb");
    if (file == nullptr) return 0;
    const std::string body =
        "ZRPAF-ARF 1\n" + (newline == std::string::npos ? std::string() : input.substr(newline + 1));
    fwrite(body.data(), 1, body.size(), file);
    fclose(file);
  }
  const std::string parameters = "ARF=" + arf + ";" + items;
  for (int bufferSize : {8, 4096}) {
    std::vector<char> buffer(std::max<size_t>(parameters.size(), bufferSize) + 1 + 8, '\x5a');
    memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
    const size_t room = std::max<size_t>(parameters.size(), bufferSize) + 1;
    zruCountBoundaries(buffer.data(), bufferSize);
    if (strnlen(buffer.data(), room) > static_cast<size_t>(bufferSize)) abort();
    for (size_t i = room; i < buffer.size(); ++i) {
      if (buffer[i] != '\x5a') abort();
    }
  }
  return 0;
}
