#ifndef QUILRUN_REPORTHOST_CALLCOMMAND_H
#define QUILRUN_REPORTHOST_CALLCOMMAND_H

#include <string>
#include <vector>

#include "CommandLine.h"
#include "ExportTable.h"

namespace reporthost {

// report-host call tt_NAME ARG...: loads the library, calls one export with
// the arguments converted by its prototype and prints the result and a
// newline to stdout.
class CallCommand {
 public:
  // Runs the command; returns the exit code or throws a HostError.
  static int run(const CommandLine& commandLine);

  // The result as a string: the buffer up to its terminating NUL. Throws a
  // contract HostError when the buffer has no NUL; an empty buffer is the
  // empty string.
  static std::string resultText(const std::string& exportName, const std::vector<char>& buffer);
};

}  // namespace reporthost

#endif
