#include "lists/list_file.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>
#include <new>
#include <string_view>
#include <vector>

#include "api/zrutils.h"
#include "foundation/replacing_file.h"
#include "foundation/text_file.h"

// Forgets a partial load so that the list can never be saved over the file.
static void MarkLoadFailed(ListInfo& list) {
  list.entries.Clear();
  list.highestId = 0;
  list.loadFailed = true;
}

int LoadListFile(ListInfo& list, const std::string& path, std::string& errorText) {
  SelfClosingFILE file;
  if (!file.Open(path.c_str(), "r", false)) {
    // A missing file is how a new list file starts: the list may be written
    // there later. Any other failure means a real file we could not read.
    if (errno != ENOENT) MarkLoadFailed(list);
    errorText = "Cannot open input file " + path;
    return ERR_LIST_READ;
  }
  try {
    // Growing the hash table line by line would rehash it some twenty times
    // for a large list; a line is rarely shorter than 16 bytes.
    struct stat st;
    if (fstat(fileno(file.f()), &st) == 0 && st.st_size > 0)
      list.entries.Reserve(list.entries.Size() + static_cast<size_t>(st.st_size) / 16);
    std::string line;
    TextLineResult result;
    while ((result = ReadTextLine(file.f(), line)) == TextLineResult::kLine) {
      char* end = nullptr;
      // Identifiers are read as strtol reads them and cut to 32 bits, as
      // files written by earlier versions expect.
      const int32_t id = static_cast<int32_t>(
          static_cast<uint32_t>(strtol(line.c_str(), &end, 10)));
      if (id == 0 || *end != '\t') continue;
      // Counted before the insertion, so a duplicate line still raises it.
      if (id > list.highestId) list.highestId = id;
      // An existing text keeps its first identifier.
      const size_t textStart = static_cast<size_t>(end - line.c_str()) + 1;
      list.entries.Add(std::string_view(line).substr(textStart), id);
    }
    if (result == TextLineResult::kReadError) {
      MarkLoadFailed(list);
      errorText = "Cannot read input file " + path;
      return ERR_LIST_READ;
    }
  } catch (const std::bad_alloc&) {
    MarkLoadFailed(list);
    throw;
  }
  return 0;
}

int SaveListFile(const ListInfo& list, const std::string& path,
                 std::string& errorText) {
  // The text order is made before the file is touched: without the memory
  // for it the list cannot be written, and the old file stays as it was.
  std::vector<ListTable::Entry> entries;
  bool ok = !list.loadFailed;
  try {
    if (ok) entries = list.entries.InTextOrder();
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  ReplacingFile file;
  ok = ok && file.Open(path);
  if (ok) {
    FILE* out = file.f();
    for (const ListTable::Entry& entry : entries) {
      // fwrite rather than %s: the text is written whole, whatever it holds.
      if (fprintf(out, "%d\t", entry.id) < 0 ||
          fwrite(entry.text.data(), 1, entry.text.size(), out) != entry.text.size() ||
          fputc('\n', out) == EOF) {
        ok = false;
        break;
      }
    }
    ok = ok && file.Commit();
  }
  if (!ok) {
    errorText = "Cannot open output file " + path;
    return ERR_LIST_WRITE;
  }
  return 0;
}
