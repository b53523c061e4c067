// Line-oriented text files: SelfClosingFILE owns one standard I/O stream and
// closes it on every way out of a scope; fgets_ and ReadTextLine read a line
// without its line end.
#ifndef ZRUTILS_FOUNDATION_TEXT_FILE_H
#define ZRUTILS_FOUNDATION_TEXT_FILE_H

#include <cstdio>
#include <string>

#include "foundation/export.h"
#include "foundation/non_copyable.h"

// Owns at most one stream. Belongs to one thread at a time.
class ZRU_EXPORT SelfClosingFILE : private ZRNonCopyable {
 public:
  SelfClosingFILE() = default;
  ~SelfClosingFILE() { Close(); }

  // Closes any stream held, then fopen(path, mode). With reportError a
  // failure is printed on standard error as perror(path) prints it.
  bool Open(const char* path, const char* mode, bool reportError);
  // Closes the stream if one is held; the result of fclose is not looked at
  // (files that must reach the disk are written through ReplacingFile).
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  FILE* f() const { return file_; }

 private:
  FILE* file_ = nullptr;
};

// fgets, then removes one trailing LF and a CR directly before it. Returns
// null at end of file or on a read error. A line longer than size - 1 bytes
// arrives in pieces; only the last piece loses its line end.
ZRU_EXPORT char* fgets_(char* buffer, int size, FILE* stream);

// Result of ReadTextLine.
enum class TextLineResult { kLine, kEndOfFile, kReadError };

// Reads one whole line of any length into `line`, without its LF and a CR
// directly before it. Tells end of file apart from a read error, which
// fgets_ cannot.
ZRU_EXPORT TextLineResult ReadTextLine(FILE* stream, std::string& line);

#endif
