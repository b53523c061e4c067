#include "shapes/grid_column.h"

#include <algorithm>

#include "foundation/byte_order.h"

namespace {

// The start or the end (one past the last row) of a marked span.
struct SpanEvent {
  int64_t row;
  int32_t code;
  int8_t delta;   // +1 at the start, -1 past the end
  bool inside;    // an inside mark rather than a crossing
  bool operator<(const SpanEvent& o) const { return row < o.row; }
};

// The shapes marking the rows between two events.
class ActiveMarks {
 public:
  void Apply(const SpanEvent& e) {
    total_ += e.delta;
    if (e.inside) inside_ += e.delta;
    auto it = std::lower_bound(codes_.begin(), codes_.end(), std::make_pair(e.code, 0),
                               [](const auto& a, const auto& b) { return a.first < b.first; });
    if (it == codes_.end() || it->first != e.code) it = codes_.insert(it, {e.code, 0});
    it->second += e.delta;
    if (it->second == 0) codes_.erase(it);
  }
  // Whether the run would carry the same verdict as these marks.
  bool Matches(const RangeMarking& r) const {
    if (r.code != Code()) return false;
    if (r.code == 'I') return r.shape == codes_[0].first;
    if (r.code != 'P' || r.shapes.size() != codes_.size()) return r.code == ' ';
    for (size_t i = 0; i < codes_.size(); ++i)
      if (r.shapes[i] != codes_[i].first) return false;
    return true;
  }
  void Fill(RangeMarking& r) const {
    r.code = Code();
    r.shape = r.code == 'I' ? codes_[0].first : 0;
    r.shapes.clear();
    if (r.code == 'P')
      for (const auto& c : codes_) r.shapes.push_back(c.first);
  }

 private:
  char Code() const { return total_ == 0 ? ' ' : (total_ == 1 && inside_ == 1 ? 'I' : 'P'); }

  int64_t total_ = 0;   // marks on the rows
  int64_t inside_ = 0;  // of which inside marks
  std::vector<std::pair<int32_t, int64_t>> codes_;  // marks per shape, by code
};

void AddSpan(std::vector<SpanEvent>& events, int32_t code, int64_t lo, int64_t hi, bool inside) {
  if (lo > hi) return;
  events.push_back({lo, code, +1, inside});
  events.push_back({hi + 1, code, -1, inside});
}

// Appends rows [from, to] with the verdict of marks to ranges, joining the
// last range when it carries the same verdict.
void AppendRun(std::vector<RangeMarking>& ranges, const ActiveMarks& marks, int64_t from,
               int64_t to) {
  if (from > to) return;
  if (!ranges.empty() && ranges.back().to + int64_t{1} == from && marks.Matches(ranges.back())) {
    ranges.back().to = static_cast<int32_t>(to);
    return;
  }
  ranges.emplace_back();
  marks.Fill(ranges.back());
  ranges.back().from = static_cast<int32_t>(from);
  ranges.back().to = static_cast<int32_t>(to);
}

}  // namespace

void ResolveColumn(std::vector<TraceMarking>& markings, std::vector<RangeMarking>& ranges) {
  ranges.clear();
  if (markings.empty()) return;
  int32_t first = markings[0].lo, last = markings[0].hi;
  for (const TraceMarking& m : markings) {
    first = std::min(first, m.lo);
    last = std::max(last, m.hi);
  }

  // Pairing looks only at markings of the same shape, in marking order: an
  // 'L' takes the first unpaired 'U' whose lo is not below its own. As the
  // 'L's come in ascending lo, a 'U' passed over once is never wanted again,
  // so one cursor per shape finds every pair.
  std::sort(markings.begin(), markings.end(), [](const TraceMarking& a, const TraceMarking& b) {
    if (a.code != b.code) return a.code < b.code;
    return a < b;
  });
  std::vector<SpanEvent> events;
  events.reserve(markings.size() * 3);
  std::vector<size_t> ups;
  for (size_t start = 0; start < markings.size();) {
    size_t end = start;
    ups.clear();
    while (end < markings.size() && markings[end].code == markings[start].code) {
      if (markings[end].type == 'U') ups.push_back(end);
      ++end;
    }
    size_t cursor = 0;
    for (size_t i = start; i < end; ++i) {
      const TraceMarking& m = markings[i];
      if (m.type == 'P') {
        AddSpan(events, m.code, m.lo, m.hi, false);
      } else if (m.type == 'L') {
        while (cursor < ups.size() && markings[ups[cursor]].lo < m.lo) ++cursor;
        if (cursor == ups.size()) continue;
        TraceMarking& u = markings[ups[cursor++]];
        u.type = 'u';
        AddSpan(events, m.code, m.lo, m.hi, false);
        AddSpan(events, m.code, u.lo, u.hi, false);
        AddSpan(events, m.code, int64_t{m.hi} + 1, int64_t{u.lo} - 1, true);
      }
    }
    start = end;
  }

  // One walk over the sorted span ends gives the runs of equal cells.
  std::sort(events.begin(), events.end());
  ActiveMarks marks;
  int64_t row = first;
  for (size_t i = 0; i < events.size();) {
    const int64_t at = events[i].row;
    AppendRun(ranges, marks, row, at - 1);
    for (; i < events.size() && events[i].row == at; ++i) marks.Apply(events[i]);
    row = std::max(row, at);
  }
  AppendRun(ranges, marks, row, last);
}

uint32_t GosColumnEncoder::AddList(const std::vector<int32_t>& shapes) {
  const auto found = tails_.find(shapes);
  if (found != tails_.end()) return found->second;
  const uint32_t offset = static_cast<uint32_t>(area_.size());
  area_.insert(area_.end(), shapes.begin(), shapes.end());
  area_.push_back(0);
  std::vector<int32_t> tail;
  for (size_t i = 0; i < shapes.size(); ++i) {
    tail.assign(shapes.begin() + static_cast<std::ptrdiff_t>(i), shapes.end());
    tails_.emplace(tail, offset + static_cast<uint32_t>(i));
  }
  return offset;
}

int GosColumnEncoder::Encode(const std::vector<RangeMarking>& ranges,
                             std::vector<unsigned char>& block) {
  const int cw = coordinateWidth_, scw = shapeCodeWidth_;
  const int recordSize = 2 * cw + scw + 1;
  const uint64_t limit = uint64_t{1} << (8 * scw);
  area_.clear();
  tails_.clear();
  block.resize(4 + ranges.size() * static_cast<size_t>(recordSize));
  WriteBigEndian32(block.data(), static_cast<uint32_t>(ranges.size()));
  unsigned char* p = block.data() + 4;
  for (const RangeMarking& r : ranges) {
    int32_t value = 0;
    char code = r.code;
    if (r.code == 'I') {
      value = r.shape;
    } else if (r.code == 'P' && r.shapes.size() == 1) {
      value = r.shapes[0];
    } else if (r.code == 'P') {
      const uint32_t offset = AddList(r.shapes);
      if (offset >= limit) return 28103;
      value = static_cast<int32_t>(offset);
      code = 'L';
    }
    WriteBigEndian(p, r.from, cw);
    WriteBigEndian(p + cw, r.to, cw);
    WriteBigEndian(p + 2 * cw, value, scw);
    p[2 * cw + scw] = static_cast<unsigned char>(code);
    p += recordSize;
  }
  const size_t listStart = block.size();
  block.resize(listStart + area_.size() * static_cast<size_t>(scw));
  for (size_t i = 0; i < area_.size(); ++i)
    WriteBigEndian(block.data() + listStart + i * static_cast<size_t>(scw), area_[i], scw);
  return 0;
}
