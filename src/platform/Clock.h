#ifndef QUILRUN_PLATFORM_CLOCK_H
#define QUILRUN_PLATFORM_CLOCK_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Platform.h"

namespace quilrun {

// The source of every "current time" reading of the library, so that time
// rules can be tested at their boundaries without sleeping.
// Thread-safety: implementations must allow calls from any thread.
class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t nowSeconds() = 0;

  // The current UTC time with milliseconds, for log stamps.
  virtual UtcTime nowUtc() = 0;

  // Milliseconds on a count that only moves forward, for measuring how long
  // something waited; its zero means nothing.
  virtual std::int64_t nowMilliseconds() = 0;

  // Blocks until milliseconds have passed on this clock or until interrupted
  // is true, whichever comes first. Returns interrupted's value at the end.
  // Whoever sets interrupted must then call wakeSleepers.
  virtual bool sleepFor(std::int64_t milliseconds, const std::atomic<bool>& interrupted) = 0;

  // Wakes every sleepFor so that it looks at its interrupt flag again.
  virtual void wakeSleepers() = 0;

  // The UTC calendar time of seconds since 1970-01-01 00:00:00 UTC.
  static UtcTime utcOf(std::int64_t seconds);

  // The clock in force: the system clock unless a test replaced it.
  static Clock& current();

  // Makes replacement the clock in force (null restores the system clock)
  // and returns the previous replacement (null if none). For tests.
  static Clock* replace(Clock* replacement);
};

// The platform's wall clock.
class SystemClock final : public Clock {
 public:
  std::int64_t nowSeconds() override;
  UtcTime nowUtc() override;
  std::int64_t nowMilliseconds() override;
  bool sleepFor(std::int64_t milliseconds, const std::atomic<bool>& interrupted) override;
  void wakeSleepers() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
};

}  // namespace quilrun

#endif
