// GridOnShapeFile: reads and searches a grid index file (".gos") that tells,
// for the square cells of a polygon shapefile's area, which shapes cover or
// cross each cell. The format is described in docs/gos_format.md; the file
// is written by CreateGridOnShape (shapes/create_grid_on_shape.h).
//
// The file's header and tables are untrusted: every offset and count is
// checked against the file's size before anything is allocated or read, so a
// damaged file gives a result code, never a read outside the file.
//
// After a successful Open, Search may run from any number of threads at
// once: it only reads the object and keeps its buffers on the stack. Open,
// Close and destruction must not overlap any other call.
#ifndef ZRUTILS_SHAPES_GRID_ON_SHAPE_FILE_H
#define ZRUTILS_SHAPES_GRID_ON_SHAPE_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/export.h"
#include "foundation/mt_file.h"
#include "foundation/non_copyable.h"
#include "shapes/grid_summary.h"

class ShapeFileReader;

// Result codes of the grid index reader (0 is success).
enum : int {
  ERR_GOS_READ_HEADER = 28111,          // the 44 header bytes cannot be read
  ERR_GOS_OUT_OF_MEMORY = 28112,        // no memory for the column table
  ERR_GOS_READ_COLUMN_TABLE = 28113,    // the column table cannot be read
  ERR_GOS_READ_COLUMN = 28114,          // a column block or list cannot be read
  ERR_GOS_MAGIC = 28115,                // not a grid index file
  ERR_GOS_PRECISION = 28116,            // precision not 0 to 4
  ERR_GOS_COLUMN_TABLE_OFFSET = 28117,  // column table offset below 44
  ERR_GOS_COLUMN_COUNT = 28118,         // fewer than 1 column
  ERR_GOS_COORDINATE_WIDTH = 28119,     // coordinate width not 1 to 4
  ERR_GOS_SHAPE_CODE_WIDTH = 28120,     // shape code width not 1 to 4
  ERR_GOS_DATA_OFFSET = 28121,          // column table overlaps the data area
  ERR_GOS_RANGE_CODE = 28122,           // a range record has an unknown code
  ERR_GOS_TOO_SHORT = 28123,            // file shorter than its header
  ERR_GOS_COLUMN_OFFSET = 28124,        // a column block lies beyond the end
  ERR_GOS_LIST_UNTERMINATED = 28125,    // a list runs to the end without its 0
};

// Size of the file header and its magic (the text and its NUL).
constexpr int kGosHeaderSize = 44;
constexpr int kGosMagicSize = 20;
ZRU_EXPORT extern const char kGosMagic[kGosMagicSize];
// The largest precision the reader accepts: cells of 10^-4 degrees.
constexpr int kGosMaxPrecision = 4;

// The header fields, shared by the reader and the builder.
struct ZRU_EXPORT GridOnShapeFileMetaData {
  int32_t precision = 0;
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
  int32_t minColumn = 0;          // column cell of column index 0
  int32_t columnTableOffset = 0;  // 44
  int32_t columnCount = 0;
  int32_t dataOffset = 0;         // start of the column blocks
  int32_t coordinateWidth = 0;    // bytes per row cell in a range record
  int32_t shapeCodeWidth = 0;     // bytes per shape code or list entry

  // The builder's header for a grid over reader's bounding box: widths from
  // the box and the record count, dataOffset -1 until the table is written.
  // Defined with the builder.
  void SetHeaderInfo(int32_t precision, int32_t minColumn, int32_t columnCount,
                     const ShapeFileReader& reader, bool widerShapeCodes);
  // The 44 header bytes, magic included.
  void Encode(unsigned char* header) const;
  void Decode(const unsigned char* header);
};

// One range record of a column block, decoded.
struct GosRangeRecord {
  int32_t from;
  int32_t to;
  uint32_t value;
  unsigned char code;
};
ZRU_EXPORT GosRangeRecord DecodeGosRange(const unsigned char* p, int coordinateWidth,
                                         int shapeCodeWidth);

class ZRU_EXPORT GridOnShapeFile : private ZRNonCopyable {
 public:
  GridOnShapeFile() = default;
  ~GridOnShapeFile() { Close(); }

  // Opens and checks the file at path and derives its summary level
  // (shapes/grid_summary.h) and the guide to long column blocks from the
  // whole file: a stream is mapped for that while Open runs. errorText is set only when the file cannot be opened
  // (to MTFile's message). A failed Open leaves the object closed; a summary
  // that finds no memory leaves the file open without one.
  int Open(const char* path, std::string& errorText, int openType);
  bool IsOpen() const { return file_.IsOpen(); }
  // Releases the column table and the file and forgets the header: until
  // Open succeeds again, Search finds nothing and the dumps show no column.
  void Close();

  // The shapes that may hold the point (latitude, longitude). inside is the
  // shape code of the one shape that covers the point's whole cell, else 0;
  // candidates gets the codes of the shapes whose boundaries cross the cell,
  // ascending, each to be tested exactly. Shape code n is record n - 1.
  // Points outside the grid, and coordinates that are not finite or lie
  // beyond the cell numbers' range, find nothing (result 0). Allocates
  // nothing beyond growing candidates, so a caller that reuses its vector
  // searches without allocating.
  int Search(double latitude, double longitude, int& inside,
             std::vector<int>& candidates) const;
  // As Search, reading the fine index only, never the summary: the answers
  // and codes Search gives by construction, for tests and tools.
  int SearchFine(double latitude, double longitude, int& inside,
                 std::vector<int>& candidates) const;

  // Statistics: precision, longitude and latitude ranges and the share of
  // cells that need no exact test. flag is ignored (kept for existing
  // callers).
  int ShowInfo(FILE* stream, bool flag = false) const;
  // The ranges and the list area of the column holding longitude.
  int DebugAColumn(FILE* stream, double longitude) const;

  const GridOnShapeFileMetaData& Header() const { return header_; }
  // Bytes held beside the column table: the summary and the guide to long
  // column blocks, both derived at Open.
  int64_t DerivedMemoryBytes() const;
  // The summary level derived at Open; empty while closed.
  const GridSummary& Summary() const { return summary_; }
  // The memory the summary may take for an index of fileSize bytes: 2% of
  // the index or 4 MB, whichever is larger, but never more than the index.
  static int64_t SummaryBudget(int64_t fileSize);

 private:
  int Open_(const char* path, std::string& errorText, int openType);
  // The column index of longitude, or -1 when it lies outside the grid.
  int64_t ColumnOf(double longitude) const;
  // Search, with or without the summary.
  int Search_(double latitude, double longitude, int& inside, std::vector<int>& candidates,
              bool useSummary) const;
  // The fine search in a column index of the grid (inside and candidates
  // cleared by the caller).
  int SearchColumn(int64_t column, int32_t row, int& inside, std::vector<int>& candidates) const;
  // Reads R and checks that R records fit in the file; recordsEnd is the
  // offset just past them.
  int ReadRangeCount(uint32_t offset, uint32_t& count, int64_t& recordsEnd) const;

  // What a search from a guess needs of a long column block, read at Open
  // so that a search goes straight to the records around its guess: the
  // range count and the first and last records' `from`. count 0 for blocks
  // searched whole, and for all when no block is long.
  struct LongBlock {
    uint32_t count;
    int32_t firstFrom;
    int32_t lastFrom;
  };
  // The guide for every column when some block is long (bytes mapped at
  // Open); false when it cannot be had.
  bool BuildLongBlocks(const unsigned char* bytes, int64_t size);

  GridOnShapeFileMetaData header_;
  MTFile file_;
  std::unique_ptr<uint32_t[]> columnOffsets_;  // absolute, one per column
  std::unique_ptr<LongBlock[]> longBlocks_;    // one per column, or none
  GridSummary summary_;
  int32_t rangeRecordSize_ = 0;
  int32_t scale_ = 1;
};

// The cell number of a coordinate: floor(value * scale) when that is a
// finite number within signed 32 bits; false otherwise.
ZRU_EXPORT bool GosCellOf(double value, int32_t scale, int32_t& cell);

#endif
