/* zru_paf_demo: loads libzrutils.so with dlopen, as a host program does,
 * and counts boundaries around a point with zruCountBoundaries.
 *
 *   zru_paf_demo ARF [LATITUDE LONGITUDE [QUERIES]]
 *
 * The address-data library "libzrpaf.so" must be on the loader's search
 * path (tools/demo.sh sets LD_LIBRARY_PATH to the stand-in's folder). Loads
 * it ("Initialise"), asks how the addresses of the nearest address's
 * locality and street spread over wards, postcodes and 300 m cells, times
 * QUERIES calls (default 2,000), and unloads it ("Finalise"). Prints each
 * call, its status and its answer (TABs shown as " | ").
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef int (*Entry)(char*, int);

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int Call(Entry entry, const char* parameters, int show) {
  char buffer[2048 + 1], shown[4096];
  size_t i, j = 0;
  int status;
  snprintf(buffer, sizeof buffer, "%s", parameters);
  status = entry(buffer, 2048);
  for (i = 0; buffer[i] != '\0' && j + 4 < sizeof shown; ++i) {
    if (buffer[i] == '\t') {
      memcpy(shown + j, " | ", 3);
      j += 3;
    } else {
      shown[j++] = buffer[i];
    }
  }
  shown[j] = '\0';
  if (show) printf("  %s\n    -> %d  \"%s\"\n", parameters, status, shown);
  return status;
}

int main(int argc, char** argv) {
  /* Items in their fixed order: ARF, GIF, Level, LatLong, then Boundary,
   * Range and All. */
  static const struct {
    const char *gif, *level, *after;
  } questions[] = {
      {"Ward", "L", ""},                /* the nearest address's ward, in its locality */
      {"Ward", "L", "All=True;"},       /* every ward of the locality */
      {"Ward", "S", "All=True;"},       /* along the nearest address's street */
      {"Geo.Postcode", "S", ""},        /* its postcode, along the street */
      {"Cell300", "L", "All=True;"},    /* more than 10 cells: the single form */
      {"Cell300", "L", "Range=50;"},    /* a 50 m search range */
  };
  const char* library = getenv("ZRU_LIBRARY") ? getenv("ZRU_LIBRARY") : ZRU_LIBRARY_PATH;
  const char* latitude = argc > 3 ? argv[2] : "-27.4712";
  const char* longitude = argc > 3 ? argv[3] : "153.0281";
  long i, count = argc > 4 ? atol(argv[4]) : 2000;
  char parameters[1024];
  Entry countBoundaries;
  void* lib;
  size_t q;
  double start, seconds;

  if (argc < 2) {
    fprintf(stderr, "usage: %s ARF [LATITUDE LONGITUDE [QUERIES]]\n", argv[0]);
    return 2;
  }
  lib = dlopen(library, RTLD_NOW);
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  countBoundaries = (Entry)dlsym(lib, "zruCountBoundaries");
  if (countBoundaries == NULL) {
    fprintf(stderr, "zruCountBoundaries missing from %s\n", library);
    return 1;
  }
  printf("Load the address-data library:\n");
  if (Call(countBoundaries, "Initialise", 1) != 0) return 1;

  printf("Around %s,%s in %s:\n", latitude, longitude, argv[1]);
  for (q = 0; q < sizeof questions / sizeof questions[0]; ++q) {
    snprintf(parameters, sizeof parameters, "ARF=%s;GIF=%s;Level=%s;LatLong=%s,%s;%s", argv[1],
             questions[q].gif, questions[q].level, latitude, longitude, questions[q].after);
    Call(countBoundaries, parameters, 1);
  }

  printf("Speed: %ld calls of GIF=Ward;Level=S; (open, nearest address, walk, close), one thread:\n",
         count);
  snprintf(parameters, sizeof parameters, "ARF=%s;GIF=Ward;Level=S;LatLong=%s,%s;", argv[1], latitude,
           longitude);
  start = Now();
  for (i = 0; i < count; ++i) {
    if (Call(countBoundaries, parameters, 0) != 0) {
      printf("  call failed\n");
      return 1;
    }
  }
  seconds = Now() - start;
  printf("  %.0f calls per second\n", (double)count / seconds);

  printf("Unload it:\n");
  Call(countBoundaries, "Finalise", 1);
  dlclose(lib);
  return 0;
}
