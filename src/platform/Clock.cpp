#include "platform/Clock.h"

#include <atomic>
#include <chrono>

#include "platform/NoDestructor.h"

namespace quilrun {

namespace {
std::atomic<Clock*> replacementClock{nullptr};

Clock& systemClock() {
  // Never destroyed: log statements may run during static destruction.
  static NoDestructor<SystemClock> clock;
  return clock.get();
}
}  // namespace

Clock& Clock::current() {
  Clock* replacement = replacementClock.load(std::memory_order_acquire);
  return replacement != nullptr ? *replacement : systemClock();
}

Clock* Clock::replace(Clock* replacement) {
  return replacementClock.exchange(replacement, std::memory_order_acq_rel);
}

std::int64_t SystemClock::nowSeconds() { return Platform::current().wallSeconds(); }

UtcTime SystemClock::nowUtc() { return Platform::current().wallUtc(); }

std::int64_t SystemClock::nowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

UtcTime Clock::utcOf(std::int64_t seconds) {
  // Days since the epoch to a civil date in the proleptic Gregorian
  // calendar, counted in eras of 400 years (146097 days).
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
  UtcTime utc;
  utc.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  utc.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  utc.year = static_cast<int>(yearOfEra + era * 400 + (utc.month <= 2 ? 1 : 0));
  utc.hour = static_cast<int>(rest / 3600);
  utc.minute = static_cast<int>(rest % 3600 / 60);
  utc.second = static_cast<int>(rest % 60);
  return utc;
}

bool SystemClock::sleepFor(std::int64_t milliseconds, const std::atomic<bool>& interrupted) {
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                  [&interrupted] { return interrupted.load(); });
  return interrupted.load();
}

void SystemClock::wakeSleepers() {
  // Taking the lock orders the wake-up after a sleeper's check of its flag,
  // so a wake-up cannot be lost between the check and the wait.
  std::lock_guard<std::mutex> lock(mutex_);
  woken_.notify_all();
}

}  // namespace quilrun
