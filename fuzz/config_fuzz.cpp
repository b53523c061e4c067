// The configuration file reader on arbitrary bytes. MorvelConfig and the
// registry-style functions must agree on every setting they find.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/morvel_config.h"
#include "foundation/registry.h"

namespace {

std::string folder;
int startFolder = -1;

void RemoveScratchFolder() {
  unlink((folder + "/.morvel").c_str());
  rmdir(folder.c_str());
}

// Each input is read from a folder of its own, so the file written there is
// the first candidate of the search order. The process goes back to where
// it started after each input: the replay driver opens its inputs by
// relative paths.
void EnterScratchFolder() {
  if (folder.empty()) {
    folder = std::string(P_tmpdir) + "/zrutils-config-fuzz-XXXXXX";
    startFolder = open(".", O_RDONLY | O_DIRECTORY);
    if (mkdtemp(&folder[0]) == nullptr || startFolder < 0) abort();
    atexit(RemoveScratchFolder);
    unsetenv("MORVEL_CONFIG_FILE");
  }
  if (chdir(folder.c_str()) != 0) abort();
}

void CheckKey(const char* key) {
  MorvelConfig config;
  if (!config.OpenKey(key, 0)) return;
  std::vector<std::string> names, values;
  config.EnumerateValues(names, values);
  if (names.size() != values.size()) abort();
  config.EnumerateKeys();

  char** registryNames = nullptr;
  char** registryValues = nullptr;
  if (*key != '\0') EnumerateRegistry_(key, &registryNames, &registryValues);
  for (size_t i = 0; i < names.size(); ++i) {
    if (registryNames != nullptr &&
        (registryNames[i] == nullptr || strcmp(registryNames[i], names[i].c_str()) != 0 ||
         strcmp(registryValues[i], values[i].c_str()) != 0))
      abort();
    // An earlier line of the same name (in another case) wins.
    if (names[i].find('=') != std::string::npos) abort();
    std::string value;
    if (!config.ReadValue(names[i], value)) abort();
    if (memchr(names[i].data(), '\0', names[i].size()) != nullptr) continue;
    std::vector<char> buffer(value.size() + 1);
    int size = static_cast<int>(buffer.size());
    if (names[i].size() + strlen(key) > 254) continue;
    if (LookUpRegistry_(key, names[i].c_str(), buffer.data(), size, false) != 0) abort();
    if (static_cast<size_t>(size) != value.size() || strcmp(buffer.data(), value.c_str()) != 0)
      abort();
  }
  if (registryNames != nullptr) {
    if (registryNames[names.size()] != nullptr) abort();
    for (size_t i = 0; i < names.size(); ++i) {
      delete[] registryNames[i];
      delete[] registryValues[i];
    }
    delete[] registryNames;
    delete[] registryValues;
  }
  unsigned int number;
  for (const std::string& name : names) config.ReadValueI(name, number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterScratchFolder();
  FILE* file = fopen(".morvel", "wb");
  if (file == nullptr) abort();
  fwrite(data, 1, size, file);
  fclose(file);
  CheckKey("");
  CheckKey("K");
  CheckKey("ZRUtils");
  if (fchdir(startFolder) != 0) abort();
  return 0;
}
