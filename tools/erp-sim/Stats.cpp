#include "Stats.h"

#include <cstdio>

namespace erpsim {

namespace {

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string jsonObject(const std::map<std::string, std::uint64_t>& counts) {
  std::string out = "{";
  for (const auto& entry : counts) {
    if (out.size() > 1) out += ",";
    out += jsonString(entry.first) + ":" + std::to_string(entry.second);
  }
  return out + "}";
}

}  // namespace

Stats::Stats() { reset(); }

void Stats::countConnection() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++connections_;
}

void Stats::countRequest(const std::string& endpoint, const std::string& method) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++requests_[endpoint];
  if (!method.empty()) ++methods_[method];
}

void Stats::countFault() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++faults_;
}

void Stats::recordRequest(const std::string& endpoint, const std::string& body,
                          const std::string& head) {
  const std::lock_guard<std::mutex> lock(mutex_);
  last_[endpoint] = {body, head};
}

std::optional<std::string> Stats::lastBody(const std::string& endpoint) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = last_.find(endpoint);
  if (found == last_.end()) return std::nullopt;
  return found->second.body;
}

std::optional<std::string> Stats::lastHead(const std::string& endpoint) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = last_.find(endpoint);
  if (found == last_.end()) return std::nullopt;
  return found->second.head;
}

std::string Stats::json() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return "{\"connections\":" + std::to_string(connections_) +
         ",\"requests\":" + jsonObject(requests_) + ",\"methods\":" + jsonObject(methods_) +
         ",\"faults\":" + std::to_string(faults_) + "}";
}

void Stats::reset() {
  const std::lock_guard<std::mutex> lock(mutex_);
  connections_ = 0;
  faults_ = 0;
  requests_ = {{"call", 0}, {"properties", 0}, {"store", 0}};
  methods_ = {{"GetCurrencyFormats", 0},
              {"GetLabelVariants", 0},
              {"GetMessageText", 0},
              {"GetReportText", 0}};
  last_.clear();
}

}  // namespace erpsim
