#include "spatial/shape_file_registry.h"

#include <strings.h>
#include <time.h>

#include <algorithm>
#include <new>

#include "foundation/file_system.h"
#include "foundation/morvel_config.h"
#include "foundation/mutex.h"
#include "foundation/thread.h"
#include "shapes/create_grid_on_shape.h"
#include "shapes/shapefile_error.h"
#include "text/string_edit.h"

namespace {

// Built on first use in static storage and never destroyed: a detached
// closer thread may still be running when the library's static objects are
// destroyed at exit, and it must find the mutex and the array intact.
struct Registry {
  ZRMutex mutex{0};
  std::vector<ShapeFileInfo*> files;  // in order of first opening
  std::atomic<int> mode{0};
  std::atomic<bool> closerRunning{false};
  std::atomic<int64_t> clockShift{0};
  std::atomic<int> closerPauseMilliseconds{30000};
  std::atomic<int (*)(const std::string&)> openHook{nullptr};
};

Registry& TheRegistry() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* registry = new (storage) Registry;
  return *registry;
}

void CloseAndFree(ShapeFileInfo* entry) {
  entry->reader.Close();
  entry->grid.Close();
  delete entry;
}

// Opens reader and grid (building a missing index); 0 or a code.
int OpenEntry(ShapeFileInfo* entry, std::string& errorText, OpenPafType mode, int precision) {
  try {
    if (auto hook = TheRegistry().openHook.load()) {
      if (int code = hook(entry->name)) return code;
    }
    std::string gridName = RemoveExtension(entry->name) + ".gos";
    int code = entry->reader.Open(entry->name, errorText, mode);
    if (code == 0 && !FileExists_(gridName.c_str())) {
      CreateGridOnShapeOptions options;
      options.precision = precision >= 0 ? precision : 3;
      code = CreateGridOnShape(entry->name, options);
    }
    if (code == 0) code = entry->grid.Open(gridName.c_str(), errorText, mode);
    return code;
  } catch (...) {
    return ERR_SHAPEFILE_OUT_OF_MEMORY;
  }
}

}  // namespace

int64_t ShapeFileClockSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) + TheRegistry().clockShift.load();
}

void ShiftShapeFileClockForTesting(int64_t seconds) { TheRegistry().clockShift += seconds; }

OpenPafType FileMapShapeFilesMode() {
  return static_cast<OpenPafType>(TheRegistry().mode.load());
}

int AcquireShapeFile(ShapeFileInfo*& slot, const char* name, std::string& errorText,
                     OpenPafType mode, bool openFlag, int precision) {
  Registry& registry = TheRegistry();
  ZRScopedLock lock(registry.mutex, true);
  slot = nullptr;
  auto found = std::find_if(registry.files.begin(), registry.files.end(),
                            [name](const ShapeFileInfo* e) { return e->name == name; });
  ShapeFileInfo* entry = found == registry.files.end() ? nullptr : *found;
  if (entry == nullptr) {
    if (!openFlag) return ERR_SHAPEFILE_NOT_OPEN;
    entry = new (std::nothrow) ShapeFileInfo;
    if (entry == nullptr) return ERR_SHAPEFILE_OUT_OF_MEMORY;
    try {
      entry->name = name;
      registry.files.push_back(entry);
    } catch (...) {
      delete entry;
      return ERR_SHAPEFILE_OUT_OF_MEMORY;
    }
  }
  slot = entry;
  if (openFlag) entry->openCount += 1;
  switch (entry->state.load(std::memory_order_acquire)) {
    case Open:
      entry->usageCount += 1;
      entry->lastUsed = ShapeFileClockSeconds();
      return 0;
    case Failed:
      slot = nullptr;
      return entry->errorCode.load();
    case Opening: {
      entry->usageCount += 1;
      lock.Unlock();
      int32_t state;
      while ((state = entry->state.load(std::memory_order_acquire)) == Opening) {
        ZRThread::Sleep(100);
      }
      if (state == Open) return 0;
      int code = entry->errorCode.load();
      ReleaseShapeFile(entry);
      slot = nullptr;
      return code;
    }
    default:
      break;
  }
  entry->state.store(Opening, std::memory_order_relaxed);
  entry->usageCount += 1;
  lock.Unlock();
  int code = OpenEntry(entry, errorText, mode, precision);
  if (code != 0) {
    entry->errorCode = code;
    entry->state.store(Failed, std::memory_order_release);
    ReleaseShapeFile(entry);
    slot = nullptr;
    return code;
  }
  entry->lastUsed = ShapeFileClockSeconds();
  entry->state.store(Open, std::memory_order_release);
  return 0;
}

void ReleaseShapeFile(ShapeFileInfo* entry) {
  Registry& registry = TheRegistry();
  bool close = false;
  {
    ZRScopedLock lock(registry.mutex, true);
    auto found = std::find(registry.files.begin(), registry.files.end(), entry);
    if (found == registry.files.end()) return;
    entry->usageCount -= 1;
    if (entry->usageCount < 1) {
      registry.files.erase(found);
      close = true;
    }
  }
  if (close) CloseAndFree(entry);
}

void CloseShapeFileByName(const char* name) {
  Registry& registry = TheRegistry();
  ShapeFileInfo* entry = nullptr;
  {
    ZRScopedLock lock(registry.mutex, true);
    auto found = std::find_if(registry.files.begin(), registry.files.end(),
                              [name](const ShapeFileInfo* e) { return e->name == name; });
    if (found == registry.files.end()) return;
    entry = *found;
    entry->openCount -= 1;
    if (entry->openCount > 0 || entry->usageCount != 0) return;
    registry.files.erase(found);
  }
  CloseAndFree(entry);
}

void ReadFileMapShapeFilesSetting() {
  MorvelConfig config;
  std::string value;
  if (!config.OpenKey("ZRUtils", 0) || !config.ReadValue("FileMapShapeFiles", value)) return;
  if (strcasecmp(value.c_str(), "Yes") == 0) TheRegistry().mode = OpenPafFileMap;
  if (strcasecmp(value.c_str(), "No") == 0) TheRegistry().mode = OpenPafReadFile;
}

DecrementUsageCountsWhenFinished::~DecrementUsageCountsWhenFinished() {
  if (acquired_.empty()) return;
  try {
    ZRScopedLock lock(TheRegistry().mutex, true);
    for (ShapeFileInfo* entry : acquired_) {
      if (entry != nullptr) entry->usageCount -= 1;
    }
  } catch (...) {
    // A lock that cannot be taken leaves the counts high: the files then
    // stay open, which loses nothing.
  }
}

namespace {

// The closer's pass. With endCloser, the pass that finds the registry empty
// clears the running flag inside the same locked section: a file opened
// after that section finds the flag false, so a closer started for it runs.
bool ClosePass(int64_t now, bool endCloser) {
  Registry& registry = TheRegistry();
  std::vector<ShapeFileInfo*> idle;
  {
    ZRScopedLock lock(registry.mutex, true);
    if (registry.files.empty()) {
      if (endCloser) registry.closerRunning = false;
      return false;
    }
    const int64_t cutoff = now - 60;
    auto keep = std::stable_partition(
        registry.files.begin(), registry.files.end(), [cutoff](const ShapeFileInfo* e) {
          return !(e->usageCount == 0 && e->state.load() == Open && e->lastUsed.load() < cutoff);
        });
    idle.assign(keep, registry.files.end());
    registry.files.erase(keep, registry.files.end());
  }
  for (ShapeFileInfo* entry : idle) CloseAndFree(entry);
  return true;
}

}  // namespace

bool CloseIdleShapeFiles(int64_t now) { return ClosePass(now, false); }

void SetShapeFileCloserPauseForTesting(int milliseconds) {
  TheRegistry().closerPauseMilliseconds = milliseconds;
}

void SetShapeFileOpenHookForTesting(int (*hook)(const std::string&)) {
  TheRegistry().openHook = hook;
}

std::vector<ShapeFileSnapshot> SnapshotShapeFilesForTesting() {
  Registry& registry = TheRegistry();
  ZRScopedLock lock(registry.mutex, true);
  std::vector<ShapeFileSnapshot> snapshot;
  for (const ShapeFileInfo* e : registry.files) {
    snapshot.push_back({e->name, e->state.load(), e->usageCount, e->openCount});
  }
  return snapshot;
}

bool ShapeFileCloserRunning() { return TheRegistry().closerRunning.load(); }

void* ShapeFileCloserThreadProc(void*) {
  Registry& registry = TheRegistry();
  bool expected = false;
  if (!registry.closerRunning.compare_exchange_strong(expected, true)) return nullptr;
  try {
    for (;;) {
      const int pause = registry.closerPauseMilliseconds.load();
      if (pause % 1000 == 0) {
        ZRThread::SleepSeconds(pause / 1000);
      } else {
        ZRThread::Sleep(pause);
      }
      if (!ClosePass(ShapeFileClockSeconds(), true)) break;
    }
  } catch (...) {
    // A lock that failed: end without knowing the registry's state, and
    // let a later start try again.
    registry.closerRunning = false;
  }
  return nullptr;
}
