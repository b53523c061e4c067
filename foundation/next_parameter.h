// NextParameter: takes one item of the form key "=" value ";" from a
// parameter text, cutting it in place with NULs. Shared by the entry points
// that read keyed items.
#ifndef ZRUTILS_FOUNDATION_NEXT_PARAMETER_H
#define ZRUTILS_FOUNDATION_NEXT_PARAMETER_H

#include <cstddef>

// True with key and value pointing into the text and cursor past the ";".
// False when no complete item follows (no "=", no ";", the ";" before the
// "=", or a TAB before the "="): cursor stays, key and value point at the
// end of the text.
bool NextParameter(char*& cursor, char*& key, char*& value);

// The same, and keyLength set to strlen(key), found on the way, for
// callers that tell keys apart by their length first.
bool NextParameter(char*& cursor, char*& key, char*& value, size_t& keyLength);

#endif
