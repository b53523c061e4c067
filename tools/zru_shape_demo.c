/* zru_shape_demo: loads libzrutils.so with dlopen, as a host program does,
 * and drives zruPointInShape on a polygon shapefile.
 *
 *   zru_shape_demo SHAPEFILE [POINTS]
 *
 * Opens SHAPEFILE (its ".gos" grid index is built beside it on the first
 * open), answers a few well-known cities with the "name" field and the
 * distance to the border, times POINTS queries (default 1,000,000) at
 * random points over the globe, and closes the file. Prints each call, its
 * status and its answer.
 */
#include <dlfcn.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef int (*Entry)(char*, int);

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* A small fixed-seed generator, so that every run asks the same points. */
static uint64_t state = 88172645463325252ull;
static double Uniform(double low, double high) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return low + (high - low) * (double)(state >> 11) / 9007199254740992.0;
}

static int Call(Entry entry, const char* parameters, char* answer, int size, int show) {
  int status;
  snprintf(answer, (size_t)size + 1, "%s", parameters);
  status = entry(answer, size);
  if (show) printf("  %-72s -> %5d  \"%s\"\n", parameters, status, answer);
  return status;
}

int main(int argc, char** argv) {
  static const struct {
    const char* name;
    double latitude, longitude;
  } places[] = {
      {"London", 51.507222, -0.1275},       {"Paris", 48.856613, 2.352222},
      {"New York", 40.712776, -74.005974},  {"Tokyo", 35.689487, 139.691711},
      {"Nairobi", -1.292066, 36.821945},    {"Sydney", -33.86882, 151.209296},
      {"Sao Paulo", -23.55052, -46.633308}, {"the North Atlantic", 30.0, -40.0},
  };
  const char* library = getenv("ZRU_LIBRARY") ? getenv("ZRU_LIBRARY") : ZRU_LIBRARY_PATH;
  char parameters[1024], answer[1024], index[1024];
  const char* dot;
  Entry pointInShape;
  void* lib;
  enum { kLatLongSize = 40 };
  char prefix[1024 - 64], *latLongs;
  size_t prefixLength;
  long i, count = 1000000, found = 0;
  int hadIndex;
  size_t p;
  double start, seconds;

  if (argc < 2) {
    fprintf(stderr, "usage: %s SHAPEFILE [POINTS]\n", argv[0]);
    return 2;
  }
  if (argc > 2) count = atol(argv[2]);
  lib = dlopen(library, RTLD_NOW);
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  pointInShape = (Entry)dlsym(lib, "zruPointInShape");
  if (pointInShape == NULL) {
    fprintf(stderr, "zruPointInShape missing from %s\n", library);
    return 1;
  }

  /* The index lies beside the shapefile, with ".gos" for its extension. */
  dot = strrchr(argv[1], '.');
  snprintf(index, sizeof index, "%.*s.gos",
           (int)(dot != NULL && strchr(dot, '/') == NULL ? dot - argv[1] : (long)strlen(argv[1])),
           argv[1]);
  hadIndex = access(index, F_OK) == 0;
  printf("Open (%s):\n", hadIndex ? "the grid index exists" : "the grid index is built first");
  snprintf(parameters, sizeof parameters, "OpenShapeFile=%s;", argv[1]);
  start = Now();
  if (Call(pointInShape, parameters, answer, sizeof answer - 1, 1) != 0) return 1;
  printf("  opened in %.2f s\n", Now() - start);

  printf("Cities: ShapeFile=%s;LatLong=<latitude>,<longitude>;Fields=name;Distance=True;\n"
         "  answers the country's name and the metres to its border (empty at sea)\n", argv[1]);
  for (p = 0; p < sizeof places / sizeof places[0]; ++p) {
    int status;
    snprintf(parameters, sizeof parameters, "ShapeFile=%s;LatLong=%.6f,%.6f;Fields=name;Distance=True;",
             argv[1], places[p].latitude, places[p].longitude);
    status = Call(pointInShape, parameters, answer, sizeof answer - 1, 0);
    printf("  %-20s %10.6f,%11.6f -> %d  \"%s\"\n", places[p].name, places[p].latitude,
           places[p].longitude, status, answer);
  }

  /* The points' texts are made first, so that the timing counts the
   * library's work: parameter parsing, search, attribute read and answer. */
  printf("Speed: %ld queries at random points over the globe (Fields=name), one thread:\n", count);
  latLongs = malloc((size_t)count * kLatLongSize);
  if (latLongs == NULL) return 1;
  for (i = 0; i < count; ++i) {
    double latitude, longitude;
    do {
      latitude = Uniform(-90, 90);
      longitude = Uniform(-180, 180);
      /* A coordinate written as exactly 0 would count as missing. */
    } while (fabs(latitude) < 5e-7 || fabs(longitude) < 5e-7);
    snprintf(latLongs + i * kLatLongSize, kLatLongSize, "LatLong=%.6f,%.6f;", latitude, longitude);
  }
  prefixLength = (size_t)snprintf(prefix, sizeof prefix, "ShapeFile=%s;", argv[1]);
  start = Now();
  for (i = 0; i < count; ++i) {
    const char* latLong = latLongs + i * kLatLongSize;
    const size_t latLongLength = strlen(latLong);
    memcpy(parameters, prefix, prefixLength);
    memcpy(parameters + prefixLength, latLong, latLongLength);
    memcpy(parameters + prefixLength + latLongLength, "Fields=name;", 13);
    if (pointInShape(parameters, sizeof parameters - 1) != 0) {
      printf("  query failed: %s\n", parameters);
      return 1;
    }
    found += parameters[0] != '\0';
  }
  seconds = Now() - start;
  printf("  %.0f queries per second, %.1f%% of the points in a country\n", (double)count / seconds,
         100.0 * (double)found / (double)count);
  free(latLongs);

  snprintf(parameters, sizeof parameters, "CloseShapeFile=%s;", argv[1]);
  printf("Close:\n");
  Call(pointInShape, parameters, answer, sizeof answer - 1, 1);
  dlclose(lib);
  return 0;
}
