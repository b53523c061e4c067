#include "spatial/recent_answers.h"

#include <cstring>

namespace {

size_t Mix(uint64_t file, int32_t record) {
  return static_cast<size_t>((file * 0x9E3779B97F4A7C15ull) ^
                             static_cast<uint32_t>(record) * 0x85EBCA6Bu);
}

}  // namespace

size_t RecentAnswers::AnswerSlot(uint64_t file, int32_t record, bool fieldNames,
                                 const char* fields) {
  size_t h = Mix(file, record) ^ (fieldNames ? 0x51ED27u : 0);
  // FNV-1a over the field list, which is short ("name"): a byte loop costs
  // less than a general hash's set-up.
  if (fields != nullptr) {
    uint64_t f = 0xCBF29CE484222325ull;
    for (const char* c = fields; *c != '\0'; ++c)
      f = (f ^ static_cast<unsigned char>(*c)) * 0x100000001B3ull;
    h ^= static_cast<size_t>(f) * 31;
  }
  return h % kAnswerSlots;
}

size_t RecentAnswers::ShapeSlot(uint64_t file, int32_t record) {
  return Mix(file, record) % kShapeSlots;
}

const std::string* RecentAnswers::FindAnswer(uint64_t file, int32_t record, bool fieldNames,
                                             const char* fields) const {
  const Answer& a = answers_[AnswerSlot(file, record, fieldNames, fields)];
  if (a.file != file || a.record != record || a.fieldNames != fieldNames ||
      a.hasFields != (fields != nullptr) ||
      (fields != nullptr && strcmp(a.fields.c_str(), fields) != 0))
    return nullptr;
  return &a.text;
}

void RecentAnswers::StoreAnswer(uint64_t file, int32_t record, bool fieldNames, const char* fields,
                                const std::string& answer) {
  if (answer.size() > kMaxAnswer || (fields != nullptr && strlen(fields) > kMaxAnswer)) return;
  Answer& a = answers_[AnswerSlot(file, record, fieldNames, fields)];
  a.file = 0;  // empty until every part is in place
  try {
    a.fields.assign(fields != nullptr ? fields : "");
    a.text.assign(answer);
  } catch (...) {
    return;  // out of memory: the answer is simply not kept
  }
  a.record = record;
  a.fieldNames = fieldNames;
  a.hasFields = fields != nullptr;
  a.file = file;
}

const ShapeFileShape* RecentAnswers::FindShape(uint64_t file, int32_t record,
                                               const ShapeEdgeRuns*& runs) const {
  const Shape& s = shapes_[ShapeSlot(file, record)];
  if (s.file != file || s.record != record) return nullptr;
  runs = &s.runs;
  return &s.shape;
}

const ShapeFileShape* RecentAnswers::StoreShape(uint64_t file, int32_t record,
                                                const ShapeFileShape& shape,
                                                const ShapeEdgeRuns*& runs) {
  if (shape.points.size() > kMaxShapePoints) return nullptr;
  Shape& s = shapes_[ShapeSlot(file, record)];
  s.file = 0;
  keptPoints_ -= s.shape.points.capacity();
  if (keptPoints_ + shape.points.size() > kShapePointBudget) {
    s.shape = ShapeFileShape();  // frees what the slot held
    s.runs = ShapeEdgeRuns();
    return nullptr;
  }
  try {
    s.shape = shape;
    s.shape.BuildEdgeRuns(s.runs);
  } catch (...) {
    keptPoints_ += s.shape.points.capacity();
    return nullptr;
  }
  keptPoints_ += s.shape.points.capacity();
  s.record = record;
  s.file = file;
  runs = &s.runs;
  return &s.shape;
}
