#include "shapes/grid_on_shape_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "foundation/byte_order.h"

const char kGosMagic[kGosMagicSize] = "ZRGosShapeFileIndex";

namespace {

// Column table entries read per chunk at Open.
constexpr int kTableChunkEntries = 64;
// Bytes of a column block fetched at once by Search from a stream: the range
// count and, for most columns, every range record and the lists behind them,
// so that a search usually costs one read.
constexpr int kColumnPrefetch = 1024;
// A block whose records run past the first fetch has the rest fetched, up to
// this many bytes in all, so that the binary search costs no further reads.
constexpr int kColumnFetchMax = 4096;
// List entries read per chunk.
constexpr int kListChunkEntries = 8;
// Blocks of more records than this are searched from a guess. The rows of
// a column spread fairly evenly over its records, so the record holding a
// row lies near the row's share of the block's row span: a few probes
// around that place replace a binary search's dozen, each of which is a
// cache miss in memory or, read through the file, a read of its own.
constexpr uint32_t kGuessAbove = 128;
// Records read in one piece around the guess when reading from a stream.
constexpr int kGuessWindowRecords = 64;

// Bytes of a column already fetched into memory: [start, start + size).
// Reads inside it are copies; others go to the file.
struct Fetched {
  const MTFile& file;
  int64_t start;
  int32_t size;
  const unsigned char* bytes;  // null until fetched

  // Points at length bytes at position, copied into scratch when they were
  // not fetched. Null when the file read fails.
  const unsigned char* At(int64_t position, int32_t length, unsigned char* scratch) const {
    if (position >= start && position + length <= start + size) return bytes + (position - start);
    if (file.Read(scratch, static_cast<int32_t>(position), length, nullptr) != 0) return nullptr;
    return scratch;
  }
};

}  // namespace

GosRangeRecord DecodeGosRange(const unsigned char* p, int coordinateWidth, int shapeCodeWidth) {
  GosRangeRecord r;
  r.from = ReadBigEndianS(p, coordinateWidth);
  r.to = ReadBigEndianS(p + coordinateWidth, coordinateWidth);
  r.value = ReadBigEndian(p + 2 * coordinateWidth, shapeCodeWidth);
  r.code = p[2 * coordinateWidth + shapeCodeWidth];
  return r;
}

bool GosCellOf(double value, int32_t scale, int32_t& cell) {
  const double f = std::floor(value * scale);
  // Written so that NaN fails too: a conversion of a value outside the
  // integer's range is undefined.
  if (!(f >= static_cast<double>(INT32_MIN) && f <= static_cast<double>(INT32_MAX))) return false;
  cell = static_cast<int32_t>(f);
  return true;
}

void GridOnShapeFileMetaData::Encode(unsigned char* h) const {
  memset(h, 0, kGosHeaderSize);
  memcpy(h, kGosMagic, kGosMagicSize);
  h[20] = static_cast<unsigned char>(precision);
  h[21] = static_cast<unsigned char>(reserved1);
  WriteBigEndian16(h + 22, static_cast<uint16_t>(reserved2));
  WriteBigEndian32(h + 24, minColumn);
  WriteBigEndian32(h + 28, columnTableOffset);
  WriteBigEndian32(h + 32, columnCount);
  WriteBigEndian32(h + 36, dataOffset);
  h[40] = static_cast<unsigned char>(coordinateWidth);
  h[41] = static_cast<unsigned char>(shapeCodeWidth);
}

void GridOnShapeFileMetaData::Decode(const unsigned char* h) {
  precision = h[20];
  reserved1 = h[21];
  reserved2 = ReadBigEndian16(h + 22);
  minColumn = ReadBigEndianS32(h + 24);
  columnTableOffset = ReadBigEndianS32(h + 28);
  columnCount = ReadBigEndianS32(h + 32);
  dataOffset = ReadBigEndianS32(h + 36);
  coordinateWidth = h[40];
  shapeCodeWidth = h[41];
}

int GridOnShapeFile::Open(const char* path, std::string& errorText, int openType) {
  const int result = Open_(path, errorText, openType);
  if (result != 0) Close();
  return result;
}

int GridOnShapeFile::Open_(const char* path, std::string& errorText, int openType) {
  Close();
  char error[256];
  int result = file_.Open(path, openType, nullptr, error, sizeof error);
  if (result != 0) {
    errorText = error;
    return result;
  }
  const int64_t fileSize = file_.FileSize();
  if (fileSize < kGosHeaderSize) return ERR_GOS_TOO_SHORT;
  unsigned char header[kGosHeaderSize];
  if (file_.Read(header, 0, kGosHeaderSize, nullptr) != 0) return ERR_GOS_READ_HEADER;
  if (memcmp(header, kGosMagic, kGosMagicSize) != 0) return ERR_GOS_MAGIC;
  GridOnShapeFileMetaData& h = header_;
  h.Decode(header);
  if (h.precision > kGosMaxPrecision) return ERR_GOS_PRECISION;
  if (h.columnTableOffset < kGosHeaderSize) return ERR_GOS_COLUMN_TABLE_OFFSET;
  if (h.columnCount < 1) return ERR_GOS_COLUMN_COUNT;
  if (h.coordinateWidth < 1 || h.coordinateWidth > 4) return ERR_GOS_COORDINATE_WIDTH;
  if (h.shapeCodeWidth < 1 || h.shapeCodeWidth > 4) return ERR_GOS_SHAPE_CODE_WIDTH;
  // All sizes in 64 bits: the header's numbers may be anything.
  const int64_t tableEnd = int64_t{h.columnTableOffset} + 4 * int64_t{h.columnCount};
  if (tableEnd > h.dataOffset) return ERR_GOS_DATA_OFFSET;
  // A table the file cannot hold is refused before its memory is allocated.
  if (tableEnd > fileSize) return ERR_GOS_READ_COLUMN_TABLE;

  columnOffsets_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(h.columnCount)]);
  if (!columnOffsets_) return ERR_GOS_OUT_OF_MEMORY;
  unsigned char chunk[4 * kTableChunkEntries];
  for (int32_t first = 0; first < h.columnCount; first += kTableChunkEntries) {
    const int32_t n = std::min<int32_t>(kTableChunkEntries, h.columnCount - first);
    if (file_.Read(chunk, h.columnTableOffset + 4 * first, 4 * n, nullptr) != 0)
      return ERR_GOS_READ_COLUMN_TABLE;
    for (int32_t i = 0; i < n; ++i) {
      // Every block must at least hold its range count inside the file.
      const int64_t offset = int64_t{h.dataOffset} + ReadBigEndian32(chunk + 4 * i);
      if (offset + 4 > fileSize) return ERR_GOS_COLUMN_OFFSET;
      columnOffsets_[first + i] = static_cast<uint32_t>(offset);
    }
  }
  scale_ = 1;
  for (int i = 0; i < h.precision; ++i) scale_ *= 10;
  rangeRecordSize_ = 2 * h.coordinateWidth + h.shapeCodeWidth + 1;

  // The summary reads every block once: from memory when the file is held
  // there, else through a mapping kept only while it is derived. Without a
  // mapping or memory for it, searches use the fine index alone.
  const unsigned char* bytes = file_.MemoryAt(0, fileSize);
  MTFile mapped;
  if (bytes == nullptr && mapped.Open(path, OpenPafFileMap, nullptr, nullptr, 0) == 0 &&
      mapped.FileSize() == fileSize)
    bytes = mapped.MemoryAt(0, fileSize);
  if (bytes != nullptr && BuildLongBlocks(bytes, fileSize)) {
    const int64_t guide = longBlocks_ ? int64_t{h.columnCount} * int64_t{sizeof(LongBlock)} : 0;
    summary_.Build(bytes, fileSize, h, columnOffsets_.get(), SummaryBudget(fileSize) - guide);
  }
  return 0;
}

bool GridOnShapeFile::BuildLongBlocks(const unsigned char* bytes, int64_t size) {
  const int32_t columns = header_.columnCount;
  bool any = false;
  for (int32_t c = 0; c < columns && !any; ++c)
    any = ReadBigEndian32(bytes + columnOffsets_[c]) > kGuessAbove;
  if (!any) return true;
  // Within the budget it shares with the summary.
  if (int64_t{columns} * int64_t{sizeof(LongBlock)} > SummaryBudget(size) / 2) return true;
  longBlocks_.reset(new (std::nothrow) LongBlock[static_cast<size_t>(columns)]);
  if (!longBlocks_) return false;
  for (int32_t c = 0; c < columns; ++c) {
    // Open has checked that every count lies inside the file; a block whose
    // records do not is left to the search, which gives its code.
    const uint32_t offset = columnOffsets_[c];
    const uint32_t count = ReadBigEndian32(bytes + offset);
    LongBlock& b = longBlocks_[c];
    b = LongBlock{0, 0, 0};
    if (count <= kGuessAbove || offset + 4 + int64_t{count} * rangeRecordSize_ > size) continue;
    const int cw = header_.coordinateWidth;
    b.count = count;
    b.firstFrom = ReadBigEndianS(bytes + offset + 4, cw);
    b.lastFrom = ReadBigEndianS(bytes + offset + 4 + int64_t{count - 1} * rangeRecordSize_, cw);
  }
  return true;
}

int64_t GridOnShapeFile::DerivedMemoryBytes() const {
  return summary_.MemoryBytes() +
         (longBlocks_ ? int64_t{header_.columnCount} * int64_t{sizeof(LongBlock)} : 0);
}

int64_t GridOnShapeFile::SummaryBudget(int64_t fileSize) {
  constexpr int64_t kFloor = 4 << 20;
  return std::max(fileSize / 50, std::min(kFloor, fileSize));
}

void GridOnShapeFile::Close() {
  summary_.Clear();
  longBlocks_.reset();
  columnOffsets_.reset();
  file_.Close();
  // A header without columns sends every search away before the missing
  // column table is touched, so a caller that searches after a failed Open
  // finds nothing instead of crashing.
  header_ = GridOnShapeFileMetaData();
  rangeRecordSize_ = 0;
  scale_ = 1;
}

int64_t GridOnShapeFile::ColumnOf(double longitude) const {
  int32_t cell;
  if (!GosCellOf(longitude, scale_, cell)) return -1;
  const int64_t column = int64_t{cell} - header_.minColumn;
  return column < header_.columnCount ? column : -1;
}

int GridOnShapeFile::ReadRangeCount(uint32_t offset, uint32_t& count,
                                    int64_t& recordsEnd) const {
  unsigned char bytes[4];
  if (file_.Read(bytes, static_cast<int32_t>(offset), 4, nullptr) != 0) return ERR_GOS_READ_COLUMN;
  count = ReadBigEndian32(bytes);
  recordsEnd = int64_t{offset} + 4 + int64_t{count} * rangeRecordSize_;
  return recordsEnd > file_.FileSize() ? ERR_GOS_READ_COLUMN : 0;
}

int GridOnShapeFile::Search(double latitude, double longitude, int& inside,
                            std::vector<int>& candidates) const {
  return Search_(latitude, longitude, inside, candidates, true);
}

int GridOnShapeFile::SearchFine(double latitude, double longitude, int& inside,
                                std::vector<int>& candidates) const {
  return Search_(latitude, longitude, inside, candidates, false);
}

int GridOnShapeFile::Search_(double latitude, double longitude, int& inside,
                             std::vector<int>& candidates, bool useSummary) const {
  inside = 0;
  candidates.clear();
  int32_t row;
  const int64_t column = ColumnOf(longitude);
  if (column < 0 || !GosCellOf(latitude, scale_, row)) return 0;
  // Most points end in the summary: a cell under one shape or none.
  const uint32_t verdict = useSummary ? summary_.Verdict(column, row) : GridSummary::kLookFine;
  if (verdict != GridSummary::kLookFine) {
    inside = static_cast<int>(verdict);
    return 0;
  }
  return SearchColumn(column, row, inside, candidates);
}

int GridOnShapeFile::SearchColumn(int64_t column, int32_t row, int& inside,
                                  std::vector<int>& candidates) const {
  // A file held in memory is searched where it lies, with no copy. From a
  // stream, one read fetches the range count and as much of the block as
  // fits; a block with more records has the rest fetched when it fits the
  // larger buffer, so that the search below reads nothing more. Larger
  // blocks are searched from a guess, with the records around it fetched
  // in one read.
  const uint32_t offset = columnOffsets_[column];
  const int64_t fileSize = file_.FileSize();
  Fetched source{file_, offset, static_cast<int32_t>(fileSize - offset),
                 file_.MemoryAt(offset, fileSize - offset)};
  unsigned char block[kColumnFetchMax];
  // A long block's count and ends are known from Open: nothing is fetched
  // before the records around the guess.
  const LongBlock* guide =
      longBlocks_ && longBlocks_[column].count != 0 ? &longBlocks_[column] : nullptr;
  if (source.bytes == nullptr) {
    source.size = guide ? 0 : static_cast<int32_t>(std::min<int64_t>(kColumnPrefetch, source.size));
    if (!guide && file_.Read(block, static_cast<int32_t>(offset), source.size, nullptr) != 0)
      return ERR_GOS_READ_COLUMN;
    source.bytes = block;
  }
  const uint32_t count = guide ? guide->count : ReadBigEndian32(source.bytes);
  const int64_t recordsStart = int64_t{offset} + 4;
  const int64_t recordsEnd = recordsStart + int64_t{count} * rangeRecordSize_;
  if (recordsEnd > fileSize) return ERR_GOS_READ_COLUMN;
  if (!guide && source.bytes == block && recordsEnd > offset + source.size &&
      recordsEnd - offset <= kColumnFetchMax) {
    const int32_t whole = static_cast<int32_t>(std::min<int64_t>(kColumnFetchMax, fileSize - offset));
    if (file_.Read(block + source.size, static_cast<int32_t>(offset + source.size),
                   whole - source.size, nullptr) != 0)
      return ERR_GOS_READ_COLUMN;
    source.size = whole;
  }

  // The records cover ascending, disjoint row spans: the only one that can
  // hold the row is the last whose `from` is not above it. The search keeps
  // every record below lo starting at or below the row and every one from
  // hi on starting above it.
  const int cw = header_.coordinateWidth, scw = header_.shapeCodeWidth;
  unsigned char scratch[4 * kListChunkEntries];
  int failed = 0;
  const auto startsAtMost = [&](uint32_t i) {
    const unsigned char* p = source.At(recordsStart + int64_t{i} * rangeRecordSize_, cw, scratch);
    if (p == nullptr) {
      failed = ERR_GOS_READ_COLUMN;
      return false;
    }
    return ReadBigEndianS(p, cw) <= row;
  };
  uint32_t lo = 0, hi = count;
  if (count > kGuessAbove) {
    int64_t firstFrom, lastFrom;
    if (guide) {
      firstFrom = guide->firstFrom;
      lastFrom = guide->lastFrom;
    } else {
      const unsigned char* last =
          source.At(recordsStart + int64_t{count - 1} * rangeRecordSize_, cw, scratch);
      if (last == nullptr) return ERR_GOS_READ_COLUMN;
      lastFrom = ReadBigEndianS(last, cw);
      firstFrom = ReadBigEndianS(source.bytes + 4, cw);
    }
    int64_t guess = 0;
    if (lastFrom > firstFrom)
      guess = (int64_t{row} - firstFrom) * (count - 1) / (lastFrom - firstFrom);
    const uint32_t g = static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(guess, 0), count - 1));
    // From a stream, the records around the guess in one read unless they
    // were fetched already; probes beyond them read the file one by one.
    const uint32_t first = g > kGuessWindowRecords / 2 ? g - kGuessWindowRecords / 2 : 0;
    const uint32_t n = std::min<uint32_t>(kGuessWindowRecords, count - first);
    const int64_t windowStart = recordsStart + int64_t{first} * rangeRecordSize_;
    const int32_t windowSize = static_cast<int32_t>(n * rangeRecordSize_);
    if (source.bytes == block &&
        (windowStart < source.start || windowStart + windowSize > source.start + source.size)) {
      if (file_.Read(block, static_cast<int32_t>(windowStart), windowSize, nullptr) != 0)
        return ERR_GOS_READ_COLUMN;
      source.start = windowStart;
      source.size = windowSize;
    }
    // From the guess, steps doubling away from it until the row is passed.
    if (startsAtMost(g)) {
      lo = g + 1;
      for (uint32_t step = 1; lo < hi; step *= 2) {
        const uint32_t j = g + step < hi ? g + step : hi - 1;
        if (startsAtMost(j)) {
          lo = j + 1;
        } else {
          hi = j;
          break;
        }
      }
    } else {
      hi = g;
      for (uint32_t step = 1; lo < hi; step *= 2) {
        const uint32_t j = g >= lo + step ? g - step : lo;
        if (startsAtMost(j)) {
          lo = j + 1;
          break;
        }
        hi = j;
      }
    }
    if (failed != 0) return failed;
  }
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (startsAtMost(mid))
      lo = mid + 1;
    else
      hi = mid;
  }
  if (failed != 0) return failed;
  if (lo == 0) return 0;
  const unsigned char* p =
      source.At(recordsStart + int64_t{lo - 1} * rangeRecordSize_, rangeRecordSize_, scratch);
  if (p == nullptr) return ERR_GOS_READ_COLUMN;
  const GosRangeRecord r = DecodeGosRange(p, cw, scw);
  if (r.to < row) return 0;

  switch (r.code) {
    case 'I':
      inside = static_cast<int>(r.value);
      return 0;
    case 'P':
      candidates.push_back(static_cast<int>(r.value));
      return 0;
    case ' ':
      return 0;
    case 'L':
      break;
    default:
      return ERR_GOS_RANGE_CODE;
  }
  // A list: entries up to a 0, read a few at a time.
  int64_t position = recordsEnd + int64_t{scw} * r.value;
  for (;;) {
    const int64_t remaining = fileSize - position;
    if (remaining < scw) return ERR_GOS_LIST_UNTERMINATED;
    const int32_t entries = static_cast<int32_t>(std::min<int64_t>(kListChunkEntries, remaining / scw));
    const unsigned char* e = source.At(position, entries * scw, scratch);
    if (e == nullptr) return ERR_GOS_READ_COLUMN;
    for (int32_t i = 0; i < entries; ++i) {
      const uint32_t code = ReadBigEndian(e + i * scw, scw);
      if (code == 0) return 0;
      candidates.push_back(static_cast<int>(code));
    }
    position += int64_t{entries} * scw;
  }
}

int GridOnShapeFile::ShowInfo(FILE* stream, bool) const {
  const GridOnShapeFileMetaData& h = header_;
  fprintf(stream, "Precision: %d\n", h.precision);
  fprintf(stream, "Longitude range: [%g, %g]\n", static_cast<double>(h.minColumn) / scale_,
          (static_cast<double>(h.minColumn) + h.columnCount) / scale_);
  int64_t total = 0, inside = 0, partial = 0, list = 0, empty = 0;
  int32_t lowest = INT32_MAX, highest = INT32_MIN;
  // Columns that share a block are counted from one reading of it.
  int64_t blockCells[4] = {0, 0, 0, 0};  // 'I', 'P', 'L', ' '
  unsigned char record[16];
  for (int32_t column = 0; column < h.columnCount; ++column) {
    const uint32_t offset = columnOffsets_[column];
    if (column == 0 || offset != columnOffsets_[column - 1]) {
      uint32_t count;
      int64_t recordsEnd;
      const int result = ReadRangeCount(offset, count, recordsEnd);
      if (result != 0) return result;
      std::fill(blockCells, blockCells + 4, 0);
      for (uint32_t i = 0; i < count; ++i) {
        if (file_.Read(record, static_cast<int32_t>(offset + 4 + int64_t{i} * rangeRecordSize_),
                       rangeRecordSize_, nullptr) != 0)
          return ERR_GOS_READ_COLUMN;
        const GosRangeRecord r = DecodeGosRange(record, h.coordinateWidth, h.shapeCodeWidth);
        const int64_t n = int64_t{r.to} - r.from + 1;
        lowest = std::min(lowest, r.from);
        highest = std::max(highest, r.to);
        switch (r.code) {
          case 'I': blockCells[0] += n; break;
          case 'P': blockCells[1] += n; break;
          case 'L': blockCells[2] += n; break;
          case ' ': blockCells[3] += n; break;
          default:
            fprintf(stream, "\nInvalid code: %d\n", r.code);
            return -1;
        }
      }
    }
    inside += blockCells[0];
    partial += blockCells[1];
    list += blockCells[2];
    empty += blockCells[3];
  }
  total = inside + partial + list + empty;
  if (total == 0) lowest = highest = 0;  // no cells: no latitude range either
  fprintf(stream, "Latitude range: [%g, %g]\n", static_cast<double>(lowest) / scale_,
          static_cast<double>(highest) / scale_);
  // A grid without cells sends every point away without an exact test.
  const double wellIndexed = total == 0 ? 100.0 : 100.0 * (inside + empty) / total;
  fprintf(stream, "Coordinates very well indexed: %.1f%%\n", wellIndexed);
  return 0;
}

int GridOnShapeFile::DebugAColumn(FILE* stream, double longitude) const {
  const GridOnShapeFileMetaData& h = header_;
  int32_t cell;
  const int64_t column =
      GosCellOf(longitude, scale_, cell) ? int64_t{cell} - h.minColumn : int64_t{INT32_MIN};
  fprintf(stream, "Longitude of %g gives column %lld\n", longitude, static_cast<long long>(column));
  if (column < 0 || column >= h.columnCount) {
    fprintf(stream, " Column %lld is out of range [0,%d]\n", static_cast<long long>(column),
            h.columnCount);
    return 0;
  }
  const uint32_t offset = columnOffsets_[column];
  uint32_t count;
  int64_t recordsEnd;
  const int result = ReadRangeCount(offset, count, recordsEnd);
  if (result != 0) return result;
  fprintf(stream, "There are %u ranges for this column:\n", count);
  fprintf(stream, "%8s %8s %5s %8s\n", "From", "To", "Code", "Shape");
  unsigned char record[16];
  for (uint32_t i = 0; i < count; ++i) {
    if (file_.Read(record, static_cast<int32_t>(offset + 4 + int64_t{i} * rangeRecordSize_),
                   rangeRecordSize_, nullptr) != 0)
      return ERR_GOS_READ_COLUMN;
    const GosRangeRecord r = DecodeGosRange(record, h.coordinateWidth, h.shapeCodeWidth);
    fprintf(stream, "%8d %8d %5c %8u\n", r.from, r.to, r.code, r.value);
  }
  // The list area runs to the next different block, or to the end.
  int64_t end = file_.FileSize();
  for (int64_t next = column + 1; next < h.columnCount; ++next) {
    if (columnOffsets_[next] != offset) {
      end = columnOffsets_[next];
      break;
    }
  }
  fprintf(stream, "List of shapes:\n");
  unsigned char entry[4];
  for (int64_t position = recordsEnd; position + h.shapeCodeWidth <= end;
       position += h.shapeCodeWidth) {
    if (file_.Read(entry, static_cast<int32_t>(position), h.shapeCodeWidth, nullptr) != 0)
      return ERR_GOS_READ_COLUMN;
    fprintf(stream, "%u\n", ReadBigEndian(entry, h.shapeCodeWidth));
  }
  return 0;
}
