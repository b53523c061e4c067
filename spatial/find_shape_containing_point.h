// FindShapeContainingPoint: the lookup behind zruPointInShape, on its own so
// that benchmarks and tests can time and check it without the parameter
// text and the registry.
#ifndef ZRUTILS_SPATIAL_FIND_SHAPE_CONTAINING_POINT_H
#define ZRUTILS_SPATIAL_FIND_SHAPE_CONTAINING_POINT_H

#include <vector>

#include "shapes/grid_on_shape_file.h"
#include "shapes/shape_file_reader.h"
#include "shapes/shape_file_shape.h"

// The zero-based record of the first shape of reader that contains the point
// (latitude, longitude), or -1 in recordIndex: the point is rejected against
// the file's box, then the grid names the shape covering its cell or the
// candidates to test exactly, in index order. shape and candidates are the
// caller's scratch (one thread at a time each). 0, or the grid's or
// reader's code.
int FindShapeContainingPoint(const GridOnShapeFile& grid, const ShapeFileReader& reader,
                             double latitude, double longitude, ShapeFileShape& shape,
                             std::vector<int>& candidates, int& recordIndex);

#endif
