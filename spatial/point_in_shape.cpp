// zruPointInShape: opens, queries and closes shape files of the registry.
#include <strings.h>

#include <charconv>
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
#include "spatial/point_in_shape_steps.h"
#include "spatial/recent_answers.h"
#include "spatial/shape_file_registry.h"
#include "text/parse_double.h"
#include "text/string_edit.h"

namespace point_in_shape {

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

// Keys and "True" compare without regard to case. The lengths come first,
// so that most keys are told apart without a comparison; then the spelling
// written here, byte for byte, which is how hosts nearly always write them,
// and strcasecmp (which reads the locale) only for other spellings.
template <size_t N>
bool IsWord(const char* text, size_t length, const char (&word)[N]) {
  return length == N - 1 && (memcmp(text, word, N - 1) == 0 || strcasecmp(text, word) == 0);
}

static bool IsTrue(const char* value) { return IsWord(value, strlen(value), "True"); }

int Fail(char* buffer, int size, const std::string& text, int status) {
  CopyAnswer(buffer, text, size);
  return status;
}

// Reads the items into q and s.files; 0, or the status of an answer
// already written.
static int Parse(char* buffer, int size, QueryStorage& s, Query& q) {
  char *cursor = buffer, *key, *value;
  size_t keyLength;
  while (NextParameter(cursor, key, value, keyLength)) {
    if (IsWord(key, keyLength, "ShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
    } else if (IsWord(key, keyLength, "OpenShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
      q.openMode = true;
      ReadFileMapShapeFilesSetting();
    } else if (IsWord(key, keyLength, "LatLong")) {
      char* end = value;
      q.latitude = ParseDouble(value, &end);
      q.longitude = *end != '\0' ? ParseDouble(end + 1, nullptr) : 0.0;
    } else if (IsWord(key, keyLength, "Fields")) {
      q.fields = value;
    } else if (IsWord(key, keyLength, "FieldNames")) {
      q.fieldNames = IsTrue(value);
    } else if (IsWord(key, keyLength, "Distance")) {
      q.distance = IsTrue(value);
    } else if (IsWord(key, keyLength, "IndexPrecision")) {
      long number = strtol(value, nullptr, 10);
      if (number == 0 && value[0] != '0') return Fail(buffer, size, "Invalid Precision", ERR_PIP_BAD_PARAMETER);
      q.precision = static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, number)));
    } else if (IsWord(key, keyLength, "HigherIndexPrecision")) {
      if (IsTrue(value)) q.precision = -2;
    } else if (IsWord(key, keyLength, "CloseShapeFile")) {
      SplitInPlace(value, ',', false, s.files);
      q.close = true;
      return 0;
    }
  }
  if (s.files.empty()) return Fail(buffer, size, "ShapeFile not provided", ERR_PIP_NO_SHAPE_FILE);
  if (!q.openMode && (q.latitude == 0.0 || q.longitude == 0.0)) {
    return Fail(buffer, size, "Missing or invalid LatLong", ERR_PIP_BAD_PARAMETER);
  }
  return 0;
}

// Takes a usage on every file named, opening them for "OpenShapeFile".
int Acquire(char* buffer, int size, QueryStorage& s, const Query& q) {
  s.acquired.assign(s.files.size(), ShapeFileUse());
  for (size_t i = 0; i < s.files.size(); ++i) {
    int code = AcquireShapeFile(s.acquired[i], s.files[i], s.errorText, FileMapShapeFilesMode(),
                                q.openMode, q.precision);
    if (code != 0) {
      return Fail(buffer, size,
                  s.errorText.empty() ? ShapeFileErrorText(code, "in openning shape file")
                                      : s.errorText,
                  code);
    }
  }
  return 0;
}

// The first file, in the order named, with a shape holding the point, and
// its record; hit stays null when none holds it. A NaN coordinate lies in
// no shape.
int Find(char* buffer, int size, QueryStorage& s, const Query& q, ShapeFileInfo*& hit,
         int& record) {
  hit = nullptr;
  record = -1;
  if (std::isnan(q.latitude) || std::isnan(q.longitude)) return 0;
  for (const ShapeFileUse& use : s.acquired) {
    ShapeFileInfo* entry = use.entry;
    int type = entry->reader.ShapeType();
    if (type != 5 && type != 15 && type != 25) {
      return Fail(buffer, size, "Shape File not supported", ERR_PIP_NOT_POLYGONS);
    }
    int code = FindShapeContainingPoint(entry->grid, entry->reader, q.latitude, q.longitude,
                                        s.shape, s.candidates, record);
    if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in searching shapefile"), code);
    if (record >= 0) {
      hit = entry;
      return 0;
    }
  }
  return 0;
}

// The record's values of the fields asked for (all without "Fields"),
// joined by '|': text points at the answer kept from before (a record's
// values stay as they are while its file is open) or at s.answer, where a
// new answer is made.
int Answer(char* buffer, int size, QueryStorage& s, const Query& q, const ShapeFileInfo& hit,
           int record, const std::string*& text) {
  const char* fieldsKey = q.fields;
  text = s.recent.FindAnswer(hit.serial, record, q.fieldNames, fieldsKey);
  if (text != nullptr) return 0;
  text = &s.answer;
  // Cutting the list writes into it: the key is the text as given.
  if (fieldsKey != nullptr) {
    s.fieldsText.assign(fieldsKey);
    fieldsKey = s.fieldsText.c_str();
  }
  const DbfFileReader& table = hit.reader.Dbf();
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
    if (q.fieldNames) {
      s.answer += name;
      s.answer += '=';
    }
    s.answer += s.value;
    return 0;
  };
  if (q.fields == nullptr || q.fields[0] == '\0') {
    for (int32_t k = 0; k < table.FieldCount(); ++k) {
      if (k > 0) s.answer += '|';
      int code = append(k, table.Fields()[static_cast<size_t>(k)].name.c_str());
      if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading attribute"), code);
    }
  } else {
    SplitInPlace(q.fields, ',', true, s.fields);
    for (size_t j = 0; j < s.fields.size(); ++j) {
      if (j > 0) s.answer += '|';
      int code = append(table.FieldNameToNumber(s.fields[j]), s.fields[j]);
      if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading attribute"), code);
    }
  }
  s.recent.StoreAnswer(hit.serial, record, q.fieldNames, fieldsKey, s.answer);
  return 0;
}

// Appends "|<metres>m", the distance from the point to the shape's edge.
int AppendDistance(char* buffer, int size, QueryStorage& s, const Query& q,
                   const ShapeFileInfo& hit, int record) {
  const ShapeEdgeRuns* runs = nullptr;
  const ShapeFileShape* shape = s.recent.FindShape(hit.serial, record, runs);
  if (shape == nullptr) {
    int code = hit.reader.ReadShape(record, s.shape, false);
    if (code != 0) return Fail(buffer, size, ShapeFileErrorText(code, "in reading ShapeFile"), code);
    shape = s.recent.StoreShape(hit.serial, record, s.shape, runs);
    if (shape == nullptr) shape = &s.shape;
  }
  const double kilometres = runs != nullptr ? shape->DistanceToEdge(q.latitude, q.longitude, *runs)
                                            : shape->DistanceToEdge(q.latitude, q.longitude);
  double metres = kilometres * 1000.0;
  // A NaN or out-of-range distance must not reach the integer conversion.
  long long whole = 0;
  if (metres == metres) whole = static_cast<long long>(std::max(-2147483648.0, std::min(2147483647.0, metres)));
  char text[32] = "|";
  char* end = std::to_chars(text + 1, text + sizeof text - 1, whole).ptr;
  *end++ = 'm';
  s.answer.append(text, static_cast<size_t>(end - text));
  return 0;
}

int WriteAnswer(char* buffer, int size, const std::string& answer) {
  if (static_cast<long long>(answer.size()) < size) {
    memcpy(buffer, answer.c_str(), answer.size() + 1);
    return 0;
  }
  return Fail(buffer, size, "Buffer too small", ERR_PIP_BUFFER_TOO_SMALL);
}

// Not inlined: a caller then holds the storage's address for the whole
// call, where an inlined access to a thread_local of a shared library would
// look it up again (a call of __tls_get_addr) after every call it makes.
__attribute__((noinline)) QueryStorage& ThreadQueryStorage() {
  static thread_local QueryStorage storage;
  return storage;
}

static int PointInShape(char* buffer, int size, QueryStorage& s) {
  s.files.clear();
  s.acquired.clear();
  s.errorText.clear();
  s.answer.clear();
  Query q;
  DecrementUsageCountsWhenFinished guard(s.acquired);
  if (int status = Parse(buffer, size, s, q)) return status;
  if (q.close) {
    for (const char* name : s.files) CloseShapeFileByName(name);
    buffer[0] = '\0';
    return 0;
  }
  if (int status = Acquire(buffer, size, s, q)) return status;
  if (q.openMode) {
    buffer[0] = '\0';
    return 0;
  }
  ShapeFileInfo* hit;
  int record;
  if (int status = Find(buffer, size, s, q, hit, record)) return status;
  if (hit == nullptr) return WriteAnswer(buffer, size, s.answer);
  const std::string* text;
  if (int status = Answer(buffer, size, s, q, *hit, record, text)) return status;
  if (!q.distance) return WriteAnswer(buffer, size, *text);
  if (text != &s.answer) s.answer = *text;
  if (int status = AppendDistance(buffer, size, s, q, *hit, record)) return status;
  return WriteAnswer(buffer, size, s.answer);
}

}  // namespace point_in_shape

int zruPointInShape(char* buffer, int size) {
  if (buffer == nullptr || size < 0) return ERR_PIP_BAD_PARAMETER;
  try {
    return point_in_shape::PointInShape(buffer, size, point_in_shape::ThreadQueryStorage());
  } catch (...) {
    CopyAnswer(buffer, "ERR_SHAPEFILE_OUT_OF_MEMORY", size);
    return 28001;
  }
}
