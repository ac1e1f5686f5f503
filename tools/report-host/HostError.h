#ifndef QUILRUN_REPORTHOST_HOSTERROR_H
#define QUILRUN_REPORTHOST_HOSTERROR_H

#include <stdexcept>
#include <string>

namespace reporthost {

// report-host's exit codes.
enum class ExitCode {
  Success = 0,
  // Anything else that went wrong, such as stdout not being writable.
  Failure = 1,
  // Bad command line: unknown command or function, wrong argument count,
  // unparsable number.
  Usage = 2,
  // The library cannot be loaded or does not export the function.
  Load = 3,
  // The library broke the calling convention: a non-zero return value or a
  // result buffer left without a terminating NUL.
  Contract = 4,
};

// A failure that ends report-host with a one-line message on stderr.
class HostError : public std::runtime_error {
 public:
  HostError(ExitCode exitCode, const std::string& message);

  ExitCode exitCode() const { return exitCode_; }

 private:
  ExitCode exitCode_;
};

}  // namespace reporthost

#endif
