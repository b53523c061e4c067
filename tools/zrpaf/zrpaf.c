/* libzrpaf.so, the stand-in address-data library: enough of the real
 * library's interface for zruCountBoundaries, its tests, its demo and host
 * developers without the real one. It reads its own small text ARF format
 * (README.md beside this file), answers the calls zruCountBoundaries makes,
 * and fails every other required function with ZRPAF_NOT_SUPPORTED.
 *
 * Plain C, no thread-local storage and no C++ runtime, so that dlclose
 * really unmaps it. Thread-safe: opens, closes, the cache of parsed ARFs
 * and the test hooks' records are under one mutex; a query works on its
 * own open ARF (one id per thread at a time) without it.
 */
#include <errno.h>
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>

#define ZRPAF_API __attribute__((visibility("default")))

enum {
  ZRPAF_BAD_ID = 1,
  ZRPAF_CANNOT_OPEN = 2,
  ZRPAF_BAD_FILE = 3,
  ZRPAF_UNKNOWN_PROPERTY = 4,
  ZRPAF_UNKNOWN_CODE = 5,
  ZRPAF_NOTHING_IN_RANGE = 6,
  ZRPAF_NOT_SUPPORTED = 7,
  ZRPAF_NO_MEMORY = 8,
  ZRPAF_TOO_MANY_OPEN = 9,
  ZRPAF_TOO_SMALL = 10,
  ZRPAF_BAD_MODE = 11,
  ZRPAF_BAD_VALUE = 12,
  ZRPAF_BAD_POINT = 13,
  ZRPAF_NO_COORDINATES = 14,
  ZRPAF_INJECTED = 100 /* + the function's index below */
};

static const char* const kMessages[] = {
    "No error",
    "Invalid ARF id",
    "Cannot open the ARF file",
    "Invalid ARF file",
    "Unknown property",
    "Unknown geographical code",
    "No address within the search range",
    "Not supported by the stand-in address-data library",
    "Out of memory",
    "Too many open ARFs",
    "Buffer too small",
    "Invalid open mode",
    "Invalid property value",
    "Invalid latitude or longitude",
    "The ARF has no Latitude+Longitude code",
};

/* The functions whose failure or delay an ARF may ask for. */
enum { F_OPEN, F_GET_PROPERTIES, F_SET_PROPERTIES, F_SET_CODES, F_GET_ADDRESS, F_GET_NEXT, F_COUNT };
static const char* const kFunctionNames[F_COUNT] = {
    "pafOpenArfId",   "pafGetPropertiesId", "pafSetPropertiesId", "pafSetGeographicalCodesId",
    "pafGetAddressId", "pafGetNextAddressId"};

enum { ADDRESS_FIELDS = 42, KEY_FIELDS = 7, MAX_OPEN = 256, MAX_SPECS = 32, MAX_CODE_FIELDS = 64 };

typedef struct {
  uint32_t line;       /* offset of the record's line in the text */
  uint32_t keyLength;  /* bytes of the first 7 fields and their delimiters */
  uint32_t addressLength; /* bytes of the first 42 fields, without the 42nd delimiter */
  double latitude, longitude;
} Record;

typedef struct {
  uint32_t firstField, fieldCount; /* among the code fields of a record */
  char name[128];
} CodeGroup;

typedef struct Arf {
  char* path;
  struct stat identity; /* the file as parsed: device, inode, size, time */
  int references;       /* the cache's and each open id's */
  char delimiter;
  char* gifFields;      /* the "codes" line */
  CodeGroup specs[MAX_SPECS];
  int specCount, codeFieldCount, coordinates; /* coordinates: group index or -1 */
  int failing[F_COUNT];   /* 0, or 1 + the calls that succeed first */
  int delayMs[F_COUNT];
  char* text;
  Record* records;        /* sorted by their first 7 fields, then file order */
  uint32_t* fieldStarts;  /* per record, codeFieldCount + 1 offsets in its line */
  uint32_t* byLatitude;   /* record numbers sorted by latitude */
  size_t count;
  struct Arf* next;       /* in the cache */
} Arf;

typedef struct {
  Arf* arf;
  int calls[F_COUNT];
  int selected[MAX_SPECS], selectedCount;
  double range;           /* metres */
  char* key;              /* the walk's leading fields and a delimiter */
  size_t keyLength, cursor, end;
} Session;

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static Arf* cache;
static Session* sessions[MAX_OPEN];
static int lastMode = -1;
static char lastCodes[1024], lastRange[256];
static int unterminatedDescriptions;

/* ---- small helpers ---- */

static void CopyText(char* out, int size, const char* text, size_t length) {
  if (size <= 0) return;
  if (length > (size_t)size - 1) length = (size_t)size - 1;
  memcpy(out, text, length);
  out[length] = '\0';
}

/* A decimal number: an optional sign, digits, an optional point and
 * digits. Read by hand, so that the host's locale (a decimal comma) does
 * not change it; 1 when the whole text was one. */
static int ReadNumber(const char* text, size_t length, double* value) {
  size_t i = 0;
  double whole = 0, scale = 1;
  int negative = 0, digits = 0, point = 0;
  if (i < length && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  for (; i < length; ++i) {
    if (text[i] == '.' && !point) {
      point = 1;
    } else if (text[i] >= '0' && text[i] <= '9') {
      whole = whole * 10 + (text[i] - '0');
      if (point) scale *= 10;
      digits += 1;
    } else {
      return 0;
    }
  }
  if (digits == 0 || !isfinite(whole)) return 0;
  *value = (negative ? -whole : whole) / scale;
  return 1;
}

static void Pause(int milliseconds) {
  struct timespec t;
  if (milliseconds <= 0) return;
  t.tv_sec = milliseconds / 1000;
  t.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

/* Delay and injected failure of a call on an ARF. */
static int Enter(const Arf* arf, int* calls, int function) {
  Pause(arf->delayMs[function]);
  if (arf->failing[function] != 0) {
    int succeeding = arf->failing[function] - 1;
    int made = calls == NULL ? 0 : calls[function]++;
    if (made >= succeeding) return ZRPAF_INJECTED + function;
  }
  return 0;
}

static Session* Find(int id) {
  /* Read without the lock: an id is used by one thread at a time, and its
   * session was published (release) before the id was handed out. */
  if (id < 1 || id > MAX_OPEN) return NULL;
  return __atomic_load_n(&sessions[id - 1], __ATOMIC_ACQUIRE);
}

/* ---- the ARF file ---- */

static void FreeArf(Arf* arf) {
  if (arf == NULL) return;
  free(arf->path);
  free(arf->gifFields);
  free(arf->text);
  free(arf->records);
  free(arf->fieldStarts);
  free(arf->byLatitude);
  free(arf);
}

static void Release(Arf* arf) { /* under the lock */
  if (--arf->references == 0) FreeArf(arf);
}

static const Arf* sortArf; /* qsort's context, used under the lock only */

static int CompareRecords(const void* a, const void* b) {
  const Record* x = a;
  const Record* y = b;
  const char* text = sortArf->text;
  uint32_t n = x->keyLength < y->keyLength ? x->keyLength : y->keyLength;
  int c = memcmp(text + x->line, text + y->line, n);
  if (c != 0) return c;
  if (x->keyLength != y->keyLength) return x->keyLength < y->keyLength ? -1 : 1;
  return x->line < y->line ? -1 : x->line > y->line;
}

static int CompareLatitudes(const void* a, const void* b) {
  double x = sortArf->records[*(const uint32_t*)a].latitude;
  double y = sortArf->records[*(const uint32_t*)b].latitude;
  if (x != y) return x < y ? -1 : 1;
  return *(const uint32_t*)a < *(const uint32_t*)b ? -1 : 1;
}

static int FunctionIndex(const char* name) {
  int i;
  for (i = 0; i < F_COUNT; ++i) {
    if (strcmp(kFunctionNames[i], name) == 0) return i;
  }
  return -1;
}

/* The "codes" line: specifications separated by ";", each of 1 + its "+"
 * count fields; the one ending ".Latitude+Longitude" gives coordinates. */
static int ReadSpecs(Arf* arf, const char* line) {
  const char* p = line;
  if (arf->gifFields != NULL) return ZRPAF_BAD_FILE; /* one "codes" line only */
  arf->gifFields = strdup(line);
  if (arf->gifFields == NULL) return ZRPAF_NO_MEMORY;
  arf->coordinates = -1;
  while (*p != '\0') {
    size_t length = strcspn(p, ";");
    CodeGroup* group;
    size_t i;
    if (length > 0) {
      if (arf->specCount == MAX_SPECS || length >= sizeof group->name) return ZRPAF_BAD_FILE;
      group = &arf->specs[arf->specCount];
      memcpy(group->name, p, length);
      group->name[length] = '\0';
      group->firstField = (uint32_t)arf->codeFieldCount;
      group->fieldCount = 1;
      for (i = 0; i < length; ++i) group->fieldCount += p[i] == '+';
      if (strstr(group->name, ".Latitude+Longitude") != NULL && group->fieldCount == 2) {
        arf->coordinates = arf->specCount;
      }
      arf->codeFieldCount += (int)group->fieldCount;
      if (arf->codeFieldCount > MAX_CODE_FIELDS) return ZRPAF_BAD_FILE;
      arf->specCount += 1;
    }
    p += length + (p[length] == ';');
  }
  return 0;
}

/* Splits one record line (NUL-terminated in arf->text at offset) into its
 * fields; 0, or ZRPAF_BAD_FILE when it has not 42 + the code fields. */
static int ReadRecord(Arf* arf, uint32_t offset, Record* record, uint32_t* starts) {
  const char* line = arf->text + offset;
  const char d = arf->delimiter;
  const int fields = ADDRESS_FIELDS + arf->codeFieldCount;
  int field = 1;
  uint32_t i;
  record->line = offset;
  record->keyLength = 0;
  record->addressLength = 0;
  record->latitude = record->longitude = NAN;
  if (arf->codeFieldCount == 0) record->addressLength = (uint32_t)strlen(line);
  for (i = 0; line[i] != '\0'; ++i) {
    if (line[i] != d) continue;
    if (field == KEY_FIELDS) record->keyLength = i + 1;
    if (field == ADDRESS_FIELDS) record->addressLength = i;
    if (field >= ADDRESS_FIELDS && field - ADDRESS_FIELDS < arf->codeFieldCount) {
      starts[field - ADDRESS_FIELDS] = i + 1;
    }
    if (++field > fields) return ZRPAF_BAD_FILE;
  }
  if (field != fields) return ZRPAF_BAD_FILE;
  starts[arf->codeFieldCount] = i + 1;
  if (arf->coordinates >= 0) {
    const CodeGroup* group = &arf->specs[arf->coordinates];
    const uint32_t a = starts[group->firstField], b = starts[group->firstField + 1];
    const uint32_t c = starts[group->firstField + 2];
    double latitude, longitude;
    /* A record without coordinates is walked but never the nearest. */
    if (ReadNumber(line + a, b - 1 - a, &latitude) && ReadNumber(line + b, c - 1 - b, &longitude)) {
      record->latitude = latitude;
      record->longitude = longitude;
    }
  }
  return 0;
}

static int ReadDirective(Arf* arf, char* line) {
  char name[64];
  int value = 0, function;
  if (strncmp(line, "delimiter ", 10) == 0) {
    if (strlen(line + 10) != 1) return ZRPAF_BAD_FILE;
    arf->delimiter = line[10];
    return 0;
  }
  if (strncmp(line, "codes ", 6) == 0) return ReadSpecs(arf, line + 6);
  if (sscanf(line, "fail %63s after %d", name, &value) == 2 ||
      sscanf(line, "fail %63s", name) == 1) {
    if ((function = FunctionIndex(name)) < 0 || value < 0) return ZRPAF_BAD_FILE;
    arf->failing[function] = 1 + value;
    return 0;
  }
  if (sscanf(line, "delay %63s %d", name, &value) == 2) {
    if ((function = FunctionIndex(name)) < 0 || value < 0) return ZRPAF_BAD_FILE;
    arf->delayMs[function] = value;
    return 0;
  }
  return ZRPAF_BAD_FILE;
}

static int Parse(Arf* arf, FILE* file) {
  long length;
  size_t capacity = 0, i;
  char *p, *end;
  int inRecords = 0, code;
  if (fseek(file, 0, SEEK_END) != 0 || (length = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0 ||
      length > 0x7fffffffL) {
    return ZRPAF_CANNOT_OPEN;
  }
  arf->text = malloc((size_t)length + 1);
  if (arf->text == NULL) return ZRPAF_NO_MEMORY;
  if (fread(arf->text, 1, (size_t)length, file) != (size_t)length) return ZRPAF_CANNOT_OPEN;
  arf->text[length] = '\0';
  arf->delimiter = '|';
  p = arf->text;
  end = p + length;
  if (strncmp(p, "ZRPAF-ARF 1\n", 12) != 0) return ZRPAF_BAD_FILE;
  while (p < end) {
    char* newline = memchr(p, '\n', (size_t)(end - p));
    char* next = newline != NULL ? newline + 1 : end;
    if (newline != NULL) *newline = '\0';
    if (next - p > 1 && newline != NULL && newline[-1] == '\r') newline[-1] = '\0';
    if (!inRecords) {
      if (p[0] == '#' || p[0] == '\0' || strcmp(p, "ZRPAF-ARF 1") == 0) {
      } else if (strcmp(p, "records") == 0) {
        inRecords = 1;
        arf->records = malloc(sizeof(Record) * (capacity = 1024));
        arf->fieldStarts = malloc(sizeof(uint32_t) * capacity * (size_t)(arf->codeFieldCount + 1));
        if (arf->records == NULL || arf->fieldStarts == NULL) return ZRPAF_NO_MEMORY;
      } else if ((code = ReadDirective(arf, p)) != 0) {
        return code;
      }
    } else if (p[0] != '\0') {
      if (arf->count == capacity) {
        Record* records = realloc(arf->records, sizeof(Record) * capacity * 2);
        uint32_t* starts;
        if (records == NULL) return ZRPAF_NO_MEMORY;
        arf->records = records;
        starts = realloc(arf->fieldStarts, sizeof(uint32_t) * capacity * 2 * (size_t)(arf->codeFieldCount + 1));
        if (starts == NULL) return ZRPAF_NO_MEMORY;
        arf->fieldStarts = starts;
        capacity *= 2;
      }
      code = ReadRecord(arf, (uint32_t)(p - arf->text), &arf->records[arf->count],
                        arf->fieldStarts + arf->count * (size_t)(arf->codeFieldCount + 1));
      if (code != 0) return code;
      arf->count += 1;
    }
    p = next;
  }
  if (!inRecords || arf->gifFields == NULL) return ZRPAF_BAD_FILE;
  /* The field offsets follow their records through the sort: each record
   * finds its own by its line, kept in the order of the file. */
  {
    uint32_t* starts = arf->fieldStarts;
    const size_t width = (size_t)arf->codeFieldCount + 1;
    uint32_t* sorted = malloc(sizeof(uint32_t) * (arf->count * width + 1));
    Record* original = malloc(sizeof(Record) * (arf->count + 1));
    if (sorted == NULL || original == NULL) {
      free(sorted);
      free(original);
      return ZRPAF_NO_MEMORY;
    }
    memcpy(original, arf->records, sizeof(Record) * arf->count);
    sortArf = arf;
    qsort(arf->records, arf->count, sizeof(Record), CompareRecords);
    for (i = 0; i < arf->count; ++i) {
      /* Binary search of the record's line among the lines in file order. */
      size_t low = 0, high = arf->count;
      while (high - low > 1) {
        size_t middle = (low + high) / 2;
        if (original[middle].line <= arf->records[i].line) low = middle; else high = middle;
      }
      memcpy(sorted + i * width, starts + low * width, sizeof(uint32_t) * width);
    }
    free(original);
    free(starts);
    arf->fieldStarts = sorted;
  }
  arf->byLatitude = malloc(sizeof(uint32_t) * (arf->count + 1));
  if (arf->byLatitude == NULL) return ZRPAF_NO_MEMORY;
  for (i = 0; i < arf->count; ++i) arf->byLatitude[i] = (uint32_t)i;
  qsort(arf->byLatitude, arf->count, sizeof(uint32_t), CompareLatitudes);
  return 0;
}

/* The cached ARF of path, parsed again when the file changed; one more
 * reference for the caller. Under the lock. */
static int Acquire(const char* path, Arf** out) {
  struct stat now;
  Arf **link, *arf;
  FILE* file;
  int code;
  if (stat(path, &now) != 0) return ZRPAF_CANNOT_OPEN;
  for (link = &cache; (arf = *link) != NULL; link = &arf->next) {
    if (strcmp(arf->path, path) != 0) continue;
    if (arf->identity.st_dev == now.st_dev && arf->identity.st_ino == now.st_ino &&
        arf->identity.st_size == now.st_size && arf->identity.st_mtim.tv_sec == now.st_mtim.tv_sec &&
        arf->identity.st_mtim.tv_nsec == now.st_mtim.tv_nsec) {
      arf->references += 1;
      *out = arf;
      return 0;
    }
    *link = arf->next;
    Release(arf);
    break;
  }
  file = fopen(path, "rb");
  if (file == NULL) return ZRPAF_CANNOT_OPEN;
  arf = calloc(1, sizeof *arf);
  if (arf == NULL || (arf->path = strdup(path)) == NULL) {
    fclose(file);
    FreeArf(arf);
    return ZRPAF_NO_MEMORY;
  }
  code = Parse(arf, file);
  fclose(file);
  if (code != 0) {
    FreeArf(arf);
    return code;
  }
  arf->identity = now;
  arf->references = 2;
  arf->next = cache;
  cache = arf;
  *out = arf;
  return 0;
}

/* ---- the calls zruCountBoundaries makes ---- */

ZRPAF_API int pafOpenArfId(int* id, int mode, const char* path) {
  Arf* arf = NULL;
  Session* session;
  int code, slot;
  if (id == NULL || path == NULL) return ZRPAF_CANNOT_OPEN;
  *id = 0;
  if (mode < 0 || mode > 3) return ZRPAF_BAD_MODE;
  pthread_mutex_lock(&lock);
  lastMode = mode;
  code = Acquire(path, &arf);
  pthread_mutex_unlock(&lock);
  if (code != 0) return code;
  code = Enter(arf, NULL, F_OPEN);
  session = code == 0 ? calloc(1, sizeof *session) : NULL;
  if (code == 0 && session == NULL) code = ZRPAF_NO_MEMORY;
  pthread_mutex_lock(&lock);
  for (slot = 0; code == 0 && slot < MAX_OPEN && sessions[slot] != NULL; ++slot) {
  }
  if (code == 0 && slot == MAX_OPEN) code = ZRPAF_TOO_MANY_OPEN;
  if (code == 0) {
    session->arf = arf;
    session->range = 2000.0;
    __atomic_store_n(&sessions[slot], session, __ATOMIC_RELEASE);
    *id = slot + 1;
  } else {
    free(session);
    Release(arf);
  }
  pthread_mutex_unlock(&lock);
  return code;
}

ZRPAF_API int pafClosePafId(int id) {
  Session* session;
  if (id < 1 || id > MAX_OPEN) return ZRPAF_BAD_ID;
  pthread_mutex_lock(&lock);
  session = sessions[id - 1];
  __atomic_store_n(&sessions[id - 1], NULL, __ATOMIC_RELAXED);
  if (session != NULL) Release(session->arf);
  pthread_mutex_unlock(&lock);
  if (session == NULL) return ZRPAF_BAD_ID;
  free(session->key);
  free(session);
  return 0;
}

ZRPAF_API int pafGetErrorDescription(char* text, int code, int size) {
  char unknown[64];
  const char* message = unknown;
  if (text == NULL || size <= 0) return 0;
  if (code >= 0 && code < (int)(sizeof kMessages / sizeof kMessages[0])) {
    message = kMessages[code];
  } else if (code >= ZRPAF_INJECTED && code < ZRPAF_INJECTED + F_COUNT) {
    snprintf(unknown, sizeof unknown, "Injected failure in %s", kFunctionNames[code - ZRPAF_INJECTED]);
  } else {
    snprintf(unknown, sizeof unknown, "Unknown error %d", code);
  }
  if (__atomic_load_n(&unterminatedDescriptions, __ATOMIC_RELAXED)) {
    memset(text, '#', (size_t)size);
  } else {
    CopyText(text, size, message, strlen(message));
  }
  return 0;
}

ZRPAF_API int pafGetPropertiesId(int id, const char* name, char* value, int size) {
  Session* session = Find(id);
  int code;
  if (session == NULL) return ZRPAF_BAD_ID;
  if ((code = Enter(session->arf, session->calls, F_GET_PROPERTIES)) != 0) return code;
  if (strcasecmp(name, "Delimiter") == 0) {
    CopyText(value, size, &session->arf->delimiter, 1);
  } else if (strcasecmp(name, "GIFFields") == 0) {
    const char* fields = session->arf->gifFields;
    if (strlen(fields) >= (size_t)size) return ZRPAF_TOO_SMALL;
    CopyText(value, size, fields, strlen(fields));
  } else {
    return ZRPAF_UNKNOWN_PROPERTY;
  }
  return 0;
}

ZRPAF_API int pafSetPropertiesId(int id, const char* name, const char* value) {
  Session* session = Find(id);
  double range;
  int code;
  if (session == NULL) return ZRPAF_BAD_ID;
  if ((code = Enter(session->arf, session->calls, F_SET_PROPERTIES)) != 0) return code;
  if (strcasecmp(name, "LatLongSearchRange") != 0) return ZRPAF_UNKNOWN_PROPERTY;
  pthread_mutex_lock(&lock);
  snprintf(lastRange, sizeof lastRange, "%s", value);
  pthread_mutex_unlock(&lock);
  if (!ReadNumber(value, strlen(value), &range) || !(range > 0)) return ZRPAF_BAD_VALUE;
  session->range = range;
  return 0;
}

#ifndef ZRPAF_INCOMPLETE
/* A comma-separated list of code specifications, each named in full
 * ("Geo.District") or by its part after the last "." ("District"), without
 * regard to case. Records then carry these codes after their 42 fields. */
ZRPAF_API int pafSetGeographicalCodesId(int id, const char* codes) {
  Session* session = Find(id);
  const Arf* arf;
  const char* p = codes;
  int code;
  if (session == NULL) return ZRPAF_BAD_ID;
  arf = session->arf;
  if ((code = Enter(arf, session->calls, F_SET_CODES)) != 0) return code;
  pthread_mutex_lock(&lock);
  snprintf(lastCodes, sizeof lastCodes, "%s", codes);
  pthread_mutex_unlock(&lock);
  session->selectedCount = 0;
  while (*p != '\0') {
    size_t length = strcspn(p, ",");
    int s, found = -1;
    for (s = 0; s < arf->specCount && found < 0; ++s) {
      const char* name = arf->specs[s].name;
      const char* dot = strrchr(name, '.');
      const char* shortName = dot != NULL ? dot + 1 : name;
      if ((strlen(name) == length && strncasecmp(name, p, length) == 0) ||
          (strlen(shortName) == length && strncasecmp(shortName, p, length) == 0)) {
        found = s;
      }
    }
    if (found < 0 || session->selectedCount == MAX_SPECS) return ZRPAF_UNKNOWN_CODE;
    session->selected[session->selectedCount++] = found;
    p += length + (p[length] == ',');
  }
  return 0;
}
#endif

/* Writes the record: its 42 address fields, then the fields of each
 * selected code. */
static int WriteRecord(const Session* session, size_t index, char* out, int size) {
  const Arf* arf = session->arf;
  const Record* record = &arf->records[index];
  const char* line = arf->text + record->line;
  const uint32_t* starts = arf->fieldStarts + index * ((size_t)arf->codeFieldCount + 1);
  size_t used = record->addressLength;
  int s;
  if (size <= 0) return ZRPAF_TOO_SMALL;
  if (used > (size_t)size - 1) return ZRPAF_TOO_SMALL;
  memcpy(out, line, used);
  for (s = 0; s < session->selectedCount; ++s) {
    const CodeGroup* group = &arf->specs[session->selected[s]];
    const uint32_t from = starts[group->firstField];
    const uint32_t to = starts[group->firstField + group->fieldCount] - 1;
    if (used + 1 + (to - from) > (size_t)size - 1) return ZRPAF_TOO_SMALL;
    out[used++] = arf->delimiter;
    memcpy(out + used, line + from, to - from);
    used += to - from;
  }
  out[used] = '\0';
  return 0;
}

/* The end of a walk: 42 empty fields. */
static int WriteBlank(char d, char* out, int size) {
  int n = size - 1 < ADDRESS_FIELDS - 1 ? size - 1 : ADDRESS_FIELDS - 1;
  if (size <= 0) return ZRPAF_TOO_SMALL;
  memset(out, d, (size_t)(n > 0 ? n : 0));
  out[n > 0 ? n : 0] = '\0';
  return 0;
}

static int Nearest(Session* session, const char* latitudeText, size_t latitudeLength,
                   const char* longitudeText, size_t longitudeLength, char* out, int size) {
  const Arf* arf = session->arf;
  const double toRadians = 3.14159265358979323846 / 180.0;
  double latitude, longitude, window, best;
  size_t low = 0, high = arf->count, i, found = (size_t)-1;
  if (arf->coordinates < 0) return ZRPAF_NO_COORDINATES;
  if (!ReadNumber(latitudeText, latitudeLength, &latitude) ||
      !ReadNumber(longitudeText, longitudeLength, &longitude) || fabs(latitude) > 90 ||
      fabs(longitude) > 180) {
    return ZRPAF_BAD_POINT;
  }
  /* Only latitudes within the range can hold an address within it. */
  window = session->range / 111194.9266;
  while (low < high) {
    size_t middle = (low + high) / 2;
    if (arf->records[arf->byLatitude[middle]].latitude < latitude - window) low = middle + 1; else high = middle;
  }
  best = session->range;
  for (i = low; i < arf->count; ++i) {
    const Record* r = &arf->records[arf->byLatitude[i]];
    double dLat, dLon, a, metres;
    if (!(r->latitude <= latitude + window)) break;
    /* Haversine distance on a sphere of the Earth's mean radius. */
    dLat = (r->latitude - latitude) * toRadians;
    dLon = (r->longitude - longitude) * toRadians;
    a = sin(dLat / 2) * sin(dLat / 2) +
        cos(latitude * toRadians) * cos(r->latitude * toRadians) * sin(dLon / 2) * sin(dLon / 2);
    metres = 2 * 6371008.8 * asin(sqrt(a < 1 ? a : 1));
    if (metres <= best && (found == (size_t)-1 || metres < best || arf->byLatitude[i] < found)) {
      best = metres;
      found = arf->byLatitude[i];
    }
  }
  if (found == (size_t)-1) return ZRPAF_NOTHING_IN_RANGE;
  return WriteRecord(session, found, out, size);
}

/* Moves the walk to its next record and writes it, or the blank record at
 * its end. */
static int Step(Session* session, char* out, int size) {
  const Arf* arf = session->arf;
  while (session->cursor < session->end) {
    const Record* r = &arf->records[session->cursor];
    const char* line = arf->text + r->line;
    const size_t index = session->cursor++;
    if (strncmp(line, session->key, session->keyLength) == 0) return WriteRecord(session, index, out, size);
  }
  return WriteBlank(arf->delimiter, out, size);
}

/* A query of 42 empty fields, a latitude and a longitude finds the address
 * nearest the point. Any other query starts a walk over the addresses
 * whose leading fields are the query's fields. */
ZRPAF_API int pafGetAddressId(int id, const char* query, char* record, int size) {
  Session* session = Find(id);
  const Arf* arf;
  const char *p, *fields[ADDRESS_FIELDS + 3];
  size_t length, keyFields, low, high, prefix;
  int count = 0, code;
  char d, blank[2];
  if (session == NULL) return ZRPAF_BAD_ID;
  arf = session->arf;
  d = arf->delimiter;
  blank[0] = d;
  blank[1] = '\0';
  if ((code = Enter(arf, session->calls, F_GET_ADDRESS)) != 0) return code;
  for (p = query; count < ADDRESS_FIELDS + 3; ++count) {
    fields[count] = p;
    p = strchr(p, d);
    if (p == NULL) break;
    ++p;
  }
  if (count == ADDRESS_FIELDS + 1 && strspn(query, blank) >= ADDRESS_FIELDS) {
    const char* lat = fields[ADDRESS_FIELDS];
    const char* lon = fields[ADDRESS_FIELDS + 1];
    return Nearest(session, lat, (size_t)(lon - 1 - lat), lon, strlen(lon), record, size);
  }
  /* The query may be the record buffer: the key is copied first. */
  length = strlen(query);
  free(session->key);
  session->key = malloc(length + 2);
  if (session->key == NULL) return ZRPAF_NO_MEMORY;
  memcpy(session->key, query, length);
  session->key[length] = d;
  session->key[length + 1] = '\0';
  session->keyLength = length + 1;
  /* The records are sorted by their first 7 fields: those sharing the
   * query's first fields (up to 7) lie together. */
  keyFields = (size_t)count + 1;
  prefix = session->keyLength;
  if (keyFields > KEY_FIELDS) prefix = (size_t)(fields[KEY_FIELDS] - query);
  low = 0;
  high = arf->count;
  while (low < high) {
    size_t middle = (low + high) / 2;
    const Record* r = &arf->records[middle];
    size_t n = r->keyLength < prefix ? r->keyLength : prefix;
    int c = memcmp(arf->text + r->line, session->key, n);
    if (c < 0 || (c == 0 && r->keyLength < prefix)) low = middle + 1; else high = middle;
  }
  session->cursor = low;
  for (high = low; high < arf->count; ++high) {
    const Record* r = &arf->records[high];
    if (r->keyLength < prefix || memcmp(arf->text + r->line, session->key, prefix) != 0) break;
  }
  session->end = high;
  return Step(session, record, size);
}

ZRPAF_API int pafGetNextAddressId(int id, char* record, int size) {
  Session* session = Find(id);
  int code;
  if (session == NULL) return ZRPAF_BAD_ID;
  if ((code = Enter(session->arf, session->calls, F_GET_NEXT)) != 0) return code;
  return Step(session, record, size);
}

/* ---- the rest of the interface: present, not supported ---- */

#define ZRPAF_UNSUPPORTED(name) \
  ZRPAF_API int paf##name(void) { return ZRPAF_NOT_SUPPORTED; }
ZRPAF_UNSUPPORTED(OpenPafMemId)
ZRPAF_UNSUPPORTED(OpenPafId)
ZRPAF_UNSUPPORTED(GetDpidId)
ZRPAF_UNSUPPORTED(GetDpidNonAmasId)
ZRPAF_UNSUPPORTED(FixLastLineId)
ZRPAF_UNSUPPORTED(GetBorderPostcodesId)
ZRPAF_UNSUPPORTED(GetPopupHintId)
ZRPAF_UNSUPPORTED(GetNextPopupHintId)
ZRPAF_UNSUPPORTED(DpidToAddressId)
ZRPAF_UNSUPPORTED(GetAddressHintId)
ZRPAF_UNSUPPORTED(GetNextAddressHintId)
ZRPAF_UNSUPPORTED(GetFindStatusId)
ZRPAF_UNSUPPORTED(GetParsedInputId)
ZRPAF_UNSUPPORTED(ValidateFullAddressId)
ZRPAF_UNSUPPORTED(FormatAddressId)
ZRPAF_UNSUPPORTED(FormatAddressS)
ZRPAF_UNSUPPORTED(FormatAddress)
ZRPAF_UNSUPPORTED(ReadLocalityRecord)
ZRPAF_UNSUPPORTED(ReadGroupRecord)
#ifndef ZRPAF_INCOMPLETE
ZRPAF_UNSUPPORTED(ReadPointRecord)
#endif
ZRPAF_UNSUPPORTED(ReadSynonymRecord)
ZRPAF_UNSUPPORTED(GetLocalityRecordCount)
ZRPAF_UNSUPPORTED(GetGroupRecordCount)
ZRPAF_UNSUPPORTED(GetPointRecordCount)
ZRPAF_UNSUPPORTED(GetSynonymRecordCount)
ZRPAF_UNSUPPORTED(BuildBarcode_)
ZRPAF_UNSUPPORTED(CustInfoBarcode)
ZRPAF_UNSUPPORTED(GenerateBarcode)
ZRPAF_UNSUPPORTED(DpidToBarcode)
ZRPAF_UNSUPPORTED(PostcodeToBsp)
ZRPAF_UNSUPPORTED(PostcodeToNpsp)
ZRPAF_UNSUPPORTED(ForceCloseAll)
ZRPAF_UNSUPPORTED(GetLocalityRecordCountId)
ZRPAF_UNSUPPORTED(GetGroupRecordCountId)
ZRPAF_UNSUPPORTED(GetPointRecordCountId)
ZRPAF_UNSUPPORTED(GetSynonymRecordCountId)
ZRPAF_UNSUPPORTED(ReadLocalityRecordId)
ZRPAF_UNSUPPORTED(ReadGroupRecordId)
ZRPAF_UNSUPPORTED(ReadPointRecordId)
ZRPAF_UNSUPPORTED(ReadSynonymRecordId)
/* Some of the optional functions; the others are left out. */
ZRPAF_UNSUPPORTED(ReadBorderRecord)
ZRPAF_UNSUPPORTED(UpdateArfs)
ZRPAF_UNSUPPORTED(BeginAddressSearch)
ZRPAF_UNSUPPORTED(GetNextAddressSearch)

/* ---- test hooks, found with dlsym ---- */

/* ARF ids open now. */
ZRPAF_API int zrpafOpenArfCount(void) {
  int slot, count = 0;
  pthread_mutex_lock(&lock);
  for (slot = 0; slot < MAX_OPEN; ++slot) count += sessions[slot] != NULL;
  pthread_mutex_unlock(&lock);
  return count;
}

/* The mode of the last pafOpenArfId, or -1 before the first. */
ZRPAF_API int zrpafLastMode(void) {
  int mode;
  pthread_mutex_lock(&lock);
  mode = lastMode;
  pthread_mutex_unlock(&lock);
  return mode;
}

/* The texts of the last pafSetGeographicalCodesId and of the last
 * "LatLongSearchRange" set, cut to size - 1 characters. */
ZRPAF_API void zrpafLastCodes(char* text, int size) {
  pthread_mutex_lock(&lock);
  CopyText(text, size, lastCodes, strlen(lastCodes));
  pthread_mutex_unlock(&lock);
}

ZRPAF_API void zrpafLastRange(char* text, int size) {
  pthread_mutex_lock(&lock);
  CopyText(text, size, lastRange, strlen(lastRange));
  pthread_mutex_unlock(&lock);
}

/* Non-zero: pafGetErrorDescription fills all size bytes with "#" and
 * writes no NUL, as a careless library might. */
ZRPAF_API void zrpafSetUnterminatedDescriptions(int on) {
  __atomic_store_n(&unterminatedDescriptions, on, __ATOMIC_RELAXED);
}

/* Everything still held goes with the library, so that a host that loads
 * and unloads it many times does not grow. */
__attribute__((destructor)) static void FreeAll(void) {
  int slot;
  Arf* arf;
  for (slot = 0; slot < MAX_OPEN; ++slot) {
    if (sessions[slot] == NULL) continue;
    Release(sessions[slot]->arf);
    free(sessions[slot]->key);
    free(sessions[slot]);
    sessions[slot] = NULL;
  }
  while ((arf = cache) != NULL) {
    cache = arf->next;
    Release(arf);
  }
}
