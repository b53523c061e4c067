// The configuration file (docs/config_file.md): where it is found and how
// its lines are read. Shared by MorvelConfig and the registry-style
// functions, which differ only in the limit on HOME. Internal: not
// installed, its functions are not exported.
#ifndef ZRUTILS_FOUNDATION_CONFIG_FILE_H
#define ZRUTILS_FOUNDATION_CONFIG_FILE_H

#include <cstdio>
#include <string>

#include "foundation/config_codes.h"
#include "foundation/text_file.h"

// Opens ("r") the first of: ".morvel" in the current directory; the file
// named by MORVEL_CONFIG_FILE; $HOME/.morvel; "/usr/etc/.morvel". Unset
// and empty variables are skipped, and so is HOME when limitHome is set and
// HOME is longer than 246 characters. Null when none opens.
FILE* OpenConfigurationFile(bool limitHome);

// Reads the next setting line: whole, however long (a long line must not
// fall apart into pieces that read as settings of their own), without its
// line end and its leading white space; empty lines are skipped.
TextLineResult ReadConfigLine(FILE* file, std::string& line);

// True when text holds prefix at position `at`, ASCII letters compared
// without regard to case.
bool MatchesIgnoringCase(const std::string& text, std::string::size_type at,
                         const std::string& prefix);

// key with every backslash replaced by "/".
std::string ForwardSlashes(std::string key);

#endif
