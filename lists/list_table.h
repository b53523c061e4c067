// ListTable: the texts of one list with their identifiers, built for
// lookups at hash-table speed in little memory, by many threads at once.
//
// Each entry is one record in an arena (its identifier, its length and its
// bytes) and one 8-byte slot in an open-addressing hash table; a slot holds
// the record's place and a tag of the text's hash, so a lookup reads one
// slot and, nearly always, only the record it is looking for. Texts are
// never removed. The text order the list file needs is made when it is
// asked for: entries added in ascending order (a file read back) are known
// to be in order already, and only those added since are sorted.
//
// Find may run in any number of threads at any time, also while one thread
// adds: records never move, a slot is filled by one atomic store after its
// record is written, and a grown table is a new slot array that replaces
// the old one, which is kept, unchanged, until the table is cleared or
// destroyed. Add and Reserve are for one thread at a time; Clear,
// InTextOrder and the destructor need the table to themselves.
#ifndef ZRUTILS_LISTS_LIST_TABLE_H
#define ZRUTILS_LISTS_LIST_TABLE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/non_copyable.h"
#include "lists/segmented_array.h"

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
  // Bytes the table has allocated: slots (the replaced ones too), arena and
  // bookkeeping.
  size_t MemoryBytes() const;
  // Every entry in ascending byte order of the texts (unsigned bytes, a text
  // before every longer text that begins with it). The texts view the table
  // and stay valid until it changes. Throws std::bad_alloc.
  std::vector<Entry> InTextOrder() const;

 private:
  struct FreeBlock {
    void operator()(void* block) const;
  };
  using Block = std::unique_ptr<char[], FreeBlock>;
  // 1 << bits slots, each 0 (empty) or tag << 40 | (reference + 1).
  struct Slots {
    int bits;
    Block block;
    uint64_t* slot() const { return reinterpret_cast<uint64_t*>(block.get()); }
  };
  struct Chunk {
    Block bytes;
    size_t used;
    size_t capacity;
  };

  const char* Record(uint64_t slot) const;
  uint64_t Append(std::string_view text, int32_t id);
  void Grow(int bits);

  std::atomic<const Slots*> slots_{nullptr};
  // The writer's own: every slot array, the current one last, and the chunks.
  std::vector<std::unique_ptr<Slots>> allSlots_;
  std::vector<Chunk> chunks_;
  // The chunks' addresses by number, for readers.
  SegmentedArray<const char*> chunkAt_;
  size_t count_ = 0;
  // The first sortedCount_ records, in arena order, ascend by text.
  size_t sortedCount_ = 0;
  const char* lastRecord_ = nullptr;
};

#endif
