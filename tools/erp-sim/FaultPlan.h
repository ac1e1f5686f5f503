#ifndef QUILRUN_ERPSIM_FAULTPLAN_H
#define QUILRUN_ERPSIM_FAULTPLAN_H

#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "Fault.h"

namespace erpsim {

// The fault rule set through POST /faults: one Fault and which requests to
// the service endpoints get it. The rule is the fault's items plus:
//   count=N       at most the next N chosen requests get it (default: no limit)
//   percent=P     each request is chosen with probability P% (0 to 100, default 100)
//   seed=S        seed of the choice, so a soak run can be repeated (default 1)
//   endpoint=E    only requests to store, properties or call
// Thread-safe.
class FaultPlan {
 public:
  // Replaces the rule by the one text describes; an empty or blank text
  // clears it. Throws std::invalid_argument for a bad rule, leaving the old one.
  void set(const std::string& text);

  // Whether the next request to endpoint gets the fault, and which.
  std::optional<Fault> next(const std::string& endpoint);

  // The rule as set reads it, with the count left; "none" without a rule.
  std::string describe() const;

 private:
  mutable std::mutex mutex_;
  std::optional<Fault> fault_;
  std::optional<long long> remaining_;
  int percent_ = 100;
  std::uint32_t seed_ = 1;
  std::string endpoint_;
  std::mt19937 random_;
};

}  // namespace erpsim

#endif
