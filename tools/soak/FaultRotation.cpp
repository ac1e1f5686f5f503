#include "FaultRotation.h"

#include <stdexcept>

#include "support/HostInstallation.h"

namespace soak {

const std::vector<std::string>& FaultRotation::faults() {
  // Some leave the reply readable, so the library must answer correctly:
  // status=500 keeps the normal body, nul goes after the reply's last byte,
  // delay and size only slow the reply down or pad it, and libcurl makes a
  // request again once when a reused connection is closed before the reply.
  // The others fail the request in the transport or in the reply, and the
  // library must answer the fallback. stall (no reply) and trickle (a byte
  // every 50 ms) end in the library's request time-out, after which the
  // data file's requests are held for 30 s.
  static const std::vector<std::string> kinds = {
      "status=500", "status=503,empty", "malformed", "empty",       "truncate", "close",
      "nul",        "delay=5",          "size=1",    "stall",       "trickle=50",
  };
  return kinds;
}

bool FaultRotation::holdsTheCaller(const std::string& fault) {
  return fault == "stall" || fault.rfind("trickle=", 0) == 0;
}

FaultRotation::FaultRotation(int port, int percent, long long seed, long long renderingsPerPhase)
    : port_(port), percent_(percent), seed_(seed), renderingsPerPhase_(renderingsPerPhase) {
  for (const std::string& fault : faults()) counts_.push_back(KindCounts{fault});
  // What erp-sim counted before the first phase belongs to no kind.
  const quilrun::ErpCounts counts = quilrun::ErpCounts::fetch(port_);
  lastRequests_ = counts.requests();
  lastFaults_ = counts["faults"];
}

std::string FaultRotation::rule(long long phase) const {
  const std::string& fault = faults()[static_cast<std::size_t>(phase) % faults().size()];
  // A fault that holds a rendering thread until the time-out comes once a
  // phase, so that the run keeps its pace.
  return fault + (holdsTheCaller(fault) ? " count=1" : "") + " percent=" + std::to_string(percent_) +
         " seed=" + std::to_string(seed_ + phase);
}

void FaultRotation::enter(long long rendering) {
  const long long phase = rendering / renderingsPerPhase_;
  // The everyday case: the phase's rule is up already.
  if (phase <= phase_.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (phase <= phase_.load(std::memory_order_relaxed)) return;
  countPhase();
  post(rule(phase));
  ++counts_[static_cast<std::size_t>(phase) % counts_.size()].phases;
  phase_.store(phase, std::memory_order_release);
}

void FaultRotation::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  countPhase();
  post("");
}

std::vector<FaultRotation::KindCounts> FaultRotation::counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

void FaultRotation::countPhase() {
  const quilrun::ErpCounts counts = quilrun::ErpCounts::fetch(port_);
  const long long phase = phase_.load(std::memory_order_relaxed);
  if (phase >= 0) {
    KindCounts& kind = counts_[static_cast<std::size_t>(phase) % counts_.size()];
    kind.requests += counts.requests() - lastRequests_;
    kind.faulted += counts["faults"] - lastFaults_;
  }
  lastRequests_ = counts.requests();
  lastFaults_ = counts["faults"];
}

std::string FaultRotation::withoutCount(const std::string& rule) {
  std::string rest;
  std::size_t start = 0;
  while (start <= rule.size()) {
    std::size_t end = rule.find(',', start);
    if (end == std::string::npos) end = rule.size();
    const std::string item = rule.substr(start, end - start);
    if (item.rfind("count=", 0) != 0) rest += (rest.empty() ? "" : ",") + item;
    start = end + 1;
  }
  return rest;
}

void FaultRotation::post(const std::string& rule) {
  // erp-sim answers a rule it takes with the rule as it reads it, and a bad
  // one with the reason (and status 400, which the exchange does not show):
  // the rule it then reports having is the proof.
  // A rule with a count may have been used up in between: the count is
  // left out of the comparison.
  const std::string answer = quilrun::httpExchange(port_, "POST", "/faults", rule);
  const std::string current = quilrun::httpExchange(port_, "GET", "/faults");
  if (withoutCount(answer) != withoutCount(current)) {
    throw std::runtime_error("erp-sim did not take the fault rule '" + rule + "': " + answer);
  }
}

}  // namespace soak
