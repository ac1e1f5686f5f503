#ifndef QUILRUN_TESTS_SUPPORT_FAKECLOCK_H
#define QUILRUN_TESTS_SUPPORT_FAKECLOCK_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

namespace quilrun {

// A clock that stands still until a test moves it; sleepers wake when it has
// been moved far enough. Installed for the life of the object.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int64_t seconds = 1488359702, UtcTime utc = {2017, 3, 1, 9, 15, 2, 123})
      : milliseconds_(seconds * 1000), utc_(utc), previous_(Clock::replace(this)) {}
  ~FakeClock() override { Clock::replace(previous_); }

  std::int64_t nowSeconds() override {
    reads_.fetch_add(1);
    std::lock_guard<std::mutex> lock(mutex_);
    return milliseconds_ / 1000;
  }
  UtcTime nowUtc() override {
    reads_.fetch_add(1);
    return utc_;
  }

  std::int64_t nowMilliseconds() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return milliseconds_;
  }

  bool sleepFor(std::int64_t milliseconds, const std::atomic<bool>& interrupted) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::int64_t deadline = milliseconds_ + milliseconds;
    ++sleepsStarted_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return interrupted.load() || milliseconds_ >= deadline; });
    return interrupted.load();
  }

  void wakeSleepers() override {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }

  // Moves the clock on and wakes the sleepers whose time has come.
  void advance(std::int64_t seconds) { advanceMilliseconds(seconds * 1000); }
  void advanceMilliseconds(std::int64_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    milliseconds_ += milliseconds;
    changed_.notify_all();
  }

  // Blocks until sleepFor has been entered count times in all.
  void waitForSleeps(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return sleepsStarted_ >= count; });
  }
  int sleepsStarted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleepsStarted_;
  }

  // How often the time was read.
  int reads() const { return reads_.load(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t milliseconds_;
  int sleepsStarted_ = 0;
  UtcTime utc_;
  std::atomic<int> reads_{0};
  Clock* previous_;
};

}  // namespace quilrun

#endif
