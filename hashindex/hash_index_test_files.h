// An independent writer and reader of hash index files for the tests,
// written from the format's byte table (docs/hash_index_format.md) and
// sharing no code with the library: bits are packed and unpacked one at a
// time, the hash and the probe are spelt out again here.
#ifndef ZRUTILS_HASHINDEX_HASH_INDEX_TEST_FILES_H
#define ZRUTILS_HASHINDEX_HASH_INDEX_TEST_FILES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PlainIndex {
  uint8_t formatVersion = 1, dataVersion = 0, hashType = 2, listFlagBits = 0;
  uint32_t entryBits = 0, tableSize = 0, keyCount = 0, rangeMultiplier = 0, listBits = 0;
  uint64_t flags = 0;
  std::vector<uint64_t> table, list;
  std::string userData, text;
  // As stored; the writer below fills them from the vectors.
  uint32_t headerLength = 0, tableBytes = 0, listCount = 0, listBytes = 0;
};

inline void PutBits(std::string& out, uint64_t bit, uint32_t width, uint64_t value) {
  for (uint32_t i = 0; i < width; ++i) {
    if ((value >> (width - 1 - i)) & 1) {
      const uint64_t b = bit + i;
      out[b / 8] = static_cast<char>(out[b / 8] | (0x80 >> (b % 8)));
    }
  }
}

inline uint64_t GetBits(const std::string& in, uint64_t bit, uint32_t width) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < width; ++i) {
    const uint64_t b = bit + i;
    value = (value << 1) | ((static_cast<unsigned char>(in[b / 8]) >> (7 - b % 8)) & 1);
  }
  return value;
}

inline void PutNumber(std::string& out, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out[at + i] = static_cast<char>(value >> (8 * (bytes - 1 - i)));
}

inline uint64_t GetNumber(const std::string& in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

// The whole file for p (its table and list vectors give tableSize and
// listCount unless tableSize is set).
inline std::string WritePlainIndex(PlainIndex p) {
  if (p.tableSize == 0) p.tableSize = static_cast<uint32_t>(p.table.size());
  p.listCount = static_cast<uint32_t>(p.list.size());
  p.tableBytes = static_cast<uint32_t>((uint64_t{p.entryBits} * p.table.size() + 7) / 8);
  p.listBytes = static_cast<uint32_t>((uint64_t{p.listBits} * p.list.size() + 7) / 8);
  p.headerLength = static_cast<uint32_t>(54 + p.userData.size() + p.text.size());
  std::string f(54, '\0');
  f.replace(0, 4, "ZrHt");
  PutNumber(f, 4, p.headerLength, 2);
  f[6] = static_cast<char>(p.formatVersion);
  f[7] = static_cast<char>(p.dataVersion);
  f[8] = static_cast<char>(p.hashType);
  PutNumber(f, 10, p.entryBits, 2);
  PutNumber(f, 12, p.tableSize, 4);
  PutNumber(f, 16, p.keyCount, 4);
  PutNumber(f, 20, p.tableBytes, 4);
  PutNumber(f, 24, p.rangeMultiplier, 4);
  PutNumber(f, 28, p.listCount, 4);
  PutNumber(f, 32, p.listBytes, 4);
  PutNumber(f, 36, p.listBits, 2);
  f[38] = static_cast<char>(p.listFlagBits);
  f[39] = static_cast<char>(p.text.size());
  PutNumber(f, 40, p.flags, 8);
  PutNumber(f, 48, p.userData.size(), 2);
  f += p.userData + p.text + "ZRht";
  std::string table(p.tableBytes, '\0');
  for (size_t i = 0; i < p.table.size(); ++i) PutBits(table, i * p.entryBits, p.entryBits, p.table[i]);
  f += table + "ZRht";
  if (!p.list.empty()) {
    std::string list(p.listBytes, '\0');
    for (size_t i = 0; i < p.list.size(); ++i) PutBits(list, i * p.listBits, p.listBits, p.list[i]);
    f += list + "ZRht";
  }
  return f;
}

// Decodes a whole file; false when it does not follow the byte table.
inline bool ReadPlainIndex(const std::string& f, PlainIndex& p) {
  if (f.size() < 54 || f.compare(0, 4, "ZrHt") != 0) return false;
  p.headerLength = static_cast<uint32_t>(GetNumber(f, 4, 2));
  p.formatVersion = static_cast<uint8_t>(f[6]);
  p.dataVersion = static_cast<uint8_t>(f[7]);
  p.hashType = static_cast<uint8_t>(f[8]);
  p.entryBits = static_cast<uint32_t>(GetNumber(f, 10, 2));
  p.tableSize = static_cast<uint32_t>(GetNumber(f, 12, 4));
  p.keyCount = static_cast<uint32_t>(GetNumber(f, 16, 4));
  p.tableBytes = static_cast<uint32_t>(GetNumber(f, 20, 4));
  p.rangeMultiplier = static_cast<uint32_t>(GetNumber(f, 24, 4));
  p.listCount = static_cast<uint32_t>(GetNumber(f, 28, 4));
  p.listBytes = static_cast<uint32_t>(GetNumber(f, 32, 4));
  p.listBits = static_cast<uint32_t>(GetNumber(f, 36, 2));
  p.listFlagBits = static_cast<uint8_t>(f[38]);
  const size_t textLength = static_cast<unsigned char>(f[39]);
  p.flags = GetNumber(f, 40, 8);
  const size_t userDataSize = GetNumber(f, 48, 2);
  if (p.headerLength != 54 + userDataSize + textLength) return false;
  p.userData = f.substr(54, userDataSize);
  p.text = f.substr(54 + userDataSize, textLength);
  size_t at = p.headerLength;
  const size_t end = at + 4 + p.tableBytes + 4 + (p.listCount ? p.listBytes + 4 : 0);
  if (f.size() != end || f.compare(at, 4, "ZRht") != 0) return false;
  at += 4;
  const std::string table = f.substr(at, p.tableBytes);
  p.table.clear();
  for (uint64_t i = 0; i < p.tableSize; ++i) p.table.push_back(GetBits(table, i * p.entryBits, p.entryBits));
  at += p.tableBytes;
  if (f.compare(at, 4, "ZRht") != 0) return false;
  at += 4;
  p.list.clear();
  if (p.listCount != 0) {
    const std::string list = f.substr(at, p.listBytes);
    for (uint64_t i = 0; i < p.listCount; ++i) p.list.push_back(GetBits(list, i * p.listBits, p.listBits));
    if (f.compare(at + p.listBytes, 4, "ZRht") != 0) return false;
  }
  return true;
}

inline uint32_t PlainOneAtATime(const std::string& key) {
  uint32_t h = 0;
  for (unsigned char c : key) {
    h += c;
    h += h * 1024;
    h ^= h >> 6;
  }
  h += h * 8;
  h ^= h >> 11;
  h += h * 32768;
  return h;
}

// Every value of key in p, in probe order: each candidate's first value is
// shown to isKey (the caller's own check); the groups of those it accepts
// are taken whole, ranges expanded.
inline std::vector<uint64_t> PlainSearch(const PlainIndex& p, const std::string& key,
                                         const std::function<bool(uint64_t)>& isKey) {
  std::vector<uint64_t> found;
  const uint32_t h = PlainOneAtATime(key);
  const bool powerOfTwo = (p.tableSize & (p.tableSize - 1)) == 0;
  uint64_t slot = powerOfTwo ? (h & (p.tableSize - 1)) : h % p.tableSize;
  uint64_t skip = (h >> 24) + 1;
  if (p.tableSize <= skip && skip % p.tableSize == 0) skip = 1;
  const uint64_t flag = uint64_t{1} << (p.entryBits - 1);
  const uint64_t listFlag = p.listFlagBits ? uint64_t{1} << (p.listFlagBits - 1) : 0;
  auto expand = [&](uint64_t v) {
    if (p.rangeMultiplier == 0) return found.push_back(v);
    for (uint64_t x = v / p.rangeMultiplier; x <= v / p.rangeMultiplier + v % p.rangeMultiplier; ++x)
      found.push_back(x);
  };
  for (uint32_t visited = 0; visited < p.tableSize; ++visited) {
    const uint64_t e = p.table[slot];
    const uint64_t stored = e & ~flag;
    if (stored != 0 && p.list.empty()) {
      const uint64_t first = p.rangeMultiplier ? stored / p.rangeMultiplier : stored;
      if (isKey(first)) expand(stored);
    } else if (stored != 0) {
      uint64_t first = p.list[stored - 1] & ~listFlag;
      if (isKey(p.rangeMultiplier ? first / p.rangeMultiplier : first)) {
        for (uint64_t i = stored - 1; i < p.list.size(); ++i) {
          const uint64_t v = p.list[i];
          if (i > stored - 1 && (listFlag ? (v & listFlag) != 0 : v == 0)) break;
          expand(v & ~listFlag);
        }
      }
    }
    if ((e & flag) == 0) break;
    slot = (slot + skip) % p.tableSize;
  }
  return found;
}

#endif
