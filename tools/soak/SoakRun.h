#ifndef QUILRUN_SOAK_SOAKRUN_H
#define QUILRUN_SOAK_SOAKRUN_H

#include <string>

#include "SoakOptions.h"

namespace soak {

// The soak itself, run by the copy of the program inside the installation:
// loads the library beside the executable with dlopen, renders the report
// once without faults for the first data file as the oracle's baseline, then
// renders it options.renderings times on options.threads threads, for the
// data files DataFileSchedule picks, while FaultRotation has erp-sim fault
// options.faultPercent% of the requests. Every call is checked by
// CallOracle. Prints the resident memory, the heap in use and the open
// descriptors at the start, the middle and the end (MemoryTrend), what each
// fault kind saw and a summary.
class SoakRun {
 public:
  SoakRun(SoakOptions options, std::string reportPath);

  // Returns the exit code (see SoakOptions::helpText). Throws
  // std::runtime_error (or a report-host HostError) when the run cannot be
  // set up or erp-sim stops answering.
  int run() const;

 private:
  SoakOptions options_;
  std::string reportPath_;
};

}  // namespace soak

#endif
