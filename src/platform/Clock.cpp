#include "platform/Clock.h"

#include <atomic>

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

}  // namespace quilrun
