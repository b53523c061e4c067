// The tracing stage of the grid index builder: every ring of a polygon is
// followed through the grid's columns, leaving in each column it passes a
// marking of where its boundary runs (TraceMarking, shapes/grid_column.h).
#ifndef ZRUTILS_SHAPES_GRID_TRACE_H
#define ZRUTILS_SHAPES_GRID_TRACE_H

#include <cstdint>
#include <vector>

#include "shapes/grid_column.h"
#include "shapes/grid_on_shape_file.h"

class ShapeFileShape;

// One array of markings per column, indexed by column index.
using GridMarkings = std::vector<std::vector<TraceMarking>>;

class GridTracer {
 public:
  // A grid of header's precision, minColumn and columnCount over the box
  // (minX, maxX, minY, maxY) of the file. Points outside the box are moved
  // onto its edge, so every marking lands in the store and every row cell
  // fits the header's coordinate width.
  GridTracer(const GridOnShapeFileMetaData& header, double minX, double maxX, double minY,
             double maxY, GridMarkings& store);

  // Traces every part of shape under its shape code. A shape of one
  // counter-clockwise ring is traced as the clockwise ring it stands for:
  // the point test treats a lone ring alike in either direction, so the
  // index must too.
  void TraceShape(const ShapeFileShape& shape, int32_t code);

 private:
  void TracePart(const ShapeFileShape& shape, int32_t code, size_t part, bool reversed);
  void AddMarking(int32_t code, int32_t col, int32_t lo, int32_t hi, int32_t from, int32_t next,
                  bool reversed);
  double X(double x) const;
  double Y(double y) const;
  int32_t Row(double y) const;
  int32_t Column(double x) const;

  double scale_;
  int32_t minColumn_;
  double minX_, maxX_, minY_, maxY_;
  GridMarkings& store_;
};

#endif
