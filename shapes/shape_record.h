// ParseShapeRecord: the content of one shapefile record (after its 8-byte
// record header) into a ShapeFileShape. Every count is checked against the
// content length before anything is reserved or read, so no read leaves
// the content and no array is sized from a count the record cannot hold.
#ifndef ZRUTILS_SHAPES_SHAPE_RECORD_H
#define ZRUTILS_SHAPES_SHAPE_RECORD_H

#include <cstdint>

#include "shapes/shape_file_shape.h"

// content holds at least `available` bytes of a record whose content length
// is length. With boxOnly, types that have a box stop right after it, and
// available = min(length, kBoxOnlyBytes) is enough; otherwise available
// must be length. shape must be cleared. Returns 0, 28014 (shorter than the
// type), 28015 (shorter than the type's fixed part) or 28016 (counts
// negative or more than the content holds). fileType is not checked here.
int ParseShapeRecord(const unsigned char* content, int64_t length, bool boxOnly,
                     ShapeFileShape& shape);

// What a boxOnly parse looks at: the type, and the box or a whole point of
// any point type.
constexpr int64_t kBoxOnlyBytes = 36;

#endif
