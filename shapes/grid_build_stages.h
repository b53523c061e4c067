// The two stages of CreateGridOnShape, apart so that the tests can look at
// the markings between them. Internal: not installed, not exported.
#ifndef ZRUTILS_SHAPES_GRID_BUILD_STAGES_H
#define ZRUTILS_SHAPES_GRID_BUILD_STAGES_H

#include <cstdint>
#include <string>

#include "shapes/create_grid_on_shape.h"
#include "shapes/grid_on_shape_file.h"
#include "shapes/grid_trace.h"

// What the tracing stage hands the writing stage.
struct GridTrace {
  GridOnShapeFileMetaData header;  // columnCount 0: nothing to index
  GridMarkings markings;
  std::string base;     // the shapefile's path without its extension
  int64_t records = 0;  // records in the file
};
// Opens the set, chooses the grid and traces the selected records. Leaves
// header.columnCount 0 when the automatic precision met a box without area.
int TraceGridOnShape(const std::string& path, CreateGridOnShapeOptions& options, GridTrace& trace);
// Resolves the columns (releasing their markings) and writes the file.
int WriteGosFile(const std::string& path, GridTrace& trace, const CreateGridOnShapeOptions& options);

#endif
