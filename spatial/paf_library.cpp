#include "spatial/paf_library.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <new>

#include "foundation/mutex.h"
#include "foundation/open_type_setting.h"

namespace {

struct PafLibraryState {
  ZRMutex mutex{0};
  PafLibWrapper library;
  int32_t initCount = 0;  // "Initialise" calls not yet finalised
  int32_t users = 0;      // calls holding the library in use
  std::atomic<int> mode{OpenPafDefault};
};

// Built on first use and never destroyed: a host thread may still call in
// while the process runs its static destructors.
PafLibraryState& State() {
  alignas(PafLibraryState) static unsigned char storage[sizeof(PafLibraryState)];
  static PafLibraryState* state = new (storage) PafLibraryState;
  return *state;
}

// Under the lock. A library that refuses to unload stays loaded and is
// tried again by the next finalise or last user.
void UnloadWhenUnused(PafLibraryState& state) {
  if (state.initCount == 0 && state.users == 0) state.library.Unload();
}

}  // namespace

PafLibraryUse::PafLibraryUse() {
  PafLibraryState& state = State();
  try {
    ZRScopedLock lock(state.mutex, true);
    if (state.initCount > 0 && state.library.IsLoaded()) {
      state.users += 1;
      held_ = true;
    }
  } catch (...) {
    // A lock that cannot be taken holds nothing: the call reports the
    // library as not initialised rather than use it unguarded.
  }
}

PafLibraryUse::PafLibraryUse(char* message, int& code) {
  PafLibraryState& state = State();
  code = ERR_LIBRARY_NOT_LOADED;
  message[0] = '\0';
  try {
    ZRScopedLock lock(state.mutex, true);
    code = state.library.Load(message);
    if (code != 0) return;
    state.initCount += 1;
    state.users += 1;
    held_ = true;
  } catch (...) {
    snprintf(message, 256, "%s", kPafNotInitialised);
  }
}

PafLibraryUse::~PafLibraryUse() {
  if (!held_) return;
  PafLibraryState& state = State();
  try {
    ZRScopedLock lock(state.mutex, true);
    state.users -= 1;
    UnloadWhenUnused(state);
  } catch (...) {
    // The use stays counted: the library stays loaded, which is safe.
  }
}

const PafLibWrapper& PafLibraryUse::Library() const { return State().library; }

void FinalisePafLibrary() {
  PafLibraryState& state = State();
  try {
    ZRScopedLock lock(state.mutex, true);
    // A finalise without its initialise must not leave a debt that makes
    // a later initialise count for nothing.
    if (state.initCount > 0) state.initCount -= 1;
    UnloadWhenUnused(state);
  } catch (...) {
  }
}

OpenPafType FileMapArfsMode() { return static_cast<OpenPafType>(State().mode.load()); }

void ReadFileMapArfsSetting() {
  OpenPafType mode = OpenPafDefault;
  if (ReadOpenTypeSetting("FileMapArfs", mode)) State().mode = mode;
}

int PafInitCountForTesting() {
  ZRScopedLock lock(State().mutex, true);
  return State().initCount;
}

int PafUsersForTesting() {
  ZRScopedLock lock(State().mutex, true);
  return State().users;
}
