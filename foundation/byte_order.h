// Byte-order readers and writers: the integers of the binary file formats
// (shapefiles, dBASE tables, grid and hash index files) read from and
// written to a byte pointer in a fixed order, whatever the host's order.
// Pointers need no alignment. "S" marks a signed result, sign-extended from
// the width read. BytesNeeded and BytesNeededS size bit-packed values.
#ifndef ZRUTILS_FOUNDATION_BYTE_ORDER_H
#define ZRUTILS_FOUNDATION_BYTE_ORDER_H

#include <cstdint>

#include "foundation/export.h"

// Big-endian readers.
ZRU_EXPORT uint16_t ReadBigEndian16(const unsigned char* p);
ZRU_EXPORT uint32_t ReadBigEndian32(const unsigned char* p);
ZRU_EXPORT uint64_t ReadBigEndian64(const unsigned char* p);
ZRU_EXPORT int16_t ReadBigEndianS16(const unsigned char* p);
ZRU_EXPORT int32_t ReadBigEndianS24(const unsigned char* p);
ZRU_EXPORT int32_t ReadBigEndianS32(const unsigned char* p);
// n bytes for n = 1 to 4; 0 for any other n.
ZRU_EXPORT uint32_t ReadBigEndian(const unsigned char* p, int n);
ZRU_EXPORT int32_t ReadBigEndianS(const unsigned char* p, int n);

// Big-endian writers. WriteBigEndian32 writes the low 32 bits of any of its
// argument types.
ZRU_EXPORT void WriteBigEndian16(unsigned char* p, uint16_t value);
ZRU_EXPORT void WriteBigEndian32(unsigned char* p, uint32_t value);
ZRU_EXPORT void WriteBigEndian32(unsigned char* p, int32_t value);
ZRU_EXPORT void WriteBigEndian32(unsigned char* p, long value);
ZRU_EXPORT void WriteBigEndian64(unsigned char* p, uint64_t value);
// n = 1 to 4: the low n bytes of value; any other n >= 0: n zero bytes, so
// a field of an unsupported width is at least never left unwritten.
ZRU_EXPORT void WriteBigEndian(unsigned char* p, int32_t value, int n);

// Little-endian readers and writers, for char and unsigned char pointers.
ZRU_EXPORT uint16_t ReadLittleEndian16(const unsigned char* p);
ZRU_EXPORT uint32_t ReadLittleEndian32(const unsigned char* p);
ZRU_EXPORT uint64_t ReadLittleEndian64(const unsigned char* p);
ZRU_EXPORT int16_t ReadLittleEndianS16(const unsigned char* p);
ZRU_EXPORT int32_t ReadLittleEndianS32(const unsigned char* p);
ZRU_EXPORT double ReadLittleEndianDouble(const unsigned char* p);
ZRU_EXPORT void WriteLittleEndian16(unsigned char* p, uint16_t value);
ZRU_EXPORT void WriteLittleEndian32(unsigned char* p, uint32_t value);
ZRU_EXPORT void WriteLittleEndian64(unsigned char* p, uint64_t value);
ZRU_EXPORT void WriteLittleEndianS16(unsigned char* p, int16_t value);
ZRU_EXPORT void WriteLittleEndianS32(unsigned char* p, int32_t value);

inline uint16_t ReadLittleEndian16(const char* p) {
  return ReadLittleEndian16(reinterpret_cast<const unsigned char*>(p));
}
inline uint32_t ReadLittleEndian32(const char* p) {
  return ReadLittleEndian32(reinterpret_cast<const unsigned char*>(p));
}
inline uint64_t ReadLittleEndian64(const char* p) {
  return ReadLittleEndian64(reinterpret_cast<const unsigned char*>(p));
}
inline int16_t ReadLittleEndianS16(const char* p) {
  return ReadLittleEndianS16(reinterpret_cast<const unsigned char*>(p));
}
inline int32_t ReadLittleEndianS32(const char* p) {
  return ReadLittleEndianS32(reinterpret_cast<const unsigned char*>(p));
}
inline double ReadLittleEndianDouble(const char* p) {
  return ReadLittleEndianDouble(reinterpret_cast<const unsigned char*>(p));
}
inline void WriteLittleEndian16(char* p, uint16_t value) {
  WriteLittleEndian16(reinterpret_cast<unsigned char*>(p), value);
}
inline void WriteLittleEndian32(char* p, uint32_t value) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(p), value);
}
inline void WriteLittleEndian64(char* p, uint64_t value) {
  WriteLittleEndian64(reinterpret_cast<unsigned char*>(p), value);
}
inline void WriteLittleEndianS16(char* p, int16_t value) {
  WriteLittleEndianS16(reinterpret_cast<unsigned char*>(p), value);
}
inline void WriteLittleEndianS32(char* p, int32_t value) {
  WriteLittleEndianS32(reinterpret_cast<unsigned char*>(p), value);
}

// Bytes in the magnitude of value: 0 for 0, 1 up to 255, ... up to 8.
ZRU_EXPORT int BytesNeeded(uint64_t value);
// Bytes a signed value needs in two's complement, so that WriteBigEndian
// and ReadBigEndianS of at least that width give it back: 0 for 0 and -1,
// 1 for -128..127, 2 for -32768..32767, 3 for 24 bits, else 4.
ZRU_EXPORT int BytesNeededS(int32_t value);

#endif
