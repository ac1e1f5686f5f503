#ifndef QUILRUN_FUNCTIONS_FILTERBUDGET_H
#define QUILRUN_FUNCTIONS_FILTERBUDGET_H

#include <cstddef>
#include <cstdint>

namespace quilrun {

// The time one filter call may take: a second, and a tenth of a second more
// for every MiB of text, so that a text of any size filtered at ordinary
// speed (tens of MB a second or more) is never cut, while patterns that make
// every line a search among millions of ways stop after about a second.
// The clock is read every kLinesBetweenChecks lines and after every line
// whose match needed more than a little effort: cheap lines cost no clock
// reading each, and no line can take long without one.
// Thread-safety: belongs to one filter call.
class FilterBudget {
 public:
  static constexpr std::int64_t kBaseMilliseconds = 1000;
  static constexpr std::int64_t kMillisecondsPerMiB = 100;
  static constexpr std::size_t kLinesBetweenChecks = 64;

  // Starts the budget of a call on a text of textBytes bytes, from now.
  explicit FilterBudget(std::size_t textBytes);

  // After the match of line lineNumber (counted from 1): true when the time
  // is up. expensive: the line's match needed more than a little effort.
  bool exhausted(bool expensive, std::size_t lineNumber) const {
    if (!expensive && lineNumber % kLinesBetweenChecks != 0) return false;
    return timeIsUp();
  }

  // The milliseconds the call may take.
  std::int64_t allowedMilliseconds() const { return allowed_; }

 private:
  // Reads the clock.
  bool timeIsUp() const;

  const std::int64_t allowed_;
  const std::int64_t start_;
};

}  // namespace quilrun

#endif
