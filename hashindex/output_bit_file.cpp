#include "hashindex/output_bit_file.h"

#include "hashindex/bit_packing.h"
#include "hashindex/hash_index_errors.h"

int OutputBitFile::Open(const char* path) {
  partialByte = 0;
  usedBits = 0;
  bytesWritten = 0;
  return stream.Open(path, "wb", true) ? 0 : ERR_HASHINDEX_CREATE;
}

int OutputBitFile::AppendBits(uint64_t value, int bitCount) {
  if (bitCount < 0 || bitCount > kMaxPackedBits) return ERR_HASHINDEX_APPEND_WIDTH;
  if (!stream.IsOpen()) return ERR_HASHINDEX_CREATE;
  if (bitCount == 0) return 0;
  // The pending bits and the new value form one n-byte big-endian word; all
  // of it but a last partly filled byte goes out now.
  const int total = static_cast<int>(usedBits) + bitCount;
  const int n = (total + 7) / 8;
  unsigned char bytes[8] = {};
  bytes[0] = partialByte;
  OrPackedBits(bytes, usedBits, bitCount, value & ((uint64_t{1} << bitCount) - 1));
  usedBits = static_cast<uint32_t>(total % 8);
  const int complete = usedBits != 0 ? n - 1 : n;
  partialByte = usedBits != 0 ? bytes[n - 1] : 0;
  if (complete > 0 && fwrite(bytes, 1, complete, stream.f()) != static_cast<size_t>(complete))
    return ERR_HASHINDEX_WRITE;
  bytesWritten += complete;
  return 0;
}

int OutputBitFile::Close(uint64_t* sizeOut) {
  if (sizeOut != nullptr) *sizeOut = 0;
  if (!stream.IsOpen()) return 0;
  bool ok = true;
  if (usedBits != 0) {
    ok = fwrite(&partialByte, 1, 1, stream.f()) == 1;
    if (ok) ++bytesWritten;
  }
  // A full disk may show only at the flush; the list is read back from
  // this file, so a failure here must not pass as success.
  ok = ok && fflush(stream.f()) == 0 && ferror(stream.f()) == 0;
  stream.Close();
  partialByte = 0;
  usedBits = 0;
  if (sizeOut != nullptr) *sizeOut = bytesWritten;
  return ok ? 0 : ERR_HASHINDEX_WRITE;
}
