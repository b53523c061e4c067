// The grid index reader on arbitrary bytes: open, search around the stored
// ranges and at edge values, and dump. Whatever the bytes, every call must
// return a result without reading outside the file.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/grid_on_shape_file.h"

static std::string ScratchPath() {
  return std::string(P_tmpdir) + "/zrutils-fuzz-" + std::to_string(getpid()) + ".gos";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchPath();
  static FILE* sink = fopen("/dev/null", "w");
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  fwrite(data, 1, size, file);
  fclose(file);

  GridOnShapeFile grid;
  std::string error;
  const int openType = size > 0 && (data[size - 1] & 1) ? OpenPafReadFile : OpenPafFileMap;
  if (grid.Open(path.c_str(), error, openType) != 0) return 0;
  const GridOnShapeFileMetaData& h = grid.Header();
  const double scale = std::pow(10.0, h.precision);
  const int recordSize = 2 * h.coordinateWidth + h.shapeCodeWidth + 1;

  // Rows to try in a column: the bounds of its first records, their
  // neighbours, and values no file holds.
  int inside;
  std::vector<int> candidates;
  const int32_t columns[] = {0, 1, 2, h.columnCount / 2, h.columnCount - 1};
  for (int32_t column : columns) {
    if (column < 0 || column >= h.columnCount) continue;
    std::vector<double> rows = {-1e12, -1.0, 0.0, 1.0, 1e12};
    if (h.columnTableOffset + 4 * uint64_t(column) + 4 <= size) {
      const uint64_t block = uint64_t(h.dataOffset) +
                             ReadBigEndian32(data + h.columnTableOffset + 4 * column);
      for (int r = 0; r < 8; ++r) {
        const uint64_t at = block + 4 + uint64_t(r) * recordSize;
        if (at + 2 * h.coordinateWidth > size) break;
        const int32_t from = ReadBigEndianS(data + at, h.coordinateWidth);
        const int32_t to = ReadBigEndianS(data + at + h.coordinateWidth, h.coordinateWidth);
        for (int32_t row : {from, to}) rows.insert(rows.end(), {double(row) - 1, double(row), double(row) + 1});
      }
    }
    const double longitude = (double(h.minColumn) + column + 0.5) / scale;
    for (double row : rows) grid.Search((row + 0.5) / scale, longitude, inside, candidates);
    grid.DebugAColumn(sink, longitude);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  grid.Search(nan, nan, inside, candidates);
  grid.Search(0, std::numeric_limits<double>::infinity(), inside, candidates);
  grid.ShowInfo(sink, false);
  return 0;
}
