// CreateGridOnShape: builds the grid index file ("<base>.gos", format in
// docs/gos_format.md) of a polygon shapefile, so that GridOnShapeFile can
// name the shapes that may hold a point without testing them all.
//
// Every ring of every selected record is traced once through the grid's
// columns (shapes/grid_trace.h); each column's markings are then resolved
// into ranges and written (shapes/grid_column.h; the two stages are in
// shapes/grid_build_stages.h). The same shapefile and options always give
// the same bytes.
//
// The index is written under a temporary name beside its final place and
// renamed into place only when every write and the close succeeded, so a
// failed or interrupted build never leaves a ".gos" that a later open would
// trust, and two builds of one index at once (two processes, or two
// spellings of one path) each leave a complete file.
#ifndef ZRUTILS_SHAPES_CREATE_GRID_ON_SHAPE_H
#define ZRUTILS_SHAPES_CREATE_GRID_ON_SHAPE_H

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "foundation/export.h"
#include "shapes/grid_on_shape_file.h"

class ShapeFileReader;

// Result codes of index creation (0 is success); the shapefile reader's
// codes pass through unchanged.
enum : int {
  ERR_GOS_CREATE = 28100,              // the index file cannot be created or written
  ERR_GOS_HEADER_SIZE = 28101,         // the header written is not 44 bytes
  ERR_GOS_TABLE_SIZE = 28102,          // the column table does not end at dataOffset
  ERR_GOS_LIST_OFFSET = 28103,         // a list offset does not fit the shape code width
  ERR_GOS_NOT_POLYGONS = 28104,        // not a Polygon, PolygonZ or PolygonM file
  ERR_GOS_TOO_FEW_COLUMNS = 28105,     // fewer than 2 columns
  ERR_GOS_NO_MEMORY = 28106,           // the markings cannot be held in memory
  ERR_GOS_INVALID_FILTER = 28108,      // filter without a field name before '='
  ERR_GOS_NOTHING_INDEXED = 28109,     // the filter selected no record
  ERR_GOS_TOO_MANY_COLUMNS = 28110,    // over 10,000,000 columns, or coordinates
                                       // beyond the cell numbers' 32 bits
};

struct ZRU_EXPORT CreateGridOnShapeOptions {
  // 0 to 4: cells of 10^-precision degrees. Any other value chooses one
  // from the records per square degree; -2 chooses one finer than that.
  int precision = -1;
  // "field=value": index only records whose field holds value.
  std::string filter;
  // Shape codes one byte wider than needed.
  bool widerShapeCodes = false;
  // When includeField is not empty, index only records whose value of it is
  // one of includeValues.
  std::set<std::string> includeValues;
  std::string includeField;
  // Called now and then during long builds with the work done and the
  // whole work (records traced plus columns written); may be empty.
  std::function<void(int64_t done, int64_t total)> progress;
};

ZRU_EXPORT int CreateGridOnShape(const std::string& path, CreateGridOnShapeOptions options);

// The index file of a shapefile: "<base>.gos" beside "<base>.shp", the
// extension of path (any of the set's files, or none) replaced.
ZRU_EXPORT std::string GosPathOf(const std::string& path);

// The most columns a grid may have.
constexpr int64_t kGosMaxColumns = 10000000;
// The precision an index is built at when the caller names none: cells of
// 0.001 degrees.
constexpr int kGosDefaultPrecision = 3;
// Whether a grid of precision over the box (MinX .. MaxX, MinY .. MaxY)
// passes the format's limits: 0 with its column count, 28105 for fewer than
// 2 columns, 28110 for too many or for cells beyond signed 32 bits.
ZRU_EXPORT int GosGridLimits(double minX, double maxX, double minY, double maxY,
                             int precision, int64_t& columnCount);
// The precision of an index built without one asked for: the default
// when the reader's box passes those limits (degree data), else the one the
// records' density chooses (as for a negative option), lowered until it
// passes, so that projected coordinates (metres, feet) open too; 0 when
// none passes (the build then reports why).
ZRU_EXPORT int GosDefaultPrecision(const ShapeFileReader& reader);

#endif
