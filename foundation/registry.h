// Registry-style access to the configuration file (docs/config_file.md) for
// sibling programs: each call opens and scans the file again and keeps no
// state, so any thread may call them. Result codes are in config_codes.h.
// The file is never written.
#ifndef ZRUTILS_FOUNDATION_REGISTRY_H
#define ZRUTILS_FOUNDATION_REGISTRY_H

#include "foundation/config_codes.h"
#include "foundation/export.h"

// Looks up the line "key/name=..." (key may be null or empty: then "name=").
// Backslashes in key become "/", and a "/" always follows a non-empty key,
// so key "K/" looks for "K//name". On entry size is the buffer's capacity;
// on success at most size - 1 bytes are copied, buffer[size - 1] is always
// NUL, and size becomes the value's full length, so a size at or above the
// capacity tells that the value was cut. A capacity below 1 writes nothing.
// Returns 0, 1300 (key and name over 254 characters), 1301 or 1302 (also
// for a name holding "/"). The bool is not used.
ZRU_EXPORT int LookUpRegistry_(const char* key, const char* name, char* buffer, int& size,
                               bool);
// The value as a number (atoi, without its overflow). False, value
// untouched, when not found or out of the range of int.
ZRU_EXPORT bool LookUpRegistryI_(const char* key, const char* name, unsigned int& value,
                                 bool);
// Every "name=value" line directly below key, in file order, as two
// parallel null-terminated arrays. The caller owns both arrays and every
// text in them and frees all with delete[]. Both outputs are null when no
// configuration file opens or key is over 254 characters.
ZRU_EXPORT void EnumerateRegistry_(const char* key, char*** names, char*** values);
// Do nothing and return 0: sub-keys are not listed and nothing is written.
ZRU_EXPORT int EnumerateRegistryKeys_(const char* key);
ZRU_EXPORT int SetRegistryValue_(const char* key, const char* name, const char* value);

#endif
