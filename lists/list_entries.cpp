// The three list entry points. The registry and its locking are in
// list_registry.h: a search takes no lock (an insertion takes the list's
// mutex), and file reading and writing run under the list's own mutex only,
// so a slow file never blocks other lists.

#include <strings.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "api/zrutils.h"
#include "foundation/copy_answer.h"
#include "foundation/mutex.h"
#include "lists/list_file.h"
#include "lists/list_info.h"
#include "lists/list_registry.h"
#include "text/string_edit.h"

namespace {

const char kMissingHandle[] = "Missing list handle parameter";
const char kInvalidHandle[] = "Invalid list handle";

// The parameter text cut at TABs, each piece trimmed of spaces, empty pieces
// kept so that positions count. The pieces are cut in a copy of the text
// that each thread keeps, as are the vectors that list them, so a search
// allocates nothing until it answers, and the caller's buffer is only
// written by the answer. Valid until the thread's next call.
const std::vector<std::string_view>& ParameterPieces(const char* buffer) {
  thread_local std::string text;
  thread_local std::vector<char*> cut;
  thread_local std::vector<std::string_view> pieces;
  text.assign(buffer != nullptr ? buffer : "");
  SplitInPlace(text.data(), '\t', true, cut);
  pieces.clear();
  for (const char* piece : cut) pieces.emplace_back(piece);
  return pieces;
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
// ends in a NUL, where strtol stops.
long ReadHandle(std::string_view piece) {
  return strtol(piece.data(), nullptr, 10);
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

// Answers "<id>\t<text>\t" and the suffix, built in a scratch text of each
// thread that keeps its room from call to call.
void AnswerIdAndText(char* buffer, int size, int32_t id, std::string_view text,
                     const char* suffix) {
  thread_local std::string answer;
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, id).ptr;
  answer.assign(digits, static_cast<size_t>(end - digits));
  answer.append(1, '\t').append(text).append(1, '\t').append(suffix);
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

  ZRScopedLock registryLock(ListRegistryMutex(), true);
  if (!name.empty()) {
    const long found = FindListByName(name);
    if (found != 0) {
      ++FindListLocked(found)->usageCount;
      registryLock.Unlock();
      CopyAnswer(buffer, std::to_string(found), size);
      return 0;
    }
  }
  // Declared before the lock, so that a list that cannot be registered is
  // unlocked before it is destroyed.
  auto created = std::make_unique<ListInfo>();
  created->name = name;
  created->usageCount = 1;
  ListInfo& list = *created;
  if (path.empty()) list.ready.store(true, std::memory_order_relaxed);
  ZRScopedLock listLock(list.mutex, true);
  const long handle = RegisterList(&list);
  if (handle == 0) return ERR_LIST_CREATE;
  created.release();  // the registry's now
  // A concurrent open of the same name already gets this handle; its
  // searches wait on the list's mutex until the load below has finished.
  registryLock.Unlock();

  if (!path.empty()) {
    std::string errorText;
    int rc;
    try {
      rc = LoadListFile(list, path, errorText);
    } catch (...) {
      list.ready.store(true, std::memory_order_release);  // empty, but ready
      throw;
    }
    list.ready.store(true, std::memory_order_release);
    if (rc != 0) {
      CopyAnswer(buffer, errorText, size);
      return rc;
    }
  }
  CopyAnswer(buffer, std::to_string(handle), size);
  return 0;
}

// What a search did.
enum class Outcome { kFound, kMissing, kAdded, kLineBreak, kFull };

// Looks text up in the list, and adds it when asked to. Lookups take no
// lock; an addition takes the list's mutex.
Outcome FindOrAdd(ListInfo& list, std::string_view text, bool insert, int32_t& id) {
  if (!list.ready.load(std::memory_order_acquire)) {
    // The list's file is still being read; wait for it.
    ZRScopedLock loading(list.mutex, true);
  }
  if (list.entries.Find(text, id)) return Outcome::kFound;
  if (!insert) return Outcome::kMissing;
  // Such a text is never in a list, so it needs no lock to refuse.
  if (!StorableText(text)) return Outcome::kLineBreak;
  ZRScopedLock listLock(list.mutex, true);
  // Add looks again under the mutex: another search may have added the
  // text since.
  if (list.highestId == INT32_MAX)
    return list.entries.Find(text, id) ? Outcome::kFound : Outcome::kFull;
  if (!list.entries.Add(text, list.highestId + 1)) {
    list.entries.Find(text, id);
    return Outcome::kFound;
  }
  id = ++list.highestId;
  list.modified = true;
  return Outcome::kAdded;
}

int SearchList(char* buffer, int size) {
  const std::vector<std::string_view>& pieces = ParameterPieces(buffer);
  const long handle = pieces.size() >= 2 ? ReadHandle(pieces[0]) : 0;
  bool insert = false;
  for (size_t i = 2; i < pieces.size(); ++i)
    if (SameWord(pieces[i], "InsertOnNotFound")) insert = true;
  ClearAnswer(buffer, size);

  const std::string_view text = pieces.size() >= 2 ? pieces[1] : std::string_view();
  int32_t id = 0;
  Outcome outcome;
  {
    ListUse use;
    ListInfo* list = use.Acquire(handle);
    if (list == nullptr) return HandleError(buffer, size, handle);
    outcome = FindOrAdd(*list, text, insert, id);
  }
  switch (outcome) {
    case Outcome::kFound:
      AnswerIdAndText(buffer, size, id, text, "");
      return 0;
    case Outcome::kAdded:
      AnswerIdAndText(buffer, size, id, text, "New");
      return 0;
    case Outcome::kMissing:
      CopyAnswer(buffer, "0\t\t", size);
      return 0;
    case Outcome::kLineBreak:
      CopyAnswer(buffer, "Text holds a line break and cannot be stored", size);
      return ERR_LIST_TEXT;
    case Outcome::kFull:
      break;
  }
  CopyAnswer(buffer, "No identifier left in list", size);
  return ERR_LIST_FULL;
}

int CloseList(char* buffer, int size) {
  const std::vector<std::string_view>& pieces = ParameterPieces(buffer);
  const long handle = ReadHandle(pieces[0]);
  std::string path, value;
  for (size_t i = 1; i < pieces.size(); ++i)
    if (KeyValue(pieces[i], "File=", value)) path = value;
  ClearAnswer(buffer, size);

  ZRScopedLock registryLock(ListRegistryMutex(), true);
  ListInfo* found = FindListLocked(handle);
  if (found == nullptr) {
    registryLock.Unlock();
    return HandleError(buffer, size, handle);
  }
  if (--found->usageCount >= 1) return 0;
  // The last user: take the list out of the registry first, so no new
  // search can reach it, then wait for searches still using it.
  UnregisterList(handle);
  std::unique_ptr<ListInfo> list(found);
  registryLock.Unlock();
  WaitUntilUnused(*list);

  int status = 0;
  {
    // Waits for a load still running.
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
