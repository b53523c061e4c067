// ListInfo: one open list, owned by the list registry.
#ifndef ZRUTILS_LISTS_LIST_INFO_H
#define ZRUTILS_LISTS_LIST_INFO_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/mutex.h"

struct ListInfo {
  // Registry name; empty for an anonymous list. Set before the list is
  // registered and never changed.
  std::string name;
  // Opens not yet matched by a close; guarded by the registry mutex.
  int32_t usageCount = 0;

  // The fields below are guarded by `mutex`.
  // Largest identifier ever read or assigned; new texts get one above it.
  int32_t highestId = 0;
  // Set by an insertion, never cleared: only a changed list is written.
  bool modified = false;
  // The list's file exists but could not be read whole. Such a list must
  // never be written back: it would replace the real contents with the part
  // that was read.
  bool loadFailed = false;
  // Texts in byte-wise order (std::string compares as unsigned bytes): the
  // order the file is written in.
  std::map<std::string, int32_t> entries;
  // The same entries by hash, for lookups: a search in a map of a million
  // texts that share long prefixes costs microseconds, a hash lookup a
  // fraction of that. The keys view the texts held by `entries`, whose nodes
  // never move.
  std::unordered_map<std::string_view, int32_t> index;

  ZRMutex mutex{0};

  // The identifier of text, or null.
  const int32_t* Find(std::string_view text) const {
    const auto found = index.find(text);
    return found == index.end() ? nullptr : &found->second;
  }
  // Adds text with id unless the text is there already (then it keeps its
  // identifier). Texts added in ascending order, as a list file holds them,
  // cost constant time each.
  void Add(std::string text, int32_t id) {
    const size_t before = entries.size();
    const auto added = entries.emplace_hint(entries.end(), std::move(text), id);
    if (entries.size() == before) return;
    try {
      index.emplace(added->first, id);
    } catch (...) {
      entries.erase(added);  // keep the two views the same
      throw;
    }
  }
  void Clear() {
    index.clear();
    entries.clear();
  }
};

#endif
