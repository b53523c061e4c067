// The process-wide binding of the address-data library: one PafLibWrapper,
// the count of "Initialise" calls not yet finalised, and the count of calls
// using the library right now. The library is loaded by the first
// initialise and unloaded when the last finalise has come and no call uses
// it any more, so a finalise never pulls the library from under a query of
// another thread. One leaf mutex guards the counts, loading and unloading;
// it is never held while the library works.
#ifndef ZRUTILS_SPATIAL_PAF_LIBRARY_H
#define ZRUTILS_SPATIAL_PAF_LIBRARY_H

#include "foundation/mt_file.h"
#include "foundation/non_copyable.h"
#include "spatial/paf_lib_wrapper.h"

// The message of a call made while the library is not initialised.
constexpr const char* kPafNotInitialised = "Address-data library not initialised";

// Holds the library in use for a scope: while any such object holds it,
// the library stays loaded and its functions bound. Thread-compatible (one
// thread per object). The constructor and destructor never throw.
class PafLibraryUse : private ZRNonCopyable {
 public:
  // Takes a use when the library is initialised (an "Initialise" not yet
  // finalised); otherwise holds nothing.
  PafLibraryUse();
  // Loads the library if needed, counts one "Initialise" and takes a use.
  // code receives 0, or 990/991 with message (at least 256 bytes) filled
  // and nothing counted or held.
  PafLibraryUse(char* message, int& code);
  // Gives the use back; the last user after the last finalise unloads.
  ~PafLibraryUse();

  bool Held() const { return held_; }
  // The bound functions; only while Held().
  const PafLibWrapper& Library() const;

 private:
  bool held_ = false;
};

// Counts one "Finalise" (never below zero) and unloads the library when no
// initialise is left and no call uses it.
void FinalisePafLibrary();

// The mode ARFs are opened with; set from "FileMapArfs" of section
// "ZRUtils" by ReadFileMapArfsSetting: "Yes" 3, "No" 1, "Default" 0, any
// other value or none leaves it unchanged.
OpenPafType FileMapArfsMode();
void ReadFileMapArfsSetting();

// Test hooks: the counts, read under the lock.
int PafInitCountForTesting();
int PafUsersForTesting();

#endif
