// Symbol visibility for the shared library.
//
// The library is built with hidden visibility by default, so only what is
// marked ZRU_EXPORT becomes part of its dynamic symbol table. Everything else
// stays private to libzrutils.so and cannot clash with a host's own symbols.
#ifndef ZRUTILS_FOUNDATION_EXPORT_H
#define ZRUTILS_FOUNDATION_EXPORT_H

#ifndef ZRU_EXPORT
#define ZRU_EXPORT __attribute__((visibility("default")))
#endif

// For members of an exported class that are no part of the interface, such
// as private member templates used only inside the library: without it
// their instantiations would be exported with the class or not, depending on
// what the optimiser inlines.
#ifndef ZRU_HIDDEN
#define ZRU_HIDDEN __attribute__((visibility("hidden")))
#endif

#endif
