/* zru_demo: loads libzrutils.so with dlopen, as a host program does, and
 * drives a list end to end.
 *
 *   zru_demo LIST_FILE TEXT...
 *
 * Opens the list file, looks every TEXT up (adding the ones that are new),
 * and closes the list, writing it back when something was added. Prints
 * each call, its status and its answer.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*Entry)(char*, int);

static int Call(Entry entry, const char* name, const char* parameters,
                char* answer, int size) {
  int status;
  snprintf(answer, (size_t)size + 1, "%s", parameters);
  status = entry(answer, size);
  printf("%-14s %-50s -> %5d  \"%s\"\n", name, parameters, status, answer);
  return status;
}

int main(int argc, char** argv) {
  const char* library = getenv("ZRU_LIBRARY") ? getenv("ZRU_LIBRARY") : ZRU_LIBRARY_PATH;
  char parameters[1024], answer[1024], handle[32];
  Entry openList, searchList, closeList;
  void* lib;
  int i, status, users = 1;

  if (argc < 2) {
    fprintf(stderr, "usage: %s LIST_FILE TEXT...\n", argv[0]);
    return 2;
  }
  lib = dlopen(library, RTLD_NOW);
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  openList = (Entry)dlsym(lib, "zruOpenList");
  searchList = (Entry)dlsym(lib, "zruSearchList");
  closeList = (Entry)dlsym(lib, "zruCloseList");
  if (openList == NULL || searchList == NULL || closeList == NULL) {
    fprintf(stderr, "entry points missing from %s\n", library);
    return 1;
  }

  snprintf(parameters, sizeof parameters, "File=%s\tName=demo", argv[1]);
  status = Call(openList, "zruOpenList", parameters, answer, sizeof answer - 1);
  if (status != 0) {
    /* A list file that does not exist yet: the list is registered empty
     * under its name, and a second open hands out its handle. Both opens
     * count as users, so the list is written at the second close. */
    status = Call(openList, "zruOpenList", "Name=demo", answer, sizeof answer - 1);
    if (status != 0) return 1;
    users = 2;
  }
  snprintf(handle, sizeof handle, "%.31s", answer);
  for (i = 2; i < argc; ++i) {
    snprintf(parameters, sizeof parameters, "%s\t%s\tInsertOnNotFound", handle, argv[i]);
    Call(searchList, "zruSearchList", parameters, answer, sizeof answer - 1);
  }
  snprintf(parameters, sizeof parameters, "%s\tFile=%s", handle, argv[1]);
  while (users-- > 0)
    status = Call(closeList, "zruCloseList", parameters, answer, sizeof answer - 1);
  dlclose(lib);
  return status == 0 ? 0 : 1;
}
