// ParseDouble: strtod's value and end for a text, found sooner for the plain
// decimal numbers that parameter texts carry ("51.507222", "-0.1275").
#ifndef ZRUTILS_TEXT_PARSE_DOUBLE_H
#define ZRUTILS_TEXT_PARSE_DOUBLE_H

// The same value and end (when end is not null) as strtod(text, end) in the
// calling thread's locale, for every text.
double ParseDouble(const char* text, char** end);

#endif
