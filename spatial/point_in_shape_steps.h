// The steps of a point-in-shape query, shared by zruPointInShape and the
// batch entries (zruPointInShapeBatch, zruShapeAttributes), so that every
// entry takes the same usages of the registry, searches the same way and
// answers in the same format.
//
// Each step writes an error answer into (buffer, size) as the entry does
// and returns its status; 0 means go on. None is thread-safe on its own
// storage: each thread passes its own (ThreadQueryStorage).
#ifndef ZRUTILS_SPATIAL_POINT_IN_SHAPE_STEPS_H
#define ZRUTILS_SPATIAL_POINT_IN_SHAPE_STEPS_H

#include <string>
#include <vector>

#include "shapes/record_bytes.h"
#include "shapes/shape_file_shape.h"
#include "spatial/recent_answers.h"
#include "spatial/shape_file_registry.h"

namespace point_in_shape {

// One call's parameters, pointing into the caller's buffer.
struct Query {
  double latitude = 0.0, longitude = 0.0;
  bool fieldNames = false, distance = false, openMode = false, close = false;
  int precision = -1;
  char* fields = nullptr;  // the "Fields" value; null when not given
};

// Per-thread storage reused by every call, so a query allocates nothing
// once the buffers have grown. Names and fields are cut in place in the
// caller's buffer, which is written only once they are no longer needed.
struct QueryStorage {
  std::vector<char*> files, fields;
  std::vector<ShapeFileUse> acquired;
  std::vector<int> candidates;
  std::string errorText, answer, value, fieldsText;
  ShapeFileShape shape;
  RecordBytes record;
  RecentAnswers recent;
};

// The calling thread's storage, shared by all the entries.
QueryStorage& ThreadQueryStorage();

// The text of a shapefile error code; context completes unnamed codes.
std::string ShapeFileErrorText(int code, const char* context);

// Writes text as the answer and returns status.
int Fail(char* buffer, int size, const std::string& text, int status);

// Takes a usage on every file of s.files into s.acquired (opening them for
// q.openMode); the caller gives them back with a
// DecrementUsageCountsWhenFinished guard on s.acquired.
int Acquire(char* buffer, int size, QueryStorage& s, const Query& q);

// The first acquired file, in order, with a shape holding (q.latitude,
// q.longitude), and its record; hit stays null when none holds it. Files
// of other than polygon types answer -5. Allocates nothing once s has
// grown.
int Find(char* buffer, int size, QueryStorage& s, const Query& q, ShapeFileInfo*& hit,
         int& record);

// The record's values of q.fields (all without), joined by '|': text
// points at an answer kept from an earlier call (valid until the next step
// on s), or at s.answer, to which a new answer is appended. Writes into
// q.fields.
int Answer(char* buffer, int size, QueryStorage& s, const Query& q, const ShapeFileInfo& hit,
           int record, const std::string*& text);

// Copies answer into the buffer, or answers "Buffer too small" (-6).
int WriteAnswer(char* buffer, int size, const std::string& answer);

}  // namespace point_in_shape

#endif
