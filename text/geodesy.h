// Geodesy helpers: the great-circle distance between two latitude/longitude
// points (as a number, and as text from text) and the intersection of two
// lines given by two points each. Pure functions; any thread may call them.
#ifndef ZRUTILS_TEXT_GEODESY_H
#define ZRUTILS_TEXT_GEODESY_H

#include "foundation/export.h"

// The distance in kilometres between two points in degrees, by the
// spherical law of cosines on a sphere of the mean earth radius (6371 km).
// Exactly 0 for identical points.
ZRU_EXPORT double LatLongDist(double lat1, double long1, double lat2, double long2);

// The distance between two texts of the form latitude, separator, longitude
// (normally "51.5,-0.1") written into out with min(decimals, 6) decimals.
// out must hold size + 1 bytes: its first size bytes are NUL-filled after
// the text and out[size] is NUL. out is left empty when either text cannot
// be parsed, and when the number does not fit in size bytes (a cut number
// would read as a different distance). A negative size writes nothing.
ZRU_EXPORT void LatLongDist(char* out, const char* from, const char* to, int decimals, int size);

// The intersection (x, y) of the line through (x1, y1), (x2, y2) with the
// line through (x3, y3), (x4, y4). A line whose x extent is within
// tolerance is vertical. With minAngle not 0, lines crossing at less than
// minAngle degrees are refused. onFirstSegment (may be null) tells whether
// the intersection lies on the first segment. False for parallel or
// degenerate lines and too flat a crossing; x, y and *onFirstSegment are
// then unchanged.
ZRU_EXPORT bool IntersectionOfLines(double x1, double y1, double x2, double y2, double x3,
                                    double y3, double x4, double y4, double tolerance,
                                    double minAngle, double& x, double& y, bool* onFirstSegment);

#endif
