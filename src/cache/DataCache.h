#ifndef QUILRUN_CACHE_DATACACHE_H
#define QUILRUN_CACHE_DATACACHE_H

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cache/DataFileCache.h"
#include "cache/FormatData.h"
#include "cache/LabelData.h"
#include "cache/ReadMostlyMutex.h"
#include "cache/RecordMaps.h"

namespace quilrun {

// The registry of data-file caches: one DataFileCache per data file name
// (compared exactly, case-sensitively), in creation order, and the scanner
// thread that drops caches no longer used. Every 60 s the scanner wakes; every
// fifteenth time (the first after fourteen) it marks the caches not used for
// more than 3600 s, and the next lookup takes the caches still marked out of
// the registry. A cache is shared: one taken out of the registry (or renewed)
// lives on until the last report call holding it lets go.
// Thread-safety: all operations may be called from any thread; one
// reader-writer lock guards the registry: lookups and the marking pass share
// it, creation, renewal and removal hold it alone.
class DataCache {
 public:
  using CachePointer = std::shared_ptr<DataFileCache>;

  static constexpr double kUnusedSeconds = 3600.0;
  static constexpr int kScanSteps = 15;
  static constexpr std::int64_t kStepMilliseconds = 60000;

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
  bool withDataFileCache(const char* name, Use use) {
    const std::string key = name != nullptr ? name : "";
    if (oldCount_.load() > 0) removeOldDataFiles();
    std::shared_lock<ReadMostlyMutex> lock(mutex_);
    auto found = byName_.find(key);
    if (found == byName_.end()) return false;
    use(*found->second);
    return true;
  }

  // The cache of name, created (reading the data file) when there is none.
  CachePointer getDataFileCache(const char* name);

  // A new cache of name (reading the data file again) in the place of the
  // existing one, or appended.
  CachePointer renewDataFileCache(const char* name);

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
  void startScannerThread();
  // Tells the scanner thread to stop, wakes it and waits for its end.
  void stopScannerThread();

  // The marking pass: marks the caches not used for more than 3600 s,
  // keeps how many it found for the next lookup and returns it. Run by the
  // scanner; public for tests.
  int markOldDataFiles();
  // Takes the marked caches out of the registry. Run by lookups; public for tests.
  void removeOldDataFiles();

  // How many caches the registry holds, and the result of the last marking pass.
  std::size_t size();
  int getOldCount() const { return oldCount_.load(); }

 private:
  void scanDataFilesRepeatedly();
  // REQUIRES: mutex_ held (shared or exclusive).
  CachePointer findLocked(const std::string& name) const;
  // REQUIRES: mutex_ held exclusively.
  void removeOldLocked();
  // The frame of the put operations: store(cache), or store(a renewed cache
  // of name) when none is given; returns the cache stored into.
  template <typename Store>
  CachePointer storeInto(const char* name, CachePointer cache, Store store);

  ReadMostlyMutex mutex_;  // guards dataFileCaches_ and byName_
  std::vector<CachePointer> dataFileCaches_;  // in creation order
  std::unordered_map<std::string, CachePointer> byName_;  // the same caches by name
  std::atomic<int> oldCount_{0};
  std::atomic<bool> scannerRunning_{false};
  std::atomic<bool> stopRequested_{false};
  std::mutex scannerMutex_;  // guards scanner_
  std::thread scanner_;
};

}  // namespace quilrun

#endif
