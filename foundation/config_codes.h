// Result codes of the configuration store (MorvelConfig and the
// registry-style functions), apart from the file reading they share so that
// the installed headers declare nothing the library keeps to itself.
#ifndef ZRUTILS_FOUNDATION_CONFIG_CODES_H
#define ZRUTILS_FOUNDATION_CONFIG_CODES_H

enum : int {
  ERR_CONFIG_NAME_TOO_LONG = 1300,  // registry-style: key and name over 254 characters
  ERR_CONFIG_NO_FILE = 1301,        // no configuration file could be opened
  ERR_CONFIG_NOT_FOUND = 1302,      // no such value
  ERR_CONFIG_READ = 1320,           // read error on the configuration file
  ERR_CONFIG_BAD_NAME = 1321,       // MorvelConfig: the name holds "/" or "="
  ERR_CONFIG_NOT_A_NUMBER = 1322,   // MorvelConfig::ReadValueI: not an unsigned int
};

#endif
