#include "hashindex/hash_index_format.h"

#include <cstring>

#include "foundation/byte_order.h"

const char kHashIndexMagic[4] = {'Z', 'r', 'H', 't'};
const char kHashIndexMarker[4] = {'Z', 'R', 'h', 't'};

void HashIndexHeader::Encode(unsigned char* b) const {
  memset(b, 0, 54);
  memcpy(b, kHashIndexMagic, 4);
  WriteBigEndian16(b + 4, headerLength);
  b[6] = formatVersion;
  b[7] = dataVersion;
  b[8] = hashType;
  WriteBigEndian16(b + 10, entryBits);
  WriteBigEndian32(b + 12, tableSize);
  WriteBigEndian32(b + 16, keyCount);
  WriteBigEndian32(b + 20, tableBytes);
  WriteBigEndian32(b + 24, rangeMultiplier);
  WriteBigEndian32(b + 28, listCount);
  WriteBigEndian32(b + 32, listBytes);
  WriteBigEndian16(b + 36, listBits);
  b[38] = listFlagBits;
  b[39] = textLength;
  WriteBigEndian64(b + 40, flags);
  WriteBigEndian16(b + 48, userDataSize);
}

void HashIndexHeader::Decode(const unsigned char* b) {
  headerLength = ReadBigEndian16(b + 4);
  formatVersion = b[6];
  dataVersion = b[7];
  hashType = b[8];
  entryBits = ReadBigEndian16(b + 10);
  tableSize = ReadBigEndian32(b + 12);
  keyCount = ReadBigEndian32(b + 16);
  tableBytes = ReadBigEndian32(b + 20);
  rangeMultiplier = ReadBigEndian32(b + 24);
  listCount = ReadBigEndian32(b + 28);
  listBytes = ReadBigEndian32(b + 32);
  listBits = ReadBigEndian16(b + 36);
  listFlagBits = b[38];
  textLength = b[39];
  flags = ReadBigEndian64(b + 40);
  userDataSize = ReadBigEndian16(b + 48);
}
