// Hand-made grid index files for the reader's and the builder's tests.
#ifndef ZRUTILS_SHAPES_GOS_TEST_FILES_H
#define ZRUTILS_SHAPES_GOS_TEST_FILES_H

#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/grid_on_shape_file.h"

struct GosRange {
  int from, to;
  unsigned value;
  char code;
};

struct GosBlock {
  std::vector<GosRange> ranges;
  std::vector<unsigned> list;
};

// A file of the given header values whose column i holds
// blocks[columnBlock[i]]; blocks are laid out in order.
inline std::string MakeGos(int precision, int minColumn, int coordinateWidth, int shapeCodeWidth,
                           const std::vector<GosBlock>& blocks,
                           const std::vector<int>& columnBlock) {
  std::string data;
  std::vector<unsigned> blockOffset;
  for (const GosBlock& b : blocks) {
    blockOffset.push_back(static_cast<unsigned>(data.size()));
    unsigned char bytes[16];
    WriteBigEndian32(bytes, static_cast<uint32_t>(b.ranges.size()));
    data.append(reinterpret_cast<char*>(bytes), 4);
    for (const GosRange& r : b.ranges) {
      WriteBigEndian(bytes, r.from, coordinateWidth);
      WriteBigEndian(bytes + coordinateWidth, r.to, coordinateWidth);
      WriteBigEndian(bytes + 2 * coordinateWidth, static_cast<int32_t>(r.value), shapeCodeWidth);
      bytes[2 * coordinateWidth + shapeCodeWidth] = static_cast<unsigned char>(r.code);
      data.append(reinterpret_cast<char*>(bytes), 2 * coordinateWidth + shapeCodeWidth + 1);
    }
    for (unsigned e : b.list) {
      WriteBigEndian(bytes, static_cast<int32_t>(e), shapeCodeWidth);
      data.append(reinterpret_cast<char*>(bytes), shapeCodeWidth);
    }
  }
  GridOnShapeFileMetaData h;
  h.precision = precision;
  h.minColumn = minColumn;
  h.columnTableOffset = kGosHeaderSize;
  h.columnCount = static_cast<int32_t>(columnBlock.size());
  h.dataOffset = kGosHeaderSize + 4 * h.columnCount;
  h.coordinateWidth = coordinateWidth;
  h.shapeCodeWidth = shapeCodeWidth;
  std::string file(kGosHeaderSize, '\0');
  h.Encode(reinterpret_cast<unsigned char*>(&file[0]));
  for (int b : columnBlock) {
    unsigned char entry[4];
    WriteBigEndian32(entry, blockOffset[b]);
    file.append(reinterpret_cast<char*>(entry), 4);
  }
  return file + data;
}

// The index of a clockwise unit square at longitude 10..11, latitude
// 50..51, precision 1: the first and last of its 11 columns are crossed
// from row 500 to 510; the nine between share one block of a crossed row,
// nine inside rows and a crossed row.
inline std::string UnitSquareGos() {
  const GosBlock edge{{{500, 510, 1, 'P'}}, {}};
  const GosBlock middle{{{500, 500, 1, 'P'}, {501, 509, 1, 'I'}, {510, 510, 1, 'P'}}, {}};
  return MakeGos(1, 100, 2, 1, {edge, middle, edge}, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2});
}

#endif
