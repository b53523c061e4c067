#include "tools/zru/zru_cli.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/file_mapping.h"
#include "foundation/mt_file.h"
#include "hashindex/hash_index_errors.h"
#include "shapes/create_grid_on_shape.h"
#include "shapes/grid_on_shape_file.h"
#include "shapes/shapefile_error.h"

int Fail(const std::string& context, int code, const std::string& text) {
  const std::string meaning = text.empty() ? CodeText(code) : text;
  // Code 0: a failure of the tool's own, with no library code to show.
  if (code == 0)
    fprintf(stderr, "zru: %s: %s\n", context.c_str(), meaning.c_str());
  else
    fprintf(stderr, "zru: %s: error %d: %s\n", context.c_str(), code, meaning.c_str());
  return kExitFailure;
}

std::string CodeText(int code) {
  // The library has no function that names its codes; these are the
  // meanings its headers give.
  switch (code) {
    case ERR_FILEMAP_OPEN: return "the file cannot be opened";
    case ERR_FILEMAP_MAP: return "the file cannot be mapped";
    case ERR_FILEMAP_STAT: return "the file's status cannot be read";
    case ERR_FILE_TOO_LARGE: return "the file is too large";
    case ERR_MTFILE_READ: return "read error";
    case ERR_MTFILE_BAD_RANGE: return "read outside the file";
    case ERR_MTFILE_NOT_OPEN: return "the file is not open";
    case ERR_MTFILE_OPEN: return "the file cannot be opened";
    case ERR_MTFILE_PAST_END: return "read past the end of the file";
    case ERR_SHAPEFILE_OUT_OF_MEMORY: return "out of memory";
    case ERR_SHAPEFILE_INVALID_HEADER: return "invalid shapefile or table header";
    case ERR_SHAPEFILE_UNSUPPORTED_VERSION: return "unsupported shapefile version";
    case ERR_SHAPEFILE_MISMATCH: return ".shp and .shx headers differ";
    case ERR_SHAPEFILE_INVALID_RECORD_NUM: return "no such record";
    case ERR_SHAPEFILE_INVALID_FIELD_NUM: return "no such field";
    case ERR_SHAPEFILE_CORRUPT_1: return "corrupt record: wrong record number";
    case ERR_SHAPEFILE_CORRUPT_2: return "corrupt record: length differs from the index";
    case ERR_SHAPEFILE_CORRUPT_3: return "corrupt record: wrong shape type";
    case ERR_SHAPEFILE_CORRUPT_4: return "corrupt record: shorter than 4 bytes";
    case ERR_SHAPEFILE_CORRUPT_5: return "corrupt record: shorter than its type's fixed part";
    case ERR_SHAPEFILE_CORRUPT_6: return "corrupt record: impossible part or point counts";
    case ERR_SHAPEFILE_NO_SUCH_FIELD: return "unknown field name";
    case ERR_GOS_CREATE: return "the index file cannot be created or written";
    case ERR_GOS_NOT_POLYGONS: return "not a Polygon, PolygonZ or PolygonM shapefile";
    case ERR_GOS_TOO_FEW_COLUMNS: return "fewer than 2 columns";
    case ERR_GOS_NO_MEMORY: return "out of memory";
    case ERR_GOS_INVALID_FILTER: return "filter without a field name before '='";
    case ERR_GOS_NOTHING_INDEXED: return "the filter selected no record";
    case ERR_GOS_TOO_MANY_COLUMNS: return "too many columns";
    case ERR_GOS_READ_HEADER: return "the header cannot be read";
    case ERR_GOS_READ_COLUMN_TABLE: return "the column table cannot be read";
    case ERR_GOS_READ_COLUMN: return "a column cannot be read";
    case ERR_GOS_MAGIC: return "not a grid index file";
    case ERR_GOS_PRECISION: return "precision not 0 to 4";
    case ERR_GOS_COLUMN_TABLE_OFFSET: return "bad column table offset";
    case ERR_GOS_COLUMN_COUNT: return "bad column count";
    case ERR_GOS_COORDINATE_WIDTH: return "bad coordinate width";
    case ERR_GOS_SHAPE_CODE_WIDTH: return "bad shape code width";
    case ERR_GOS_DATA_OFFSET: return "column table overlaps the data";
    case ERR_GOS_RANGE_CODE: return "unknown range code";
    case ERR_GOS_TOO_SHORT: return "file shorter than its header";
    case ERR_GOS_COLUMN_OFFSET: return "a column lies beyond the end";
    case ERR_GOS_LIST_UNTERMINATED: return "unterminated shape list";
    case ERR_HASHINDEX_NO_MEMORY: return "out of memory";
    case ERR_HASHINDEX_TOO_WIDE: return "values, capacities or header fields too large";
    case ERR_HASHINDEX_CREATE: return "the index or its value list cannot be created";
    case ERR_HASHINDEX_WRITE: return "a write failed";
    case ERR_HASHINDEX_BAD_VALUE: return "value 0 or above the largest allowed";
    case ERR_HASHINDEX_FULL: return "more keys or values than the index was sized for";
    case ERR_HASHINDEX_FORMAT_VERSION: return "unsupported format version";
    case ERR_HASHINDEX_HASH_TYPE: return "unknown hash type";
    case ERR_HASHINDEX_REOPEN_LIST: return "the value list cannot be read back";
    case ERR_HASHINDEX_MAGIC: return "not a hash index file";
    case ERR_HASHINDEX_HEADER_LENGTH: return "header length below 54";
    case ERR_HASHINDEX_BAD_SECTIONS: return "impossible widths, table size or sections";
    case ERR_HASHINDEX_HEADER_OVERFLOW: return "user data and text do not fit in the header";
    case ERR_HASHINDEX_MARKER1: return "marker after the header missing";
    case ERR_HASHINDEX_MARKER2: return "marker after the table missing";
    case ERR_HASHINDEX_MARKER3: return "marker after the value list missing";
    case ERR_HASHINDEX_LIST_FLAG: return "list value without its group-start flag";
    case ERR_HASHINDEX_BAD_CALL: return "call out of order";
    case ERR_HASHINDEX_SLOT_RANGE: return "table slot out of range";
    case ERR_HASHINDEX_LIST_RANGE: return "list position out of range";
    case ERR_HASHINDEX_DATA_VERSION: return "data version newer than the reader accepts";
    default: return std::string();
  }
}

int CallEntry(int (*entry)(char*, int), const std::string& parameters, std::string& answer,
              size_t room) {
  std::vector<char> buffer(parameters.size() + room);
  memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
  const int status = entry(buffer.data(), static_cast<int>(buffer.size()) - 1);
  answer = buffer.data();
  return status;
}

bool ParseLatLon(const std::string& text, double& latitude, double& longitude) {
  const char* begin = text.c_str();
  char* end;
  latitude = strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ') ++end;
  if (*end != ',') return false;
  begin = end + 1;
  longitude = strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ') ++end;
  return *end == '\0' && std::isfinite(latitude) && std::isfinite(longitude);
}
