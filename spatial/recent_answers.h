// RecentAnswers: what one thread's point queries answered lately, so that
// a point in a shape already answered costs no attribute read and a
// distance to a shape already read costs no shape read (and looks at its
// edges through their runs' boxes). A record's attributes and geometry do
// not change while its file is open, so the joined answer for (file,
// record, field list) and the shape of (file, record) can be kept as they
// are. Files are named by the serial number their registry entry got when
// it was created, never reused, so a closed and reopened file is never
// confused with the old one.
//
// Memory is bounded: a fixed number of slots; answers and shapes beyond a
// size limit are not kept, nor shapes beyond a budget of points for all.
// Once its strings and shapes have grown, a hit or a store allocates
// nothing.
//
// Threads: one object belongs to one thread.
#ifndef ZRUTILS_SPATIAL_RECENT_ANSWERS_H
#define ZRUTILS_SPATIAL_RECENT_ANSWERS_H

#include <cstdint>
#include <string>

#include "shapes/shape_file_shape.h"

class RecentAnswers {
 public:
  // The answer kept for the key, or null. fields is the "Fields" value as
  // the caller wrote it (null for none): the answer spells names as given.
  const std::string* FindAnswer(uint64_t file, int32_t record, bool fieldNames,
                                const char* fields) const;
  // Keeps answer for the key, in place of what its slot held.
  void StoreAnswer(uint64_t file, int32_t record, bool fieldNames, const char* fields,
                   const std::string& answer);

  // The shape kept for (file, record), with its edge runs, or null.
  const ShapeFileShape* FindShape(uint64_t file, int32_t record, const ShapeEdgeRuns*& runs) const;
  // Keeps a copy of shape for (file, record), with its edge runs, when it is
  // small enough; the kept copy, or null.
  const ShapeFileShape* StoreShape(uint64_t file, int32_t record, const ShapeFileShape& shape,
                                   const ShapeEdgeRuns*& runs);

 private:
  static constexpr size_t kAnswerSlots = 512;
  static constexpr size_t kMaxAnswer = 512;  // bytes
  static constexpr size_t kShapeSlots = 128;
  static constexpr size_t kMaxShapePoints = 16384;
  // The points all kept shapes may hold together (4 MB): a shape that would
  // go beyond is not kept, and the slot it would have taken is emptied.
  static constexpr size_t kShapePointBudget = 262144;

  struct Answer {
    uint64_t file = 0;  // 0: empty (serials start at 1)
    int32_t record = -1;
    bool fieldNames = false;
    bool hasFields = false;
    std::string fields, text;
  };
  struct Shape {
    uint64_t file = 0;
    int32_t record = -1;
    ShapeFileShape shape;
    ShapeEdgeRuns runs;
  };

  static size_t AnswerSlot(uint64_t file, int32_t record, bool fieldNames, const char* fields);
  static size_t ShapeSlot(uint64_t file, int32_t record);

  Answer answers_[kAnswerSlots];
  Shape shapes_[kShapeSlots];
  size_t keptPoints_ = 0;  // the capacity of the kept shapes' point arrays
};

#endif
