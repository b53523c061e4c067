#include "tests/test_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDir::ScratchDir() {
  std::string pattern = std::filesystem::temp_directory_path() / "zrutils-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

ScopedConfigFile::ScopedConfigFile(const std::string& path) {
  const char* home = getenv("HOME");
  hadHome_ = home != nullptr;
  if (hadHome_) savedHome_ = home;
  setenv("HOME", "/nonexistent", 1);
  setenv("MORVEL_CONFIG_FILE", path.c_str(), 1);
}

ScopedConfigFile::~ScopedConfigFile() {
  if (hadHome_) {
    setenv("HOME", savedHome_.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  unsetenv("MORVEL_CONFIG_FILE");
}

void WriteWholeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}
