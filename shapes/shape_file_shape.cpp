#include "shapes/shape_file_shape.h"

#include <algorithm>
#include <cmath>

#include "text/geodesy.h"

namespace {

// Edges whose ends are closer than this in x are taken as vertical: they
// are crossed without computing a slope that would be all rounding.
constexpr double kNearlyVertical = 1e-6;

// The edge from a to b is considered for the meridian x = longitude when
// the longitude lies in its x range, open below and closed above, so a
// meridian through a vertex meets exactly one of the two edges there and a
// vertical edge is never met.
inline bool MeridianMeetsEdge(const ShapeFilePoint& a, const ShapeFilePoint& b, double longitude) {
  const double lo = a.x < b.x ? a.x : b.x;
  const double hi = a.x < b.x ? b.x : a.x;
  return lo < longitude && longitude <= hi;
}

// The edge from a to b, whose ends lie on either side of the meridian
// through the point, crosses the ray from (px, py) towards increasing y.
inline bool CrossesAbove(const ShapeFilePoint& a, const ShapeFilePoint& b, double px, double py) {
  if (a.y <= py && b.y < py) return false;  // wholly below the point
  const double dx = b.x - a.x;
  if (std::fabs(dx) < kNearlyVertical) return true;
  const double slope = (b.y - a.y) / dx;
  return slope * px + (a.y - slope * a.x) >= py;
}

// The ray from (px, py) towards increasing y crosses the edges of the run
// an odd number of times. This is the lookup's inner loop: an edge meets
// the meridian (lo < px <= hi) exactly when one end lies left of px and the
// other does not, so one comparison per point rejects most edges.
bool OddCrossings(const ShapeFilePoint* begin, const ShapeFilePoint* end, double px, double py) {
  if (end - begin < 2) return false;  // no edge (and maybe no array at all)
  bool odd = false;
  bool previousLeft = begin->x < px;
  for (const ShapeFilePoint* p = begin + 1; p < end; ++p) {
    const bool left = p->x < px;
    if (left == previousLeft) continue;
    previousLeft = left;
    if (CrossesAbove(p[-1], *p, px, py)) odd = !odd;
  }
  return odd;
}

int32_t RingDirection(const ShapeFilePoint* begin, const ShapeFilePoint* end) {
  if (begin == end) return ShapeFileShape::kNoArea;
  double sum = 0;
  for (const ShapeFilePoint* p = begin; p + 1 < end; ++p) sum += p->x * p[1].y - p[1].x * p->y;
  const ShapeFilePoint& last = end[-1];
  sum += last.x * begin->y - begin->x * last.y;  // zero for a closed ring
  if (sum < 0) return ShapeFileShape::kClockwise;
  if (sum > 0) return ShapeFileShape::kCounterClockwise;
  return ShapeFileShape::kNoArea;
}

}  // namespace

void ShapeFileShape::Clear() {
  shapeType = 0;
  minX = maxX = minY = maxY = 0;
  minZ = maxZ = minM = maxM = 0;
  parts.clear();
  partTypes.clear();
  points.clear();
  z.clear();
  m.clear();
}

bool ShapeFileShape::PartRange(uint32_t part, const ShapeFilePoint*& begin,
                               const ShapeFilePoint*& end) const {
  if (part >= parts.size()) return false;
  const int64_t count = static_cast<int64_t>(points.size());
  const auto clamp = [count](int64_t index) { return std::min(std::max<int64_t>(index, 0), count); };
  const int64_t first = clamp(parts[part]);
  const int64_t last = part + 1 < parts.size() ? clamp(parts[part + 1]) : count;
  begin = points.data() + first;
  end = points.data() + std::max(first, last);
  return true;
}

int32_t ShapeFileShape::GetRingDirection(uint32_t part) const {
  const ShapeFilePoint* begin;
  const ShapeFilePoint* end;
  if (!PartRange(part, begin, end)) return kNoArea;
  return RingDirection(begin, end);
}

bool ShapeFileShape::IsPointInBounds(double latitude, double longitude) const {
  return minY <= latitude && latitude <= maxY && minX <= longitude && longitude <= maxX;
}

bool ShapeFileShape::IsPointInShapePart(double latitude, double longitude, uint32_t part) const {
  const ShapeFilePoint* begin;
  const ShapeFilePoint* end;
  if (!PartRange(part, begin, end)) return false;
  return OddCrossings(begin, end, longitude, latitude);
}

bool ShapeFileShape::IsPointInShape(double latitude, double longitude) const {
  if (longitude > maxX || longitude < minX || latitude > maxY || latitude < minY) return false;
  if (parts.size() == 1) return IsPointInShapePart(latitude, longitude, 0);
  int64_t outer = 0;
  int64_t holes = 0;
  const uint32_t partCount = static_cast<uint32_t>(parts.size());
  for (uint32_t part = 0; part < partCount; ++part) {
    const ShapeFilePoint* begin;
    const ShapeFilePoint* end;
    PartRange(part, begin, end);
    // The direction matters only for a ring that contains the point, and
    // the crossing test is the cheaper pass.
    if (!OddCrossings(begin, end, longitude, latitude)) continue;
    if (RingDirection(begin, end) == kCounterClockwise)
      ++holes;
    else
      ++outer;
  }
  return outer - holes >= 1;
}

void ShapeFileShape::GetPartBoundingBox(uint32_t part, double& outMinX, double& outMaxX,
                                        double& outMinY, double& outMaxY) const {
  outMinX = minX;
  outMaxX = maxX;
  outMinY = minY;
  outMaxY = maxY;
  const ShapeFilePoint* begin;
  const ShapeFilePoint* end;
  if (!PartRange(part, begin, end) || begin == end) return;
  outMinX = outMaxX = begin->x;
  outMinY = outMaxY = begin->y;
  for (const ShapeFilePoint* p = begin + 1; p < end; ++p) {
    outMinX = std::min(outMinX, p->x);
    outMaxX = std::max(outMaxX, p->x);
    outMinY = std::min(outMinY, p->y);
    outMaxY = std::max(outMaxY, p->y);
  }
}

std::vector<double> ShapeFileShape::GetLongitudeIntersections(double longitude) const {
  std::vector<double> latitudes;
  if (longitude > maxX || longitude < minX) return latitudes;
  const uint32_t partCount = static_cast<uint32_t>(parts.size());
  for (uint32_t part = 0; part < partCount; ++part) {
    const ShapeFilePoint* begin;
    const ShapeFilePoint* end;
    PartRange(part, begin, end);
    if (end - begin < 2) continue;
    for (const ShapeFilePoint* p = begin + 1; p < end; ++p) {
      const ShapeFilePoint& a = p[-1];
      const ShapeFilePoint& b = *p;
      if (!MeridianMeetsEdge(a, b, longitude)) continue;
      const double dx = b.x - a.x;
      if (std::fabs(dx) < kNearlyVertical) {
        latitudes.push_back((a.y + b.y) / 2);
      } else {
        const double slope = (b.y - a.y) / dx;
        latitudes.push_back(slope * longitude + (a.y - slope * a.x));
      }
    }
  }
  return latitudes;
}

namespace {

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

// The squared distance from p to the nearest place of a box; 0 inside it
// and for a box with a NaN side, which is never passed over.
double BoxGap(double minX, double maxX, double minY, double maxY, PlanePoint p) {
  const double gx = std::max({0.0, minX - p.x, p.x - maxX});
  const double gy = std::max({0.0, minY - p.y, p.y - maxY});
  return gx * gx + gy * gy;
}

// A gap beyond this is passed over. The margin covers the rounding of the
// projected point, so that no edge the projection would choose is passed
// over.
bool FartherThan(double gap, double best) { return gap > best * (1 + 1e-9); }

// The nearest point found so far, and the place in the shape's edge order
// of the edge that gave it.
struct Nearest {
  double best = 40589641.0;  // squared; beyond any distance on the earth
  PlanePoint point{360.0, 360.0};
  uint64_t order = 0;
  bool found = false;
};

// Looks at the edges ending at points [first, last), whose places in the
// edge order start at order. Of equally near edges the first in edge order
// is kept, whatever order the runs are looked at in, so that every way of
// visiting them answers alike.
void NearestOnEdges(const ShapeFilePoint* points, size_t first, size_t last, double k,
                    PlanePoint p, uint64_t order, Nearest& n) {
  for (size_t i = first; i < last; ++i, ++order) {
    const PlanePoint a{points[i - 1].x * k, points[i - 1].y};
    const PlanePoint b{points[i].x * k, points[i].y};
    // Most edges lie farther than the best so far even from the point's
    // nearest place on their box, and are passed over without the
    // projection.
    if (FartherThan(BoxGap(std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y),
                           std::max(a.y, b.y), p),
                    n.best))
      continue;
    const PlanePoint q = NearestPointOnSegment(a, b, p);
    const double d = (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
    if (d < n.best || (d == n.best && n.found && order < n.order)) {
      n.best = d;
      n.point = q;
      n.order = order;
      n.found = true;
    }
  }
}

}  // namespace

void ShapeFileShape::PartEdges(size_t part, size_t& first, size_t& last) const {
  first = static_cast<size_t>(std::max<int32_t>(parts[part], 0)) + 1;
  last = part + 1 < parts.size() ? static_cast<size_t>(parts[part + 1]) : points.size();
  last = std::min(last, points.size());
}

double ShapeFileShape::DistanceScale() const {
  const double mid = (minY + maxY) / 2;
  const double k = LatLongDist(mid, 0.0, mid, 1.0) / 111.19492664455873;
  return k > 0 ? k : 1;
}

double ShapeFileShape::DistanceToEdge(double latitude, double longitude) const {
  const double k = DistanceScale();
  const PlanePoint p{longitude * k, latitude};
  Nearest n;
  uint64_t order = 0;
  for (size_t part = 0; part < parts.size(); ++part) {
    size_t first, last;
    PartEdges(part, first, last);
    if (first >= last) continue;
    NearestOnEdges(points.data(), first, last, k, p, order, n);
    order += last - first;
  }
  if (n.point.x == 360.0) return 0.0;
  return LatLongDist(n.point.y, n.point.x / k, latitude, longitude);
}

void ShapeFileShape::BuildEdgeRuns(ShapeEdgeRuns& runs) const {
  const double k = DistanceScale();
  runs.scale = k;
  runs.runs.clear();
  uint64_t order = 0;
  for (size_t part = 0; part < parts.size(); ++part) {
    size_t first, last;
    PartEdges(part, first, last);
    for (size_t begin = first; begin < last; begin += ShapeEdgeRuns::kEdges) {
      const size_t end = std::min<size_t>(last, begin + ShapeEdgeRuns::kEdges);
      ShapeEdgeRuns::Run run{points[begin - 1].x * k, points[begin - 1].x * k,
                             points[begin - 1].y,     points[begin - 1].y,
                             static_cast<uint32_t>(begin), static_cast<uint32_t>(end),
                             order + (begin - first)};
      for (size_t i = begin; i < end; ++i) {
        run.minX = std::min(run.minX, points[i].x * k);
        run.maxX = std::max(run.maxX, points[i].x * k);
        run.minY = std::min(run.minY, points[i].y);
        run.maxY = std::max(run.maxY, points[i].y);
      }
      runs.runs.push_back(run);
    }
    if (first < last) order += last - first;
  }
  runs.groups.clear();
  for (size_t begin = 0; begin < runs.runs.size(); begin += ShapeEdgeRuns::kEdges) {
    const size_t end = std::min<size_t>(runs.runs.size(), begin + ShapeEdgeRuns::kEdges);
    ShapeEdgeRuns::Run group = runs.runs[begin];
    group.first = static_cast<uint32_t>(begin);
    group.last = static_cast<uint32_t>(end);
    for (size_t r = begin + 1; r < end; ++r) {
      group.minX = std::min(group.minX, runs.runs[r].minX);
      group.maxX = std::max(group.maxX, runs.runs[r].maxX);
      group.minY = std::min(group.minY, runs.runs[r].minY);
      group.maxY = std::max(group.maxY, runs.runs[r].maxY);
    }
    runs.groups.push_back(group);
  }
}

double ShapeFileShape::DistanceToEdge(double latitude, double longitude,
                                      const ShapeEdgeRuns& runs) const {
  const double k = runs.scale;
  const PlanePoint p{longitude * k, latitude};
  const auto gap = [p](const ShapeEdgeRuns::Run& r) {
    return BoxGap(r.minX, r.maxX, r.minY, r.maxY, p);
  };
  // The run whose box lies nearest first: the best distance is then near
  // its end before the other runs are looked at, and most of them, and of
  // their groups, are passed over. (The nearest group would not do: the
  // boxes of large groups overlap, and several hold the point.)
  if (runs.runs.empty()) return 0.0;
  const ShapeEdgeRuns::Run* first = runs.runs.data();
  double firstGap = HUGE_VAL;
  for (const ShapeEdgeRuns::Run& run : runs.runs) {
    const double g = gap(run);
    if (g < firstGap) firstGap = g, first = &run;
  }
  Nearest n;
  NearestOnEdges(points.data(), first->first, first->last, k, p, first->order, n);
  for (const ShapeEdgeRuns::Run& g : runs.groups) {
    if (FartherThan(gap(g), n.best)) continue;
    for (uint32_t r = g.first; r < g.last; ++r) {
      const ShapeEdgeRuns::Run& run = runs.runs[r];
      if (&run == first || FartherThan(gap(run), n.best)) continue;
      NearestOnEdges(points.data(), run.first, run.last, k, p, run.order, n);
    }
  }
  if (n.point.x == 360.0) return 0.0;
  return LatLongDist(n.point.y, n.point.x / k, latitude, longitude);
}
