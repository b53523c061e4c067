#include "text/geodesy.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kHalfCircumferenceKm = 20015.086796020572;
constexpr int kMaxDecimals = 6;

double CosineLawDistance(double lat1, double long1, double lat2, double long2) {
  const double phi1 = lat1 * kRadiansPerDegree;
  const double phi2 = lat2 * kRadiansPerDegree;
  const double dLambda = (long2 - long1) * kRadiansPerDegree;
  const double k = sin(phi1) * sin(phi2) + cos(phi1) * cos(phi2) * cos(dLambda);
  // Rounding can push k just outside [-1, 1], where acos has no value.
  if (k >= 1) return 0;
  if (k < -1) return kHalfCircumferenceKm;
  return acos(k) * kEarthRadiusKm;
}

// "latitude<any one character>longitude"; text after the second number is
// ignored.
bool ParseLatLong(const char* text, double& latitude, double& longitude) {
  char* end;
  latitude = strtod(text, &end);
  if (end == text || *end == '\0') return false;
  const char* second = end + 1;
  longitude = strtod(second, &end);
  return end != second;
}

}  // namespace

double LatLongDist(double lat1, double long1, double lat2, double long2) {
  if (lat1 == lat2 && long1 == long2) return 0;
  return CosineLawDistance(lat1, long1, lat2, long2);
}

void LatLongDist(char* out, const char* from, const char* to, int decimals, int size) {
  if (size < 0) return;
  memset(out, 0, static_cast<size_t>(size) + 1);
  double lat1, long1, lat2, long2;
  if (!ParseLatLong(from, lat1, long1) || !ParseLatLong(to, lat2, long2)) return;
  if (decimals > kMaxDecimals) decimals = kMaxDecimals;
  char text[64];
  const int length = snprintf(text, sizeof text, "%.*f", decimals,
                              CosineLawDistance(lat1, long1, lat2, long2));
  if (length < 0 || length > size) return;
  memcpy(out, text, static_cast<size_t>(length));
}

bool IntersectionOfLines(double x1, double y1, double x2, double y2, double x3, double y3,
                         double x4, double y4, double tolerance, double minAngle, double& x,
                         double& y, bool* onFirstSegment) {
  const bool firstVertical = fabs(x2 - x1) <= tolerance;
  const bool secondVertical = fabs(x4 - x3) <= tolerance;
  if (minAngle != 0) {
    const double a1 = atan2(y2 - y1, x2 - x1);
    const double a2 = atan2(y4 - y3, x4 - x3);
    double d = (a1 - a2) / kRadiansPerDegree;
    if (d < 0) d = -d;
    if (d > 180) d = 360 - d;
    if (d > 90) d = 180 - d;
    if (d < minAngle) return false;
  }
  const double m1 = firstVertical ? 0 : (y2 - y1) / (x2 - x1);
  const double b1 = y1 - m1 * x1;
  const double m2 = secondVertical ? 0 : (y4 - y3) / (x4 - x3);
  const double b2 = y3 - m2 * x3;
  double ix, iy;
  if (firstVertical && secondVertical) return false;
  if (firstVertical) {
    if (fabs(y2 - y1) <= tolerance) return false;  // the first segment is a point
    ix = x1;
    iy = m2 * ix + b2;
  } else if (secondVertical) {
    if (fabs(y4 - y3) <= tolerance) return false;
    ix = x3;
    iy = m1 * ix + b1;
  } else {
    if (m1 == m2) return false;  // parallel
    ix = (b2 - b1) / (m1 - m2);
    iy = m1 * ix + b1;
  }
  if (onFirstSegment != nullptr) {
    if (x1 == x2)
      *onFirstSegment = (y1 <= iy && iy <= y2) || (y2 <= iy && iy <= y1);
    else
      *onFirstSegment = (x1 <= ix && ix <= x2) || (x2 <= ix && ix <= x1);
  }
  x = ix;
  y = iy;
  return true;
}
