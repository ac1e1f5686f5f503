#ifndef QUILRUN_CACHE_CACHEENTRY_H
#define QUILRUN_CACHE_CACHEENTRY_H

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "cache/FormatData.h"
#include "cache/ImageData.h"
#include "cache/KeyedList.h"
#include "cache/LabelList.h"
#include "cache/RecordMaps.h"
#include "diagnostics/LogRecord.h"
#include "platform/Clock.h"

namespace quilrun {

// The name each kind of entry logs its expiry test under.
template <typename T>
struct CacheEntryName;

template <>
struct CacheEntryName<std::string> {
  static constexpr const char* isExpired = "CacheEntry<char *>::isExpired";
};
template <>
struct CacheEntryName<LabelList> {
  static constexpr const char* isExpired =
      "CacheEntry<class std::vector<class LabelData *,class std::allocator<class LabelData *> > "
      "*>::isExpired";
};
template <>
struct CacheEntryName<KeyedList<ImageData>> {
  static constexpr const char* isExpired =
      "CacheEntry<class std::vector<class ImageData *,class std::allocator<class ImageData *> > "
      "*>::isExpired";
};
template <>
struct CacheEntryName<KeyedList<FormatData>> {
  static constexpr const char* isExpired =
      "CacheEntry<class std::vector<class FormatData *,class std::allocator<class FormatData *> > "
      "*>::isExpired";
};
template <>
struct CacheEntryName<TextMap> {
  static constexpr const char* isExpired =
      "CacheEntry<class std::map<__int64,char const *,struct std::less<__int64>,class "
      "std::allocator<struct std::pair<__int64 const ,char const *> > > *>::isExpired";
};
template <>
struct CacheEntryName<StringMap> {
  static constexpr const char* isExpired =
      "CacheEntry<class std::map<char const *,char const *,struct std::less<char const *>,class "
      "std::allocator<struct std::pair<char const * const,char const *> > > *>::isExpired";
};

// A cached value with the time of its last read and an idle lifetime: a
// value not read for longer than lifetime seconds has expired and answers
// nothing from then on. A lifetime of 0 or less never expires. The entry owns
// its value.
// Thread-safety: getValue and isExpired may run on several threads at once
// (the owner holds its lock for reading); changing the value needs the
// owner's lock for writing.
template <typename T>
class CacheEntry {
 public:
  static constexpr double kDefaultLifetime = 300.0;

  explicit CacheEntry(T value, double lifetime = kDefaultLifetime)
      : CacheEntry(std::move(value), lifetime, Clock::current().nowSeconds()) {}
  CacheEntry(T value, double lifetime, std::int64_t now)
      : value_(std::move(value)), lastAccess_(now), lifetime_(lifetime) {}

  // Returns true iff more than lifetime seconds have passed since the last
  // read; logs the test. Changes nothing.
  bool isExpired() const { return isExpired(Clock::current().nowSeconds()); }
  bool isExpired(std::int64_t now) const {
    const char* const function = CacheEntryName<T>::isExpired;
    QLOG(function, 4, LogType::Info) << "Testing expiry of cache entry." << std::endl;
    if (!(lifetime_ > 0)) {
      QLOG(function, 4, LogType::Info) << "Entry will never expire." << std::endl;
      return false;
    }
    const double elapsed =
        static_cast<double>(now - lastAccess_.load(std::memory_order_relaxed));
    QLOG(function, 4, LogType::Info) << "Last access was " << elapsed << " seconds ago."
                                     << std::endl;
    if (lifetime_ < elapsed) {
      QLOG(function, 4, LogType::Info) << "Entry has expired." << std::endl;
      return true;
    }
    QLOG(function, 4, LogType::Info) << "Entry has not expired." << std::endl;
    return false;
  }

  // The value, restarting the idle time, or null when it has expired (the
  // entry then stays expired). Valid until the entry changes.
  T* getValue() { return getValue(Clock::current().nowSeconds()); }
  T* getValue(std::int64_t now) {
    if (isExpired(now)) return nullptr;
    // Readers share the entry: the time is atomic and written only when it
    // changes, so lookups in the same second write nothing.
    if (lastAccess_.load(std::memory_order_relaxed) != now) {
      lastAccess_.store(now, std::memory_order_relaxed);
    }
    return &value_;
  }

  // The value without testing or refreshing it, for its owner's updates.
  T& value() { return value_; }

  std::int64_t getLastAccess() const { return lastAccess_.load(std::memory_order_relaxed); }
  double getLifetime() const { return lifetime_; }

 private:
  T value_;
  std::atomic<std::int64_t> lastAccess_;
  double lifetime_;
};

}  // namespace quilrun

#endif
