#ifndef QUILRUN_ERPSIM_FAULTINJECTOR_H
#define QUILRUN_ERPSIM_FAULTINJECTOR_H

#include <httplib.h>

#include <functional>
#include <string>

#include "Fault.h"
#include "RequestSocket.h"

namespace erpsim {

// Answers a request with its good reply altered by a Fault.
class FaultInjector {
 public:
  // sleep waits the given milliseconds, or less when the server is stopping,
  // and returns false once it is stopping.
  explicit FaultInjector(std::function<bool(int)> sleep);

  // Fills response with reply as fault alters it; for close, shuts the
  // request's connection down so that nothing reaches the client. For stall,
  // returns only once the client has gone away or the server is stopping;
  // the content of trickle and overlength likewise waits on both.
  void respond(const Fault& fault, const std::string& reply, const httplib::Request& request,
               httplib::Response& response) const;

 private:
  // Waits ms milliseconds, checking every few milliseconds that the client
  // still holds socket's connection. Returns false, early, once it does not
  // or the server is stopping.
  bool waitForClient(const RequestSocket& socket, int ms) const;
  // Waits until the client has gone away or the server is stopping.
  void holdUntilClosed(const RequestSocket& socket) const;

  std::function<bool(int)> sleep_;
};

}  // namespace erpsim

#endif
