#ifndef QUILRUN_CACHE_DATACACHE_H
#define QUILRUN_CACHE_DATACACHE_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cache/DataFileCache.h"
#include "cache/FormatData.h"
#include "cache/LabelData.h"
#include "cache/ReadMostlyMutex.h"
#include "cache/RecordMaps.h"
#include "platform/Mutex.h"

namespace quilrun {

// The registry of data-file caches: one DataFileCache per data file name
// (compared exactly, case-sensitively), in creation order, and the scanner
// thread that drops caches no longer used. Every 60 s the scanner wakes; every
// fifteenth time (the first after fourteen) it marks the caches not used for
// more than 3600 s, and the next lookup takes the caches still marked out of
// the registry. A cache is shared: one taken out of the registry (or renewed)
// lives on until the last report call holding it lets go.
//
// The registry holds at most a set number of caches (MaxDataFiles): to make
// room for a new data file it drops the least recently used cache that no
// call holds. Data files are read outside the registry's lock, one reader
// per name at a time, so a slow share delays only the calls of the data file
// being read. A data file that could not be read or parsed gives a cache with
// the default session, which the next request for that name (a second or
// more later) replaces by reading the file again.
// Thread-safety: all operations may be called from any thread; one
// reader-writer lock guards the registry: lookups and the marking pass share
// it, creation, renewal and removal hold it alone.
class DataCache {
 public:
  using CachePointer = std::shared_ptr<DataFileCache>;

  static constexpr double kUnusedSeconds = 3600.0;
  static constexpr int kScanSteps = 15;
  static constexpr std::int64_t kStepMilliseconds = 60000;
  // Seconds before a data file that could not be read is read again.
  static constexpr std::int64_t kRereadSeconds = 1;

  DataCache();
  // Stops the scanner thread and waits for it.
  ~DataCache();

  DataCache(const DataCache&) = delete;
  DataCache& operator=(const DataCache&) = delete;

  // The cache of name, or null; never creates one. First drops the caches
  // that are still marked when the last marking pass found some.
  CachePointer findDataFileCache(const char* name);

  // Runs use(cache) on the cache of name while the registry is held for
  // reading, and returns true; false when there is no such cache. Cheaper
  // than findDataFileCache for a lookup, as it shares nothing with other
  // threads. REQUIRES: use calls no operation of this registry.
  template <typename Use>
  bool withDataFileCache(const char* name, Use use) EXCLUDES(mutex_) {
    const std::string key = name != nullptr ? name : "";
    if (oldCount_.load() > 0) removeOldDataFiles();
    ReaderLock lock(&mutex_);
    auto found = byName_.find(key);
    if (found == byName_.end()) return false;
    use(*found->second);
    return true;
  }

  // The cache of name, created (reading the data file) when there is none,
  // or renewed when its data file could not be read a second or more ago.
  // Never null.
  CachePointer getDataFileCache(const char* name) EXCLUDES(mutex_, pendingMutex_);

  // A new cache of name (reading the data file again) in the place of the
  // existing one, or appended.
  CachePointer renewDataFileCache(const char* name) EXCLUDES(mutex_);

  // The most caches the registry keeps (at least 1); takes effect when the
  // next new data file comes.
  void setMaxDataFiles(int count) { maxDataFiles_.store(count < 1 ? 1 : count); }

  // Runs step on the scanner thread every time it wakes (every 60 s), for
  // housekeeping that belongs to the same rhythm. Call before
  // startScannerThread; step must not call this registry's scanner
  // operations.
  void setScanStep(std::function<void()> step);

  // Put operations: store a value fetched from the server in cache (or, when
  // cache is null, in a renewed cache of name) and return the cache used.
  CachePointer addLabelVariants(const char* name, CachePointer cache,
                                std::vector<LabelData> variants);
  CachePointer setCompanyLogo(const char* name, CachePointer cache, const char* url);
  CachePointer addSensitivityImage(const char* name, CachePointer cache, int height, int width,
                                   const char* url);
  CachePointer addApplicationImage(const char* name, CachePointer cache, const char* guid,
                                   const char* url);
  CachePointer addEnumImage(const char* name, CachePointer cache, const char* domain, int value,
                            const char* url);
  CachePointer addAdditionalFile(const char* name, CachePointer cache, const char* package,
                                 const char* module, const char* fileName, const char* url);
  CachePointer addText(const char* name, CachePointer cache, long long textNumber,
                       const char* text);
  CachePointer addMessage(const char* name, CachePointer cache, const char* messageCode,
                          const char* text);
  CachePointer addCurrencyFormat(const char* name, CachePointer cache, const char* code,
                                 const char* currency, bool decimalPoint,
                                 const char* displayFormat);
  CachePointer setProperties(const char* name, CachePointer cache, StringMap properties);

  // Starts the scanner thread; a second start is logged and ignored.
  void startScannerThread() EXCLUDES(scannerMutex_);
  // Tells the scanner thread to stop, wakes it and waits for its end.
  void stopScannerThread() EXCLUDES(scannerMutex_);

  // The marking pass: marks the caches not used for more than 3600 s,
  // keeps how many it found for the next lookup and returns it. Run by the
  // scanner; public for tests.
  int markOldDataFiles() EXCLUDES(mutex_);
  // Takes the marked caches out of the registry. Run by lookups; public for tests.
  void removeOldDataFiles() EXCLUDES(mutex_);

  // How many caches the registry holds, and the result of the last marking pass.
  std::size_t size() EXCLUDES(mutex_);
  int getOldCount() const { return oldCount_.load(); }

 private:
  void scanDataFilesRepeatedly();
  CachePointer findLocked(const std::string& name) const REQUIRES_SHARED(mutex_);
  void removeOldLocked() REQUIRES(mutex_);
  // True when cache's data file could not be read and it is time to try again.
  static bool dueForReread(const DataFileCache& cache, std::int64_t now);
  // Reads the data file of name into a new cache and installs it in place of
  // stale (null: as a new entry), one reader per name at a time; returns the
  // cache the registry holds for name afterwards.
  CachePointer readAndInstall(const std::string& name, const CachePointer& stale)
      EXCLUDES(mutex_, pendingMutex_);
  // Puts fresh into the registry in the place of stale, or appends it after
  // making room; when another cache than stale stands for the name by now,
  // keeps that one. Returns the cache the registry holds for the name.
  CachePointer installLocked(const std::string& name, const CachePointer& fresh,
                             const CachePointer& stale) REQUIRES(mutex_);
  // Drops caches, least recently used first, until a new one fits under
  // MaxDataFiles; caches that a call holds are kept.
  void makeRoomLocked() REQUIRES(mutex_);
  // The frame of the put operations: store(cache), or store(a renewed cache
  // of name) when none is given; returns the cache stored into.
  template <typename Store>
  CachePointer storeInto(const char* name, CachePointer cache, Store store);

  ReadMostlyMutex mutex_;
  std::vector<CachePointer> dataFileCaches_ GUARDED_BY(mutex_);  // in creation order
  // The same caches by name.
  std::unordered_map<std::string, CachePointer> byName_ GUARDED_BY(mutex_);
  std::atomic<int> oldCount_{0};
  std::atomic<int> maxDataFiles_{2000};

  // The data files being read, by name: a second caller waits for the
  // first one's cache instead of reading the file too.
  Mutex pendingMutex_;
  std::unordered_map<std::string, std::shared_future<CachePointer>> pending_
      GUARDED_BY(pendingMutex_);

  std::atomic<bool> scannerRunning_{false};
  std::atomic<bool> stopRequested_{false};
  Mutex scannerMutex_;
  std::thread scanner_ GUARDED_BY(scannerMutex_);
  std::function<void()> scanStep_;  // set before the scanner starts
};

}  // namespace quilrun

#endif
