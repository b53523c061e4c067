// zruPointInShape: opens, queries and closes shape files of the registry.
#include <strings.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "foundation/copy_answer.h"
#include "foundation/next_parameter.h"
#include "shapes/record_bytes.h"
#include "shapes/shape_file_shape.h"
#include "shapes/shapefile_error.h"
#include "spatial/find_shape_containing_point.h"
#include "spatial/shape_file_registry.h"
#include "text/geodesy.h"
#include "text/parse_double.h"
#include "text/string_edit.h"

namespace {

std::string ShapeFileErrorText(int code, const char* context) {
  static const char* const kNames[] = {
      "ERR_SHAPEFILE_OUT_OF_MEMORY",       "ERR_SHAPEFILE_OPEN",
      "ERR_SHAPEFILE_READ",                "ERR_SHAPEFILE_INVALID_HEADER",
      "ERR_SHAPEFILE_UNSUPPORTED_VERSION", "ERR_SHAPEFILE_MISMATCH",
      "ERR_SHAPEFILE_INVALID_RECORD_NUM",  "ERR_SHAPEFILE_SEEK",
      "ERR_SHAPEFILE_INVALID_FIELD_NUM",   "ERR_SHAPEFILE_SHAPE_TYPE",
      "ERR_SHAPEFILE_CORRUPT_1",           "ERR_SHAPEFILE_CORRUPT_2",
      "ERR_SHAPEFILE_CORRUPT_3",           "ERR_SHAPEFILE_CORRUPT_4",
      "ERR_SHAPEFILE_CORRUPT_5",           "ERR_SHAPEFILE_CORRUPT_6"};
  if (code >= 28001 && code <= 28016) return kNames[code - 28001];
  if (code == 28020) return "ERR_SHAPEFILE_NO_SUCH_FIELD";
  if (code == 28021) return "ERR_SHAPEFILE_NOT_OPEN";
  char text[32];
  snprintf(text, sizeof text, "Error %d ", code);
  return text + std::string(context);
}

struct PlanePoint {
  double x, y;
};

PlanePoint NearestPointOnSegment(PlanePoint a, PlanePoint b, PlanePoint p) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = dx * dx + dy * dy;
  if (length == 0) return a;
  const double t = (dx * (p.x - a.x) + dy * (p.y - a.y)) / length;
  if (t < 0) return a;
  if (t > 1) return b;
  return {a.x + t * dx, a.y + t * dy};
}

// Kilometres from the point to the nearest edge, in a local plane whose
// longitudes are scaled by the length of a degree at the shape's
// mid-latitude. At the poles the scale is 0; there longitudes stay unscaled.
double DistanceToShapeEdge(const ShapeFileShape& shape, double latitude, double longitude) {
  const double mid = (shape.minY + shape.maxY) / 2;
  double k = LatLongDist(mid, 0.0, mid, 1.0) / 111.19492664455873;
  if (!(k > 0)) k = 1;
  const PlanePoint p{longitude * k, latitude};
  double best = 40589641.0;
  PlanePoint nearest{360.0, 360.0};
  const size_t partCount = shape.parts.size();
  for (size_t part = 0; part < partCount; ++part) {
    size_t begin = static_cast<size_t>(std::max<int32_t>(shape.parts[part], 0));
    size_t end = part + 1 < partCount ? static_cast<size_t>(shape.parts[part + 1])
                                      : shape.points.size();
    end = std::min(end, shape.points.size());
    for (size_t i = begin + 1; i < end; ++i) {
      PlanePoint a{shape.points[i - 1].x * k, shape.points[i - 1].y};
      PlanePoint b{shape.points[i].x * k, shape.points[i].y};
      PlanePoint q = NearestPointOnSegment(a, b, p);
      const double d = (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
      if (d < best) {
        best = d;
        nearest = q;
      }
    }
  }
  if (nearest.x == 360.0) return 0.0;
  return LatLongDist(nearest.y, nearest.x / k, latitude, longitude);
}

bool IsTrue(const char* value) { return strcasecmp(value, "True") == 0; }

// Keys compare without regard to case; the lengths first, so that most keys
// are told apart without a comparison.
template <size_t N>
bool IsKey(const char* key, size_t length, const char (&name)[N]) {
  return length == N - 1 && strcasecmp(key, name) == 0;
}

// Per-thread storage reused by every call, so a query allocates nothing
// once the buffers have grown. Names and fields are cut in place in the
// caller's buffer, which is written only once they are no longer needed.
struct QueryStorage {
  std::vector<char*> files, fields;
  std::vector<ShapeFileUse> acquired;
  std::vector<int> candidates;
  std::string errorText, answer, value;
  ShapeFileShape shape;
  RecordBytes record;
};

int Fail(char* buffer, int size, const std::string& text, int status) {
  CopyAnswer(buffer, text, size);
  return status;
}

int PointInShape(char* buffer, int size, QueryStorage& s) {
  s.files.clear();
  s.acquired.clear();
  s.errorText.clear();
  s.answer.clear();
  double latitude = 0.0, longitude = 0.0;
  bool fieldNames = false, distance = false, openMode = false;
  int precision = -1;
  char *cursor = buffer, *key, *value, *fields = nullptr;
  DecrementUsageCountsWhenFinished guard(s.acquired);
  while (NextParameter(cursor, key, value)) {
    const size_t keyLength = strlen(key);
    if (IsKey(key, keyLength, "ShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
    } else if (IsKey(key, keyLength, "OpenShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
      openMode = true;
      ReadFileMapShapeFilesSetting();
    } else if (IsKey(key, keyLength, "LatLong")) {
      char* end = value;
      latitude = ParseDouble(value, &end);
      longitude = *end != '\0' ? ParseDouble(end + 1, nullptr) : 0.0;
    } else if (IsKey(key, keyLength, "Fields")) {
      fields = value;
    } else if (IsKey(key, keyLength, "FieldNames")) {
      fieldNames = IsTrue(value);
    } else if (IsKey(key, keyLength, "Distance")) {
      distance = IsTrue(value);
    } else if (IsKey(key, keyLength, "IndexPrecision")) {
      long number = strtol(value, nullptr, 10);
      if (number == 0 && value[0] != '0') return Fail(buffer, size, "Invalid Precision", -2);
      precision = static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, number)));
    } else if (IsKey(key, keyLength, "HigherIndexPrecision")) {
      if (IsTrue(value)) precision = -2;
    } else if (IsKey(key, keyLength, "CloseShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
      for (const char* name : s.files) CloseShapeFileByName(name);
      buffer[0] = '\0';
      return 0;
    }
  }
  if (s.files.empty()) return Fail(buffer, size, "ShapeFile not provided", -1);
  if (!openMode && (latitude == 0.0 || longitude == 0.0)) {
    return Fail(buffer, size, "Missing or invalid LatLong", -2);
  }
  s.acquired.assign(s.files.size(), ShapeFileUse());
  for (size_t i = 0; i < s.files.size(); ++i) {
    int code = AcquireShapeFile(s.acquired[i], s.files[i], s.errorText,
                                FileMapShapeFilesMode(), openMode, precision);
    if (code != 0) {
      return Fail(buffer, size,
                  s.errorText.empty() ? ShapeFileErrorText(code, "in openning shape file")
                                      : s.errorText,
                  code);
    }
  }
  if (openMode) {
    buffer[0] = '\0';
    return 0;
  }
  // A NaN coordinate lies in no shape.
  const bool searchable = !std::isnan(latitude) && !std::isnan(longitude);
  ShapeFileInfo* hit = nullptr;
  int record = -1;
  for (size_t i = 0; searchable && i < s.acquired.size() && hit == nullptr; ++i) {
    ShapeFileInfo* entry = s.acquired[i].entry;
    int type = entry->reader.ShapeType();
    if (type != 5 && type != 15 && type != 25) {
      return Fail(buffer, size, "Shape File not supported", -5);
    }
    int code = FindShapeContainingPoint(entry->grid, entry->reader, latitude, longitude,
                                        s.shape, s.candidates, record);
    if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in searching shapefile"), code);
    if (record >= 0) hit = entry;
  }
  if (hit != nullptr) {
    const ShapeFileReader& reader = hit->reader;
    const DbfFileReader& table = reader.Dbf();
    // The record is read once, at the first field that names a column, and
    // every value is cut from it; the errors come in the order field by
    // field reads would give them.
    bool haveRecord = false;
    const auto append = [&](int32_t field, const char* name) {
      if (field < 0) return static_cast<int>(ERR_SHAPEFILE_NO_SUCH_FIELD);
      if (!haveRecord) {
        const int code = table.ReadRecord(record, s.record);
        if (code != 0) return code;
        haveRecord = true;
      }
      table.CutValue(reinterpret_cast<const char*>(s.record.data()), field, s.value);
      if (fieldNames) {
        s.answer += name;
        s.answer += '=';
      }
      s.answer += s.value;
      return 0;
    };
    if (fields == nullptr || fields[0] == '\0') {
      for (int32_t k = 0; k < table.FieldCount(); ++k) {
        if (k > 0) s.answer += '|';
        int code = append(k, table.Fields()[static_cast<size_t>(k)].name.c_str());
        if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading attribute"), code);
      }
    } else {
      SplitInPlace(fields, ',', true, s.fields);
      for (size_t j = 0; j < s.fields.size(); ++j) {
        if (j > 0) s.answer += '|';
        int code = append(table.FieldNameToNumber(s.fields[j]), s.fields[j]);
        if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading attribute"), code);
      }
    }
    if (distance) {
      int code = reader.ReadShape(record, s.shape, false);
      if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading ShapeFile"), code);
      double metres = DistanceToShapeEdge(s.shape, latitude, longitude) * 1000.0;
      // A NaN or out-of-range distance must not reach the integer conversion.
      long long whole = 0;
      if (metres == metres) whole = static_cast<long long>(std::max(-2147483648.0, std::min(2147483647.0, metres)));
      s.answer += '|' + std::to_string(whole) + "m";
    }
  }
  if (static_cast<long long>(s.answer.size()) < size) {
    memcpy(buffer, s.answer.c_str(), s.answer.size() + 1);
    return 0;
  }
  return Fail(buffer, size, "Buffer too small", -6);
}

}  // namespace

int zruPointInShape(char* buffer, int size) {
  if (buffer == nullptr || size < 0) return -2;
  try {
    static thread_local QueryStorage storage;
    return PointInShape(buffer, size, storage);
  } catch (...) {
    CopyAnswer(buffer, "ERR_SHAPEFILE_OUT_OF_MEMORY", size);
    return 28001;
  }
}
