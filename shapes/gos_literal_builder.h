// The grid index column stage done the slow, literal way, cell by cell, for
// the tests to prove that the builder's sweep gives the same bytes.
#ifndef ZRUTILS_SHAPES_GOS_LITERAL_BUILDER_H
#define ZRUTILS_SHAPES_GOS_LITERAL_BUILDER_H

#include <algorithm>
#include <vector>

#include "foundation/byte_order.h"
#include "shapes/grid_column.h"

struct LiteralCell {
  char code = ' ';
  int32_t shape = 0;
  std::vector<int32_t> shapes;
  bool operator==(const LiteralCell& o) const {
    return code == o.code && shape == o.shape && shapes == o.shapes;
  }
};

inline void LiteralInsertSorted(std::vector<int32_t>& list, int32_t code) {
  if (std::find(list.begin(), list.end(), code) != list.end()) return;
  list.insert(std::upper_bound(list.begin(), list.end(), code), code);
}

inline void LiteralMarkPartial(LiteralCell& c, int32_t code) {
  if (c.code == ' ') {
    c = LiteralCell{'P', 0, {code}};
  } else if (c.code == 'I') {
    c.code = 'P';
    c.shapes = {c.shape};
    c.shape = 0;
    LiteralInsertSorted(c.shapes, code);
  } else {
    LiteralInsertSorted(c.shapes, code);
  }
}

inline void LiteralMarkInside(LiteralCell& c, int32_t code) {
  if (c.code == ' ')
    c = LiteralCell{'I', code, {}};
  else
    LiteralMarkPartial(c, code);
}

// MarkColumn and SquaresToRanges: every cell of the column is visited.
inline std::vector<RangeMarking> LiteralResolveColumn(std::vector<TraceMarking> m) {
  std::vector<RangeMarking> ranges;
  if (m.empty()) return ranges;
  std::sort(m.begin(), m.end());
  const int32_t first = m[0].lo;
  int32_t last = m[0].hi;
  for (const auto& t : m) last = std::max(last, t.hi);
  std::vector<LiteralCell> cells(static_cast<size_t>(last - first + 1));
  auto cell = [&](int32_t row) -> LiteralCell& { return cells[static_cast<size_t>(row - first)]; };
  size_t groupStart = 0;
  for (size_t i = 0; i < m.size(); ++i) {
    if (m[i].lo != m[groupStart].lo) groupStart = i;
    if (m[i].type != 'L') continue;
    for (size_t j = groupStart; j < m.size(); ++j) {
      if (m[j].type != 'U' || m[j].code != m[i].code) continue;
      for (int32_t r = m[i].lo; r <= m[i].hi; ++r) LiteralMarkPartial(cell(r), m[i].code);
      for (int32_t r = m[j].lo; r <= m[j].hi; ++r) LiteralMarkPartial(cell(r), m[i].code);
      for (int32_t r = m[i].hi + 1; r < m[j].lo; ++r) LiteralMarkInside(cell(r), m[i].code);
      m[j].type = 'u';
      break;
    }
  }
  for (const auto& t : m)
    if (t.type == 'P')
      for (int32_t r = t.lo; r <= t.hi; ++r) LiteralMarkPartial(cell(r), t.code);
  for (int32_t r = first; r <= last; ++r) {
    const LiteralCell& c = cell(r);
    if (!ranges.empty() && ranges.back().to == r - 1 && ranges.back().code == c.code &&
        ranges.back().shape == c.shape && ranges.back().shapes == c.shapes) {
      ranges.back().to = r;
      continue;
    }
    RangeMarking range;
    range.code = c.code;
    range.from = range.to = r;
    range.shape = c.shape;
    range.shapes = c.shapes;
    ranges.push_back(range);
  }
  return ranges;
}

// AddList: a scan of the area for a list tail, with a match counter.
inline uint32_t LiteralAddList(std::vector<int32_t>& area, const std::vector<int32_t>& shapes) {
  size_t m = 0;
  for (size_t pos = 0; pos < area.size(); ++pos) {
    const int32_t e = area[pos];
    if (m < shapes.size()) {
      m = e == shapes[m] ? m + 1 : 0;
    } else if (e == 0) {
      return static_cast<uint32_t>(pos - m);
    } else {
      m = 0;
    }
  }
  const uint32_t offset = static_cast<uint32_t>(area.size());
  area.insert(area.end(), shapes.begin(), shapes.end());
  area.push_back(0);
  return offset;
}

// WriteColumn.
inline std::vector<unsigned char> LiteralEncodeColumn(const std::vector<RangeMarking>& ranges,
                                                      int cw, int scw) {
  std::vector<unsigned char> block(4);
  WriteBigEndian32(block.data(), static_cast<uint32_t>(ranges.size()));
  std::vector<int32_t> area;
  for (const auto& r : ranges) {
    unsigned char rec[16];
    int32_t value = 0;
    char code = r.code;
    if (r.code == 'I') value = r.shape;
    if (r.code == 'P' && r.shapes.size() == 1) value = r.shapes[0];
    if (r.code == 'P' && r.shapes.size() > 1) {
      value = static_cast<int32_t>(LiteralAddList(area, r.shapes));
      code = 'L';
    }
    WriteBigEndian(rec, r.from, cw);
    WriteBigEndian(rec + cw, r.to, cw);
    WriteBigEndian(rec + 2 * cw, value, scw);
    rec[2 * cw + scw] = static_cast<unsigned char>(code);
    block.insert(block.end(), rec, rec + 2 * cw + scw + 1);
  }
  for (int32_t e : area) {
    unsigned char bytes[4];
    WriteBigEndian(bytes, e, scw);
    block.insert(block.end(), bytes, bytes + scw);
  }
  return block;
}

#endif
