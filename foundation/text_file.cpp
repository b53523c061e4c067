#include "foundation/text_file.h"

#include <cstring>

bool SelfClosingFILE::Open(const char* path, const char* mode,
                           bool reportError) {
  Close();
  file_ = fopen(path, mode);
  if (file_ == nullptr && reportError) perror(path);
  return file_ != nullptr;
}

void SelfClosingFILE::Close() {
  if (file_ == nullptr) return;
  fclose(file_);
  file_ = nullptr;
}

char* fgets_(char* buffer, int size, FILE* stream) {
  if (fgets(buffer, size, stream) == nullptr) return nullptr;
  size_t length = strlen(buffer);
  if (length > 0 && buffer[length - 1] == '\n') {
    buffer[--length] = '\0';
    if (length > 0 && buffer[length - 1] == '\r') buffer[--length] = '\0';
  }
  return buffer;
}

TextLineResult ReadTextLine(FILE* stream, std::string& line) {
  line.clear();
  // Byte by byte under one stream lock: a line of any length comes back
  // whole, and a NUL byte inside it cannot hide its line end.
  flockfile(stream);
  int c;
  while ((c = getc_unlocked(stream)) != EOF) {
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  const bool failed = ferror_unlocked(stream) != 0;
  funlockfile(stream);
  if (failed) return TextLineResult::kReadError;
  if (c == EOF && line.empty()) return TextLineResult::kEndOfFile;
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return TextLineResult::kLine;
}
