#ifndef QUILRUN_ERPSIM_SIMERROR_H
#define QUILRUN_ERPSIM_SIMERROR_H

#include <stdexcept>
#include <string>

namespace erpsim {

// erp-sim's exit codes.
enum class ExitCode {
  // Stopped by SIGINT or SIGTERM.
  Success = 0,
  // The server could not start or stopped on its own: port taken, TLS set-up failed.
  Failure = 1,
  // Bad command line or fixture file.
  Usage = 2,
};

// A failure that ends erp-sim with a one-line message on stderr.
class SimError : public std::runtime_error {
 public:
  SimError(ExitCode exitCode, const std::string& message);

  ExitCode exitCode() const { return exitCode_; }

 private:
  ExitCode exitCode_;
};

}  // namespace erpsim

#endif
