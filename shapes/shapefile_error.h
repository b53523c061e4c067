// Result codes of the shapefile and dBASE readers (0 is success). File
// access failures pass the MTFile codes through unchanged.
#ifndef ZRUTILS_SHAPES_SHAPEFILE_ERROR_H
#define ZRUTILS_SHAPES_SHAPEFILE_ERROR_H

#include <cstdint>

using ShapeFileError = int32_t;

enum : int32_t {
  ERR_SHAPEFILE_OUT_OF_MEMORY = 28001,       // a record buffer cannot be allocated
  ERR_SHAPEFILE_OPEN = 28002,                // used by the point-in-shape entry
  ERR_SHAPEFILE_READ = 28003,                // used by the point-in-shape entry
  ERR_SHAPEFILE_INVALID_HEADER = 28004,      // a header's file code is not 9994, or a header is impossible
  ERR_SHAPEFILE_UNSUPPORTED_VERSION = 28005, // the .shp version is not 1000
  ERR_SHAPEFILE_MISMATCH = 28006,            // .shp and .shx headers differ
  ERR_SHAPEFILE_INVALID_RECORD_NUM = 28007,  // record index out of range
  ERR_SHAPEFILE_SEEK = 28008,                // not raised
  ERR_SHAPEFILE_INVALID_FIELD_NUM = 28009,   // field number out of range
  ERR_SHAPEFILE_SHAPE_TYPE = 28010,          // not raised
  ERR_SHAPEFILE_CORRUPT_1 = 28011,           // record number is not index + 1
  ERR_SHAPEFILE_CORRUPT_2 = 28012,           // content length differs from the index record's
  ERR_SHAPEFILE_CORRUPT_3 = 28013,           // shape type neither 0 nor the file's
  ERR_SHAPEFILE_CORRUPT_4 = 28014,           // content shorter than 4 bytes
  ERR_SHAPEFILE_CORRUPT_5 = 28015,           // content shorter than its type's fixed part
  ERR_SHAPEFILE_CORRUPT_6 = 28016,           // part or point counts impossible for the content
  ERR_SHAPEFILE_NO_SUCH_FIELD = 28020,       // unknown field name
  ERR_SHAPEFILE_NOT_OPEN = 28021,            // used by the point-in-shape entry
  ERR_SHAPEFILE_CACHE_FULL = 28022,          // a cache has no record to reuse
};

#endif
