// How the library's file switches in section "ZRUtils" of the
// configuration file ("FileMapShapeFiles", "FileMapArfs") are read: one
// word per switch, naming how files are opened.
#ifndef ZRUTILS_FOUNDATION_OPEN_TYPE_SETTING_H
#define ZRUTILS_FOUNDATION_OPEN_TYPE_SETTING_H

#include "foundation/mt_file.h"

// Reads the setting name under the key "ZRUtils" from a fresh look at the
// configuration file and maps its word, compared without regard to ASCII
// case: "Yes" to OpenPafFileMap, "No" to OpenPafReadFile, "Default" to
// OpenPafDefault. True with mode set for one of these words; false, mode
// untouched, for any other word or a missing file, section or setting.
// Thread-safe: every call reads the file on its own.
bool ReadOpenTypeSetting(const char* name, OpenPafType& mode);

#endif
