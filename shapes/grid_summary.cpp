#include "shapes/grid_summary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/grid_on_shape_file.h"

namespace {

// A run of coarse rows from begin up to the next run's begin (the last run
// to the end of the coarse column), all with verdict v.
struct Run {
  int64_t begin;
  uint32_t v;
  bool operator==(const Run& o) const { return begin == o.begin && v == o.v; }
};

// Appends "rows from begin on take v" to runs kept in ascending order. A
// row given twice is a coarse row two fine segments share: it is crossed by
// their border, so it looks at the fine index.
void Emit(std::vector<Run>& runs, int64_t begin, uint32_t v) {
  if (!runs.empty() && runs.back().begin == begin) {
    runs.back().v = runs.back().v == v ? v : GridSummary::kLookFine;
    if (runs.size() > 1 && runs[runs.size() - 2].v == runs.back().v) runs.pop_back();
    return;
  }
  if (!runs.empty() && runs.back().v == v) return;
  runs.push_back({begin, v});
}

// What one fine cell of a range says at the coarse level.
uint32_t VerdictOf(const GosRangeRecord& r) {
  if (r.code == ' ') return 0;
  if (r.code == 'I') return r.value;  // a value of kLookFine stays "look"
  return GridSummary::kLookFine;      // 'P' and 'L' need the exact test
}

// Reads a column's block and turns it into coarse runs over the rows
// minRow .. minRow + fineRows - 1. False when the block is damaged: it runs
// past the end, has an unknown code, or rows out of order.
class ColumnReader {
 public:
  ColumnReader(const unsigned char* bytes, int64_t size, const GridOnShapeFileMetaData& h,
               int32_t minRow, int64_t fineRows, int32_t factor)
      : bytes_(bytes),
        size_(size),
        h_(h),
        minRow_(minRow),
        fineRows_(fineRows),
        factor_(factor),
        recordSize_(2 * h.coordinateWidth + h.shapeCodeWidth + 1) {}

  bool CoarseRuns(uint32_t offset, std::vector<Run>& runs) const {
    runs.clear();
    uint32_t count;
    if (!Count(offset, count)) return false;
    int64_t next = 0;  // first fine row (from minRow) not yet covered
    const unsigned char* p = bytes_ + offset + 4;
    for (uint32_t i = 0; i < count; ++i, p += recordSize_) {
      const GosRangeRecord r = DecodeGosRange(p, h_.coordinateWidth, h_.shapeCodeWidth);
      if (r.code != ' ' && r.code != 'I' && r.code != 'P' && r.code != 'L') return false;
      const int64_t from = int64_t{r.from} - minRow_, to = int64_t{r.to} - minRow_;
      if (from < next || to < from) return false;
      // Most records of a column are short ones along a boundary, inside a
      // coarse row already sent to the fine index: they change nothing.
      const bool unchanged = !runs.empty() && runs.back().v == GridSummary::kLookFine &&
                             next / factor_ == runs.back().begin &&
                             to / factor_ == runs.back().begin;
      if (unchanged) {
        next = to + 1;
        continue;
      }
      if (from > next) Segment(next, from - 1, 0, runs);
      Segment(from, to, VerdictOf(r), runs);
      next = to + 1;
    }
    if (next < fineRows_) Segment(next, fineRows_ - 1, 0, runs);
    return true;
  }

  // The first and last rows the block covers; false for a block without
  // records or one whose records run past the end.
  bool Extent(uint32_t offset, int32_t& first, int32_t& last) const {
    uint32_t count;
    if (!Count(offset, count) || count == 0) return false;
    const unsigned char* p = bytes_ + offset + 4;
    first = DecodeGosRange(p, h_.coordinateWidth, h_.shapeCodeWidth).from;
    last =
        DecodeGosRange(p + int64_t{count - 1} * recordSize_, h_.coordinateWidth, h_.shapeCodeWidth)
            .to;
    return true;
  }

 private:
  bool Count(uint32_t offset, uint32_t& count) const {
    if (int64_t{offset} + 4 > size_) return false;
    count = ReadBigEndian32(bytes_ + offset);
    return int64_t{offset} + 4 + int64_t{count} * recordSize_ <= size_;
  }

  // Fine rows a .. b (from minRow) all say v: the coarse rows they cover
  // whole take v, the ones they cover in part look at the fine index.
  void Segment(int64_t a, int64_t b, uint32_t v, std::vector<Run>& runs) const {
    const int64_t first = a / factor_, last = b / factor_;
    const int64_t wholeFirst = a % factor_ == 0 ? first : first + 1;
    const int64_t wholeLast = (b + 1) % factor_ == 0 || b == fineRows_ - 1 ? last : last - 1;
    if (wholeFirst > first) Emit(runs, first, GridSummary::kLookFine);
    if (wholeFirst <= wholeLast) Emit(runs, wholeFirst, v);
    if (wholeLast < last && last >= wholeFirst) Emit(runs, last, GridSummary::kLookFine);
  }

  const unsigned char* bytes_;
  int64_t size_;
  const GridOnShapeFileMetaData& h_;
  int32_t minRow_;
  int64_t fineRows_;
  int32_t factor_;
  int32_t recordSize_;
};

// Cell by cell: equal verdicts stay, different ones look at the fine index.
void Combine(const std::vector<Run>& a, const std::vector<Run>& b, int64_t rows,
             std::vector<Run>& out) {
  out.clear();
  size_t i = 0, j = 0;
  for (int64_t row = 0; row < rows;) {
    Emit(out, row, a[i].v == b[j].v ? a[i].v : GridSummary::kLookFine);
    const int64_t nextA = i + 1 < a.size() ? a[i + 1].begin : rows;
    const int64_t nextB = j + 1 < b.size() ? b[j + 1].begin : rows;
    row = std::min(nextA, nextB);
    if (nextA == row) ++i;
    if (nextB == row) ++j;
  }
}

}  // namespace

void GridSummary::Clear() {
  cells_.reset();
  top_.reset();
  topRows_ = 0;
  width_ = 4;
  look_ = kLookFine;
  damaged_.reset();
  coarseColumns_ = coarseRows_ = 0;
  factor_ = 1;
  minRow_ = 0;
  maxRow_ = -1;
}

namespace {

// Bytes of the tables for a grid of columns by rows coarse cells of width
// bytes each.
int64_t TableBytes(int64_t columns, int64_t rows, int64_t top, int64_t width) {
  return columns * rows * width + columns +
         (columns + top - 1) / top * ((rows + top - 1) / top) * width;
}

// Bytes per verdict for shape codes of shapeCodeWidth bytes.
int32_t VerdictWidth(int32_t shapeCodeWidth) {
  return shapeCodeWidth == 1 ? 1 : shapeCodeWidth == 2 ? 2 : 4;
}

}  // namespace

int64_t GridSummary::MemoryBytes() const {
  return cells_ ? TableBytes(coarseColumns_, coarseRows_, kTop, width_) : 0;
}

void GridSummary::SetCell(unsigned char* table, int64_t i, uint32_t v) const {
  if (v > look_) v = look_;
  switch (width_) {
    case 1:
      table[i] = static_cast<unsigned char>(v);
      break;
    case 2: {
      const uint16_t narrow = static_cast<uint16_t>(v);
      memcpy(table + 2 * i, &narrow, 2);
      break;
    }
    default:
      memcpy(table + 4 * i, &v, 4);
  }
}

void GridSummary::BuildTop() {
  topRows_ = (coarseRows_ + kTop - 1) / kTop;
  const int64_t topColumns = (coarseColumns_ + kTop - 1) / kTop;
  for (int64_t tc = 0; tc < topColumns; ++tc) {
    for (int64_t tr = 0; tr < topRows_; ++tr) {
      const uint32_t first = Cell(cells_.get(), tc * kTop * coarseRows_ + tr * kTop);
      bool same = true;
      for (int64_t c = tc * kTop; same && c < std::min(coarseColumns_, (tc + 1) * kTop); ++c)
        for (int64_t r = tr * kTop; same && r < std::min(coarseRows_, (tr + 1) * kTop); ++r)
          same = Cell(cells_.get(), c * coarseRows_ + r) == first;
      SetCell(top_.get(), tc * topRows_ + tr, same ? first : look_);
    }
  }
}

bool GridSummary::Build(const unsigned char* bytes, int64_t size, const GridOnShapeFileMetaData& h,
                        const uint32_t* columnOffsets, int64_t budgetBytes) {
  Clear();
  const int64_t columns = h.columnCount;
  // The rows any column covers; a column whose records run past the end
  // adds nothing and is found damaged below.
  int32_t minRow = INT32_MAX, maxRow = INT32_MIN;
  {
    const ColumnReader extent(bytes, size, h, 0, 0, 1);
    for (int64_t c = 0; c < columns; ++c) {
      if (c > 0 && columnOffsets[c] == columnOffsets[c - 1]) continue;
      int32_t first, last;
      if (!extent.Extent(columnOffsets[c], first, last)) continue;
      minRow = std::min(minRow, first);
      maxRow = std::max(maxRow, last);
    }
  }
  if (minRow > maxRow) minRow = maxRow = 0;  // no ranges: one row of empty cells
  const int64_t fineRows = int64_t{maxRow} - minRow + 1;

  width_ = VerdictWidth(h.shapeCodeWidth);
  look_ = width_ == 4 ? kLookFine : (uint32_t{1} << (8 * width_)) - 1;
  // The smallest factor whose table fits the budget.
  const auto bytesFor = [&](int64_t f) {
    return TableBytes((columns + f - 1) / f, (fineRows + f - 1) / f, kTop, width_);
  };
  int64_t factor =
      std::max<int64_t>(1, static_cast<int64_t>(std::sqrt(1.0 * width_ * columns * fineRows /
                                                          std::max<int64_t>(budgetBytes, 1))));
  while (factor > 1 && bytesFor(factor - 1) <= budgetBytes) --factor;
  while (bytesFor(factor) > budgetBytes && factor < INT32_MAX) ++factor;
  factor_ = static_cast<int32_t>(factor);
  coarseColumns_ = (columns + factor - 1) / factor;
  coarseRows_ = (fineRows + factor - 1) / factor;
  minRow_ = minRow;
  maxRow_ = maxRow;

  try {
    cells_.reset(new unsigned char[static_cast<size_t>(coarseColumns_ * coarseRows_ * width_)]);
    damaged_.reset(new unsigned char[static_cast<size_t>(coarseColumns_)]());
    top_.reset(new unsigned char[static_cast<size_t>((coarseColumns_ + kTop - 1) / kTop *
                                                     ((coarseRows_ + kTop - 1) / kTop) * width_)]);
    const ColumnReader reader(bytes, size, h, minRow, fineRows, factor_);
    std::vector<Run> column, previous, merged, combined;
    for (int64_t cc = 0; cc < coarseColumns_; ++cc) {
      const int64_t end = std::min(columns, (cc + 1) * factor);
      for (int64_t c = cc * factor; c < end; ++c) {
        // A column sharing its neighbour's block changes nothing.
        if (c > cc * factor && columnOffsets[c] == columnOffsets[c - 1]) continue;
        if (!reader.CoarseRuns(columnOffsets[c], column)) {
          damaged_[cc] = 1;
          break;
        }
        if (c == cc * factor) {
          merged = column;
        } else if (column != previous) {
          // Neither does one whose coarse runs are its neighbour's, as
          // most columns of open sea and of large shapes are.
          Combine(merged, column, coarseRows_, combined);
          merged.swap(combined);
        }
        previous.swap(column);
      }
      unsigned char* cells = cells_.get();
      const int64_t first = cc * coarseRows_;
      if (damaged_[cc]) {
        for (int64_t r = 0; r < coarseRows_; ++r) SetCell(cells, first + r, kLookFine);
        continue;
      }
      for (size_t i = 0; i < merged.size(); ++i) {
        const int64_t next = i + 1 < merged.size() ? merged[i + 1].begin : coarseRows_;
        for (int64_t r = merged[i].begin; r < next; ++r) SetCell(cells, first + r, merged[i].v);
      }
    }
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  BuildTop();
  return true;
}
