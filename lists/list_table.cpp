#include "lists/list_table.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

namespace {

// A record is its identifier, its length and its bytes, padded so that the
// next record's identifier is aligned. Records are appended in the order the
// entries were added, in chunks that never move, and a reference to one is
// its chunk's number and its offset there (20 bits each, 40 in all).
constexpr int kOffsetBits = 20;
constexpr size_t kChunkBytes = size_t{1} << kOffsetBits;
constexpr size_t kMaxChunks = size_t{1} << 20;
constexpr size_t kHeaderBytes = 8;
constexpr int kTagShift = 40;  // a slot's top 24 bits are the top 24 of the hash
constexpr uint64_t kReferenceMask = (uint64_t{1} << kTagShift) - 1;
constexpr int kMinBits = 4;

uint64_t HashOf(std::string_view text) { return std::hash<std::string_view>()(text); }

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

// Slots for count entries: the table is grown before it is three quarters full,
// where a linear probe still ends within a cache line or two.
int BitsFor(size_t count) {
  int bits = kMinBits;
  while ((size_t{1} << bits) * 3 < count * 4) ++bits;
  return bits;
}

}  // namespace

const char* ListTable::Record(uint64_t slot) const {
  const uint64_t reference = (slot & kReferenceMask) - 1;
  return chunks_[reference >> kOffsetBits].bytes.get() + (reference & (kChunkBytes - 1));
}

bool ListTable::Find(std::string_view text, int32_t& id) const {
  if (count_ == 0) return false;
  const uint64_t hash = HashOf(text);
  const uint64_t tag = hash >> kTagShift;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash >> (64 - bits_);; i = (i + 1) & mask) {
    const uint64_t slot = slots_[i];
    if (slot == 0) return false;
    if ((slot >> kTagShift) != tag) continue;
    const char* record = Record(slot);
    if (TextOf(record) == text) {
      id = IdOf(record);
      return true;
    }
  }
}

void ListTable::Place(uint64_t slot, uint64_t hash) {
  const size_t mask = slots_.size() - 1;
  size_t i = hash >> (64 - bits_);
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = slot;
}

void ListTable::Rehash(int bits) {
  std::vector<uint64_t> old(size_t{1} << bits, 0);
  old.swap(slots_);
  bits_ = bits;
  for (const uint64_t slot : old) {
    if (slot == 0) continue;
    // Up to 2^24 slots the place follows from the tag alone, so growing
    // reads no text; a larger table hashes the texts again.
    const uint64_t hash = bits <= 64 - kTagShift ? slot : HashOf(TextOf(Record(slot)));
    Place(slot, hash);
  }
}

void ListTable::Reserve(size_t count) {
  const int bits = BitsFor(count);
  if (bits > bits_) Rehash(bits);
}

uint64_t ListTable::Append(std::string_view text, int32_t id) {
  if (text.size() > UINT32_MAX) throw std::bad_alloc();
  const size_t bytes = RecordBytes(text.size());
  if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < bytes) {
    // A new chunk even when the text is larger than a chunk, so records stay
    // in the order they were added.
    if (chunks_.size() == kMaxChunks) throw std::bad_alloc();
    Chunk chunk;
    chunk.capacity = std::max(bytes, kChunkBytes);
    chunk.bytes.reset(new char[chunk.capacity]);
    chunks_.push_back(std::move(chunk));
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
  if ((count_ + 1) * 4 > slots_.size() * 3) Rehash(std::max(bits_ + 1, BitsFor(count_ + 1)));
  const uint64_t hash = HashOf(text);
  const uint64_t reference = Append(text, id);
  Place(((hash >> kTagShift) << kTagShift) | (reference + 1), hash);
  const char* record = Record(reference + 1);
  if (sortedCount_ == count_ && (lastRecord_ == nullptr || TextOf(lastRecord_) < text))
    ++sortedCount_;
  lastRecord_ = record;
  ++count_;
  return true;
}

void ListTable::Clear() {
  std::vector<uint64_t>().swap(slots_);
  std::vector<Chunk>().swap(chunks_);
  bits_ = 0;
  count_ = 0;
  sortedCount_ = 0;
  lastRecord_ = nullptr;
}

size_t ListTable::MemoryBytes() const {
  size_t bytes = slots_.capacity() * sizeof(uint64_t) + chunks_.capacity() * sizeof(Chunk);
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
