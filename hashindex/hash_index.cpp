// The reading side of HashIndex: header checks, probing and the searcher's
// step. Creation lives in hash_index_create.cpp.
#include "hashindex/hash_index.h"

#include <cstdio>
#include <cstring>

#include "foundation/byte_order.h"
#include "hashindex/bit_packing.h"
#include "hashindex/hash_functions.h"
#include "hashindex/hash_index_format.h"
#include "hashindex/hash_index_searcher.h"

HashIndex::~HashIndex() { AbandonCreate(); }

void HashIndex::Reset() {
  AbandonCreate();
  entryBits = listBits = tableSize = keyCount = listCount = tableBytes = slotMask = 0;
  entryFlag = 0;
  usesList = false;
  listFlag = 0;
  rangeMultiplier = 0;
  fileName.clear();
  valueListName.clear();
  table.Clear();
  hashType = 0;
  maxValue = 0;
  keyCapacity = listCapacity = 0;
  lastKey.clear();
  indexFile = nullptr;
  tableOffset = listOffset = 0;
  flags = 0;
  userDataSize = 0;
  userData.Clear();
  text.Clear();
  dataVersion = 0;
}

int HashIndex::BeginRead(const MTFile* file, int maxDataVersion) {
  Reset();
  if (file == nullptr) return ERR_HASHINDEX_BAD_CALL;
  unsigned char h[kHashIndexFixedHeader];
  int result = file->Read(h, 0, kHashIndexFixedHeader, nullptr);
  if (result != 0) return result;
  HashIndexHeader header;
  header.Decode(h);

  // The header is untrusted: every field that later sizes a shift, a
  // division or a read is checked here, with all arithmetic in 64 bits, so
  // that no search can misbehave whatever the file holds.
  if (memcmp(h, kHashIndexMagic, 4) != 0) return ERR_HASHINDEX_MAGIC;
  if (header.headerLength < kHashIndexFixedHeader) return ERR_HASHINDEX_HEADER_LENGTH;
  if (header.formatVersion > 1) return ERR_HASHINDEX_FORMAT_VERSION;
  if (header.dataVersion > maxDataVersion) return ERR_HASHINDEX_DATA_VERSION;
  if (header.hashType != kHashTypeLookup3 && header.hashType != kHashTypeOneAtATime)
    return ERR_HASHINDEX_HASH_TYPE;
  if (uint64_t{header.userDataSize} + header.textLength + kHashIndexFixedHeader >
      header.headerLength)
    return ERR_HASHINDEX_HEADER_OVERFLOW;
  const bool hasList = header.listCount != 0 && header.listBits != 0;
  const uint64_t tableAt = uint64_t{header.headerLength} + 4;
  const uint64_t listAt = tableAt + header.tableBytes + 4;
  const uint64_t end = listAt + (hasList ? uint64_t{header.listBytes} + 4 : 0);
  if (header.entryBits < 1 || header.entryBits > kMaxPackedBits ||
      header.listBits > kMaxPackedBits || (header.listCount != 0 && header.listBits == 0) ||
      header.listFlagBits > header.listBits || header.tableSize == 0 ||
      header.tableBytes < PackedSectionBytes(header.tableSize, header.entryBits) ||
      header.listBytes < PackedSectionBytes(header.listCount, header.listBits) ||
      end > static_cast<uint64_t>(file->FileSize()))
    return ERR_HASHINDEX_BAD_SECTIONS;

  const uint64_t markers[3] = {header.headerLength, tableAt + header.tableBytes,
                               listAt + header.listBytes};
  const int markerErrors[3] = {ERR_HASHINDEX_MARKER1, ERR_HASHINDEX_MARKER2,
                               ERR_HASHINDEX_MARKER3};
  for (int i = 0; i < (hasList ? 3 : 2); ++i) {
    unsigned char marker[4];
    result = file->Read(marker, static_cast<int32_t>(markers[i]), 4, nullptr);
    if (result != 0) return result;
    if (memcmp(marker, kHashIndexMarker, 4) != 0) return markerErrors[i];
  }

  // User data and text: their size is known to lie inside the header.
  if (header.userDataSize != 0) {
    if (!userData.Resize(header.userDataSize)) return ERR_HASHINDEX_NO_MEMORY;
    result = file->Read(userData.Get(), kHashIndexFixedHeader, header.userDataSize, nullptr);
    if (result != 0) return Reset(), result;
  }
  if (!text.Resize(header.textLength + 1u)) return Reset(), ERR_HASHINDEX_NO_MEMORY;
  result = file->Read(text.Get(), kHashIndexFixedHeader + header.userDataSize,
                      header.textLength, nullptr);
  if (result != 0) return Reset(), result;
  text[header.textLength] = '\0';

  entryBits = header.entryBits;
  listBits = header.listBits;
  tableSize = header.tableSize;
  keyCount = header.keyCount;
  listCount = header.listCount;
  tableBytes = header.tableBytes;
  slotMask = (tableSize & (tableSize - 1)) == 0 ? tableSize - 1 : 0;
  entryFlag = uint64_t{1} << (entryBits - 1);
  usesList = hasList;
  listFlag = header.listFlagBits == 0 ? 0 : uint64_t{1} << (header.listFlagBits - 1);
  rangeMultiplier = header.rangeMultiplier;
  hashType = header.hashType;
  tableOffset = static_cast<uint32_t>(tableAt);
  listOffset = static_cast<uint32_t>(listAt);
  flags = header.flags;
  userDataSize = header.userDataSize;
  dataVersion = header.dataVersion;
  indexFile = file;
  return 0;
}

int HashIndex::ReadPackedValue(uint32_t sectionOffset, uint32_t width, uint64_t index,
                               uint64_t& value) const {
  value = 0;
  const uint64_t bit = index * width;
  const uint64_t at = sectionOffset + bit / 8;
  // MTFile addresses files by signed 32-bit offsets.
  if (bit / 8 > UINT32_MAX || at > INT32_MAX) return ERR_HASHINDEX_BIT_POSITION;
  const int firstBit = static_cast<int>(bit % 8);
  const int n = PackedByteCount(firstBit, static_cast<int>(width));
  unsigned char bytes[8];
  const int result = indexFile->Read(bytes, static_cast<int32_t>(at), n, nullptr);
  if (result != 0) return result;
  value = ExtractPackedBits(bytes, firstBit, static_cast<int>(width));
  return 0;
}

int HashIndex::ReadFromTable(uint32_t slot, uint64_t& value) const {
  value = 0;
  if (!Readable()) return ERR_HASHINDEX_BAD_CALL;
  if (slot >= tableSize) return ERR_HASHINDEX_SLOT_RANGE;
  return ReadPackedValue(tableOffset, entryBits, slot, value);
}

int HashIndex::ReadValueFromFile(uint32_t slot, uint64_t& value) const {
  value = 0;
  if (!Readable()) return ERR_HASHINDEX_BAD_CALL;
  return ReadPackedValue(tableOffset, entryBits, slot, value);
}

int HashIndex::ReadFromList(uint32_t position, uint64_t& value) const {
  value = 0;
  if (!Readable()) return ERR_HASHINDEX_BAD_CALL;
  if (!usesList) return ERR_HASHINDEX_NO_LIST;
  if (position == 0 || position > listCount) return ERR_HASHINDEX_LIST_RANGE;
  return ReadPackedValue(listOffset, listBits, position - 1u, value);
}

uint32_t HashIndex::HashFunction(const void* data, size_t length) const {
  return hashType == kHashTypeLookup3 ? Lookup3HashLittle(data, length, 0)
                                      : OneAtATimeHash(data, length);
}

uint32_t HashIndex::CalculateSkip(uint32_t hash, const char* /*key*/) const {
  uint32_t skip = (hash >> 24) + 1;
  // A step that is a whole number of rounds of a small table would never
  // leave the home slot.
  if (tableSize != 0 && tableSize <= skip && skip % tableSize == 0) skip = 1;
  return skip;
}

uint32_t HashIndex::HomeSlot(uint32_t hash) const {
  return slotMask != 0 ? hash & slotMask : hash % tableSize;
}

uint32_t HashIndex::NextSlot(uint32_t slot, uint32_t skip, uint32_t home) const {
  // The probe p, p + s, p + 2s, ... (mod tableSize) comes back to its home
  // slot after visiting every slot it can reach: all of a prime table, only
  // part of a power-of-two table with an even step. Ending there bounds
  // every probe loop, even over a damaged table flagged all round.
  const uint32_t next = static_cast<uint32_t>((uint64_t{slot} + skip) % tableSize);
  return next == home ? iNoHandle : next;
}

int HashIndex::Search(const char* key, uint32_t& slot, uint64_t& value) const {
  value = 0;
  if (!Readable() || key == nullptr) return ERR_HASHINDEX_BAD_CALL;
  const uint32_t hash = HashFunction(key, strlen(key));
  const uint32_t home = HomeSlot(hash);
  const uint32_t p = slot == iNoHandle ? home : slot;
  uint64_t entry;
  const int result = ReadFromTable(p, entry);
  if (result != 0) return result;
  if ((entry & entryFlag) != 0) {
    value = entry & ~entryFlag;
    slot = NextSlot(p, CalculateSkip(hash, key), home);
  } else {
    value = entry;
    slot = iNoHandle;
  }
  return 0;
}

int HashIndex::FirstListValue(uint32_t listPos, uint64_t& value) const {
  const int result = ReadFromList(listPos, value);
  if (result != 0) return result;
  if (listFlag != 0) {
    if ((value & listFlag) == 0) return value = 0, ERR_HASHINDEX_LIST_FLAG;
    value &= ~listFlag;
  }
  return 0;
}

int HashIndex::SearchUsingList(const char* key, uint32_t& slot, uint64_t& value,
                               uint32_t& listPos) const {
  value = 0;
  listPos = 0;
  if (!Readable() || key == nullptr) return ERR_HASHINDEX_BAD_CALL;
  if (!usesList) return ERR_HASHINDEX_NO_LIST;
  uint64_t entry;
  const int result = Search(key, slot, entry);
  if (result != 0) return result;
  listPos = entry <= UINT32_MAX ? static_cast<uint32_t>(entry) : 0;
  return listPos == 0 ? 0 : FirstListValue(listPos, value);
}

int HashIndex::GetNextInList(uint32_t& listPos, uint64_t& value) const {
  value = 0;
  if (!Readable()) return ERR_HASHINDEX_BAD_CALL;
  if (!usesList) return ERR_HASHINDEX_NO_LIST;
  if (listPos >= listCount) return 0;  // the list's end ends the group
  ++listPos;
  const int result = ReadFromList(listPos, value);
  if (result != 0) return result;
  // In the flag encoding the next group's first value ends this group; in
  // the terminator encoding its 0 entry does, as read.
  if (listFlag != 0 && (value & listFlag) != 0) value = 0;
  return 0;
}

int HashIndex::Search2(const char*, uint32_t&, uint64_t&, SearchCallback, void*) const {
  return ERR_HASHINDEX_NOT_SUPPORTED;
}

int HashIndex::ReadEntryForSearch(uint32_t slot, uint64_t& value) const {
  if (Creating()) {
    value = ReadFromTableBuffer(slot);
    return 0;
  }
  return ReadFromTable(slot, value);
}

int HashIndex::Search3(HashIndexSearcher& s) const {
  // An index being created can be searched from its table in memory, but
  // only without a list: the list is still in its ".tmp" file.
  if (!(Readable() || (Creating() && !usesList))) return ERR_HASHINDEX_BAD_CALL;
  if (s.starting) {
    s.starting = false;
    s.listPos = 0;
    s.rangeEnd = 0;
    s.inRange = false;
    s.searchState = HashIndexSearcher::SearchNotMatched;
    const uint32_t hash = HashFunction(s.key.data(), s.key.size());
    s.homeSlot = HomeSlot(hash);
    s.slot = s.homeSlot;
    s.skip = CalculateSkip(hash, s.key.c_str());
  }
  if (s.searchState == HashIndexSearcher::SearchNeedsCheck) return ERR_HASHINDEX_NOT_ANSWERED;
  if (s.searchState == HashIndexSearcher::SearchFinished) return 0;

  // Expands a stored value into the first value of its range.
  auto deliver = [&](uint64_t stored) {
    s.value = stored;
    s.inRange = rangeMultiplier != 0;
    if (s.inRange) {
      s.value = stored / rangeMultiplier;
      s.rangeEnd = s.value + stored % rangeMultiplier;
    }
  };

  if (s.searchState == HashIndexSearcher::SearchMatched) {
    // The rest of the matched key's values need no check.
    if (s.inRange) {
      if (s.value < s.rangeEnd) return ++s.value, 0;
      s.inRange = false;
      s.rangeEnd = 0;
    }
    if (s.listPos != 0) {
      uint64_t next;
      const int result = GetNextInList(s.listPos, next);
      if (result != 0) return result;
      if (next != 0) return deliver(next), 0;
      s.listPos = 0;
    }
  }

  // The next probe slot. Whether the search has finished is told by the
  // stored entry, not by the value delivered: a range starting at 0 is
  // delivered as 0.
  s.value = 0;
  s.inRange = false;
  s.rangeEnd = 0;
  uint64_t stored = 0;
  if (s.slot != HashIndex::iNoHandle) {
    uint64_t entry;
    int result = ReadEntryForSearch(s.slot, entry);
    if (result != 0) return result;
    s.searchState = HashIndexSearcher::SearchNeedsCheck;
    if ((entry & entryFlag) != 0) {
      entry &= ~entryFlag;
      s.slot = NextSlot(s.slot, s.skip, s.homeSlot);
    } else {
      s.slot = HashIndex::iNoHandle;
    }
    if (usesList) {
      s.listPos = entry <= UINT32_MAX ? static_cast<uint32_t>(entry) : 0;
      if (s.listPos != 0) {
        result = FirstListValue(s.listPos, stored);
        if (result != 0) return result;
      }
    } else {
      stored = entry;
    }
    if (stored != 0) deliver(stored);
  }
  if (stored == 0) s.searchState = HashIndexSearcher::SearchFinished;
  return 0;
}

void HashIndex::GetUserMetaData(const char*& data, uint32_t& size) const {
  data = userDataSize != 0 ? userData.Get() : nullptr;
  size = userDataSize;
}

uint64_t HashIndex::GetMaxValueFound() const {
  int bits = usesList ? static_cast<int>(listBits)
                      : (entryBits != 0 ? static_cast<int>(entryBits) - 1 : 0);
  if (listFlag != 0 && bits > 0) --bits;
  const uint64_t largest = (uint64_t{1} << bits) - 1;
  return rangeMultiplier != 0 ? largest / rangeMultiplier : largest;
}

int HashIndex::DebugOutput() const {
  if (!Readable()) return ERR_HASHINDEX_BAD_CALL;
  if (!usesList) {
    printf("Records in index: %u\n", keyCount);
    return 0;
  }
  if (rangeMultiplier == 0) {
    printf("Records in Index: %u\n", listCount);
    return 0;
  }
  fprintf(stderr, "Scanning index file (to %u):          ", listCount);
  uint64_t total = 0;
  for (uint32_t position = 1; position <= listCount; ++position) {
    uint64_t value;
    const int result = ReadFromList(position, value);
    if (result != 0) return result;
    value &= ~listFlag;
    // The terminator encoding's 0 entries separate groups; they stand for
    // no range and are not counted.
    if (value != 0 || listFlag != 0) total += value % rangeMultiplier + 1;
    if (position % 100000 == 0) fprintf(stderr, "\b\b\b\b\b\b\b\b\b%9u", position);
    if (position == listCount) break;  // listCount may be the largest uint32_t
  }
  fprintf(stderr, "\b\b\b\b\b\b\b\b\b%9u\n", listCount);
  printf("Records In Index: %llu\n", static_cast<unsigned long long>(total));
  return 0;
}
