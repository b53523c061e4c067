// The three list entry points and the process-wide list registry.
//
// Lock order: openListsMutex, then one list's mutex; never two lists' mutexes
// and never the registry mutex while holding a list's. File reading and
// writing run under the list's own mutex only, so a slow file never blocks
// other lists.

#include <strings.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "api/zrutils.h"
#include "foundation/copy_answer.h"
#include "foundation/mutex.h"
#include "lists/list_file.h"
#include "lists/list_info.h"
#include "text/string_edit.h"

namespace {

// A handle is a slot index plus 1. Slots are only appended and a closed
// list's slot stays null, so a handle never names a second list.
std::vector<std::unique_ptr<ListInfo>> openLists;
// Guards openLists, every slot and every list's usageCount.
ZRMutex openListsMutex(0);

const char kMissingHandle[] = "Missing list handle parameter";
const char kInvalidHandle[] = "Invalid list handle";

// The parameter text cut at TABs, each piece trimmed of spaces, empty pieces
// kept so that positions count. The pieces view the caller's buffer: a search
// copies nothing until it answers.
std::vector<std::string_view> ParameterPieces(const char* buffer) {
  return Split(std::string_view(buffer != nullptr ? buffer : ""), '\t', true, true);
}

bool SameWord(std::string_view piece, std::string_view word) {
  return piece.size() == word.size() &&
         strncasecmp(piece.data(), word.data(), word.size()) == 0;
}

// True when piece starts with the five-character key (any case); `value`
// is then the rest of the piece.
bool KeyValue(std::string_view piece, const char* key, std::string& value) {
  if (piece.size() < 5 || strncasecmp(piece.data(), key, 5) != 0) return false;
  value = piece.substr(5);
  return true;
}

// A handle read as strtol reads it. The number is kept in full: a value
// beyond 32 bits must not be cut down to some other list's handle. The piece
// views a NUL-terminated buffer and is followed by a TAB, a space or the NUL,
// where strtol stops.
long ReadHandle(std::string_view piece) {
  return strtol(piece.data(), nullptr, 10);
}

// The list of `handle`, or null (also for a missing handle, 0 or less); the
// caller holds openListsMutex.
ListInfo* FindList(long handle) {
  if (handle <= 0 || static_cast<unsigned long>(handle) > openLists.size())
    return nullptr;
  return openLists[static_cast<size_t>(handle - 1)].get();
}

// Answers the error for a handle that names no open list.
int HandleError(char* buffer, int size, long handle) {
  CopyAnswer(buffer, handle <= 0 ? kMissingHandle : kInvalidHandle, size);
  return ERR_LIST_HANDLE;
}

void ClearAnswer(char* buffer, int size) {
  if (buffer != nullptr && size >= 0) buffer[0] = '\0';
}

// Runs an entry's body so that no exception reaches the C caller: memory
// exhaustion and lock failures become ERR_LIST_CREATE with an empty answer.
template <class Body>
int Guarded(char* buffer, int size, Body body) {
  try {
    return body();
  } catch (...) {
    ClearAnswer(buffer, size);
    return ERR_LIST_CREATE;
  }
}

// Answers "<id>\t<text>\t" and the suffix. text may view the buffer
// itself, so the answer is built aside first; the scratch text of each
// thread keeps its room from call to call.
void AnswerIdAndText(char* buffer, int size, int32_t id, std::string_view text,
                     const char* suffix) {
  thread_local std::string answer;
  char digits[16];
  const int n = snprintf(digits, sizeof digits, "%d\t", static_cast<int>(id));
  answer.assign(digits, static_cast<size_t>(n));
  answer.append(text).append(1, '\t').append(suffix);
  CopyAnswer(buffer, answer, size);
}

// The file format cannot hold a line feed (the text would become several
// lines) nor a final carriage return (it would be read as part of the line
// end), so such texts are never stored.
bool StorableText(std::string_view text) {
  return text.find('\n') == std::string::npos &&
         (text.empty() || text.back() != '\r');
}

int OpenList(char* buffer, int size) {
  std::string path, name, value;
  for (std::string_view piece : ParameterPieces(buffer)) {
    if (KeyValue(piece, "File=", value)) path = value;
    if (KeyValue(piece, "Name=", value)) name = value;
  }
  if (name.empty() && !path.empty()) name = "file:" + path;
  ClearAnswer(buffer, size);

  ZRScopedLock registryLock(openListsMutex, true);
  if (!name.empty()) {
    for (size_t i = 0; i < openLists.size(); ++i) {
      ListInfo* list = openLists[i].get();
      if (list != nullptr && list->name == name) {
        ++list->usageCount;
        registryLock.Unlock();
        CopyAnswer(buffer, std::to_string(i + 1), size);
        return 0;
      }
    }
  }
  // Everything that can fail is done before the list's mutex is taken, so
  // that a failure never destroys a locked list.
  auto created = std::make_unique<ListInfo>();
  created->name = name;
  created->usageCount = 1;
  if (openLists.size() == openLists.capacity())
    openLists.reserve(openLists.empty() ? 16 : 2 * openLists.size());
  ListInfo& list = *created;
  ZRScopedLock listLock(list.mutex, true);
  openLists.push_back(std::move(created));
  const std::string handle = std::to_string(openLists.size());
  // A concurrent open of the same name already gets this handle; its
  // searches wait on the list's mutex until the load below has finished.
  registryLock.Unlock();

  if (!path.empty()) {
    std::string errorText;
    const int rc = LoadListFile(list, path, errorText);
    if (rc != 0) {
      CopyAnswer(buffer, errorText, size);
      return rc;
    }
  }
  CopyAnswer(buffer, handle, size);
  return 0;
}

int SearchList(char* buffer, int size) {
  const std::vector<std::string_view> pieces = ParameterPieces(buffer);
  const long handle = pieces.size() >= 2 ? ReadHandle(pieces[0]) : 0;
  bool insert = false;
  for (size_t i = 2; i < pieces.size(); ++i)
    if (SameWord(pieces[i], "InsertOnNotFound")) insert = true;
  // The text views the buffer behind the first TAB, so clearing the first
  // byte leaves it whole.
  ClearAnswer(buffer, size);

  ZRScopedLock registryLock(openListsMutex, true);
  ListInfo* list = FindList(handle);
  if (list == nullptr) {
    registryLock.Unlock();
    return HandleError(buffer, size, handle);
  }
  const std::string_view text = pieces[1];
  // Taken before the registry is released, so the last close cannot
  // destroy the list under us.
  ZRScopedLock listLock(list->mutex, true);
  registryLock.Unlock();

  int32_t id = 0;
  const char* suffix = "";
  if (const int32_t* found = list->Find(text)) {
    id = *found;
  } else if (!insert) {
    listLock.Unlock();
    CopyAnswer(buffer, "0\t\t", size);
    return 0;
  } else if (!StorableText(text)) {
    listLock.Unlock();
    CopyAnswer(buffer, "Text holds a line break and cannot be stored", size);
    return ERR_LIST_TEXT;
  } else if (list->highestId == INT32_MAX) {
    listLock.Unlock();
    CopyAnswer(buffer, "No identifier left in list", size);
    return ERR_LIST_FULL;
  } else {
    id = list->highestId + 1;
    list->Add(std::string(text), id);
    list->highestId = id;
    list->modified = true;
    suffix = "New";
  }
  listLock.Unlock();
  AnswerIdAndText(buffer, size, id, text, suffix);
  return 0;
}

int CloseList(char* buffer, int size) {
  const std::vector<std::string_view> pieces = ParameterPieces(buffer);
  const long handle = ReadHandle(pieces[0]);
  std::string path, value;
  for (size_t i = 1; i < pieces.size(); ++i)
    if (KeyValue(pieces[i], "File=", value)) path = value;
  ClearAnswer(buffer, size);

  ZRScopedLock registryLock(openListsMutex, true);
  ListInfo* found = FindList(handle);
  if (found == nullptr) {
    registryLock.Unlock();
    return HandleError(buffer, size, handle);
  }
  if (--found->usageCount >= 1) return 0;
  // The last user: take the list out of the registry first, so no new
  // search can reach it, then wait for searches still holding it.
  std::unique_ptr<ListInfo> list = std::move(openLists[static_cast<size_t>(handle - 1)]);
  registryLock.Unlock();

  int status = 0;
  {
    ZRScopedLock listLock(list->mutex, true);
    if (list->modified && !path.empty()) {
      std::string errorText;
      status = SaveListFile(*list, path, errorText);
      if (status != 0) CopyAnswer(buffer, errorText, size);
    }
  }
  return status;
}

}  // namespace

extern "C" {

int zruOpenList(char* buffer, int size) {
  return Guarded(buffer, size, [&] { return OpenList(buffer, size); });
}

int zruSearchList(char* buffer, int size) {
  return Guarded(buffer, size, [&] { return SearchList(buffer, size); });
}

int zruCloseList(char* buffer, int size) {
  return Guarded(buffer, size, [&] { return CloseList(buffer, size); });
}

}  // extern "C"
