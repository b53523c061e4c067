#include "shapes/shape_file_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/byte_order.h"
#include "foundation/file_system.h"
#include "shapes/record_bytes.h"
#include "shapes/shape_record.h"

namespace {

constexpr int kHeaderSize = 100;
constexpr int32_t kFileCode = 9994;
constexpr int32_t kVersion = 1000;
constexpr int kIndexRecordSize = 8;
constexpr int kRecordHeaderSize = 8;

// What ReadShape(int) answers for a shape that is not loaded.
const ShapeFileShape emptyShape;

// The path without its extension: the text from the last '.' on, unless a
// ':', '/' or '\\' follows that '.' (then the dot belongs to a folder).
std::string RemoveShapeExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find_first_of(":/\\", dot) != std::string::npos)
    return path;
  return path.substr(0, dot);
}

// The lower-case name when that file exists, else the upper-case one.
std::string SetFileName(const std::string& baseName, const char* lower, const char* upper) {
  const std::string name = baseName + lower;
  return FileExists_(name.c_str()) ? name : baseName + upper;
}

int OpenShapeFile(MTFile& file, const std::string& path, int openType, std::string& errorText) {
  char errorBuffer[256] = {};
  const int result = file.Open(path.c_str(), openType, nullptr, errorBuffer, sizeof errorBuffer);
  if (result != 0)
    errorText = errorBuffer[0] != '\0' ? errorBuffer : "Cannot open shape file : " + path;
  return result;
}

}  // namespace

int ShapeFileReader::Open(const std::string& path, std::string& errorText, int openType) {
  const int result = Open_(path, errorText, openType);
  if (result != 0) Close();
  return result;
}

int ShapeFileReader::Open_(const std::string& path, std::string& errorText, int openType) {
  // Nothing of an earlier set may answer for this one.
  Close();
  shapes_.clear();
  shapeType_ = 0;
  recordCount_ = 0;
  minX_ = maxX_ = minY_ = maxY_ = 0;

  baseName_ = RemoveShapeExtension(path);
  const std::string shpPath = SetFileName(baseName_, ".shp", ".SHP");
  int result = OpenShapeFile(shpFile_, shpPath, openType, errorText);
  if (result != 0) return result;
  const std::string shxPath = SetFileName(baseName_, ".shx", ".SHX");
  result = OpenShapeFile(shxFile_, shxPath, openType, errorText);
  if (result != 0) return result;
  result = dbf_.Open(SetFileName(baseName_, ".dbf", ".DBF"), errorText, openType);
  if (result != 0) return result;

  unsigned char shp[kHeaderSize];
  result = shpFile_.Read(shp, 0, kHeaderSize, nullptr);
  if (result != 0) {
    errorText = "Shape file read error. " + shpPath;
    return result;
  }
  if (ReadBigEndianS32(shp) != kFileCode) {
    errorText = "Invalid shape file. " + shpPath;
    return ERR_SHAPEFILE_INVALID_HEADER;
  }
  if (ReadLittleEndianS32(shp + 28) != kVersion) {
    errorText = "Unsupported shape file version. " + shpPath;
    return ERR_SHAPEFILE_UNSUPPORTED_VERSION;
  }
  shapeType_ = ReadLittleEndianS32(shp + 32);
  minX_ = ReadLittleEndianDouble(shp + 36);
  minY_ = ReadLittleEndianDouble(shp + 44);
  maxX_ = ReadLittleEndianDouble(shp + 52);
  maxY_ = ReadLittleEndianDouble(shp + 60);

  unsigned char shx[kHeaderSize];
  result = shxFile_.Read(shx, 0, kHeaderSize, nullptr);
  if (result != 0) {
    errorText = "Shape file read error. " + shxPath;
    return result;
  }
  if (ReadBigEndianS32(shx) != kFileCode) {
    errorText = "Invalid shape file. " + shxPath;
    return ERR_SHAPEFILE_INVALID_HEADER;
  }
  // The stated length is in 16-bit words; one that does not even cover the
  // header means no records, not a negative count.
  const int64_t indexBytes = int64_t{2} * ReadBigEndian32(shx + 24);
  const int64_t records = (indexBytes - kHeaderSize) / kIndexRecordSize;
  recordCount_ = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(records, 0), INT32_MAX));

  if (memcmp(shp + 28, shx + 28, kHeaderSize - 28) != 0) {
    errorText = "Shape files don't match. " + shxPath;
    return ERR_SHAPEFILE_MISMATCH;
  }
  return 0;
}

void ShapeFileReader::Close() {
  shpFile_.Close();
  shxFile_.Close();
}

std::string ShapeFileReader::ShapeTypeToString(int32_t type) {
  switch (type) {
    case kShapeNull: return "Null";
    case kShapePoint: return "Point";
    case kShapePolyline: return "Polyline";
    case kShapePolygon: return "Polygon";
    case kShapeMultiPoint: return "MultiPoint";
    case kShapePointZ: return "PointZ";
    case kShapePolylineZ: return "PolylineZ";
    case kShapePolygonZ: return "PolygonZ";
    case kShapeMultiPointZ: return "MultiPointZ";
    case kShapePointM: return "PointM";
    case kShapePolylineM: return "PolylineM";
    case kShapePolygonM: return "PolygonM";
    case kShapeMultiPointM: return "MultiPointM";
    case kShapeMultiPatch: return "MultiPatch";
    default: {
      char text[32];
      snprintf(text, sizeof text, "Unknown type %d", static_cast<int>(type));
      return text;
    }
  }
}

void ShapeFileReader::ReadBox(ShapeFileShape& shape, const unsigned char* bytes) {
  shape.minX = ReadLittleEndianDouble(bytes);
  shape.minY = ReadLittleEndianDouble(bytes + 8);
  shape.maxX = ReadLittleEndianDouble(bytes + 16);
  shape.maxY = ReadLittleEndianDouble(bytes + 24);
}

ShapeFilePoint ShapeFileReader::ReadPoint(const unsigned char* bytes) {
  return ShapeFilePoint{ReadLittleEndianDouble(bytes), ReadLittleEndianDouble(bytes + 8)};
}

int ShapeFileReader::ReadShape(int32_t index, ShapeFileShape& shape, bool boxOnly) const {
  shape.Clear();
  if (index < 0 || index >= recordCount_) return ERR_SHAPEFILE_INVALID_RECORD_NUM;
  if (index < static_cast<int32_t>(shapes_.size())) {
    shape = shapes_[static_cast<size_t>(index)];
    return 0;
  }

  RecordBytes entry;
  int result = entry.Read(shxFile_, kHeaderSize + int64_t{kIndexRecordSize} * index,
                          kIndexRecordSize);
  if (result != 0) return result;
  // Offset and length are in 16-bit words; both are checked against the
  // main file before any buffer is made for them.
  const int64_t offset = int64_t{2} * ReadBigEndian32(entry.data());
  const int64_t length = int64_t{2} * ReadBigEndian32(entry.data() + 4);
  if (offset + kRecordHeaderSize + length > shpFile_.FileSize()) return ERR_MTFILE_PAST_END;

  // A box is all a boxOnly read looks at, so only that much is fetched.
  const int64_t wanted = boxOnly ? std::min(length, kBoxOnlyBytes) : length;
  RecordBytes record;
  result = record.Read(shpFile_, offset, kRecordHeaderSize + wanted);
  if (result != 0) return result;
  const unsigned char* header = record.data();
  if (ReadBigEndian32(header) != static_cast<uint32_t>(index) + 1) return ERR_SHAPEFILE_CORRUPT_1;
  if (int64_t{2} * ReadBigEndian32(header + 4) != length) return ERR_SHAPEFILE_CORRUPT_2;
  if (length < 4) return ERR_SHAPEFILE_CORRUPT_4;
  const unsigned char* content = header + kRecordHeaderSize;
  const int32_t type = ReadLittleEndianS32(content);
  if (type != kShapeNull && type != shapeType_) return ERR_SHAPEFILE_CORRUPT_3;
  return ParseShapeRecord(content, length, boxOnly, shape);
}

const ShapeFileShape& ShapeFileReader::ReadShape(int32_t index) const {
  if (index >= 0 && index < static_cast<int32_t>(shapes_.size()))
    return shapes_[static_cast<size_t>(index)];
  return emptyShape;
}

int ShapeFileReader::ReadShape(int32_t index, ShapeCache& cache,
                               const ShapeFileShape*& shapePointer) const {
  // Checked first so that index -1 can never match a free cache record.
  if (index < 0 || index >= recordCount_) return ERR_SHAPEFILE_INVALID_RECORD_NUM;
  return cache.Get(
      index, 0, [&](ShapeFileShape& shape) { return ReadShape(index, shape, false); },
      shapePointer);
}

int ShapeFileReader::LoadShapesIntoMemory() {
  shapes_.clear();
  // The stated count is untrusted; the index file's real size bounds it.
  const int64_t indexed = (int64_t{shxFile_.FileSize()} - kHeaderSize) / kIndexRecordSize;
  shapes_.reserve(static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(recordCount_, indexed))));
  ShapeFileShape shape;
  for (int32_t index = 0; index < recordCount_; ++index) {
    const int result = ReadShape(index, shape, false);
    if (result != 0) return result;
    shapes_.push_back(shape);
  }
  return 0;
}
