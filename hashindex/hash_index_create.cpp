// The writing side of HashIndex: sizing, the in-memory table, the value
// list streamed to its ".tmp" file, and the file written into place.
#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "foundation/replacing_file.h"
#include "foundation/text_file.h"
#include "hashindex/bit_packing.h"
#include "hashindex/hash_index.h"
#include "hashindex/hash_index_format.h"

namespace {

// Largest key capacity: the table of about twice as many slots must still
// count its slots in 32 bits.
constexpr uint32_t kMaxKeyCapacity = 0x3FFFFFFF;
constexpr uint32_t kMaxTextLength = 255;
constexpr uint32_t kMaxHeaderLength = 65535;

bool IsPrime(uint64_t n) {
  if (n < 2) return false;
  for (uint64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// The smallest prime above n, at least 17: a prime size makes every probe
// step visit every slot.
uint64_t TableSizeFor(uint64_t n) {
  uint64_t size = n + 1 < 17 ? 17 : n + 1;
  while (!IsPrime(size)) ++size;
  return size;
}

}  // namespace

void HashIndex::AbandonCreate() {
  if (valueList.IsOpen()) {
    valueList.Close(nullptr);
    unlink(ValueListFileName().c_str());
  }
}

int HashIndex::BeginCreate(const char* fileName_, uint64_t maxValue_, uint32_t keyCapacity_) {
  Reset();
  return BeginCreate_(fileName_, maxValue_, 0, keyCapacity_);
}

int HashIndex::BeginCreateUsingList(const char* fileName_, uint64_t maxValue_,
                                    uint32_t listCapacity_, uint32_t keyCapacity_) {
  Reset();
  usesList = true;
  return BeginCreate_(fileName_, maxValue_, listCapacity_, keyCapacity_);
}

int HashIndex::BeginCreateUsingListAndRange(const char* fileName_, uint64_t maxStart,
                                            uint32_t maxRangeLength, uint32_t listCapacity_,
                                            uint32_t keyCapacity_) {
  Reset();
  // The multiplier is stored in 32 bits, and the largest stored value
  // (maxStart + 1) * m must not wrap.
  const uint64_t multiplier = uint64_t{maxRangeLength} + 1;
  uint64_t largest;
  if (multiplier > UINT32_MAX || maxStart == UINT64_MAX ||
      __builtin_mul_overflow(maxStart + 1, multiplier, &largest))
    return ERR_HASHINDEX_TOO_WIDE;
  usesList = true;
  rangeMultiplier = static_cast<uint32_t>(multiplier);
  const int result = BeginCreate_(fileName_, largest, listCapacity_, keyCapacity_);
  return result;
}

int HashIndex::BeginCreate_(const char* fileName_, uint64_t maxValue_, uint32_t listCapacity_,
                            uint32_t keyCapacity_) {
  const bool withList = usesList;
  const uint32_t multiplier = rangeMultiplier;
  Reset();
  if (fileName_ == nullptr || fileName_[0] == '\0') return ERR_HASHINDEX_BAD_CALL;
  // Values are 1 to maxValue: 0 marks empty slots and group ends.
  if (maxValue_ == 0) return ERR_HASHINDEX_BAD_VALUE;
  if (keyCapacity_ > kMaxKeyCapacity) return ERR_HASHINDEX_TOO_WIDE;

  // Every size is formed in 64 bits and refused when the format's 32-bit
  // fields could not hold it, before anything is allocated or created.
  uint64_t capacity = 0;  // list entries, separators included
  uint64_t flag = 0;
  int bits = 0;           // bits per list entry
  uint64_t largestEntry = maxValue_;
  if (withList) {
    bits = BitsNeeded(maxValue_);
    // One 0 entry per key costs keyCapacity * bits, one flag bit per value
    // listCapacity bits: the cheaper encoding is taken.
    capacity = listCapacity_;
    if (capacity >= uint64_t{keyCapacity_} * bits) {
      capacity += keyCapacity_;
    } else {
      flag = uint64_t{1} << bits;
      ++bits;
    }
    if (bits > kMaxPackedBits) return ERR_HASHINDEX_TOO_WIDE;
    largestEntry = capacity;
  }
  const int entryWidth = BitsNeeded(largestEntry) + 1;
  const uint64_t slots = TableSizeFor(2 * uint64_t{keyCapacity_});
  const uint64_t bytes = PackedSectionBytes(slots, entryWidth);
  const uint64_t listSectionBytes = PackedSectionBytes(capacity, bits);
  if (entryWidth > kMaxPackedBits || capacity > UINT32_MAX || bytes > UINT32_MAX ||
      kMaxHeaderLength + 12 + bytes + listSectionBytes > UINT32_MAX)
    return ERR_HASHINDEX_TOO_WIDE;
  if (!table.Resize(bytes)) return ERR_HASHINDEX_NO_MEMORY;
  memset(table.Get(), 0, bytes);

  usesList = withList;
  rangeMultiplier = multiplier;
  fileName = fileName_;
  maxValue = maxValue_;
  hashType = kHashTypeOneAtATime;
  keyCapacity = keyCapacity_;
  listCapacity = static_cast<uint32_t>(capacity);
  listBits = static_cast<uint32_t>(bits);
  listFlag = flag;
  entryBits = static_cast<uint32_t>(entryWidth);
  entryFlag = uint64_t{1} << (entryWidth - 1);
  tableSize = static_cast<uint32_t>(slots);
  tableBytes = static_cast<uint32_t>(bytes);
  if (withList) {
    valueListName = ReplacingFile::TemporaryNameFor(fileName);
    const int result = valueList.Open(valueListName.c_str());
    if (result != 0) return Reset(), result;
  }
  return 0;
}

uint64_t HashIndex::ReadFromTableBuffer(uint32_t slot) const {
  if (!Creating() || slot >= tableSize) return 0;
  const uint64_t bit = uint64_t{slot} * entryBits;
  return ExtractPackedBits(table.Get() + bit / 8, static_cast<int>(bit % 8),
                           static_cast<int>(entryBits));
}

int HashIndex::WriteToTableBuffer(uint32_t slot, uint64_t value) {
  if (!Creating()) return ERR_HASHINDEX_BAD_CALL;
  if (slot >= tableSize) return ERR_HASHINDEX_SLOT_RANGE;
  // A wider value would spill into the next slot.
  if ((value >> entryBits) != 0) return ERR_HASHINDEX_BAD_VALUE;
  OrPackedBits(table.Get(), uint64_t{slot} * entryBits, static_cast<int>(entryBits), value);
  return 0;
}

int HashIndex::SetFlagInTableBuffer(uint32_t slot) {
  if (!Creating()) return ERR_HASHINDEX_BAD_CALL;
  if (slot >= tableSize) return ERR_HASHINDEX_SLOT_RANGE;
  const uint64_t bit = uint64_t{slot} * entryBits;
  table[bit / 8] |= static_cast<unsigned char>(0x80u >> (bit % 8));
  return 0;
}

bool HashIndex::GetFlagInTableBuffer(uint32_t slot) const {
  if (!Creating() || slot >= tableSize) return false;
  const uint64_t bit = uint64_t{slot} * entryBits;
  return (table[bit / 8] & (0x80u >> (bit % 8))) != 0;
}

int HashIndex::SetHashType(uint8_t type) {
  if (!Creating() || keyCount != 0 || listCount != 0) return ERR_HASHINDEX_BAD_CALL;
  if (type != kHashTypeLookup3 && type != kHashTypeOneAtATime) return ERR_HASHINDEX_HASH_TYPE;
  hashType = type;
  return 0;
}

int HashIndex::Insert(const char* key, uint64_t value) {
  if (!Creating() || key == nullptr) return ERR_HASHINDEX_BAD_CALL;
  if (value == 0 || value > maxValue) return ERR_HASHINDEX_BAD_VALUE;
  // A key is new unless it repeats the previous one; the first key is
  // always new, even when it is empty.
  const bool newKey = !usesList || listCount == 0 || lastKey != key;
  // Both capacities are checked before anything is written, so a refused
  // insert leaves a consistent index behind.
  if (newKey && keyCount >= keyCapacity) return ERR_HASHINDEX_FULL;
  const uint32_t listEntries = !usesList ? 0 : (newKey && listFlag == 0) ? 2 : 1;
  if (uint64_t{listCount} + listEntries > listCapacity) return ERR_HASHINDEX_FULL;

  const uint32_t hash = HashFunction(key, strlen(key));
  const uint32_t home = HomeSlot(hash);
  const uint32_t skip = CalculateSkip(hash, key);
  uint32_t slot = home;
  if (newKey) {
    // Find the free slot first: a table with no free slot on this probe
    // refuses the key without having been changed.
    while (slot != iNoHandle && ReadFromTableBuffer(slot) != 0) slot = NextSlot(slot, skip, home);
    if (slot == iNoHandle) return ERR_HASHINDEX_FULL;
  }

  uint64_t entry = value;
  if (usesList) {
    if (newKey && listFlag == 0) {
      const int result = valueList.AppendBits(0, static_cast<int>(listBits));
      if (result != 0) return result;
      ++listCount;
    }
    const int result =
        valueList.AppendBits(newKey ? value | listFlag : value, static_cast<int>(listBits));
    if (result != 0) return result;
    ++listCount;
    if (!newKey) return 0;  // the value joins its key's group
    lastKey = key;
    entry = listCount;
  }
  ++keyCount;
  for (uint32_t p = home; p != slot; p = NextSlot(p, skip, home)) SetFlagInTableBuffer(p);
  return WriteToTableBuffer(slot, entry);
}

int HashIndex::InsertRange(const char* key, uint64_t start, uint64_t end) {
  if (start > end) return ERR_HASHINDEX_RANGE_ORDER;
  if (end - start >= rangeMultiplier) return ERR_HASHINDEX_RANGE_LENGTH;
  // No wrap: start * m + (m - 1) is checked against maxValue by Insert
  // only if it did not overflow first.
  uint64_t stored;
  if (__builtin_mul_overflow(start, uint64_t{rangeMultiplier}, &stored) ||
      __builtin_add_overflow(stored, end - start, &stored))
    return ERR_HASHINDEX_BAD_VALUE;
  return Insert(key, stored);
}

int HashIndex::EndCreate(const char* text_, uint64_t flags_, uint8_t dataVersion_,
                         const void* userData_, uint32_t userDataSize_) {
  if (!Creating()) return ERR_HASHINDEX_BAD_CALL;
  // Fields the header could not hold are refused before anything is
  // written, and creation can go on.
  if (userData_ == nullptr && userDataSize_ != 0) return ERR_HASHINDEX_BAD_CALL;
  const size_t textLength = text_ != nullptr ? strlen(text_) : 0;
  if (textLength > kMaxTextLength ||
      kHashIndexFixedHeader + uint64_t{userDataSize_} + textLength > kMaxHeaderLength)
    return ERR_HASHINDEX_TOO_WIDE;

  uint64_t listBytes = 0;
  int result = valueList.Close(&listBytes);
  // The list file must hold every entry counted: a short one would give
  // a file whose reader refuses it, or worse, wrong values.
  if (result == 0 && listBytes != PackedSectionBytes(listCount, static_cast<int>(listBits)))
    result = ERR_HASHINDEX_WRITE;
  if (result == 0)
    result = WriteIndexFile(text_, static_cast<uint32_t>(textLength), flags_, dataVersion_,
                            userData_, userDataSize_, listBytes);
  if (usesList) unlink(ValueListFileName().c_str());
  table.Clear();
  tableBytes = 0;
  tableSize = 0;
  return result;
}

int HashIndex::WriteIndexFile(const char* text_, uint32_t textLength, uint64_t flags_,
                              uint8_t dataVersion_, const void* userData_,
                              uint32_t userDataSize_, uint64_t listBytes) {
  HashIndexHeader header;
  header.headerLength = static_cast<uint16_t>(kHashIndexFixedHeader + userDataSize_ + textLength);
  header.formatVersion = 1;
  header.dataVersion = dataVersion_;
  header.hashType = hashType;
  header.entryBits = static_cast<uint16_t>(entryBits);
  header.tableSize = tableSize;
  header.keyCount = keyCount;
  header.tableBytes = tableBytes;
  header.rangeMultiplier = rangeMultiplier;
  header.listCount = listCount;
  header.listBytes = static_cast<uint32_t>(listBytes);
  header.listBits = static_cast<uint16_t>(listBits);
  header.listFlagBits = static_cast<uint8_t>(BitsNeeded(listFlag));
  header.textLength = static_cast<uint8_t>(textLength);
  header.flags = flags_;
  header.userDataSize = static_cast<uint16_t>(userDataSize_);
  unsigned char fixed[kHashIndexFixedHeader];
  header.Encode(fixed);

  // Written under a temporary name and renamed into place only once every
  // byte has reached the disk: a failure never leaves a truncated index in
  // place of a good one, and a process that has the old index mapped keeps
  // reading the old file.
  ReplacingFile out;
  if (!out.Open(fileName)) {
    fprintf(stderr, "%s: %s\n", fileName.c_str(), strerror(errno));
    return ERR_HASHINDEX_CREATE;
  }
  FILE* f = out.f();
  auto put = [f](const void* data, size_t size) {
    return size == 0 || fwrite(data, 1, size, f) == size;
  };
  if (!put(fixed, sizeof fixed) || !put(userData_, userDataSize_) || !put(text_, textLength) ||
      !put(kHashIndexMarker, 4) || !put(table.Get(), tableBytes) || !put(kHashIndexMarker, 4))
    return ERR_HASHINDEX_WRITE;
  if (usesList) {
    SelfClosingFILE list;
    if (!list.Open(ValueListFileName().c_str(), "rb", true)) return ERR_HASHINDEX_REOPEN_LIST;
    char block[1024];
    uint64_t copied = 0;
    size_t got;
    while ((got = fread(block, 1, sizeof block, list.f())) > 0) {
      if (!put(block, got)) return ERR_HASHINDEX_WRITE;
      copied += got;
    }
    if (ferror(list.f()) != 0 || copied != listBytes) return ERR_HASHINDEX_REOPEN_LIST;
    if (!put(kHashIndexMarker, 4)) return ERR_HASHINDEX_WRITE;
  }
  return out.Commit() ? 0 : ERR_HASHINDEX_WRITE;
}
