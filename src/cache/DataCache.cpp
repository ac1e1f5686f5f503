#include "cache/DataCache.h"

#include <shared_mutex>
#include <utility>

#include "diagnostics/LogRecord.h"
#include "platform/LibraryPin.h"
#include "platform/Clock.h"

namespace quilrun {

namespace {
std::string nameOf(const char* name) { return name != nullptr ? name : ""; }
}  // namespace

DataCache::DataCache() = default;

DataCache::~DataCache() { stopScannerThread(); }

DataCache::CachePointer DataCache::findLocked(const std::string& name) const {
  auto found = byName_.find(name);
  return found != byName_.end() ? found->second : nullptr;
}

DataCache::CachePointer DataCache::findDataFileCache(const char* name) {
  const std::string key = nameOf(name);
  if (oldCount_.load() > 0) {
    std::lock_guard<ReadMostlyMutex> lock(mutex_);
    if (oldCount_.load() > 0) removeOldLocked();
    return findLocked(key);
  }
  // The everyday path: report threads look up at once without waiting.
  std::shared_lock<ReadMostlyMutex> lock(mutex_);
  return findLocked(key);
}

DataCache::CachePointer DataCache::getDataFileCache(const char* name) {
  const std::string key = nameOf(name);
  CachePointer cache = findDataFileCache(key.c_str());
  if (cache) return cache;
  // The lock is held while a new cache reads its data file, so two first
  // calls for one name make one cache.
  std::lock_guard<ReadMostlyMutex> lock(mutex_);
  if (oldCount_.load() > 0) removeOldLocked();
  cache = findLocked(key);
  if (cache) return cache;
  cache = std::make_shared<DataFileCache>(key.c_str());
  dataFileCaches_.push_back(cache);
  byName_.emplace(key, cache);
  return cache;
}

DataCache::CachePointer DataCache::renewDataFileCache(const char* name) {
  const std::string key = nameOf(name);
  CachePointer fresh = std::make_shared<DataFileCache>(key.c_str());
  std::lock_guard<ReadMostlyMutex> lock(mutex_);
  if (oldCount_.load() > 0) removeOldLocked();
  byName_[key] = fresh;
  for (CachePointer& cache : dataFileCaches_) {
    if (cache->getDataFileName() == key) {
      cache = fresh;
      return fresh;
    }
  }
  dataFileCaches_.push_back(fresh);
  return fresh;
}

template <typename Store>
DataCache::CachePointer DataCache::storeInto(const char* name, CachePointer cache, Store store) {
  if (!cache) cache = renewDataFileCache(name);
  if (cache) store(*cache);
  return cache;
}

DataCache::CachePointer DataCache::addLabelVariants(const char* name, CachePointer cache,
                                                    std::vector<LabelData> variants) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    into.addLabelVariants(std::move(variants));
  });
}

DataCache::CachePointer DataCache::setCompanyLogo(const char* name, CachePointer cache,
                                                  const char* url) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) { into.setCompanyLogo(url); });
}

DataCache::CachePointer DataCache::addSensitivityImage(const char* name, CachePointer cache,
                                                       int height, int width, const char* url) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    ImageData image;
    image.setHeight(height);
    image.setWidth(width);
    image.setUrl(url);
    into.addSensitivityImage(std::move(image));
  });
}

DataCache::CachePointer DataCache::addApplicationImage(const char* name, CachePointer cache,
                                                       const char* guid, const char* url) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    ImageData image;
    image.setGuid(guid);
    image.setUrl(url);
    into.addApplicationImage(std::move(image));
  });
}

DataCache::CachePointer DataCache::addEnumImage(const char* name, CachePointer cache,
                                                const char* domain, int value, const char* url) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    ImageData image;
    image.setDomain(domain);
    image.setValue(value);
    image.setUrl(url);
    into.addEnumImage(std::move(image));
  });
}

DataCache::CachePointer DataCache::addAdditionalFile(const char* name, CachePointer cache,
                                                     const char* package, const char* module,
                                                     const char* fileName, const char* url) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    ImageData file;
    file.setPackage(package);
    file.setModule(module);
    file.setName(fileName);
    file.setUrl(url);
    into.addAdditionalFile(std::move(file));
  });
}

DataCache::CachePointer DataCache::addText(const char* name, CachePointer cache,
                                           long long textNumber, const char* text) {
  return storeInto(name, std::move(cache),
                   [&](DataFileCache& into) { into.addText(textNumber, text); });
}

DataCache::CachePointer DataCache::addMessage(const char* name, CachePointer cache,
                                              const char* messageCode, const char* text) {
  return storeInto(name, std::move(cache),
                   [&](DataFileCache& into) { into.addMessage(messageCode, text); });
}

DataCache::CachePointer DataCache::addCurrencyFormat(const char* name, CachePointer cache,
                                                     const char* code, const char* currency,
                                                     bool decimalPoint,
                                                     const char* displayFormat) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    FormatData format;
    format.setCode(code);
    format.setCurrency(currency);
    format.setDecimalPoint(decimalPoint);
    format.setDisplayFormat(displayFormat);
    into.addCurrencyFormat(std::move(format));
  });
}

DataCache::CachePointer DataCache::setProperties(const char* name, CachePointer cache,
                                                 StringMap properties) {
  return storeInto(name, std::move(cache), [&](DataFileCache& into) {
    into.setProperties(std::move(properties));
  });
}

int DataCache::markOldDataFiles() {
  const char* const function = "DataCache::markOldDataFiles";
  const std::int64_t now = Clock::current().nowSeconds();
  // Marking changes only the caches' own flags, so readers may go on.
  std::shared_lock<ReadMostlyMutex> lock(mutex_);
  QLOG(function, 4, LogType::Info) << "Scanning for unused DataFileCaches. (Checking "
                                   << dataFileCaches_.size() << " DataFileCaches)" << std::endl;
  int count = 0;
  for (const CachePointer& cache : dataFileCaches_) {
    if (static_cast<double>(now - cache->getLastUsed()) > kUnusedSeconds) {
      cache->markAsOld();
      ++count;
      QLOG(function, 4, LogType::Info)
          << "DataFileCache '" << cache->getDataFileName()
          << "' is marked as old (not used for more than " << static_cast<int>(kUnusedSeconds)
          << " seconds)." << std::endl;
    }
  }
  QLOG(function, 4, LogType::Info) << "Found " << count << " old DataFileCache(s)." << std::endl;
  oldCount_.store(count);
  return count;
}

void DataCache::removeOldDataFiles() {
  std::lock_guard<ReadMostlyMutex> lock(mutex_);
  removeOldLocked();
}

void DataCache::removeOldLocked() {
  // A cache used between the marking pass's look at it and its mark may
  // still carry the mark; it is kept when it is not really idle.
  const std::int64_t now = Clock::current().nowSeconds();
  for (auto it = dataFileCaches_.begin(); it != dataFileCaches_.end();) {
    if ((*it)->isMarkedAsOld() &&
        static_cast<double>(now - (*it)->getLastUsed()) > kUnusedSeconds) {
      QLOG("DataCache::removeOldDataFiles", 3, LogType::Info)
          << "Removing old cache for datafile '" << (*it)->getDataFileName() << "'" << std::endl;
      byName_.erase((*it)->getDataFileName());
      it = dataFileCaches_.erase(it);
    } else {
      ++it;
    }
  }
  oldCount_.store(0);
}

std::size_t DataCache::size() {
  std::shared_lock<ReadMostlyMutex> lock(mutex_);
  return dataFileCaches_.size();
}

void DataCache::scanDataFilesRepeatedly() {
  int counter = kScanSteps;
  while (scannerRunning_.load()) {
    if (--counter <= 0) {
      markOldDataFiles();
      counter = kScanSteps;
    }
    if (Clock::current().sleepFor(kStepMilliseconds, stopRequested_)) break;
  }
  QLOG("DataCache::scanDataFilesRepeatedly", 3, LogType::Info)
      << "The 'cache scanner' has stopped." << std::endl;
}

void DataCache::startScannerThread() {
  std::lock_guard<std::mutex> lock(scannerMutex_);
  if (scannerRunning_.load() || scanner_.joinable()) {
    QLOG("DataCache::startScannerThread", 1, LogType::Error)
        << "Trying to start the 'cache scanner' thread when it is already running." << std::endl;
    return;
  }
  QLOG("DataCache::startScannerThread", 3, LogType::Info) << "Starting the 'cache scanner' thread."
                                                          << std::endl;
  // The thread runs the library's code until it is stopped, so the library
  // must stay loaded for as long (see LibraryPin).
  LibraryPin::pinUntilProcessEnd();
  stopRequested_.store(false);
  scannerRunning_.store(true);
  scanner_ = std::thread(&DataCache::scanDataFilesRepeatedly, this);
}

void DataCache::stopScannerThread() {
  std::lock_guard<std::mutex> lock(scannerMutex_);
  scannerRunning_.store(false);
  stopRequested_.store(true);
  QLOG("DataCache::stopScannerThread", 3, LogType::Info)
      << "Signaling the 'cache scanner' thread to stop running." << std::endl;
  Clock::current().wakeSleepers();
  if (scanner_.joinable()) scanner_.join();
}

}  // namespace quilrun
