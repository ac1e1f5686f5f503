#ifndef QUILRUN_ERPSIM_FAULTINJECTOR_H
#define QUILRUN_ERPSIM_FAULTINJECTOR_H

#include <httplib.h>

#include <functional>
#include <string>

#include "Fault.h"

namespace erpsim {

// Answers a request with its good reply altered by a Fault.
class FaultInjector {
 public:
  // sleep waits the given milliseconds, or less when the server is stopping,
  // and returns false once it is stopping.
  explicit FaultInjector(std::function<bool(int)> sleep);

  // Fills response with reply as fault alters it; for close, shuts the
  // request's connection down so that nothing reaches the client.
  void respond(const Fault& fault, const std::string& reply, const httplib::Request& request,
               httplib::Response& response) const;

 private:
  std::function<bool(int)> sleep_;
};

}  // namespace erpsim

#endif
