#include "lists/list_table.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace {

// A record is its identifier, its length and its bytes, padded so that the
// next record's identifier is aligned. Records are appended in the order the
// entries were added, in chunks that never move, and a reference to one is
// its chunk's number and its offset there (19 and 21 bits, 40 in all).
// Chunks start small, so a short list costs little, and double up to one
// large page; a record larger than that has a chunk of its own.
constexpr int kOffsetBits = 21;
constexpr size_t kLargePage = size_t{1} << kOffsetBits;
constexpr size_t kFirstChunkBytes = 4096;
constexpr size_t kMaxChunks = size_t{1} << 19;
constexpr size_t kHeaderBytes = 8;
constexpr int kTagShift = 40;  // a slot's top 24 bits are the top 24 of the hash
constexpr uint64_t kReferenceMask = (uint64_t{1} << kTagShift) - 1;
constexpr int kMinBits = 4;

// Memory for the slots and the arena. A block of a large page or more is
// aligned to large pages and asks to be backed by them: a random lookup in a
// list of millions of entries then costs no page-table walk, which (above
// all on a virtual machine) costs more than the rest of the lookup.
void* AllocateBlock(size_t bytes) {
  if (bytes < kLargePage) {
    void* block = malloc(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  void* block = nullptr;
  if (posix_memalign(&block, kLargePage, bytes) != 0) throw std::bad_alloc();
  // Only a hint: where large pages are not to be had, the block works the same.
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

uint64_t HashOf(std::string_view text) { return std::hash<std::string_view>()(text); }

// Slots are read while the writer fills others: each is one atomic word,
// stored with release after its record is written and loaded with acquire.
uint64_t LoadSlot(const uint64_t* slot) { return __atomic_load_n(slot, __ATOMIC_ACQUIRE); }
void StoreSlot(uint64_t* slot, uint64_t value) { __atomic_store_n(slot, value, __ATOMIC_RELEASE); }

size_t RecordBytes(size_t textBytes) { return kHeaderBytes + ((textBytes + 3) & ~size_t{3}); }

std::string_view TextOf(const char* record) {
  uint32_t length;
  memcpy(&length, record + 4, sizeof length);
  return std::string_view(record + kHeaderBytes, length);
}

int32_t IdOf(const char* record) {
  int32_t id;
  memcpy(&id, record, sizeof id);
  return id;
}

// Slots for count entries: the table is grown before it is three quarters
// full, where a linear probe still ends within a cache line or two.
int BitsFor(size_t count) {
  int bits = kMinBits;
  while ((size_t{3} << bits) < count * 4) ++bits;
  return bits;
}

// Fills the first empty slot from the hash's place on.
void Place(const uint64_t* slots, int bits, uint64_t slot, uint64_t hash) {
  uint64_t* all = const_cast<uint64_t*>(slots);
  const size_t mask = (size_t{1} << bits) - 1;
  size_t i = hash >> (64 - bits);
  while (LoadSlot(all + i) != 0) i = (i + 1) & mask;
  StoreSlot(all + i, slot);
}

}  // namespace

void ListTable::FreeBlock::operator()(void* block) const { free(block); }

const char* ListTable::Record(uint64_t slot) const {
  const uint64_t reference = (slot & kReferenceMask) - 1;
  return chunkAt_.At(reference >> kOffsetBits)->load(std::memory_order_relaxed) +
         (reference & (kLargePage - 1));
}

bool ListTable::Find(std::string_view text, int32_t& id) const {
  const Slots* slots = slots_.load(std::memory_order_acquire);
  if (slots == nullptr) return false;
  const uint64_t hash = HashOf(text);
  const uint64_t tag = hash >> kTagShift;
  const size_t mask = (size_t{1} << slots->bits) - 1;
  const uint64_t* all = slots->slot();
  for (size_t i = hash >> (64 - slots->bits);; i = (i + 1) & mask) {
    const uint64_t slot = LoadSlot(all + i);
    if (slot == 0) return false;
    if ((slot >> kTagShift) != tag) continue;
    const char* record = Record(slot);
    if (TextOf(record) == text) {
      id = IdOf(record);
      return true;
    }
  }
}

void ListTable::Grow(int bits) {
  const size_t bytes = sizeof(uint64_t) << bits;
  auto grown =
      std::make_unique<Slots>(Slots{bits, Block(static_cast<char*>(AllocateBlock(bytes)))});
  memset(grown->block.get(), 0, bytes);
  allSlots_.reserve(allSlots_.size() + 1);
  if (const Slots* old = slots_.load(std::memory_order_relaxed)) {
    const uint64_t* slot = old->slot();
    for (size_t i = 0; i < (size_t{1} << old->bits); ++i) {
      if (slot[i] == 0) continue;
      // Up to 2^24 slots the place follows from the tag alone, so growing
      // reads no text; a larger table hashes the texts again.
      const uint64_t hash = bits <= 64 - kTagShift ? slot[i] : HashOf(TextOf(Record(slot[i])));
      Place(grown->slot(), bits, slot[i], hash);
    }
  }
  // Readers still probing the old array find it unchanged.
  slots_.store(grown.get(), std::memory_order_release);
  allSlots_.push_back(std::move(grown));
}

void ListTable::Reserve(size_t count) {
  const Slots* slots = slots_.load(std::memory_order_relaxed);
  const int bits = BitsFor(count);
  if (slots == nullptr || bits > slots->bits) Grow(bits);
}

uint64_t ListTable::Append(std::string_view text, int32_t id) {
  if (text.size() > UINT32_MAX) throw std::bad_alloc();
  const size_t bytes = RecordBytes(text.size());
  if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < bytes) {
    // A new chunk even when the text is larger than a chunk, so records stay
    // in the order they were added.
    if (chunks_.size() == kMaxChunks) throw std::bad_alloc();
    const size_t last = chunks_.empty() ? kFirstChunkBytes / 2 : chunks_.back().capacity;
    const size_t capacity = std::max(bytes, std::min(2 * last, kLargePage));
    chunks_.reserve(chunks_.size() + 1);
    Block block(static_cast<char*>(AllocateBlock(capacity)));
    if (!chunkAt_.Append(block.get())) throw std::bad_alloc();
    chunks_.push_back(Chunk{std::move(block), 0, capacity});
  }
  Chunk& chunk = chunks_.back();
  char* record = chunk.bytes.get() + chunk.used;
  const uint32_t length = static_cast<uint32_t>(text.size());
  memcpy(record, &id, sizeof id);
  memcpy(record + 4, &length, sizeof length);
  if (!text.empty()) memcpy(record + kHeaderBytes, text.data(), text.size());
  const uint64_t reference = (uint64_t{chunks_.size() - 1} << kOffsetBits) | chunk.used;
  chunk.used += bytes;
  return reference;
}

bool ListTable::Add(std::string_view text, int32_t id) {
  int32_t existing;
  if (Find(text, existing)) return false;
  const Slots* slots = slots_.load(std::memory_order_relaxed);
  if (slots == nullptr || (count_ + 1) * 4 > (size_t{3} << slots->bits)) {
    Grow(slots == nullptr ? BitsFor(count_ + 1) : slots->bits + 1);
    slots = slots_.load(std::memory_order_relaxed);
  }
  const uint64_t hash = HashOf(text);
  const uint64_t reference = Append(text, id);
  Place(slots->slot(), slots->bits, ((hash >> kTagShift) << kTagShift) | (reference + 1), hash);
  const char* record = Record(reference + 1);
  if (sortedCount_ == count_ && (lastRecord_ == nullptr || TextOf(lastRecord_) < text))
    ++sortedCount_;
  lastRecord_ = record;
  ++count_;
  return true;
}

void ListTable::Clear() {
  slots_.store(nullptr, std::memory_order_relaxed);
  allSlots_.clear();
  chunkAt_.Clear();
  chunks_.clear();
  count_ = 0;
  sortedCount_ = 0;
  lastRecord_ = nullptr;
}

size_t ListTable::MemoryBytes() const {
  size_t bytes = chunks_.capacity() * sizeof(Chunk) + allSlots_.capacity() * sizeof(void*);
  for (const auto& slots : allSlots_) bytes += sizeof(Slots) + (sizeof(uint64_t) << slots->bits);
  for (const Chunk& chunk : chunks_) bytes += chunk.capacity;
  return bytes;
}

std::vector<ListTable::Entry> ListTable::InTextOrder() const {
  std::vector<Entry> entries;
  entries.reserve(count_);
  for (const Chunk& chunk : chunks_) {
    for (size_t at = 0; at < chunk.used;) {
      const char* record = chunk.bytes.get() + at;
      entries.push_back({TextOf(record), IdOf(record)});
      at += RecordBytes(entries.back().text.size());
    }
  }
  // string_view compares as memcmp does: by unsigned bytes.
  const auto byText = [](const Entry& a, const Entry& b) { return a.text < b.text; };
  const auto sortedEnd = entries.begin() + static_cast<std::ptrdiff_t>(sortedCount_);
  std::sort(sortedEnd, entries.end(), byText);
  std::inplace_merge(entries.begin(), sortedEnd, entries.end(), byText);
  return entries;
}
