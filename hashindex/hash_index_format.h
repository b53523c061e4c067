// The fixed 54-byte header of a hash index file, shared by the reader and
// the writer (docs/hash_index_format.md). All numbers big-endian.
#ifndef ZRUTILS_HASHINDEX_HASH_INDEX_FORMAT_H
#define ZRUTILS_HASHINDEX_HASH_INDEX_FORMAT_H

#include <cstdint>

// The file's first four bytes, and the marker after the header and after
// each section.
extern const char kHashIndexMagic[4];
extern const char kHashIndexMarker[4];

struct HashIndexHeader {
  uint16_t headerLength = 0;  // 54 + userDataSize + textLength
  uint8_t formatVersion = 0;
  uint8_t dataVersion = 0;
  uint8_t hashType = 0;
  uint16_t entryBits = 0;
  uint32_t tableSize = 0;
  uint32_t keyCount = 0;
  uint32_t tableBytes = 0;
  uint32_t rangeMultiplier = 0;
  uint32_t listCount = 0;
  uint32_t listBytes = 0;
  uint16_t listBits = 0;
  uint8_t listFlagBits = 0;
  uint8_t textLength = 0;
  uint64_t flags = 0;
  uint16_t userDataSize = 0;

  // The 54 bytes, magic and zero reserved fields included.
  void Encode(unsigned char* bytes) const;
  // Takes the fields from 54 bytes; the magic is not looked at.
  void Decode(const unsigned char* bytes);
};

#endif
