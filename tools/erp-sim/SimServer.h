#ifndef QUILRUN_ERPSIM_SIMSERVER_H
#define QUILRUN_ERPSIM_SIMSERVER_H

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "CommandLine.h"
#include "ErpService.h"
#include "FaultInjector.h"
#include "FaultPlan.h"
#include "Fixtures.h"
#include "Stats.h"

namespace erpsim {

// The simulator's HTTP(S) server on 127.0.0.1.
//
// Service endpoints (POST), under the base path /svcgw:
//   /svcgw/store, /svcgw/properties, /svcgw/call     answered by ErpService
//   /svcgw/fault/FAULT/ENDPOINT                      the same, every request with FAULT
// A request header "X-Erp-Sim-Fault: FAULT" applies FAULT to that request
// alone; otherwise the rule of POST /faults decides (FaultPlan). FAULT is
// written as Fault reads it.
//
// Test endpoints:
//   GET  /stats                      counts as JSON (Stats)
//   POST /stats/reset                counts to zero, last requests forgotten
//   GET  /last?endpoint=E            last body posted to E, byte for byte
//   GET  /last?endpoint=E&part=headers   its request line and headers
//   GET  /faults                     the fault rule
//   POST /faults                     sets the rule from the body; empty clears
//
// Connections are kept alive for 60 s of idleness and up to a million
// requests, and TCP_NODELAY is on, so a client's requests share one
// connection and are answered without waiting on delayed ACKs.
class SimServer {
 public:
  // The path the web-service URL of a data file must end in.
  static constexpr const char* basePath = "/svcgw";

  // Throws SimError when the TLS certificate or key cannot be used.
  SimServer(const Fixtures& fixtures, const CommandLine& options);
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Binds to the port of the options on 127.0.0.1 and returns the base URL,
  // such as http://127.0.0.1:8312/svcgw. Throws SimError when the port is taken.
  std::string bind();

  // Serves until stop. Returns false when the server ended on its own.
  bool run();

  // Ends run and returns once it has ended: stops accepting, cuts delays
  // short and shuts down open connections. Call from another thread than
  // run's, after run was started there.
  void stop();

 private:
  void addRoutes();
  // Answers a request to a service endpoint; pathFault is the FAULT of a
  // /svcgw/fault/ path, or empty.
  void serve(const std::string& endpoint, const std::string& pathFault,
             const httplib::Request& request, httplib::Response& response);
  // Waits ms milliseconds, or until stop; returns false once stopping.
  bool sleepUnlessStopping(int ms);

  ErpService service_;
  Stats stats_;
  FaultPlan plan_;
  FaultInjector injector_;
  std::unique_ptr<httplib::Server> server_;
  bool tls_;
  int port_;
  std::size_t threads_;

  std::mutex stateMutex_;
  std::condition_variable stateChanged_;
  bool stopping_ = false;
  bool finished_ = false;
};

}  // namespace erpsim

#endif
