#include "cache/DataCache.h"

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
    WriterLock lock(&mutex_);
    if (oldCount_.load() > 0) removeOldLocked();
    return findLocked(key);
  }
  // The everyday path: report threads look up at once without waiting.
  ReaderLock lock(&mutex_);
  return findLocked(key);
}

bool DataCache::dueForReread(const DataFileCache& cache, std::int64_t now) {
  const Session& session = cache.getSession();
  return !session.isComplete() && now - session.getReadTime() >= kRereadSeconds;
}

DataCache::CachePointer DataCache::getDataFileCache(const char* name) {
  const std::string key = nameOf(name);
  for (;;) {
    CachePointer cache = findDataFileCache(key.c_str());
    if (cache && !dueForReread(*cache, Clock::current().nowSeconds())) return cache;
    CachePointer installed = readAndInstall(key, cache);
    if (installed) return installed;
    // The reader this call waited for failed; look again.
  }
}

DataCache::CachePointer DataCache::readAndInstall(const std::string& name,
                                                  const CachePointer& stale) {
  std::promise<CachePointer> promise;
  std::shared_future<CachePointer> reading;
  {
    MutexLock lock(&pendingMutex_);
    auto found = pending_.find(name);
    if (found != pending_.end()) {
      reading = found->second;
    } else {
      pending_.emplace(name, promise.get_future().share());
    }
  }
  // Another call is reading this data file: its cache serves this call too.
  if (reading.valid()) return reading.get();

  // Whatever happens below, the waiters are released and the name is free
  // for the next reader; a null cache sends them to look again.
  struct Release {
    DataCache& registry;
    const std::string& name;
    std::promise<CachePointer>& promise;
    CachePointer cache;
    ~Release() {
      {
        MutexLock lock(&registry.pendingMutex_);
        registry.pending_.erase(name);
      }
      promise.set_value(cache);
    }
  } release{*this, name, promise, nullptr};

  // No lock is held while the data file is read.
  auto fresh = std::make_shared<DataFileCache>(DataFileCache::readExtraData(name));
  WriterLock lock(&mutex_);
  if (oldCount_.load() > 0) removeOldLocked();
  release.cache = installLocked(name, fresh, stale);
  return release.cache;
}

DataCache::CachePointer DataCache::installLocked(const std::string& name,
                                                 const CachePointer& fresh,
                                                 const CachePointer& stale) {
  const CachePointer current = findLocked(name);
  if (current && current != stale) return current;
  if (current) {
    byName_[name] = fresh;
    for (CachePointer& cache : dataFileCaches_) {
      if (cache == current) cache = fresh;
    }
    return fresh;
  }
  makeRoomLocked();
  dataFileCaches_.push_back(fresh);
  byName_.emplace(name, fresh);
  return fresh;
}

void DataCache::makeRoomLocked() {
  const std::size_t limit = static_cast<std::size_t>(maxDataFiles_.load());
  const std::int64_t now = Clock::current().nowSeconds();
  while (dataFileCaches_.size() >= limit) {
    // A cache that only the registry holds (its list and its name index) is
    // in no call's hands. The oldest last use goes; on a tie the earliest made.
    auto victim = dataFileCaches_.end();
    for (auto it = dataFileCaches_.begin(); it != dataFileCaches_.end(); ++it) {
      if (it->use_count() > 2) continue;
      if (victim == dataFileCaches_.end() || (*it)->getLastUsed() < (*victim)->getLastUsed()) {
        victim = it;
      }
    }
    if (victim == dataFileCaches_.end()) {
      QLOG("DataCache::getDataFileCache", 2, LogType::Warning)
          << "All " << dataFileCaches_.size()
          << " DataFileCaches are in use: keeping more than MaxDataFiles = " << limit << std::endl;
      return;
    }
    QLOG("DataCache::getDataFileCache", 3, LogType::Info)
        << "Dropping the least recently used cache, for datafile '" << (*victim)->getDataFileName()
        << "' (not used for " << (now - (*victim)->getLastUsed())
        << " seconds), to stay within MaxDataFiles = " << limit << std::endl;
    byName_.erase((*victim)->getDataFileName());
    dataFileCaches_.erase(victim);
  }
}

DataCache::CachePointer DataCache::renewDataFileCache(const char* name) {
  const std::string key = nameOf(name);
  CachePointer fresh = std::make_shared<DataFileCache>(DataFileCache::readExtraData(key));
  WriterLock lock(&mutex_);
  if (oldCount_.load() > 0) removeOldLocked();
  const CachePointer current = findLocked(key);
  return installLocked(key, fresh, current);
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
  ReaderLock lock(&mutex_);
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
  WriterLock lock(&mutex_);
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
  ReaderLock lock(&mutex_);
  return dataFileCaches_.size();
}

void DataCache::scanDataFilesRepeatedly() {
  int counter = kScanSteps;
  while (scannerRunning_.load()) {
    if (--counter <= 0) {
      markOldDataFiles();
      counter = kScanSteps;
    }
    if (scanStep_) scanStep_();
    if (Clock::current().sleepFor(kStepMilliseconds, stopRequested_)) break;
  }
  QLOG("DataCache::scanDataFilesRepeatedly", 3, LogType::Info)
      << "The 'cache scanner' has stopped." << std::endl;
}

void DataCache::setScanStep(std::function<void()> step) { scanStep_ = std::move(step); }

void DataCache::startScannerThread() {
  MutexLock lock(&scannerMutex_);
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
  MutexLock lock(&scannerMutex_);
  scannerRunning_.store(false);
  stopRequested_.store(true);
  QLOG("DataCache::stopScannerThread", 3, LogType::Info)
      << "Signaling the 'cache scanner' thread to stop running." << std::endl;
  Clock::current().wakeSleepers();
  if (scanner_.joinable()) scanner_.join();
}

}  // namespace quilrun
