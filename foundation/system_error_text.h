// The system's text for an errno value, for the file classes' error texts.
// Internal: not installed, not exported.
#ifndef ZRUTILS_FOUNDATION_SYSTEM_ERROR_TEXT_H
#define ZRUTILS_FOUNDATION_SYSTEM_ERROR_TEXT_H

#include <string>

// Thread-safe, unlike strerror.
std::string SystemErrorText(int error);

#endif
