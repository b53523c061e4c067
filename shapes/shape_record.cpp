#include "shapes/shape_record.h"

#include <cstring>

#include "foundation/byte_order.h"
#include "shapes/shape_file_reader.h"

namespace {

// n points from p; one copy where the host's doubles are the file's.
void ReadPoints(std::vector<ShapeFilePoint>& points, const unsigned char* p, int64_t n) {
  points.resize(static_cast<size_t>(n));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (n > 0) memcpy(points.data(), p, static_cast<size_t>(n) * sizeof(ShapeFilePoint));
#else
  for (int64_t i = 0; i < n; ++i) points[i] = ShapeFileReader::ReadPoint(p + 16 * i);
#endif
}

void ReadDoubles(std::vector<double>& values, const unsigned char* p, int64_t n) {
  values.resize(static_cast<size_t>(n));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (n > 0) memcpy(values.data(), p, static_cast<size_t>(n) * sizeof(double));
#else
  for (int64_t i = 0; i < n; ++i) values[i] = ReadLittleEndianDouble(p + 8 * i);
#endif
}

void ReadInts(std::vector<int32_t>& values, const unsigned char* p, int64_t n) {
  values.resize(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) values[static_cast<size_t>(i)] = ReadLittleEndianS32(p + 4 * i);
}

// A range (minimum, maximum) and then n values.
void ReadRange(double& minimum, double& maximum, std::vector<double>& values,
               const unsigned char* p, int64_t n) {
  minimum = ReadLittleEndianDouble(p);
  maximum = ReadLittleEndianDouble(p + 8);
  ReadDoubles(values, p + 16, n);
}

// Polyline, Polygon and their Z and M forms.
int ParsePolyline(const unsigned char* c, int64_t length, bool boxOnly, bool hasZ, bool hasM,
                  ShapeFileShape& shape) {
  if (length < (hasZ ? 60 : 44)) return ERR_SHAPEFILE_CORRUPT_5;
  ShapeFileReader::ReadBox(shape, c + 4);
  if (boxOnly) return 0;
  const int64_t parts = ReadLittleEndianS32(c + 36);
  const int64_t points = ReadLittleEndianS32(c + 40);
  if (parts < 0 || points < 0) return ERR_SHAPEFILE_CORRUPT_6;
  const int64_t xyEnd = 44 + 4 * parts + 16 * points;
  const int64_t zEnd = xyEnd + 16 + 8 * points;
  if (length < (hasZ ? zEnd : xyEnd)) return ERR_SHAPEFILE_CORRUPT_6;
  ReadInts(shape.parts, c + 44, parts);
  ReadPoints(shape.points, c + 44 + 4 * parts, points);
  int64_t mStart = xyEnd;
  if (hasZ) {
    ReadRange(shape.minZ, shape.maxZ, shape.z, c + xyEnd, points);
    mStart = zEnd;
  }
  // The M block is optional in every type that may carry it.
  if ((hasZ || hasM) && length >= mStart + 16 + 8 * points)
    ReadRange(shape.minM, shape.maxM, shape.m, c + mStart, points);
  return 0;
}

// MultiPoint and its Z and M forms.
int ParseMultiPoint(const unsigned char* c, int64_t length, bool boxOnly, bool hasZ, bool hasM,
                    ShapeFileShape& shape) {
  if (length < (hasZ || hasM ? 56 : 40)) return ERR_SHAPEFILE_CORRUPT_5;
  ShapeFileReader::ReadBox(shape, c + 4);
  if (boxOnly) return 0;
  const int64_t points = ReadLittleEndianS32(c + 36);
  if (points < 0) return ERR_SHAPEFILE_CORRUPT_6;
  const int64_t xyEnd = 40 + 16 * points;
  const int64_t rangeEnd = xyEnd + 16 + 8 * points;
  // MultiPointM always holds its M block, so it must fit like a Z block.
  if (length < (hasZ || hasM ? rangeEnd : xyEnd)) return ERR_SHAPEFILE_CORRUPT_6;
  ReadPoints(shape.points, c + 40, points);
  if (hasZ) {
    ReadRange(shape.minZ, shape.maxZ, shape.z, c + xyEnd, points);
    if (length >= rangeEnd + 16 + 8 * points)
      ReadRange(shape.minM, shape.maxM, shape.m, c + rangeEnd, points);
  } else if (hasM) {
    ReadRange(shape.minM, shape.maxM, shape.m, c + xyEnd, points);
  }
  return 0;
}

int ParseMultiPatch(const unsigned char* c, int64_t length, bool boxOnly, ShapeFileShape& shape) {
  if (length < 60) return ERR_SHAPEFILE_CORRUPT_5;
  ShapeFileReader::ReadBox(shape, c + 4);
  if (boxOnly) return 0;
  const int64_t parts = ReadLittleEndianS32(c + 36);
  const int64_t points = ReadLittleEndianS32(c + 40);
  if (parts < 0 || points < 0) return ERR_SHAPEFILE_CORRUPT_6;
  const int64_t pointStart = 44 + 8 * parts;
  const int64_t zStart = pointStart + 16 * points;
  const int64_t zEnd = zStart + 16 + 8 * points;
  if (length < zEnd) return ERR_SHAPEFILE_CORRUPT_6;
  ReadInts(shape.parts, c + 44, parts);
  ReadInts(shape.partTypes, c + 44 + 4 * parts, parts);
  ReadPoints(shape.points, c + pointStart, points);
  ReadRange(shape.minZ, shape.maxZ, shape.z, c + zStart, points);
  if (length >= zEnd + 16 + 8 * points) ReadRange(shape.minM, shape.maxM, shape.m, c + zEnd, points);
  return 0;
}

}  // namespace

int ParseShapeRecord(const unsigned char* c, int64_t length, bool boxOnly, ShapeFileShape& shape) {
  if (length < 4) return ERR_SHAPEFILE_CORRUPT_4;
  shape.shapeType = ReadLittleEndianS32(c);
  switch (shape.shapeType) {
    case kShapePoint:
      if (length < 20) return ERR_SHAPEFILE_CORRUPT_5;
      shape.points.push_back(ShapeFileReader::ReadPoint(c + 4));
      return 0;
    case kShapePointZ:
      if (length < 36) return ERR_SHAPEFILE_CORRUPT_5;
      shape.points.push_back(ShapeFileReader::ReadPoint(c + 4));
      shape.z.push_back(ReadLittleEndianDouble(c + 20));
      shape.m.push_back(ReadLittleEndianDouble(c + 28));
      return 0;
    case kShapePointM:
      if (length < 28) return ERR_SHAPEFILE_CORRUPT_5;
      shape.points.push_back(ShapeFileReader::ReadPoint(c + 4));
      shape.m.push_back(ReadLittleEndianDouble(c + 20));
      return 0;
    case kShapePolyline:
    case kShapePolygon:
      return ParsePolyline(c, length, boxOnly, false, false, shape);
    case kShapePolylineZ:
    case kShapePolygonZ:
      return ParsePolyline(c, length, boxOnly, true, false, shape);
    case kShapePolylineM:
    case kShapePolygonM:
      return ParsePolyline(c, length, boxOnly, false, true, shape);
    case kShapeMultiPoint:
      return ParseMultiPoint(c, length, boxOnly, false, false, shape);
    case kShapeMultiPointZ:
      return ParseMultiPoint(c, length, boxOnly, true, false, shape);
    case kShapeMultiPointM:
      return ParseMultiPoint(c, length, boxOnly, false, true, shape);
    case kShapeMultiPatch:
      return ParseMultiPatch(c, length, boxOnly, shape);
    default:
      // A null shape, or a type the format does not define: no geometry.
      return 0;
  }
}
