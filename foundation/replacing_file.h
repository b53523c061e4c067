// ReplacingFile: writes a new version of a file without ever leaving a
// half-written one in its place.
//
// The new contents go to a temporary file in the target's directory (so the
// final rename stays within one file system and is atomic). Commit flushes,
// syncs and closes it, checking every step, and only then renames it over the
// target. Until Commit succeeds the old file is untouched; a ReplacingFile
// destroyed without a successful Commit removes its temporary file.
#ifndef ZRUTILS_FOUNDATION_REPLACING_FILE_H
#define ZRUTILS_FOUNDATION_REPLACING_FILE_H

#include <cstdio>
#include <string>

#include "foundation/export.h"
#include "foundation/non_copyable.h"

class ZRU_EXPORT ReplacingFile : private ZRNonCopyable {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();

  // Creates the temporary file beside `path`. False when it cannot be made.
  bool Open(const std::string& path);
  // The stream to write the new contents to; null unless open.
  FILE* f() const { return file_; }
  // Makes the new contents the file at `path`. False when any write, the
  // flush, the sync, the close or the rename failed; the old file then stays
  // as it was and the temporary file is gone.
  bool Commit();

  // A name beside `path` that no other writer in this or another process
  // is using now: path + ".tmp" + process id + "-" + a number of the
  // process's own. Other writers' temporary files take their names here too.
  static std::string TemporaryNameFor(const std::string& path);

 private:
  void Discard();

  std::string path_;
  std::string tempPath_;
  FILE* file_ = nullptr;
};

#endif
