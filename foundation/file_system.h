// Thin helpers over the file system: existence tests, directory listing by
// shell pattern, directory creation, removal and renaming, 64-bit stream
// positions, and facts about the host. None of them keeps state.
#ifndef ZRUTILS_FOUNDATION_FILE_SYSTEM_H
#define ZRUTILS_FOUNDATION_FILE_SYSTEM_H

#include <cstdint>
#include <cstdio>

#include "foundation/export.h"

// True when the file can be opened for reading (it is closed at once).
ZRU_EXPORT bool FileExists_(const char* path);
// The wide forms here take the path in UTF-8 (WideToUtf8).
ZRU_EXPORT bool FileExists_(const wchar_t* path);
// True when the directory can be opened for listing.
ZRU_EXPORT bool DirectoryExists_(const char* path);

// The pattern is a directory part up to and including the last '/' and a
// name pattern after it, each at most 255 characters; without a '/' the
// current directory is listed. Names match by shell wildcard rules without
// flags: '*' matches names beginning with '.', and "." and ".." take part.
//
// True as soon as one entry matches; false when none does or the directory
// cannot be opened.
ZRU_EXPORT bool FilePatternExists_(const char* pattern);
// The matching names in the order the directory yields them, as a
// null-terminated array of separately allocated texts that the caller
// releases with FreeArray_ (text/string_edit.h). Null when the directory cannot be opened
// or the pattern is too long.
ZRU_EXPORT char** Dir_(const char* pattern);

// Creates the directory and every missing parent (mode 0775). False for an
// empty path, one longer than 255 characters, or when a creation fails.
ZRU_EXPORT bool CreateDir(const char* path);
// Creates one directory with mode 0775; the system result (0 for success).
ZRU_EXPORT int mkdir_(const char* path);

// remove and rename: the system result (0 for success).
ZRU_EXPORT int ZR_File_Remove(const char* path);
ZRU_EXPORT int ZR_File_Rename(const char* oldPath, const char* newPath);
ZRU_EXPORT int ZR_File_Remove(const wchar_t* path);
ZRU_EXPORT int ZR_File_Rename(const wchar_t* oldPath, const wchar_t* newPath);

// fseek and ftell with 64-bit offsets.
ZRU_EXPORT int fseek_(FILE* stream, int64_t offset, int whence);
ZRU_EXPORT int64_t ftell_(FILE* stream);

// The host name cut at its first '.', always NUL-terminated within size
// bytes; the empty text on failure. Size 0 writes nothing.
ZRU_EXPORT void GetComputerName_(char* buffer, int size);
ZRU_EXPORT int GetNumberOfProcessors_();
// Files carry no version resource here: the outputs are left untouched.
ZRU_EXPORT void GetVersionOfThisFile(int& major, int& minor, int& release, int& build,
                                     const char* module);

#endif
