// The list file loader on arbitrary bytes. Whatever loads must survive a
// save and a second load.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lists/list_file.h"

static std::string ScratchPath(const char* what) {
  return std::string(P_tmpdir) + "/zrutils-fuzz-" + std::to_string(getpid()) + what;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string input = ScratchPath(".in"), output = ScratchPath(".out");
  FILE* file = fopen(input.c_str(), "wb");
  if (file == nullptr) return 0;
  fwrite(data, 1, size, file);
  fclose(file);

  std::string error;
  ListInfo loaded;
  if (LoadListFile(loaded, input, error) != 0) abort();
  if (SaveListFile(loaded, output, error) != 0) abort();
  ListInfo reloaded;
  if (LoadListFile(reloaded, output, error) != 0) abort();
  // Every text comes back with its identifier, except one ending in CR (a
  // line ending in CR CR LF): the format cannot hold that last CR.
  for (const ListTable::Entry& entry : loaded.entries.InTextOrder()) {
    if (!entry.text.empty() && entry.text.back() == '\r') continue;
    int32_t id = 0;
    if (!reloaded.entries.Find(entry.text, id) || id != entry.id) abort();
  }
  if (reloaded.entries.Size() > loaded.entries.Size()) abort();
  if (reloaded.highestId > loaded.highestId) abort();
  return 0;
}
