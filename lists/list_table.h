// ListTable: the texts of one list with their identifiers, built for
// lookups at hash-table speed in little memory.
//
// Each entry is one record in an arena (its identifier, its length and its
// bytes) and one 8-byte slot in an open-addressing hash table; a slot holds
// the record's place and a tag of the text's hash, so a lookup reads one
// slot and, nearly always, only the record it is looking for. Texts are
// never removed. The text order the list file needs is made when it is
// asked for: entries added in ascending order (a file read back) are known
// to be in order already, and only those added since are sorted.
//
// Not safe for concurrent use by itself: any number of threads may call the
// const members at once, but Add, Reserve and Clear need the table to
// themselves (ListInfo says how the lists keep to that).
#ifndef ZRUTILS_LISTS_LIST_TABLE_H
#define ZRUTILS_LISTS_LIST_TABLE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/non_copyable.h"

class ListTable : private ZRNonCopyable {
 public:
  struct Entry {
    std::string_view text;  // views the table's arena
    int32_t id;
  };

  ListTable() = default;

  // True with `id` set when text is in the table. Exact: every byte counts.
  bool Find(std::string_view text, int32_t& id) const;
  // Adds text with id unless the text is there already (then it keeps its
  // identifier); true when added. Throws std::bad_alloc, leaving the table
  // as it was.
  bool Add(std::string_view text, int32_t id);
  // Makes room for `count` entries in all, so that adding them never grows
  // the hash table. Throws std::bad_alloc.
  void Reserve(size_t count);
  // Forgets every entry and frees the memory.
  void Clear();

  size_t Size() const { return count_; }
  // Bytes the table has allocated: slots, arena and bookkeeping.
  size_t MemoryBytes() const;
  // Every entry in ascending byte order of the texts (unsigned bytes, a text
  // before every longer text that begins with it). The texts view the table
  // and stay valid until it changes. Throws std::bad_alloc.
  std::vector<Entry> InTextOrder() const;

 private:
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t used = 0;
    size_t capacity = 0;
  };

  const char* Record(uint64_t slot) const;
  uint64_t Append(std::string_view text, int32_t id);
  void Rehash(int bits);
  void Place(uint64_t slot, uint64_t hash);

  std::vector<uint64_t> slots_;  // 0: empty; else tag << 40 | (reference + 1)
  int bits_ = 0;                 // slots_.size() == 1 << bits_ when not empty
  size_t count_ = 0;
  std::vector<Chunk> chunks_;
  // The first sortedCount_ records, in arena order, ascend by text.
  size_t sortedCount_ = 0;
  const char* lastRecord_ = nullptr;
};

#endif
