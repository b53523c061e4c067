#include "spatial/shape_file_registry.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/file_system.h"
#include "foundation/mutex.h"
#include "foundation/open_type_setting.h"
#include "foundation/thread.h"
#include "foundation/usage_records.h"
#include "shapes/create_grid_on_shape.h"
#include "shapes/shapefile_error.h"

namespace {

// The usages one thread's calls hold on open files: written by that thread
// only, read by removers under the registry lock.
using ShapeFileUsages = UsageRecords<ShapeFileInfo, 16>;

// Built on first use in static storage and never destroyed: a detached
// closer thread may still be running when the library's static objects are
// destroyed at exit, and it must find the mutex and the array intact.
struct Registry {
  ZRMutex mutex{0};
  std::vector<ShapeFileInfo*> files;  // in order of first opening
  ShapeFileUsages records;
  std::atomic<uint64_t> removals{0};
  uint64_t serials = 0;  // the last entry serial given
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

// What a thread keeps between calls: its usage record, and the entries it
// last found open, each with the removal count it was found at.
struct ThreadUsage {
  struct Known {
    std::string name;
    ShapeFileInfo* entry = nullptr;
    uint64_t removals = 0;
  };
  static constexpr size_t kKnown = 4;
  ShapeFileUsages::Record* record = nullptr;
  Known known[kKnown];
  size_t nextKnown = 0;
  // The place for a name: where it is known already (perhaps from before a
  // removal), else a free one, else the oldest.
  Known& PlaceFor(const std::string& name) {
    Known* free = nullptr;
    for (Known& k : known) {
      if (k.entry != nullptr && k.name == name) return k;
      if (k.entry == nullptr && free == nullptr) free = &k;
    }
    return free != nullptr ? *free : known[nextKnown++ % kKnown];
  }
  ~ThreadUsage() {
    ShapeFileUsages::Release(record);
    record = nullptr;
  }
};

// Not inlined, for the reason given at ThreadQueryStorage: one look-up of
// the thread's storage per call.
__attribute__((noinline)) ThreadUsage& MyUsage() {
  static thread_local ThreadUsage usage;
  return usage;
}

// Under the registry lock: every usage of the entry, counted or held in a
// thread's record. A remover first counts its removal (AnnounceRemoval).
// Only open entries are held in records; a place that names an entry in
// another state is a lock-free acquirer about to back out, holding an
// address an earlier entry had.
int32_t UsagesOf(const Registry& registry, const ShapeFileInfo* entry) {
  if (entry->state.load() != Open) return entry->usageCount;
  return entry->usageCount + registry.records.Holding(entry);
}

void AnnounceRemoval(Registry& registry) { registry.removals.fetch_add(1); }

void MarkUsed(ShapeFileInfo* entry) {
  const int64_t now = ShapeFileClockSeconds();
  if (entry->lastUsed.load(std::memory_order_relaxed) < now) {
    entry->lastUsed.store(now, std::memory_order_relaxed);
  }
}

// Under the registry lock, for an open entry: a usage in the thread's
// record, or a counted one when the record is full.
// Nothing here throws: out of memory, the usage is counted, or the entry is
// not remembered.
void TakeUsage(Registry& registry, ShapeFileInfo* entry, ShapeFileUse& use) {
  ThreadUsage& me = MyUsage();
  try {
    if (me.record == nullptr) me.record = registry.records.Claim();
  } catch (...) {
  }
  const int place = me.record != nullptr ? me.record->FreePlace() : -1;
  if (place < 0) {
    entry->usageCount += 1;
    return;
  }
  ThreadUsage::Known& known = me.PlaceFor(entry->name);
  try {
    known.name = entry->name;
    known.entry = entry;
    known.removals = registry.removals.load();
  } catch (...) {
    known.entry = nullptr;
  }
  use.held = &me.record->holding[place];
  use.held->store(entry, std::memory_order_relaxed);
}

// The lock-free way: a usage on an entry this thread found open before, if
// no entry has been removed since. The usage is published before the count
// is read again; a remover counts its removal before it reads the records.
// The count is read once before, too, so that an entry known from before a
// removal is forgotten rather than published.
bool AcquireKnown(ShapeFileUse& use, const char* name, Registry& registry) {
  ThreadUsage& me = MyUsage();
  if (me.record == nullptr) return false;
  for (ThreadUsage::Known& known : me.known) {
    if (known.entry == nullptr || strcmp(known.name.c_str(), name) != 0) continue;
    if (registry.removals.load() != known.removals) {
      known.entry = nullptr;
      return false;
    }
    const int place = me.record->FreePlace();
    if (place < 0) return false;
    std::atomic<ShapeFileInfo*>& held = me.record->holding[place];
    held.store(known.entry);
    if (registry.removals.load() != known.removals) {
      held.store(nullptr, std::memory_order_release);
      return false;
    }
    use = {known.entry, &held};
    MarkUsed(known.entry);
    return true;
  }
  return false;
}

// Under the registry lock: the entry of a name, compared byte for byte.
std::vector<ShapeFileInfo*>::iterator FindByName(Registry& registry, const char* name) {
  return std::find_if(registry.files.begin(), registry.files.end(),
                      [name](const ShapeFileInfo* e) { return e->name == name; });
}

void CloseAndFree(ShapeFileInfo* entry) {
  entry->reader.Close();
  entry->grid.Close();
  delete entry;
}

// The precision a missing index is built at. Asked for none (a negative
// request), GosDefaultPrecision: degree data keeps 3, projected coordinates
// get what their density and the format's limits allow. A
// requested precision the box cannot have gives 28105 or 28110 with a text
// that says why and which precisions would work.
int IndexPrecision(const ShapeFileReader& reader, int requested, int& precision,
                   std::string& errorText) {
  const double minX = reader.MinX(), maxX = reader.MaxX(), minY = reader.MinY(),
               maxY = reader.MaxY();
  precision = requested >= 0 ? requested : GosDefaultPrecision(reader);
  // Precisions beyond the format's are the builder's own density rule.
  if (precision > kGosMaxPrecision) return 0;
  int64_t columns;
  const int code = GosGridLimits(minX, maxX, minY, maxY, precision, columns);
  if (code == 0 || requested < 0) return 0;  // the builder reports a default that fails
  std::string working;
  for (int p = 0; p <= kGosMaxPrecision; ++p) {
    if (GosGridLimits(minX, maxX, minY, maxY, p, columns) != 0) continue;
    working += (working.empty() ? "" : ", ") + std::to_string(p);
  }
  char text[512];
  snprintf(text, sizeof text,
           "IndexPrecision %d cannot index this file: its box (x %.10g to %.10g, y %.10g to "
           "%.10g) gives %s at that precision; precisions that would work: %s",
           precision, minX, maxX, minY, maxY,
           code == ERR_GOS_TOO_FEW_COLUMNS ? "fewer than 2 columns"
                                           : "over 10,000,000 columns or cells beyond 32 bits",
           working.empty() ? "none" : working.c_str());
  errorText = text;
  return code;
}

// Opens reader and grid (building a missing index); 0 or a code.
int OpenEntry(ShapeFileInfo* entry, std::string& errorText, OpenPafType mode, int precision) {
  try {
    if (auto hook = TheRegistry().openHook.load()) {
      if (int code = hook(entry->name)) return code;
    }
    const std::string gridName = GosPathOf(entry->name);
    int code = entry->reader.Open(entry->name, errorText, mode);
    if (code == 0 && !FileExists_(gridName.c_str())) {
      CreateGridOnShapeOptions options;
      code = IndexPrecision(entry->reader, precision, options.precision, errorText);
      if (code == 0) code = CreateGridOnShape(entry->name, options);
    }
    if (code == 0) code = entry->grid.Open(gridName.c_str(), errorText, mode);
    return code;
  } catch (...) {
    return ERR_SHAPEFILE_OUT_OF_MEMORY;
  }
}

}  // namespace

int64_t ShapeFileClockSeconds() {
  // Read on every query; the coarse clock is a few times cheaper, and its
  // few milliseconds' resolution is nothing beside a 60-second idle time.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) + TheRegistry().clockShift.load();
}

void ShiftShapeFileClockForTesting(int64_t seconds) { TheRegistry().clockShift += seconds; }

OpenPafType FileMapShapeFilesMode() {
  return static_cast<OpenPafType>(TheRegistry().mode.load());
}

int AcquireShapeFile(ShapeFileUse& use, const char* name, std::string& errorText,
                     OpenPafType mode, bool openFlag, int precision) {
  Registry& registry = TheRegistry();
  use = ShapeFileUse();
  if (!openFlag && AcquireKnown(use, name, registry)) return 0;
  ZRScopedLock lock(registry.mutex, true);
  auto found = FindByName(registry, name);
  ShapeFileInfo* entry = found == registry.files.end() ? nullptr : *found;
  if (entry == nullptr) {
    if (!openFlag) return ERR_SHAPEFILE_NOT_OPEN;
    entry = new (std::nothrow) ShapeFileInfo;
    if (entry == nullptr) return ERR_SHAPEFILE_OUT_OF_MEMORY;
    entry->serial = ++registry.serials;
    try {
      entry->name = name;
      registry.files.push_back(entry);
    } catch (...) {
      delete entry;
      return ERR_SHAPEFILE_OUT_OF_MEMORY;
    }
  }
  if (openFlag) entry->openCount += 1;
  switch (entry->state.load(std::memory_order_acquire)) {
    case Open:
      TakeUsage(registry, entry, use);
      use.entry = entry;
      MarkUsed(entry);
      return 0;
    case Failed:
      return entry->errorCode.load();
    case Opening: {
      entry->usageCount += 1;
      lock.Unlock();
      int32_t state;
      while ((state = entry->state.load(std::memory_order_acquire)) == Opening) {
        ZRThread::Sleep(100);
      }
      if (state == Open) {
        use.entry = entry;
        return 0;
      }
      int code = entry->errorCode.load();
      ReleaseShapeFile(entry);
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
    return code;
  }
  entry->lastUsed = ShapeFileClockSeconds();
  entry->state.store(Open, std::memory_order_release);
  use.entry = entry;
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
    AnnounceRemoval(registry);
    if (UsagesOf(registry, entry) < 1) {
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
    auto found = FindByName(registry, name);
    if (found == registry.files.end()) return;
    entry = *found;
    entry->openCount -= 1;
    if (entry->openCount > 0) return;
    AnnounceRemoval(registry);
    if (UsagesOf(registry, entry) != 0) return;
    registry.files.erase(found);
  }
  CloseAndFree(entry);
}

void ReadFileMapShapeFilesSetting() {
  // "Default" is not a word of this switch: it leaves the mode as it was.
  OpenPafType mode = OpenPafDefault;
  if (ReadOpenTypeSetting("FileMapShapeFiles", mode) && mode != OpenPafDefault) {
    TheRegistry().mode = mode;
  }
}

DecrementUsageCountsWhenFinished::~DecrementUsageCountsWhenFinished() {
  bool counted = false;
  for (const ShapeFileUse& use : acquired_) {
    if (use.entry == nullptr) continue;
    if (use.held == nullptr) {
      counted = true;
    } else {
      // Release: the call's reads of the entry come before a remover sees
      // the place empty.
      use.held->store(nullptr, std::memory_order_release);
    }
  }
  if (!counted) return;
  try {
    ZRScopedLock lock(TheRegistry().mutex, true);
    for (const ShapeFileUse& use : acquired_) {
      if (use.entry != nullptr && use.held == nullptr) use.entry->usageCount -= 1;
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
    AnnounceRemoval(registry);
    const int64_t cutoff = now - 60;
    auto keep = std::stable_partition(
        registry.files.begin(), registry.files.end(), [&registry, cutoff](const ShapeFileInfo* e) {
          // Usages first: a query whose place is seen empty has stored its
          // lastUsed before it emptied the place.
          return !(e->state.load() == Open && UsagesOf(registry, e) == 0 &&
                   e->lastUsed.load() < cutoff);
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
    snapshot.push_back({e->name, e->state.load(), UsagesOf(registry, e), e->openCount});
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
