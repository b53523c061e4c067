/* ZRUtils: utilities for address and contact data.
 *
 * The C entry points of libzrutils.so. Each has the form
 *
 *     int status = entry(char* buffer, int size);
 *
 * On entry the buffer holds a NUL-terminated parameter text; on return it
 * holds the answer text. The buffer must hold size + 1 bytes: an answer is
 * cut to size bytes and a NUL is always written at buffer[size]. A negative
 * size writes nothing. Status 0 is success. Every entry point may be called
 * from any thread at any time.
 */
#ifndef ZRUTILS_API_ZRUTILS_H
#define ZRUTILS_API_ZRUTILS_H

#ifndef ZRU_EXPORT
#define ZRU_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Lists: named sets of texts with stable numeric identifiers, loaded from
 * and written back to tab-separated files ("<id>\t<text>" a line).
 *
 * zruOpenList: TAB-separated items "File=<path>" and "Name=<name>", both
 * optional. Answers the list's handle in decimal. Opens of one name share a
 * list (a path and no name share by "file:<path>"); an open without name
 * and path makes a new anonymous list.
 *
 * zruSearchList: "<handle>\t<text>[\tInsertOnNotFound]". Answers
 * "<id>\t<text>\t<marker>": the marker is "New" when the text was just
 * added; "0\t\t" when it is missing and was not added.
 *
 * zruCloseList: "<handle>[\tFile=<path>]". The last close of a list writes
 * it to the path when it was changed, and frees it.
 */
ZRU_EXPORT int zruOpenList(char* buffer, int size);
ZRU_EXPORT int zruSearchList(char* buffer, int size);
ZRU_EXPORT int zruCloseList(char* buffer, int size);

/* zruPointInShape: items "Key=value;" - OpenShapeFile, ShapeFile, LatLong,
 * Fields, FieldNames, Distance, IndexPrecision, HigherIndexPrecision,
 * CloseShapeFile. Answers the fields of the first shape holding the point. */
ZRU_EXPORT int zruPointInShape(char* buffer, int size);
ZRU_EXPORT void* ShapeFileCloserThreadProc(void* unused);

/* zruCountBoundaries: how the addresses around a point are spread over the
 * values of one geographical code, through the address-data library
 * "libzrpaf.so", found by the loader's search path (LD_LIBRARY_PATH, the
 * loader cache, the system folders).
 *
 * "Initialise[;<ARF path>]" loads the library (990: not found, 991: a
 * function missing) and answers the id of the ARF opened, if any;
 * "Finalise[;<ARF id>]" closes that ARF and, after the last finalise and
 * the last running query, unloads the library. A query takes the items
 * ARF, GIF, Level (S or L), LatLong, Boundary, Range, All, in this order,
 * and answers "<boundary>\t<matches>\t<percent>", or with "All=True;"
 * "<values>\t<counts>\t<percents>" (comma-separated, at most 10 values).
 * 990 "Address-data library not initialised" before an Initialise. */
ZRU_EXPORT int zruCountBoundaries(char* buffer, int size);

/* Status codes of the list entry points. */
enum {
  ERR_LIST_CREATE = 24200,  /* out of memory, or an internal failure */
  ERR_LIST_READ = 24201,    /* "Cannot open input file <path>", or
                               "Cannot read input file <path>" */
  ERR_LIST_WRITE = 24202,   /* "Cannot open output file <path>": the old file
                               is left as it was */
  ERR_LIST_HANDLE = 24203,  /* "Missing list handle parameter" or
                               "Invalid list handle" */
  ERR_LIST_TEXT = 24204,    /* a text holding a line break cannot be stored */
  ERR_LIST_FULL = 24205     /* no identifier is left above the highest one */
};

#ifdef __cplusplus
}
#endif

#endif
