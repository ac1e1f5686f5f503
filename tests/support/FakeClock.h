#ifndef QUILRUN_TESTS_SUPPORT_FAKECLOCK_H
#define QUILRUN_TESTS_SUPPORT_FAKECLOCK_H

#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace quilrun {

// A clock that stands still until a test moves it; installed for the life of
// the object.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int64_t seconds = 1488359702, UtcTime utc = {2017, 3, 1, 9, 15, 2, 123})
      : seconds_(seconds), utc_(utc), previous_(Clock::replace(this)) {}
  ~FakeClock() override { Clock::replace(previous_); }

  std::int64_t nowSeconds() override {
    reads_.fetch_add(1);
    return seconds_.load();
  }
  UtcTime nowUtc() override {
    reads_.fetch_add(1);
    return utc_;
  }

  void advance(std::int64_t seconds) { seconds_.fetch_add(seconds); }
  // How often the clock was read.
  int reads() const { return reads_.load(); }

 private:
  std::atomic<std::int64_t> seconds_;
  UtcTime utc_;
  std::atomic<int> reads_{0};
  Clock* previous_;
};

}  // namespace quilrun

#endif
