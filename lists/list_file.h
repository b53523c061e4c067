// The list file: one entry a line, a decimal identifier, a TAB and the text
// up to the line end (docs/list_file.md).
#ifndef ZRUTILS_LISTS_LIST_FILE_H
#define ZRUTILS_LISTS_LIST_FILE_H

#include <string>

#include "lists/list_info.h"

// Adds the entries of the file at `path` to `list`; the caller holds the
// list's mutex, and searches do not read the list until it has finished.
// Returns 0, or ERR_LIST_READ with `errorText` set. When the
// file exists but cannot be read whole, the list is left empty and marked
// loadFailed. Throws std::bad_alloc (leaving the list empty and marked) when
// memory runs out.
int LoadListFile(ListInfo& list, const std::string& path, std::string& errorText);

// Writes `list` to `path` in text order, replacing the file only once every
// byte has been written. Returns 0, or ERR_LIST_WRITE with `errorText` set
// and the old file untouched (also when there is no memory to put the
// entries in order). The caller holds the list's mutex.
int SaveListFile(const ListInfo& list, const std::string& path,
                 std::string& errorText);

#endif
