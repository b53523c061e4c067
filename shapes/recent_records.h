// RecentRecords: the values one thread read last from a reader, keyed by
// record and field, so that reading one again costs no file read. Serves
// the shapefile reader's shape cache (field 0) and the dBASE reader's
// attribute cache alike.
//
// Holds kSize values; a miss replaces the least recently used one. Ages run
// from 1 (most recently used) to kSize; a free record has record -1 and age
// 0. One object belongs to one thread at a time.
#ifndef ZRUTILS_SHAPES_RECENT_RECORDS_H
#define ZRUTILS_SHAPES_RECENT_RECORDS_H

#include <cstdint>

#include "shapes/shapefile_error.h"

template <class Value>
class RecentRecords {
 public:
  static constexpr int kSize = 20;
  struct Rec {
    int32_t record = -1;  // zero-based record index; -1 when free
    int32_t field = -1;   // field number; 0 for shapes
    int32_t age = 0;      // 1 most recently used ... kSize; 0 when free
    Value value;
  };

  // The value of (record, field), both checked non-negative by the caller:
  // the one held, or one read by read(Value&) (0 or a code) into the least
  // recently used place. On success pointer points at the held value,
  // valid until its place is reused; a failed read leaves its place free.
  template <class Read>
  int Get(int32_t record, int32_t field, Read read, const Value*& pointer) {
    for (Rec& hit : records) {
      if (hit.record != record || hit.field != field) continue;
      if (hit.age > 1) {
        for (Rec& other : records)
          if (other.record >= 0 && other.age < hit.age) ++other.age;
        hit.age = 1;
      }
      pointer = &hit.value;
      return 0;
    }
    Rec* chosen = nullptr;
    for (int i = 0; i < kSize && chosen == nullptr; ++i)
      if (records[i].age == kSize || records[i].record < 0) chosen = &records[i];
    if (chosen == nullptr) return ERR_SHAPEFILE_CACHE_FULL;
    chosen->record = chosen->field = -1;
    chosen->age = 0;
    const int result = read(chosen->value);
    if (result != 0) return result;
    for (Rec& other : records)
      if (&other != chosen && other.record >= 0) ++other.age;
    chosen->record = record;
    chosen->field = field;
    chosen->age = 1;
    pointer = &chosen->value;
    return 0;
  }

  Rec records[kSize];
};

#endif
