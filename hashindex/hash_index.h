// HashIndex: an on-disk hash table that maps text keys to unsigned values
// (typically record numbers of another file) without storing the keys. The
// table's entries are bit-packed, each only as wide as the largest value
// needs plus a continue flag; an index may add a bit-packed list of several
// values per key, and values that stand for whole ranges. The format is
// described in docs/hash_index_format.md.
//
// Since keys are not stored, a search yields candidates: the caller checks
// each against its own data (Search with the returned slot, or a
// HashIndexSearcher answered with SetMatched).
//
// Reading: BeginRead checks the header of an index held in a caller's open
// MTFile (any open mode); the file stays owned by the caller and must stay
// open while the index is used. No part of the table is loaded: each probe
// reads at most 8 bytes. After a successful BeginRead, the search and read
// functions change nothing in the object, so any number of threads may
// search one index at once (each with its own slot variables or searcher).
// BeginRead, the creation functions and destruction must not overlap any
// other call.
//
// Creation (one thread): BeginCreate / BeginCreateUsingList /
// BeginCreateUsingListAndRange, then Insert or InsertRange for each value,
// then EndCreate, which writes the file under a temporary name and renames
// it into place only when every write succeeded: an existing index of that
// name stays as it was until then (and a process that has it mapped keeps
// its old bytes). The value list is streamed to a temporary file beside it meanwhile.
#ifndef ZRUTILS_HASHINDEX_HASH_INDEX_H
#define ZRUTILS_HASHINDEX_HASH_INDEX_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/dynamic_array.h"
#include "foundation/export.h"
#include "foundation/mt_file.h"
#include "foundation/non_copyable.h"
#include "hashindex/hash_index_errors.h"
#include "hashindex/output_bit_file.h"

class HashIndexSearcher;

// Size of the fixed part of the header, and the hash types it names.
constexpr uint32_t kHashIndexFixedHeader = 54;
constexpr uint8_t kHashTypeLookup3 = 1;
constexpr uint8_t kHashTypeOneAtATime = 2;

class ZRU_EXPORT HashIndex : private ZRNonCopyable {
 public:
  // "No slot": the first probe of a key, and the end of its candidates.
  static constexpr uint32_t iNoHandle = 4294967295u;

  HashIndex() = default;
  // Abandons a creation in progress: no index file is written, and the
  // ".tmp" value list is closed and removed.
  ~HashIndex();

  // ---- Reading ----

  // Reads and checks the header of the index in file (not owned; any open
  // mode). Everything in the header is checked against the file's size
  // before it is used; a failure leaves the object unusable (searches answer
  // 4819) until the next successful BeginRead. maxDataVersion is the newest
  // dataVersion the caller understands.
  int BeginRead(const MTFile* file, int maxDataVersion);

  // One candidate of key. slot is in and out: iNoHandle on the first call;
  // on return the slot to pass next, or iNoHandle when there are no further
  // candidates (also once the probe has come round to its first slot).
  // value receives the candidate, 0 when there is none.
  int Search(const char* key, uint32_t& slot, uint64_t& value) const;
  // As Search, for an index with a list (4810 without): listPos receives
  // the list position of the candidate's first value and value that value
  // (the group-start flag removed); both 0 when there is no candidate.
  int SearchUsingList(const char* key, uint32_t& slot, uint64_t& value,
                      uint32_t& listPos) const;
  // Moves listPos to the next value of its group; value 0 when the group has
  // ended.
  int GetNextInList(uint32_t& listPos, uint64_t& value) const;
  // Not supported: returns 4820 and does nothing else.
  typedef int (*SearchCallback)(void* context, uint64_t value);
  int Search2(const char* key, uint32_t& slot, uint64_t& value, SearchCallback callback,
              void* context) const;
  // The step of HashIndexSearcher::SearchNext (which calls it).
  int Search3(HashIndexSearcher& searcher) const;

  // The table entry at slot, continue flag included (4821 beyond the table).
  int ReadFromTable(uint32_t slot, uint64_t& value) const;
  // List entry position, 1-based (4822 for 0 or beyond the list).
  int ReadFromList(uint32_t position, uint64_t& value) const;
  // ReadFromTable without the slot check: a slot beyond the table reads
  // whatever lies there in the file, still never outside the file.
  int ReadValueFromFile(uint32_t slot, uint64_t& value) const;

  uint64_t GetFlags() const { return flags; }
  // The creator's user data block and its size; owned by the index, valid
  // until the next BeginRead or destruction. Null and 0 when there is none.
  void GetUserMetaData(const char*& data, uint32_t& size) const;
  // The description text (empty when there is none).
  const char* GetText() const { return text.Get() != nullptr ? text.Get() : ""; }
  uint8_t GetDataVersion() const { return dataVersion; }
  // The largest value the index can return.
  uint64_t GetMaxValueFound() const;
  // The index's hash of length bytes at data.
  uint32_t HashFunction(const void* data, size_t length) const;
  // Probe step for hash (1 to 256); key is not used.
  uint32_t CalculateSkip(uint32_t hash, const char* key) const;
  // Counts of the index on standard output (and progress on standard error
  // for ranges).
  int DebugOutput() const;

  uint32_t EntryBits() const { return entryBits; }
  uint32_t ListBits() const { return listBits; }
  uint32_t TableSize() const { return tableSize; }
  uint32_t TableBytes() const { return tableBytes; }
  uint32_t KeyCount() const { return keyCount; }
  uint32_t ListCount() const { return listCount; }
  uint64_t ListFlag() const { return listFlag; }
  uint32_t RangeMultiplier() const { return rangeMultiplier; }
  bool UsesList() const { return usesList; }
  uint8_t HashType() const { return hashType; }

  // ---- Creation ----

  // An index of one value (1 to maxValue) per key for up to keyCapacity
  // keys (at most 1073741823). Any creation in progress is abandoned.
  int BeginCreate(const char* fileName, uint64_t maxValue, uint32_t keyCapacity);
  // An index with a value list: up to listCapacity values (1 to maxValue)
  // in all for up to keyCapacity keys.
  int BeginCreateUsingList(const char* fileName, uint64_t maxValue, uint32_t listCapacity,
                           uint32_t keyCapacity);
  // As with a list, each value standing for a range start .. end with
  // start <= maxStart and end - start <= maxRangeLength.
  int BeginCreateUsingListAndRange(const char* fileName, uint64_t maxStart,
                                   uint32_t maxRangeLength, uint32_t listCapacity,
                                   uint32_t keyCapacity);
  // Chooses the hash function of the index being created:
  // kHashTypeOneAtATime (what every creation starts with) or
  // kHashTypeLookup3. Only before the first Insert, since every entry's slot
  // depends on it: 4819 otherwise, 4807 for another type.
  int SetHashType(uint8_t type);
  // Enters value for key (a NUL-terminated text). With a list, consecutive
  // calls for the same key form that key's group; a key that comes back
  // later starts a second group. Value 0 is refused (4804): it would read as
  // an empty slot or a group end. 4805 when a capacity would be passed,
  // checked before anything is written, so the index stays usable.
  int Insert(const char* key, uint64_t value);
  // Enters the range start .. end (end - start below rangeMultiplier).
  int InsertRange(const char* key, uint64_t start, uint64_t end);
  // Writes the index file. text (may be null) is at most 255 bytes;
  // userData (may be null only with size 0) is copied as it stands;
  // the header (54 + userDataSize + text length bytes) must stay within
  // 65535. These are checked before anything is written (4801, 4819), and
  // creation can then go on. After any other failure, creation is over:
  // nothing is left behind but the index that was there before.
  int EndCreate(const char* text, uint64_t flags, uint8_t dataVersion, const void* userData,
                uint32_t userDataSize);

  // The in-memory table being built. A slot beyond the table reads as 0
  // (and a flag as false) and is refused when written (4821); a value too
  // wide for an entry is refused (4804).
  uint64_t ReadFromTableBuffer(uint32_t slot) const;
  int WriteToTableBuffer(uint32_t slot, uint64_t value);
  int SetFlagInTableBuffer(uint32_t slot);
  bool GetFlagInTableBuffer(uint32_t slot) const;
  // Where the value list is streamed during creation: a name of this
  // creation's own beside the index (fileName + ".tmp" and a number), so
  // that two creations of one index at once never write into each other's
  // list. Empty when no creation with a list is going on.
  const std::string& ValueListFileName() const { return valueListName; }

 private:
  friend class HashIndexSearcher;

  // Forgets everything: the object is neither read nor being created.
  void Reset();
  // Abandons a creation in progress and removes its ".tmp" file.
  void AbandonCreate();
  int BeginCreate_(const char* fileName, uint64_t maxValue, uint32_t listCapacity,
                   uint32_t keyCapacity);
  int WriteIndexFile(const char* text, uint32_t textLength, uint64_t flags,
                     uint8_t dataVersion, const void* userData, uint32_t userDataSize,
                     uint64_t listBytes);
  int ReadPackedValue(uint32_t sectionOffset, uint32_t width, uint64_t index,
                      uint64_t& value) const;
  uint32_t HomeSlot(uint32_t hash) const;
  // The slot after slot on a probe with step skip; iNoHandle once the probe
  // would come back to home, having visited every slot it can reach.
  uint32_t NextSlot(uint32_t slot, uint32_t skip, uint32_t home) const;
  // Table entries for the searcher: the in-memory table while an index
  // without a list is being created, the file otherwise.
  int ReadEntryForSearch(uint32_t slot, uint64_t& value) const;
  bool Readable() const { return indexFile != nullptr && tableSize != 0; }
  bool Creating() const { return indexFile == nullptr && tableSize != 0; }
  // A list value checked for and stripped of its group-start flag.
  int FirstListValue(uint32_t listPos, uint64_t& value) const;

  uint32_t entryBits = 0;
  uint32_t listBits = 0;
  uint32_t tableSize = 0;
  uint32_t keyCount = 0;
  uint32_t listCount = 0;
  uint32_t tableBytes = 0;
  uint32_t slotMask = 0;
  uint64_t entryFlag = 0;
  bool usesList = false;
  uint64_t listFlag = 0;
  uint32_t rangeMultiplier = 0;
  std::string fileName;
  DynamicArray<unsigned char> table;
  uint8_t hashType = 0;
  uint64_t maxValue = 0;
  uint32_t keyCapacity = 0;
  uint32_t listCapacity = 0;
  OutputBitFile valueList;
  std::string valueListName;
  std::string lastKey;
  const MTFile* indexFile = nullptr;
  uint32_t tableOffset = 0;
  uint32_t listOffset = 0;
  uint64_t flags = 0;
  uint32_t userDataSize = 0;
  DynamicArray<char> userData;
  DynamicArray<char> text;
  uint8_t dataVersion = 0;
};

#endif
