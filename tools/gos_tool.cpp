// gos_tool: builds, dumps and searches grid index files from the command
// line.
//   gos_tool build SHAPEFILE [PRECISION]   writes SHAPEFILE's .gos, showing progress
//   gos_tool info FILE.gos                 precision, ranges and indexing share
//   gos_tool column FILE.gos LONGITUDE     the ranges and lists of one column
//   gos_tool search FILE.gos LAT LONG      the inside shape or the candidates
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shapes/create_grid_on_shape.h"
#include "shapes/grid_on_shape_file.h"

static int Usage() {
  fprintf(stderr,
          "usage: gos_tool build SHAPEFILE [PRECISION]\n"
          "       gos_tool info FILE.gos\n"
          "       gos_tool column FILE.gos LONGITUDE\n"
          "       gos_tool search FILE.gos LATITUDE LONGITUDE\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "build") {
    CreateGridOnShapeOptions options;
    if (argc > 3) options.precision = atoi(argv[3]);
    options.progress = [](int64_t done, int64_t total) {
      fprintf(stderr, "\r%3d%%", static_cast<int>(done * 100 / total));
      if (done == total) fputc('\n', stderr);
    };
    const int result = CreateGridOnShape(argv[2], options);
    if (result != 0) fprintf(stderr, "build failed: %d\n", result);
    return result == 0 ? 0 : 1;
  }
  GridOnShapeFile grid;
  std::string error;
  int result = grid.Open(argv[2], error, OpenPafFileMap);
  if (result != 0) {
    fprintf(stderr, "cannot open %s: %d %s\n", argv[2], result, error.c_str());
    return 1;
  }
  if (command == "info") {
    result = grid.ShowInfo(stdout, false);
  } else if (command == "column" && argc > 3) {
    result = grid.DebugAColumn(stdout, atof(argv[3]));
  } else if (command == "search" && argc > 4) {
    int inside;
    std::vector<int> candidates;
    result = grid.Search(atof(argv[3]), atof(argv[4]), inside, candidates);
    if (result == 0) {
      printf("inside: %d\ncandidates:", inside);
      for (int c : candidates) printf(" %d", c);
      printf("\n");
    }
  } else {
    return Usage();
  }
  if (result != 0) fprintf(stderr, "failed: %d\n", result);
  return result == 0 ? 0 : 1;
}
