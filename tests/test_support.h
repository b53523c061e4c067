// Helpers shared by the unit tests: scratch folders and whole-file I/O.
#ifndef ZRUTILS_TESTS_TEST_SUPPORT_H
#define ZRUTILS_TESTS_TEST_SUPPORT_H

#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Points the configuration store at one file for as long as it lives: HOME
// leads nowhere and MORVEL_CONFIG_FILE names `path`; both are put back when
// it goes.
class ScopedConfigFile {
 public:
  explicit ScopedConfigFile(const std::string& path);
  ~ScopedConfigFile();
  ScopedConfigFile(const ScopedConfigFile&) = delete;
  ScopedConfigFile& operator=(const ScopedConfigFile&) = delete;

 private:
  std::string savedHome_;
  bool hadHome_;
};

void WriteWholeFile(const std::string& path, const std::string& contents);
// The file's bytes, or "<missing>" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The lines of text, without their line feeds.
std::vector<std::string> SplitLines(const std::string& text);

// The names in a folder, sorted, those starting with "." left out; empty
// when it cannot be read.
std::vector<std::string> FolderListing(const std::string& folder);

// Runs body in a forked child and answers its exit status (what body
// returned), or -1 when the child did not end normally. The child may
// change its limits, identity and environment without touching the test.
int ExitStatusInChild(const std::function<int()>& body);

// The same, with files in the child limited to limit bytes: writes past it
// fail (the signal that would end the child is ignored).
int ExitStatusUnderFileSizeLimit(long limit, const std::function<int()>& body);

// Whether the loader holds the shared library name now, without loading it.
bool LibraryIsLoaded(const char* name);

#endif
