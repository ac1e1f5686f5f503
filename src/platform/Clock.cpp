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
