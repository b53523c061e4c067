// ShapeFileReader: a shapefile set in the published ESRI format: the main
// file (.shp), its index (.shx) and its attribute table (.dbf, through
// DbfFileReader). Open validates the headers; shapes are then read one
// record at a time on demand, from the files or from a copy of all shapes
// loaded into memory, and attribute reads are forwarded to the table.
// Record indexes are zero-based; a shape's index is its attribute record
// number. File format notes: docs/shapefile.md.
//
// Every header and record length is untrusted: offsets are formed in 64
// bits and checked against the file sizes before anything is allocated,
// and counts that the record cannot hold are refused before any array is
// reserved.
//
// Threads: ReadShape (all three forms) and the concurrent attribute reads
// may run in any number of threads on one open reader. A ShapeCache belongs
// to one thread at a time. Open, Close and LoadShapesIntoMemory must not run
// while other calls use the reader.
#ifndef ZRUTILS_SHAPES_SHAPE_FILE_READER_H
#define ZRUTILS_SHAPES_SHAPE_FILE_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/export.h"
#include "foundation/mt_file.h"
#include "shapes/dbf_file_reader.h"
#include "shapes/shape_file_point.h"
#include "shapes/recent_records.h"
#include "shapes/shape_file_shape.h"
#include "shapes/shapefile_error.h"

// Shape types of the format.
enum : int32_t {
  kShapeNull = 0,
  kShapePoint = 1,
  kShapePolyline = 3,
  kShapePolygon = 5,
  kShapeMultiPoint = 8,
  kShapePointZ = 11,
  kShapePolylineZ = 13,
  kShapePolygonZ = 15,
  kShapeMultiPointZ = 18,
  kShapePointM = 21,
  kShapePolylineM = 23,
  kShapePolygonM = 25,
  kShapeMultiPointM = 28,
  kShapeMultiPatch = 31,
};

class ZRU_EXPORT ShapeFileReader : private ZRNonCopyable {
 public:
  // The 20 most recently used shapes of one thread (field 0 of each).
  using ShapeCache = RecentRecords<ShapeFileShape>;

  ShapeFileReader() = default;
  ~ShapeFileReader() = default;

  // Opens the set named by path (any of its three files, or the path
  // without extension) holding each file as openType says. The lower-case
  // extension is tried first for each file, then the upper-case one. Runs
  // Open_ and closes the shape files again when it fails. On failure
  // errorText holds a message.
  int Open(const std::string& path, std::string& errorText, int openType = OpenPafDefault);
  // The open itself; leaves what it opened open when it fails. Forgets
  // everything an earlier set left behind (header, loaded shapes) first.
  int Open_(const std::string& path, std::string& errorText, int openType);
  // Closes the .shp and .shx files; the attribute table stays open until
  // the reader is opened again or destroyed.
  void Close();

  int32_t ShapeType() const { return shapeType_; }
  int32_t RecordCount() const { return recordCount_; }
  double MinX() const { return minX_; }
  double MinY() const { return minY_; }
  double MaxX() const { return maxX_; }
  double MaxY() const { return maxY_; }
  // The path given to Open with its extension removed.
  const std::string& FileName() const { return baseName_; }

  // "Polygon", "PointZ", ... or "Unknown type <n>".
  static std::string ShapeTypeToString(int32_t type);

  // Fills shape with record index (cleared first). With boxOnly, types that
  // have a box stop right after it (point types are read whole), which
  // makes a cheap rejection test. 0, 28007 for no such record, 28011 to
  // 28016 for a corrupt record, or the file's code. A record of a type the
  // format does not define yields a shape with that type and no geometry.
  int ReadShape(int32_t index, ShapeFileShape& shape, bool boxOnly = false) const;
  // The loaded shape, or a process-wide empty shape when index is not
  // loaded. Reads no file.
  const ShapeFileShape& ReadShape(int32_t index) const;
  // Through the caller's cache: on success shapePointer points at the
  // cached shape, valid until that cache record is reused. A miss replaces
  // the least recently used record. An index out of range gives 28007
  // before the cache is looked at.
  int ReadShape(int32_t index, ShapeCache& cache, const ShapeFileShape*& shapePointer) const;
  // Reads every record into memory, in order; on the first failure returns
  // its code and keeps the shapes read so far.
  int LoadShapesIntoMemory();
  int32_t LoadedShapeCount() const { return static_cast<int32_t>(shapes_.size()); }

  // Four little-endian doubles in file order (Xmin, Ymin, Xmax, Ymax).
  static void ReadBox(ShapeFileShape& shape, const unsigned char* bytes);
  // Two little-endian doubles, x then y.
  static ShapeFilePoint ReadPoint(const unsigned char* bytes);

  // Attribute reads, forwarded to the table; see DbfFileReader.
  int32_t FieldCount() const { return dbf_.FieldCount(); }
  std::string FieldName(int32_t field) const { return dbf_.FieldName(field); }
  int32_t FieldNameToNumber(const std::string& name) const { return dbf_.FieldNameToNumber(name); }
  int ReadStringAttribute(int32_t record, int32_t field, std::string& value) const {
    return dbf_.ReadStringAttribute(record, field, value);
  }
  int ReadStringAttribute(int32_t record, const std::string& fieldName, std::string& value) const {
    return dbf_.ReadStringAttribute(record, fieldName, value);
  }
  int ReadStringAttribute(int32_t record, int32_t field,
                          DbfFileReader::ShapeAttributeCache& attributeCache,
                          const std::string*& valuePointer) const {
    return dbf_.ReadStringAttribute(record, field, attributeCache, valuePointer);
  }
  int ReadStringAttribute_not_MT(int32_t record, int32_t field, std::string& value) {
    return dbf_.ReadStringAttribute_not_MT(record, field, value);
  }
  const DbfFileReader& Dbf() const { return dbf_; }

 private:
  MTFile shpFile_;
  MTFile shxFile_;
  DbfFileReader dbf_;
  int32_t shapeType_ = 0;
  int32_t recordCount_ = 0;
  double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
  std::string baseName_;
  std::vector<ShapeFileShape> shapes_;
};

#endif
