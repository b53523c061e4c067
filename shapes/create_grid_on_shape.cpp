#include "shapes/create_grid_on_shape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/replacing_file.h"
#include "shapes/grid_build_stages.h"
#include "shapes/shape_file_reader.h"
#include "shapes/shape_file_shape.h"
#include "text/string_edit.h"

namespace {

// Reports progress when another hundredth of the work is done.
class Progress {
 public:
  Progress(const CreateGridOnShapeOptions& options, int64_t done, int64_t total)
      : callback_(options.progress), done_(done), total_(std::max<int64_t>(total, 1)) {}
  void Step() {
    ++done_;
    if (!callback_) return;
    const int64_t hundredth = done_ * 100 / total_;
    if (hundredth == reported_ && done_ != total_) return;
    reported_ = hundredth;
    callback_(done_, total_);
  }
  int64_t Done() const { return done_; }

 private:
  const std::function<void(int64_t, int64_t)>& callback_;
  int64_t done_;
  int64_t total_;
  int64_t reported_ = -1;
};

// The precision the options ask for; -1 when the box has no area and the
// precision was to be chosen from it.
int ChoosePrecision(int requested, const ShapeFileReader& reader) {
  if (requested >= 0 && requested <= kGosMaxPrecision) return requested;
  const double area = (reader.MaxX() - reader.MinX()) * (reader.MaxY() - reader.MinY());
  if (!(area > 0)) return -1;
  // Computed in double and bounded before the conversion: a tiny area
  // would otherwise ask for a precision no reader accepts.
  double precision = std::floor(0.5 + std::log10(reader.RecordCount() / area) / 2);
  if (!(precision >= 0)) precision = 0;
  if (requested == -2) precision += 1;
  return static_cast<int>(std::min<double>(precision, kGosMaxPrecision));
}


// Whether the record passes the filter and the include list; a read failure
// gives its code.
int Selected(const ShapeFileReader& reader, int32_t record, const std::string& filterField,
             const std::string& filterValue, const CreateGridOnShapeOptions& options,
             bool& selected) {
  selected = true;
  std::string value;
  if (!filterField.empty()) {
    const int result = reader.ReadStringAttribute(record, filterField, value);
    if (result != 0) return result;
    if (value != filterValue) selected = false;
  }
  if (selected && !options.includeField.empty()) {
    const int result = reader.ReadStringAttribute(record, options.includeField, value);
    if (result != 0) return result;
    selected = options.includeValues.count(value) != 0;
  }
  return 0;
}

bool WriteAll(FILE* f, const void* data, size_t size) {
  return size == 0 || fwrite(data, 1, size, f) == size;
}

}  // namespace

std::string GosPathOf(const std::string& path) { return RemoveExtension(path) + ".gos"; }

int GosGridLimits(double minX, double maxX, double minY, double maxY, int precision,
                  int64_t& columnCount) {
  const double scale = std::pow(10.0, precision);
  columnCount = 0;
  // Cell numbers are signed 32-bit in the file: a box beyond them (say,
  // projected metres at a high precision) cannot be indexed.
  int32_t firstX, lastX, firstY, lastY;
  if (!GosCellOf(minX, static_cast<int32_t>(scale), firstX) ||
      !GosCellOf(maxX, static_cast<int32_t>(scale), lastX) ||
      !GosCellOf(minY, static_cast<int32_t>(scale), firstY) ||
      !GosCellOf(maxY, static_cast<int32_t>(scale), lastY))
    return ERR_GOS_TOO_MANY_COLUMNS;
  columnCount = int64_t{lastX} - firstX + 1;
  if (columnCount < 2) return ERR_GOS_TOO_FEW_COLUMNS;
  if (columnCount > kGosMaxColumns) return ERR_GOS_TOO_MANY_COLUMNS;
  return 0;
}

int GosDefaultPrecision(const ShapeFileReader& reader) {
  const double minX = reader.MinX(), maxX = reader.MaxX(), minY = reader.MinY(),
               maxY = reader.MaxY();
  int64_t columns;
  if (GosGridLimits(minX, maxX, minY, maxY, kGosDefaultPrecision, columns) == 0)
    return kGosDefaultPrecision;
  // Beyond the limits the box is not in degrees: the records' density
  // chooses, never above what fits.
  int precision = std::max(0, ChoosePrecision(-1, reader));
  while (precision > 0 && GosGridLimits(minX, maxX, minY, maxY, precision, columns) != 0)
    --precision;
  return precision;
}

void GridOnShapeFileMetaData::SetHeaderInfo(int32_t precision_, int32_t minColumn_,
                                            int32_t columnCount_, const ShapeFileReader& reader,
                                            bool widerShapeCodes) {
  precision = precision_;
  reserved1 = reserved2 = 0;
  minColumn = minColumn_;
  columnTableOffset = kGosHeaderSize;
  columnCount = columnCount_;
  dataOffset = -1;
  int32_t scale = 1;
  for (int i = 0; i < precision && i < 9; ++i) scale *= 10;
  int width = 1;  // a grid whose cells are all 0 or -1 still needs a byte
  for (double v : {reader.MinX(), reader.MinY(), reader.MaxX(), reader.MaxY()}) {
    int32_t cell;
    width = std::max(width, GosCellOf(v, scale, cell) ? BytesNeededS(cell) : 4);
  }
  coordinateWidth = width;
  shapeCodeWidth = std::min(4, BytesNeeded(static_cast<uint64_t>(reader.RecordCount()) + 1) +
                                   (widerShapeCodes ? 1 : 0));
}

int TraceGridOnShape(const std::string& path, CreateGridOnShapeOptions& options,
                     GridTrace& trace) {
  GridOnShapeFileMetaData& header = trace.header;
  GridMarkings& markings = trace.markings;
  header = GridOnShapeFileMetaData();
  markings.clear();
  ShapeFileReader reader;
  std::string errorText;
  int result = reader.Open(path, errorText, OpenPafReadFile);
  if (result != 0) return result;
  trace.base = reader.FileName();
  trace.records = reader.RecordCount();

  const int precision = ChoosePrecision(options.precision, reader);
  if (precision < 0) return 0;  // no area, nothing to index
  options.precision = precision;
  const double scale = std::pow(10.0, precision);
  const int32_t type = reader.ShapeType();
  if (type != 5 && type != 15 && type != 25) return ERR_GOS_NOT_POLYGONS;

  int64_t columnCount = 0;
  result = GosGridLimits(reader.MinX(), reader.MaxX(), reader.MinY(), reader.MaxY(), precision,
                         columnCount);
  if (result != 0) return result;
  header.SetHeaderInfo(precision, static_cast<int32_t>(std::floor(reader.MinX() * scale)),
                       static_cast<int32_t>(columnCount), reader, options.widerShapeCodes);

  std::string filterField, filterValue;
  if (!options.filter.empty()) {
    const size_t equals = options.filter.find('=');
    if (equals == std::string::npos || equals == 0) {
      fprintf(stderr, "Invalid filter: '%s'\n", options.filter.c_str());
      return ERR_GOS_INVALID_FILTER;
    }
    filterField = options.filter.substr(0, equals);
    filterValue = options.filter.substr(equals + 1);
  }

  try {
    markings.resize(static_cast<size_t>(columnCount));
    GridTracer tracer(header, reader.MinX(), reader.MaxX(), reader.MinY(), reader.MaxY(),
                      markings);
    Progress progress(options, 0, int64_t{reader.RecordCount()} + columnCount);
    ShapeFileShape shape;
    int64_t indexed = 0;
    for (int32_t r = 0; r < reader.RecordCount(); ++r, progress.Step()) {
      bool selected;
      result = Selected(reader, r, filterField, filterValue, options, selected);
      if (result != 0) return result;
      if (!selected) continue;
      result = reader.ReadShape(r, shape, false);
      if (result != 0) return result;
      tracer.TraceShape(shape, r + 1);
      ++indexed;
    }
    if (!options.filter.empty() && reader.RecordCount() > 0 && indexed == 0)
      return ERR_GOS_NOTHING_INDEXED;
  } catch (const std::bad_alloc&) {
    markings.clear();
    return ERR_GOS_NO_MEMORY;
  }
  return 0;
}

int WriteGosFile(const std::string& path, GridTrace& trace,
                 const CreateGridOnShapeOptions& options) {
  GridOnShapeFileMetaData header = trace.header;
  GridMarkings& markings = trace.markings;
  const int32_t columnCount = header.columnCount;
  header.dataOffset = kGosHeaderSize + 4 * columnCount;
  ReplacingFile out;
  if (!out.Open(path)) return ERR_GOS_CREATE;
  FILE* f = out.f();
  unsigned char bytes[kGosHeaderSize];
  header.Encode(bytes);
  if (!WriteAll(f, bytes, sizeof bytes)) return ERR_GOS_CREATE;
  if (ftello(f) != header.columnTableOffset) return ERR_GOS_HEADER_SIZE;

  try {
    // The table is known only once the blocks are written: room is kept for
    // it and it is filled in at the end.
    std::vector<unsigned char> table(4 * static_cast<size_t>(columnCount));
    if (!WriteAll(f, table.data(), table.size())) return ERR_GOS_CREATE;
    GosColumnEncoder encoder(header.coordinateWidth, header.shapeCodeWidth);
    Progress progress(options, trace.records, trace.records + columnCount);
    std::vector<RangeMarking> ranges, previous;
    std::vector<unsigned char> block;
    int64_t blockStart = 0, written = 0;
    for (int32_t k = 0; k < columnCount; ++k, progress.Step()) {
      ResolveColumn(markings[k], ranges);
      std::vector<TraceMarking>().swap(markings[k]);  // done with: give the memory back
      if (k == 0 || ranges != previous) {
        const int result = encoder.Encode(ranges, block);
        if (result != 0) return result;
        blockStart = written;
        // The reader addresses the file in signed 32 bits.
        if (header.dataOffset + written + static_cast<int64_t>(block.size()) > INT32_MAX)
          return ERR_GOS_CREATE;
        if (!WriteAll(f, block.data(), block.size())) return ERR_GOS_CREATE;
        written += static_cast<int64_t>(block.size());
        previous.swap(ranges);
      }
      WriteBigEndian32(table.data() + 4 * static_cast<size_t>(k), static_cast<uint32_t>(blockStart));
    }
    if (fseeko(f, header.columnTableOffset, SEEK_SET) != 0 || !WriteAll(f, table.data(), table.size()))
      return ERR_GOS_CREATE;
    if (ftello(f) != header.dataOffset) return ERR_GOS_TABLE_SIZE;
  } catch (const std::bad_alloc&) {
    return ERR_GOS_NO_MEMORY;
  }
  return out.Commit() ? 0 : ERR_GOS_CREATE;
}

int CreateGridOnShape(const std::string& path, CreateGridOnShapeOptions options) {
  GridTrace trace;
  const int result = TraceGridOnShape(path, options, trace);
  if (result != 0 || trace.header.columnCount == 0) return result;
  // The reader is closed by now: tracing read every record it needed.
  return WriteGosFile(GosPathOf(path), trace, options);
}
