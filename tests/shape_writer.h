// A small shapefile and dBASE writer for tests: synthetic sets of any shape
// type (tessellations, rings with holes, counter-clockwise rings, null
// shapes, huge polygons) and hand-made attribute tables. It is written from
// the published format on its own, sharing no code with the readers, so a
// round trip through it checks the readers against an independent encoder.
#ifndef ZRUTILS_TESTS_SHAPE_WRITER_H
#define ZRUTILS_TESTS_SHAPE_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "shapes/shape_file_shape.h"

// A polygon from rings of (x, y) points, stored as given (close them
// yourself: the first point repeated at the end).
ShapeFileShape MakePolygon(const std::vector<std::vector<ShapeFilePoint>>& rings);
// The closed ring of an axis-aligned rectangle, clockwise (an outer ring)
// or counter-clockwise (a hole).
std::vector<ShapeFilePoint> RectangleRing(double minX, double minY, double maxX, double maxY,
                                          bool clockwise = true);

// The content of one record (type, box, counts, parts, points, Z and M
// blocks as its type has them) as the format lays it out. The box and the
// Z and M ranges are computed from the points and values. withM writes the
// optional M block of the Z and M types (from shape.m, or zeros).
std::string ShapeRecordContent(const ShapeFileShape& shape, bool withM = true);

struct ShapeFileBytes {
  std::string shp;
  std::string shx;
};
// The main and index files of a set of shapes of fileType (records of type
// 0 are null shapes); the header box covers all records' boxes.
ShapeFileBytes MakeShapeFiles(int32_t fileType, const std::vector<ShapeFileShape>& shapes,
                              bool withM = true);

struct DbfFieldSpec {
  std::string name;  // up to 11 bytes; 11 bytes are stored without a NUL
  char type = 'C';
  int length = 10;   // for types other than N, F, D stored in bytes 16 and 17
  int decimals = 0;
};
// A dBASE table: each value is written left-aligned and padded with spaces
// to its field's width (cut when longer).
std::string MakeDbf(const std::vector<DbfFieldSpec>& fields,
                    const std::vector<std::vector<std::string>>& rows);

// Writes base.shp, base.shx and base.dbf from the bytes given.
void WriteShapeFiles(const std::string& base, const ShapeFileBytes& files, const std::string& dbf);
// Copies from.shp, from.shx and from.dbf to to.shp, to.shx and to.dbf.
void CopyShapeSet(const std::string& from, const std::string& to);
// Writes base.shp, base.shx and base.dbf; the table has one character
// field NAME holding "shape<index>" for each shape.
void WriteShapeSet(const std::string& base, int32_t fileType,
                   const std::vector<ShapeFileShape>& shapes, bool withM = true);

// FNV-1a 64 over the little-endian bytes of the doubles, the digest the
// oracle files hold for points, Z and M values.
uint64_t DigestDoubles(const double* values, size_t count);

#endif
