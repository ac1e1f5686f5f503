#ifndef QUILRUN_SOAK_FAULTROTATION_H
#define QUILRUN_SOAK_FAULTROTATION_H

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace soak {

// Rotates erp-sim's fault rule through the kinds of faults the library must
// survive. The run is cut into phases of a fixed number of renderings; phase
// k applies kind k modulo the number of kinds to percent% of all requests,
// with seed + k as the seed of erp-sim's choice, so a run with the same
// options faults the same requests of each phase again. At each change the
// requests and faults of the phase that ends are read from erp-sim's /stats
// and counted for its kind (approximately: requests in flight at the change
// may be counted for either phase).
// Thread-safety: enter may be called from many threads at once.
class FaultRotation {
 public:
  struct KindCounts {
    std::string fault;
    long long phases = 0;
    long long requests = 0;
    long long faulted = 0;
  };

  // The fault kinds, in rotation order.
  static const std::vector<std::string>& faults();

  // True for a fault that holds the calling thread until the library's
  // request time-out (those are applied to one request a phase).
  static bool holdsTheCaller(const std::string& fault);

  FaultRotation(int port, int percent, long long seed, long long renderingsPerPhase);

  // Called before rendering number rendering (from 0): when it starts a phase
  // whose rule is not posted yet, counts the phase before and posts the new
  // rule. Throws std::runtime_error when erp-sim does not take the rule.
  void enter(long long rendering);

  // Clears the rule and counts the last phase.
  void finish();

  // What each kind saw; complete after finish.
  std::vector<KindCounts> counts() const;

  // The rule of phase, as posted to /faults.
  std::string rule(long long phase) const;

 private:
  // Counts erp-sim's requests and faults since the last change for the
  // current phase's kind. REQUIRES: mutex_ held.
  void countPhase();
  // rule as erp-sim writes it, without its count item.
  static std::string withoutCount(const std::string& rule);
  // Posts rule and checks that erp-sim took it. REQUIRES: mutex_ held.
  void post(const std::string& rule);

  const int port_;
  const int percent_;
  const long long seed_;
  const long long renderingsPerPhase_;
  std::atomic<long long> phase_{-1};  // the phase whose rule is posted
  mutable std::mutex mutex_;          // guards the rest
  long long lastRequests_ = 0;
  long long lastFaults_ = 0;
  std::vector<KindCounts> counts_;
};

}  // namespace soak

#endif
