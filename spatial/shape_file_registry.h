// The process-wide registry of open shape files: each entry holds a
// shapefile reader and its grid index, shared by every query of that name.
// AcquireShapeFile finds or opens an entry and takes one usage on it; the
// DecrementUsageCountsWhenFinished guard gives the usages back when a call
// ends. ShapeFileCloserThreadProc closes entries left idle for 60 seconds.
//
// A query of an open file writes nothing that other threads share: the
// usage is a pointer in the calling thread's own usage record, and a thread
// that has seen the name before finds the entry without the lock. Every
// removal of an entry counts one more in the registry's removal count
// before it looks at the records, and a lock-free acquirer checks that
// count after publishing its pointer, so that one of the two always sees
// the other.
#ifndef ZRUTILS_SPATIAL_SHAPE_FILE_REGISTRY_H
#define ZRUTILS_SPATIAL_SHAPE_FILE_REGISTRY_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/export.h"
#include "foundation/mt_file.h"
#include "foundation/non_copyable.h"
#include "shapes/grid_on_shape_file.h"
#include "shapes/shape_file_reader.h"

enum ShapeFileState : int32_t { New = 0, Opening = 1, Open = 2, Failed = 3 };

struct ShapeFileInfo : private ZRNonCopyable {
  ShapeFileReader reader;
  std::string name;  // the registry key, compared byte for byte
  GridOnShapeFile grid;
  // Written by the opening thread outside the lock: errorCode and lastUsed
  // are stored before state (release), which waiters read with acquire.
  std::atomic<int32_t> state{New};
  // Usages of callers waiting for or doing the open, under the registry
  // mutex; usages of an open file are held in the threads' usage records.
  int32_t usageCount = 0;
  std::atomic<int32_t> errorCode{0};
  // Seconds of the monotonic clock (ShapeFileClockSeconds), so that a
  // change of the wall clock neither closes busy files nor keeps idle ones.
  // Stored only when the second changes: most queries just read it.
  std::atomic<int64_t> lastUsed{0};
  int32_t openCount = 0;  // under the registry mutex
  // Given when the entry is created, under the registry mutex, and never
  // given again: names this opening of the file in callers' caches.
  uint64_t serial = 0;
};

// One usage held by a call: the entry, and the place in the thread's usage
// record that holds it, or null for a usage counted in usageCount.
struct ShapeFileUse {
  ShapeFileInfo* entry = nullptr;
  std::atomic<ShapeFileInfo*>* held = nullptr;
};

// Returns 0 with use.entry set (one usage taken), or a code with use.entry
// null. openFlag: an "OpenShapeFile" call, which creates a missing entry.
int AcquireShapeFile(ShapeFileUse& use, const char* name, std::string& errorText,
                     OpenPafType mode, bool openFlag, int precision);
// Drops one usage; removes, closes and frees the entry when none is left.
void ReleaseShapeFile(ShapeFileInfo* entry);
// "CloseShapeFile" for one name; silent whatever it finds.
void CloseShapeFileByName(const char* name);
// Reads "FileMapShapeFiles" of section "ZRUtils": "Yes" maps files, "No"
// reads them through the stream; anything else changes nothing.
void ReadFileMapShapeFilesSetting();
OpenPafType FileMapShapeFilesMode();

// Gives back every usage taken when the call ends; counted usages under
// one lock.
class DecrementUsageCountsWhenFinished : private ZRNonCopyable {
 public:
  explicit DecrementUsageCountsWhenFinished(std::vector<ShapeFileUse>& acquired)
      : acquired_(acquired) {}
  ~DecrementUsageCountsWhenFinished();  // never throws

 private:
  std::vector<ShapeFileUse>& acquired_;
};

// One pass of the closer: closes every unused open entry last used before
// now - 60 s. Returns false when the registry was empty.
bool CloseIdleShapeFiles(int64_t now);
// Monotonic seconds; tests may shift it to stand in for waiting.
int64_t ShapeFileClockSeconds();

// Test hooks (not exported). The closer's pause between passes, 30 s unless
// set; and a call made by the opening thread before it opens a file, whose
// non-zero result (or exception) stands for a failed open.
void SetShapeFileCloserPauseForTesting(int milliseconds);
void ShiftShapeFileClockForTesting(int64_t seconds);
void SetShapeFileOpenHookForTesting(int (*hook)(const std::string& name));
struct ShapeFileSnapshot {
  std::string name;
  int32_t state, usageCount, openCount;
};
// The registered entries in order, read under the lock; usageCount counts
// the usages in the threads' records too.
std::vector<ShapeFileSnapshot> SnapshotShapeFilesForTesting();
bool ShapeFileCloserRunning();

extern "C" ZRU_EXPORT void* ShapeFileCloserThreadProc(void* unused);

#endif
