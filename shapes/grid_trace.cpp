#include "shapes/grid_trace.h"

#include <algorithm>
#include <cmath>

#include "shapes/shape_file_shape.h"

namespace {

// v moved into [lo, hi]; a NaN goes to lo.
double Clamp(double v, double lo, double hi) {
  if (!(v >= lo)) return lo;
  return v > hi ? hi : v;
}

}  // namespace

GridTracer::GridTracer(const GridOnShapeFileMetaData& header, double minX, double maxX,
                       double minY, double maxY, GridMarkings& store)
    : scale_(std::pow(10.0, header.precision)),
      minColumn_(header.minColumn),
      minX_(minX),
      maxX_(maxX),
      minY_(minY),
      maxY_(maxY),
      store_(store) {}

double GridTracer::X(double x) const { return Clamp(x, minX_, maxX_); }
double GridTracer::Y(double y) const { return Clamp(y, minY_, maxY_); }
int32_t GridTracer::Row(double y) const { return static_cast<int32_t>(std::floor(y * scale_)); }
int32_t GridTracer::Column(double x) const {
  return static_cast<int32_t>(std::floor(x * scale_)) - minColumn_;
}

void GridTracer::TraceShape(const ShapeFileShape& shape, int32_t code) {
  const bool reversed = shape.parts.size() == 1 &&
                        shape.GetRingDirection(0) == ShapeFileShape::kCounterClockwise;
  for (size_t part = 0; part < shape.parts.size(); ++part) TracePart(shape, code, part, reversed);
}

void GridTracer::AddMarking(int32_t code, int32_t col, int32_t lo, int32_t hi, int32_t from,
                            int32_t next, bool reversed) {
  char type = 'P';
  if (from < col && col < next) type = reversed ? 'L' : 'U';
  else if (from > col && col > next) type = reversed ? 'U' : 'L';
  store_[static_cast<size_t>(col)].emplace_back(code, type, lo, hi);
}

void GridTracer::TracePart(const ShapeFileShape& shape, int32_t code, size_t part,
                           bool reversed) {
  const std::vector<ShapeFilePoint>& p = shape.points;
  // Part starts are stored as the file gives them. They are clamped to the
  // points as the point test clamps them, so the index covers what that
  // test finds inside; a part that runs backwards has no ring to trace.
  const int64_t count = static_cast<int64_t>(p.size());
  const auto clamp = [count](int64_t index) { return std::min(std::max<int64_t>(index, 0), count); };
  const int64_t s = clamp(shape.parts[part]);
  const int64_t e = part + 1 < shape.parts.size() ? clamp(shape.parts[part + 1]) : count;
  if (s >= e) return;

  int32_t col = Column(X(p[s].x));
  double lo = Y(p[s].y), hi = lo;
  int32_t prevCol = -1, firstLo = 0, firstHi = 0, firstDir = 0;
  for (int64_t i = s + 1; i < e; ++i) {
    const double x0 = X(p[i - 1].x), y0 = Y(p[i - 1].y);
    const double x1 = X(p[i].x), y1 = Y(p[i].y);
    const int32_t col1 = Column(x1);
    const double dx = x1 - x0, dy = y1 - y0;
    const bool steep = std::fabs(dx) < 1e-6;
    const int32_t dir = col1 > col ? 1 : -1;
    const double slope = steep ? 0 : dy / dx;
    while (col != col1) {
      // The latitude where the edge crosses the column boundary, kept from
      // overshooting its end point and from leaving the box by rounding.
      const double bx = static_cast<double>(col + minColumn_ + (dir == 1 ? 1 : 0)) / scale_;
      double yb = steep ? y1 : slope * bx + (y0 - slope * x0);
      if (dy > 0 && yb > y1) yb = y1;
      if (dy < 0 && yb < y1) yb = y1;
      yb = Y(yb);
      if (yb > hi)
        hi = yb;
      else if (yb < lo)
        lo = yb;
      if (prevCol < 0) {
        // The start column's span is completed when the ring returns.
        firstLo = Row(lo);
        firstHi = Row(hi);
        firstDir = dir;
      } else {
        AddMarking(code, col, Row(lo), Row(hi), prevCol, col1 + dir, reversed);
      }
      lo = hi = yb;
      prevCol = col;
      col += dir;
    }
    if (y1 > hi)
      hi = y1;
    else if (y1 < lo)
      lo = y1;
  }
  if (prevCol < 0)
    AddMarking(code, col, Row(lo), Row(hi), 0, 0, reversed);
  else
    AddMarking(code, col, std::min(Row(lo), firstLo), std::max(Row(hi), firstHi), prevCol,
               col + firstDir, reversed);
}
