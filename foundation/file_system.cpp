#include "foundation/file_system.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/text_file.h"
#include "text/unicode.h"

namespace {

constexpr std::string::size_type kMaxPathPart = 255;

// Opens the directory part of pattern and sets namePattern to the rest.
// Null when a part is too long or the directory cannot be opened.
DIR* OpenPatternDirectory(const char* pattern, std::string& namePattern) {
  const std::string text = pattern != nullptr ? pattern : "";
  const std::string::size_type slash = text.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
  namePattern = slash == std::string::npos ? text : text.substr(slash + 1);
  if (directory.size() > kMaxPathPart || namePattern.size() > kMaxPathPart) return nullptr;
  return opendir(directory.empty() ? "." : directory.c_str());
}

// Creates one level of a tree; one that exists already as a directory
// (another process creating the same tree) is no failure.
bool MakeLevel(const std::string& path) {
  return mkdir_(path.c_str()) == 0 || (errno == EEXIST && DirectoryExists_(path.c_str()));
}

bool Matches(const std::string& namePattern, const dirent* entry) {
  return fnmatch(namePattern.c_str(), entry->d_name, 0) == 0;
}

}  // namespace

bool FileExists_(const char* path) {
  SelfClosingFILE file;
  return file.Open(path, "r", false);
}

bool FileExists_(const wchar_t* path) { return FileExists_(WideToUtf8(path).c_str()); }

bool DirectoryExists_(const char* path) {
  DIR* directory = opendir(path);
  if (directory == nullptr) return false;
  closedir(directory);
  return true;
}

bool FilePatternExists_(const char* pattern) {
  std::string namePattern;
  DIR* directory = OpenPatternDirectory(pattern, namePattern);
  if (directory == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(directory);
    if (entry == nullptr) break;
    found = Matches(namePattern, entry);
  }
  closedir(directory);
  return found;
}

char** Dir_(const char* pattern) {
  std::string namePattern;
  DIR* directory = OpenPatternDirectory(pattern, namePattern);
  if (directory == nullptr) return nullptr;
  // Counting first sizes the array exactly; the copying pass stops at that
  // count, so entries that appear in between cannot overrun it.
  size_t count = 0;
  while (const dirent* entry = readdir(directory))
    if (Matches(namePattern, entry)) ++count;
  // malloc, as FreeArray_ releases with free.
  char** names = static_cast<char**>(malloc((count + 1) * sizeof(char*)));
  if (names == nullptr) {
    closedir(directory);
    return nullptr;
  }
  rewinddir(directory);
  size_t filled = 0;
  while (filled < count) {
    const dirent* entry = readdir(directory);
    if (entry == nullptr) break;
    if (!Matches(namePattern, entry)) continue;
    char* name = strdup(entry->d_name);
    if (name == nullptr) break;
    names[filled++] = name;
  }
  names[filled] = nullptr;
  closedir(directory);
  return names;
}

int mkdir_(const char* path) { return mkdir(path, 0775); }

bool CreateDir(const char* path) {
  std::string work = path != nullptr ? path : "";
  if (work.empty() || work.size() > kMaxPathPart) return false;
  if (work.back() == '/') work.pop_back();

  const std::string full = work;

  // Walk up to the longest prefix that exists, remembering where it was cut;
  // the positions are the same in `full`.
  std::vector<std::string::size_type> cuts;
  while (!work.empty() && !DirectoryExists_(work.c_str())) {
    const std::string::size_type slash = work.rfind('/');
    if (slash == std::string::npos) {
      if (!MakeLevel(work)) return false;
      break;
    }
    cuts.push_back(slash);
    work.erase(slash);
  }
  // Walk down, putting back one cut at a time.
  for (size_t i = cuts.size(); i-- > 0;) {
    const std::string prefix = full.substr(0, i == 0 ? std::string::npos : cuts[i - 1]);
    if (!MakeLevel(prefix)) return false;
  }
  return true;
}

int ZR_File_Remove(const char* path) { return remove(path); }

int ZR_File_Rename(const char* oldPath, const char* newPath) {
  return rename(oldPath, newPath);
}

int ZR_File_Remove(const wchar_t* path) { return ZR_File_Remove(WideToUtf8(path).c_str()); }

int ZR_File_Rename(const wchar_t* oldPath, const wchar_t* newPath) {
  return ZR_File_Rename(WideToUtf8(oldPath).c_str(), WideToUtf8(newPath).c_str());
}

int fseek_(FILE* stream, int64_t offset, int whence) {
  return fseeko(stream, static_cast<off_t>(offset), whence);
}

int64_t ftell_(FILE* stream) { return ftello(stream); }

void GetComputerName_(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  if (gethostname(buffer, static_cast<size_t>(size)) != 0) {
    buffer[0] = '\0';
    return;
  }
  buffer[size - 1] = '\0';
  if (char* dot = strchr(buffer, '.')) *dot = '\0';
}

int GetNumberOfProcessors_() { return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)); }

void GetVersionOfThisFile(int&, int&, int&, int&, const char*) {}
