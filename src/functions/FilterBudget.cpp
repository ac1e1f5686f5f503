#include "functions/FilterBudget.h"

#include "platform/Clock.h"

namespace quilrun {

FilterBudget::FilterBudget(std::size_t textBytes)
    : allowed_(kBaseMilliseconds +
               static_cast<std::int64_t>(textBytes / (1024 * 1024)) * kMillisecondsPerMiB),
      start_(Clock::current().nowMilliseconds()) {}

bool FilterBudget::timeIsUp() const {
  return Clock::current().nowMilliseconds() - start_ > allowed_;
}

}  // namespace quilrun
