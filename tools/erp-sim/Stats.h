#ifndef QUILRUN_ERPSIM_STATS_H
#define QUILRUN_ERPSIM_STATS_H

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace erpsim {

// What the simulator has seen, for tests: accepted TCP connections, requests
// per service endpoint and per remote method, faults injected, and the last
// request of each endpoint. Thread-safe.
class Stats {
 public:
  Stats();

  void countConnection();
  // A request to endpoint; method is the remote method a call names, or empty.
  void countRequest(const std::string& endpoint, const std::string& method);
  void countFault();

  // Keeps the request as the last one of endpoint: its body byte for byte,
  // and its request line and headers as text.
  void recordRequest(const std::string& endpoint, const std::string& body,
                     const std::string& head);
  std::optional<std::string> lastBody(const std::string& endpoint) const;
  std::optional<std::string> lastHead(const std::string& endpoint) const;

  // The counts as one line of JSON:
  //   {"connections":1,"requests":{"call":2,"properties":1,"store":0},
  //    "methods":{"GetCurrencyFormats":0,...},"faults":0}
  // The three endpoints and the four methods of the utility library are
  // always listed; other methods once they are called.
  std::string json() const;

  // Counts back to zero and the last requests forgotten.
  void reset();

 private:
  struct LastRequest {
    std::string body;
    std::string head;
  };

  mutable std::mutex mutex_;
  std::uint64_t connections_ = 0;
  std::uint64_t faults_ = 0;
  std::map<std::string, std::uint64_t> requests_;
  std::map<std::string, std::uint64_t> methods_;
  std::map<std::string, LastRequest> last_;
};

}  // namespace erpsim

#endif
