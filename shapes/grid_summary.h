// GridSummary: a coarse level over a grid index (".gos"), held in memory and
// derived from the index's own bytes when the index is opened. Each coarse
// cell covers F by F fine cells and says "no shape", "inside shape k" or
// "look at the fine index". It says "inside k" only when every fine cell
// under it is an 'I' range of k, and "no shape" only when every fine cell
// under it is empty, so an answer taken from it is the fine index's answer
// by construction; only points in coarse cells that a boundary crosses
// read the fine index.
//
// A column whose block is damaged (records past the end of the file, an
// unknown code, rows out of order) is left to the fine index in every row,
// so damaged files give the same result codes with or without a summary.
//
// The table is one flat array, column-major, of verdicts as narrow as the
// index's shape codes allow (1 byte for up to 254 shapes, 2 for up to
// 65,534, else 4), so that more of it stays in the processor's caches; a
// code that does not fit below the width's "look" value is stored as "look",
// which only sends its points to the fine index. Its size is chosen from a
// memory budget (F grows until it fits). A second table, 16 times smaller,
// holds the same verdicts for squares of 4 by 4 coarse cells (a square's
// verdict when all 16 agree, else "look"), so that most points are answered
// from a table that stays in the nearest caches.
//
// Threads: Verdict may run in any number of threads once Build has
// returned; Build and Clear must not overlap any other call.
#ifndef ZRUTILS_SHAPES_GRID_SUMMARY_H
#define ZRUTILS_SHAPES_GRID_SUMMARY_H

#include <cstdint>
#include <cstring>
#include <memory>

#include "foundation/export.h"

struct GridOnShapeFileMetaData;

class ZRU_EXPORT GridSummary {
 public:
  // The verdict that sends a point to the fine index.
  static constexpr uint32_t kLookFine = 0xFFFFFFFFu;

  // Derives the summary of a whole index file at bytes (size bytes) whose
  // header h and absolute column offsets Open has checked. Uses at most
  // budgetBytes of memory for the table. Returns false, leaving no summary
  // (every verdict kLookFine), when the memory cannot be had.
  bool Build(const unsigned char* bytes, int64_t size, const GridOnShapeFileMetaData& h,
             const uint32_t* columnOffsets, int64_t budgetBytes);
  void Clear();

  // The verdict for the fine cell (column index, row cell): 0 for no shape,
  // a shape code for "inside that shape", or kLookFine. column must lie in
  // 0 .. columnCount - 1.
  uint32_t Verdict(int64_t column, int32_t row) const {
    if (cells_ == nullptr) return kLookFine;
    const int64_t coarseColumn = column / factor_;
    if (damaged_[coarseColumn]) return kLookFine;
    // Rows beyond every valid column's ranges touch no shape.
    if (row < minRow_ || row > maxRow_) return 0;
    const int64_t coarseRow = (int64_t{row} - minRow_) / factor_;
    // The small top table answers oceans and the inner parts of large
    // shapes from the nearer caches; the coarse table the rest.
    const uint32_t top = Cell(top_.get(), (coarseColumn / kTop) * topRows_ + coarseRow / kTop);
    if (top != look_) return top;
    const uint32_t cell = Cell(cells_.get(), coarseColumn * coarseRows_ + coarseRow);
    return cell == look_ ? kLookFine : cell;
  }

  // Fine cells per coarse cell side; 0 without a summary.
  int32_t Factor() const { return cells_ ? factor_ : 0; }
  // Bytes held.
  int64_t MemoryBytes() const;

 private:
  static constexpr int64_t kTop = 4;  // coarse cells per top cell side

  // Verdict i of a table of width_-byte cells.
  uint32_t Cell(const unsigned char* table, int64_t i) const {
    switch (width_) {
      case 1:
        return table[i];
      case 2: {
        uint16_t v;
        memcpy(&v, table + 2 * i, 2);
        return v;
      }
      default: {
        uint32_t v;
        memcpy(&v, table + 4 * i, 4);
        return v;
      }
    }
  }
  // Stores verdict v (kLookFine, or a code) as cell i; a code the width
  // cannot hold below look_ is stored as look_.
  void SetCell(unsigned char* table, int64_t i, uint32_t v) const;
  // The top table from the coarse one.
  void BuildTop();

  std::unique_ptr<unsigned char[]> cells_;  // column-major, coarseRows_ per column
  std::unique_ptr<unsigned char[]> top_;    // column-major, topRows_ per column
  int32_t width_ = 4;                       // bytes per verdict: 1, 2 or 4
  uint32_t look_ = kLookFine;               // "look" at that width: all ones
  int64_t topRows_ = 0;
  std::unique_ptr<unsigned char[]> damaged_;  // per coarse column: 1 = fine in every row
  int64_t coarseColumns_ = 0;
  int64_t coarseRows_ = 0;
  int32_t factor_ = 1;
  int32_t minRow_ = 0;
  int32_t maxRow_ = -1;
};

#endif
