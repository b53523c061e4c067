// The column stage of the grid index builder: the boundary markings that
// rings leave in one column are resolved into ranges of equal cells, and the
// ranges are encoded as the column's block of the ".gos" file
// (docs/gos_format.md).
//
// Resolution sweeps the markings' spans once (sorted by row) instead of
// visiting every cell of the column, so its cost depends on the number of
// markings, not on the column's height.
#ifndef ZRUTILS_SHAPES_GRID_COLUMN_H
#define ZRUTILS_SHAPES_GRID_COLUMN_H

#include <cstdint>
#include <map>
#include <vector>

#include "shapes/grid_on_shape_file.h"

// One passage of a ring through a column: 'U' it passes eastwards (the
// upper boundary of an outer ring), 'L' westwards, 'P' it turns back inside
// the column or never leaves it; 'u' is a 'U' already paired. lo and hi are
// the lowest and highest row cells of the passage.
struct TraceMarking {
  TraceMarking() = default;
  TraceMarking(int32_t code_, char type_, int32_t lo_, int32_t hi_)
      : type(type_), lo(lo_), hi(hi_), code(code_) {}
  // lo ascending, then hi ascending, then type descending ('U', 'P', 'L').
  bool operator<(const TraceMarking& o) const {
    if (lo != o.lo) return lo < o.lo;
    if (hi != o.hi) return hi < o.hi;
    return type > o.type;
  }

  char type = 'P';
  int32_t lo = 0;
  int32_t hi = 0;
  int32_t code = 0;  // shape code: record index + 1
};

// A run of equal cells: ' ' empty, 'I' inside `shape` alone, 'P' crossed by
// the boundaries of `shapes` (ascending, no duplicates).
struct RangeMarking {
  bool operator==(const RangeMarking& o) const {
    return code == o.code && from == o.from && to == o.to && shape == o.shape && shapes == o.shapes;
  }
  bool operator!=(const RangeMarking& o) const { return !(*this == o); }

  char code = ' ';
  int32_t from = 0;
  int32_t to = 0;
  int32_t shape = 0;
  std::vector<int32_t> shapes;
};

// The column's ranges from its markings, from the lowest to the highest
// row any marking touches (none without markings). Each 'L' is paired with
// the first unpaired 'U' of its shape that starts at or above it: both spans
// are crossed, the cells between them inside. 'P' spans are crossed;
// unpaired markings only widen the column. A cell marked once, as inside,
// is 'I'; one marked otherwise is 'P' with every shape that marked it.
// Reorders markings.
void ResolveColumn(std::vector<TraceMarking>& markings, std::vector<RangeMarking>& ranges);

// Encodes columns' blocks; keeps its buffers between columns.
class GosColumnEncoder {
 public:
  GosColumnEncoder(int coordinateWidth, int shapeCodeWidth)
      : coordinateWidth_(coordinateWidth), shapeCodeWidth_(shapeCodeWidth) {}

  // The block of a column: the range count, the range records and the list
  // area, where a list whose entries equal the tail of an earlier list is
  // stored as that tail. 28103 when a list offset does not fit the shape
  // code width.
  int Encode(const std::vector<RangeMarking>& ranges, std::vector<unsigned char>& block);

 private:
  // The offset, in entries, of a list equal to shapes, added when new.
  uint32_t AddList(const std::vector<int32_t>& shapes);

  int coordinateWidth_;
  int shapeCodeWidth_;
  std::vector<int32_t> area_;
  // Every tail of every list in the area, with the offset of its first
  // occurrence.
  std::map<std::vector<int32_t>, uint32_t> tails_;
};

#endif
