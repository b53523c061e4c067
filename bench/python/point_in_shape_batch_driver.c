/* The C side of the Python benchmark: zruPointInShapeBatch called from a C
 * program on the same points, so that the Python paths can be set beside the
 * library's own cost.
 *
 *     point_in_shape_batch_driver <shapefile> <points> <records> <runs>
 *
 * <points> holds count latitudes then count longitudes, native doubles.
 * The shape file is opened with "OpenShapeFile" (its index must have been
 * built before, so the open only reads it), one untimed call touches the
 * index, then <runs> calls are timed. Prints one line of
 * "key=value" pairs: points, runs, and per call the best and median wall
 * seconds and the best processor seconds. The records of the last call go
 * to <records> (native int32) for the caller to compare. */
/* clock_gettime and its clocks. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "api/zrutils.h"

static void Die(const char* what) {
  fprintf(stderr, "point_in_shape_batch_driver: %s\n", what);
  exit(1);
}

static double Seconds(clockid_t clock) {
  struct timespec now;
  clock_gettime(clock, &now);
  return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static int CompareDoubles(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

/* Calls zruPointInShape with the text; dies with the answer on failure. */
static void Call(const char* prefix, const char* name) {
  char buffer[4096];
  if (snprintf(buffer, sizeof buffer, "%s=%s;", prefix, name) >= (int)sizeof buffer) {
    Die("shape file name too long");
  }
  if (zruPointInShape(buffer, (int)sizeof buffer - 1) != 0) Die(buffer);
}

int main(int argc, char** argv) {
  if (argc != 5) Die("usage: <shapefile> <points> <records> <runs>");
  const char* shapeFile = argv[1];
  int runs = atoi(argv[4]);
  if (runs < 1) Die("runs must be at least 1");

  FILE* in = fopen(argv[2], "rb");
  if (in == NULL) Die("cannot open the points");
  fseek(in, 0, SEEK_END);
  long bytes = ftell(in);
  fseek(in, 0, SEEK_SET);
  int count = (int)(bytes / (2 * (long)sizeof(double)));
  if (count < 1) Die("no points");
  double* coordinates = malloc((size_t)count * 2 * sizeof(double));
  int* records = malloc((size_t)count * sizeof(int));
  double* wall = malloc((size_t)runs * sizeof(double));
  if (coordinates == NULL || records == NULL || wall == NULL) Die("out of memory");
  if (fread(coordinates, sizeof(double), (size_t)count * 2, in) != (size_t)count * 2) {
    Die("cannot read the points");
  }
  fclose(in);

  Call("OpenShapeFile", shapeFile);
  const double* latitudes = coordinates;
  const double* longitudes = coordinates + count;
  if (zruPointInShapeBatch(shapeFile, latitudes, longitudes, count, records) != 0) {
    Die("batch call failed");
  }
  double bestCpu = 1e300;
  for (int r = 0; r < runs; ++r) {
    double start = Seconds(CLOCK_MONOTONIC), startCpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    if (zruPointInShapeBatch(shapeFile, latitudes, longitudes, count, records) != 0) {
      Die("batch call failed");
    }
    wall[r] = Seconds(CLOCK_MONOTONIC) - start;
    double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - startCpu;
    if (cpu < bestCpu) bestCpu = cpu;
  }
  Call("CloseShapeFile", shapeFile);

  FILE* out = fopen(argv[3], "wb");
  if (out == NULL || fwrite(records, sizeof(int), (size_t)count, out) != (size_t)count ||
      fclose(out) != 0) {
    Die("cannot write the records");
  }
  qsort(wall, (size_t)runs, sizeof(double), CompareDoubles);
  printf("points=%d runs=%d best=%.6f median=%.6f cpu_best=%.6f\n", count, runs, wall[0],
         wall[runs / 2], bestCpu);
  free(coordinates);
  free(records);
  free(wall);
  return 0;
}
