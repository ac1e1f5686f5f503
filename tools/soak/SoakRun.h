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
// CallOracle. Prints the resident memory at the start, the middle and the
// end, what each fault kind saw and a summary.
class SoakRun {
 public:
  // The growth of the resident memory over the second half that still counts
  // as flat. The data files have all joined by a quarter of the run, so by
  // the middle every cache is filled and every fault kind has come round
  // about five times: the second half repeats work whose memory is in use
  // already. Sampled with no rendering under way and after the allocator
  // gave its free pages back (ResidentMemory::settledKiB), the figure then
  // moves by well under 0.1 MiB between the middle and the end of a full
  // run. 1 MiB leaves ten times that for other machines and allocators and
  // still shows a leak of 21 bytes per rendering, or of 105 bytes per
  // faulted request, over the second half of a full run.
  static constexpr long long kFlatGrowthKiB = 1024;

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
