// zruPointInShapeBatch and zruShapeAttributes: many points of one open
// shape file at once, and a record's values. They take the same registry
// usages, search and answer through the same steps as zruPointInShape, so
// a batch answers point by point what the entry answers.
#include <cmath>
#include <string>

#include "api/zrutils.h"
#include "foundation/copy_answer.h"
#include "shapes/shapefile_error.h"
#include "spatial/point_in_shape_steps.h"

using point_in_shape::Query;
using point_in_shape::QueryStorage;

namespace {

// Takes a usage on the one file named, which must be open already (the
// batch entries never open a file: a missing one answers 28021). The name
// is used as given; it points into the caller's text only while the call
// runs.
int AcquireOpenFile(char* buffer, int size, QueryStorage& s, const char* shapeFile) {
  s.files.clear();
  s.acquired.clear();
  s.errorText.clear();
  s.answer.clear();
  s.files.push_back(const_cast<char*>(shapeFile));
  return point_in_shape::Acquire(buffer, size, s, Query());
}

int Batch(const char* shapeFile, const double* latitudes, const double* longitudes, int count,
          int* recordOut, QueryStorage& s) {
  // The steps write their error texts; the batch answers only the status.
  char unused[1];
  DecrementUsageCountsWhenFinished guard(s.acquired);
  if (int status = AcquireOpenFile(unused, 0, s, shapeFile)) return status;
  Query q;
  for (int i = 0; i < count; ++i) {
    q.latitude = latitudes[i];
    q.longitude = longitudes[i];
    ShapeFileInfo* hit;
    int record;
    if (int status = point_in_shape::Find(unused, 0, s, q, hit, record)) return status;
    recordOut[i] = hit != nullptr ? record : -1;
  }
  return 0;
}

int Attributes(const char* shapeFile, int record, const char* fields, char* buffer, int size,
               QueryStorage& s, std::string& fieldList) {
  DecrementUsageCountsWhenFinished guard(s.acquired);
  if (int status = AcquireOpenFile(buffer, size, s, shapeFile)) return status;
  const ShapeFileInfo& entry = *s.acquired[0].entry;
  if (record < 0 || record >= entry.reader.RecordCount()) {
    return point_in_shape::Fail(
        buffer, size, point_in_shape::ShapeFileErrorText(ERR_SHAPEFILE_INVALID_RECORD_NUM, ""),
        ERR_SHAPEFILE_INVALID_RECORD_NUM);
  }
  Query q;
  // The answer step cuts the list in place: it works on a copy.
  if (fields != nullptr) {
    fieldList.assign(fields);
    q.fields = &fieldList[0];
  }
  const std::string* text;
  if (int status = point_in_shape::Answer(buffer, size, s, q, entry, record, text)) return status;
  return point_in_shape::WriteAnswer(buffer, size, *text);
}

}  // namespace

int zruPointInShapeBatch(const char* shapeFile, const double* latitudes, const double* longitudes,
                         int count, int* recordOut) {
  if (shapeFile == nullptr || shapeFile[0] == '\0') return ERR_PIP_NO_SHAPE_FILE;
  if (count < 0 || (count > 0 && (latitudes == nullptr || longitudes == nullptr ||
                                  recordOut == nullptr))) {
    return ERR_PIP_BAD_PARAMETER;
  }
  try {
    return Batch(shapeFile, latitudes, longitudes, count, recordOut,
                 point_in_shape::ThreadQueryStorage());
  } catch (...) {
    return 28001;
  }
}

int zruShapeAttributes(const char* shapeFile, int record, const char* fields, char* buffer,
                       int size) {
  if (buffer == nullptr || size < 0) return ERR_PIP_BAD_PARAMETER;
  if (shapeFile == nullptr || shapeFile[0] == '\0') {
    return point_in_shape::Fail(buffer, size, "ShapeFile not provided", ERR_PIP_NO_SHAPE_FILE);
  }
  try {
    static thread_local std::string fieldList;
    return Attributes(shapeFile, record, fields, buffer, size,
                      point_in_shape::ThreadQueryStorage(), fieldList);
  } catch (...) {
    CopyAnswer(buffer, "ERR_SHAPEFILE_OUT_OF_MEMORY", size);
    return 28001;
  }
}
