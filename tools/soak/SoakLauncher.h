#ifndef QUILRUN_SOAK_SOAKLAUNCHER_H
#define QUILRUN_SOAK_SOAKLAUNCHER_H

#include <string>
#include <vector>

#include "SoakOptions.h"

namespace soak {

// The files the launcher sets a run up from.
struct SoakSources {
  std::string library;       // the built libquilrun
  std::string erpSim;        // the built erp-sim
  std::string demoFixtures;  // samples/erp/demo-fixtures.xml
};

// The first half of a soak run, in the program as started: lays out a
// report server installation in a temporary folder (LogLevel = 1, so the
// log holds only the errors that faults cause), generates erp-sim's fixtures
// with one data file per soak data file, starts erp-sim as a child process,
// writes the data files naming it, and runs a copy of this program from the
// installation's platform/bin, where the library finds its configuration.
// Afterwards it reads the library's log: an exception caught at an export's
// boundary fails the run.
class SoakLauncher {
 public:
  // arguments are the command line's words after the program name, handed
  // on to the copy unchanged.
  SoakLauncher(SoakOptions options, std::vector<std::string> arguments, SoakSources sources);

  // Returns the exit code: the copy's, or 1 for exceptions in the log.
  // Throws std::runtime_error when the run cannot be set up.
  int run() const;

 private:
  SoakOptions options_;
  std::vector<std::string> arguments_;
  SoakSources sources_;
};

}  // namespace soak

#endif
