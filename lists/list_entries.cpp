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
#include <string>
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
// kept so that positions count.
std::vector<std::string> ParameterPieces(const char* buffer) {
  return Split(std::string(buffer != nullptr ? buffer : ""), '\t', true, true);
}

// True when piece starts with the five-character key (any case); `value`
// is then the rest of the piece.
bool KeyValue(const std::string& piece, const char* key, std::string& value) {
  if (piece.size() < 5 || strncasecmp(piece.c_str(), key, 5) != 0) return false;
  value = piece.substr(5);
  return true;
}

// A handle read as strtol reads it. The number is kept in full: a value
// beyond 32 bits must not be cut down to some other list's handle.
long ReadHandle(const std::string& piece) {
  return strtol(piece.c_str(), nullptr, 10);
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

// The first two fields of a search answer: "<id>\t<text>\t".
std::string IdAndText(int32_t id, const std::string& text) {
  std::string answer = std::to_string(id);
  answer.reserve(answer.size() + text.size() + 6);
  answer.append(1, '\t').append(text).append(1, '\t');
  return answer;
}

// The file format cannot hold a line feed (the text would become several
// lines) nor a final carriage return (it would be read as part of the line
// end), so such texts are never stored.
bool StorableText(const std::string& text) {
  return text.find('\n') == std::string::npos &&
         (text.empty() || text.back() != '\r');
}

int OpenList(char* buffer, int size) {
  std::string path, name, value;
  for (const std::string& piece : ParameterPieces(buffer)) {
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
  const std::vector<std::string> pieces = ParameterPieces(buffer);
  const long handle = pieces.size() >= 2 ? ReadHandle(pieces[0]) : 0;
  bool insert = false;
  for (size_t i = 2; i < pieces.size(); ++i)
    if (strcasecmp(pieces[i].c_str(), "InsertOnNotFound") == 0) insert = true;
  ClearAnswer(buffer, size);

  ZRScopedLock registryLock(openListsMutex, true);
  ListInfo* list = FindList(handle);
  if (list == nullptr) {
    registryLock.Unlock();
    return HandleError(buffer, size, handle);
  }
  const std::string& text = pieces[1];
  // Taken before the registry is released, so the last close cannot
  // destroy the list under us.
  ZRScopedLock listLock(list->mutex, true);
  registryLock.Unlock();

  std::string answer;
  if (const int32_t* found = list->Find(text)) {
    answer = IdAndText(*found, text);
  } else if (!insert) {
    answer = "0\t\t";
  } else if (!StorableText(text)) {
    listLock.Unlock();
    CopyAnswer(buffer, "Text holds a line break and cannot be stored", size);
    return ERR_LIST_TEXT;
  } else if (list->highestId == INT32_MAX) {
    listLock.Unlock();
    CopyAnswer(buffer, "No identifier left in list", size);
    return ERR_LIST_FULL;
  } else {
    const int32_t id = list->highestId + 1;
    list->Add(text, id);
    list->highestId = id;
    list->modified = true;
    answer = IdAndText(id, text) + "New";
  }
  listLock.Unlock();
  CopyAnswer(buffer, answer, size);
  return 0;
}

int CloseList(char* buffer, int size) {
  const std::vector<std::string> pieces = ParameterPieces(buffer);
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
