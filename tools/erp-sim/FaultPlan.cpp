#include "FaultPlan.h"

#include <stdexcept>

#include "ErpService.h"
#include "Numbers.h"

namespace erpsim {

namespace {

long long bounded(const std::string& item, const std::string& value, long long low,
                  long long high) {
  const std::optional<long long> number = Numbers::wide(value);
  if (!number || *number < low || *number > high) {
    throw std::invalid_argument("rule item '" + item + "' needs a number from " +
                                std::to_string(low) + " to " + std::to_string(high));
  }
  return *number;
}

}  // namespace

void FaultPlan::set(const std::string& text) {
  std::optional<long long> remaining;
  int percent = 100;
  std::uint32_t seed = 1;
  std::string endpoint;
  std::string faultItems;
  for (const std::string& item : Fault::items(text)) {
    const std::size_t equals = item.find('=');
    const std::string key = item.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
    if (key == "count") {
      remaining = bounded(item, value, 0, 1LL << 62);
    } else if (key == "percent") {
      percent = static_cast<int>(bounded(item, value, 0, 100));
    } else if (key == "seed") {
      seed = static_cast<std::uint32_t>(bounded(item, value, 0, 0xFFFFFFFFLL));
    } else if (key == "endpoint") {
      if (!ErpService::isEndpoint(value)) {
        throw std::invalid_argument("rule item '" + item + "' names no endpoint");
      }
      endpoint = value;
    } else {
      faultItems += item + ",";
    }
  }
  std::optional<Fault> fault;
  if (!Fault::items(text).empty()) fault = Fault::parse(faultItems);

  const std::lock_guard<std::mutex> lock(mutex_);
  fault_ = fault;
  remaining_ = remaining;
  percent_ = percent;
  seed_ = seed;
  endpoint_ = endpoint;
  random_.seed(seed);
}

std::optional<Fault> FaultPlan::next(const std::string& endpoint) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!fault_ || (!endpoint_.empty() && endpoint_ != endpoint)) return std::nullopt;
  if (remaining_ && *remaining_ == 0) return std::nullopt;
  // The raw engine output, not a distribution, so that a seed picks the same
  // requests with every standard library.
  if (percent_ < 100 && static_cast<int>(random_() % 100) >= percent_) return std::nullopt;
  if (remaining_) --*remaining_;
  return fault_;
}

std::string FaultPlan::describe() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!fault_) return "none";
  std::string text = fault_->describe();
  if (remaining_) text += ",count=" + std::to_string(*remaining_);
  if (percent_ != 100) {
    text += ",percent=" + std::to_string(percent_) + ",seed=" + std::to_string(seed_);
  }
  if (!endpoint_.empty()) text += ",endpoint=" + endpoint_;
  return text;
}

}  // namespace erpsim
