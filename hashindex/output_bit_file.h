// OutputBitFile: a file written as a stream of bit-packed values, most
// significant bit first, the last byte padded with zero bits. The hash
// index writer streams its value list through it, so the list never has to
// sit in memory. Belongs to one thread; not copyable; the destructor closes
// the file (without checking: call Close to know it reached the disk).
#ifndef ZRUTILS_HASHINDEX_OUTPUT_BIT_FILE_H
#define ZRUTILS_HASHINDEX_OUTPUT_BIT_FILE_H

#include <cstdint>

#include "foundation/export.h"
#include "foundation/non_copyable.h"
#include "foundation/text_file.h"

class ZRU_EXPORT OutputBitFile : private ZRNonCopyable {
 public:
  // Creates (or truncates) path for writing. 4802 when it cannot be
  // created, after printing the system's error text after the path on
  // standard error.
  int Open(const char* path);
  // Appends the low bitCount bits of value (which must fit in them). More
  // than 56 bits gives 4808, a failed write 4803, a closed file 4802.
  int AppendBits(uint64_t value, int bitCount);
  // Writes the pending bits, flushes and closes. sizeOut (may be null)
  // receives the file's length in bytes (0 when nothing was open). 4803 when
  // a write, the flush or the close failed: the file is then incomplete.
  int Close(uint64_t* sizeOut);
  bool IsOpen() const { return stream.IsOpen(); }

 private:
  SelfClosingFILE stream;
  uint8_t partialByte = 0;  // the byte being filled, its used bits at the top
  uint32_t usedBits = 0;    // 0 to 7
  uint64_t bytesWritten = 0;
};

#endif
