#ifndef QUILRUN_REPORTHOST_CHECKCOMMAND_H
#define QUILRUN_REPORTHOST_CHECKCOMMAND_H

#include <string>

#include "CommandLine.h"

namespace reporthost {

// report-host check DATAFILE: what an administrator needs when a report field
// comes out empty. Runs the library's own code for finding its files (linked
// into report-host, so it sees this executable's installation exactly as the
// library loaded into the report server sees the server's) and prints one
// line per step with OK, WARN or FAIL and the reason:
//   executable, configuration file, log level, log folder, data share and
//   where it came from, data file and whether it parses, session, web-service
//   URL, and a properties request to that URL.
// Exit code 0 when no step failed, 1 otherwise.
class CheckCommand {
 public:
  // Runs the command; returns the exit code or throws a HostError.
  static int run(const CommandLine& commandLine);
};

}  // namespace reporthost

#endif
