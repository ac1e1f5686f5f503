#ifndef QUILRUN_SOAK_MEMORYTREND_H
#define QUILRUN_SOAK_MEMORYTREND_H

#include <string>

#include "MemorySample.h"

namespace soak {

// The memory samples of a soak run at its start, middle and end, and whether
// they stayed flat over the second half. The data files have all joined by a
// quarter of the run, so by the middle every cache is filled and every fault
// kind has come round about five times: the second half repeats work whose
// memory is in use already.
class MemoryTrend {
 public:
  // The growth of the resident memory over the second half that still counts
  // as flat. Sampled with no rendering under way, after the allocator gave
  // its free pages back (ResidentMemory::settledKiB) and with its thresholds
  // fixed (ResidentMemory::pinAllocatorThresholds), the figure moves by well
  // under 0.1 MiB between the middle and the end of a full run. 1 MiB leaves
  // ten times that for other machines and allocators and still shows a leak
  // of 21 bytes per rendering, or of 105 bytes per faulted request, over the
  // second half of a full run.
  static constexpr long long kFlatGrowthKiB = 1024;
  // The descriptors other than the connections to erp-sim (the log file,
  // each libcurl handle's own, the program's) may not grow at all over the
  // second half: every data file's handle is made by the middle. The
  // connections are not compared: one that a fault closed before a sample is
  // open again at the next once its data file has made a request, so they
  // move by up to one per data file with the fault kinds of the last phases.
  // Each handle holds at most one, so they may not outnumber the data files.
  static constexpr long long kFlatDescriptorGrowth = 0;

  // distortion: ResidentMemory::distortion() of this build, or null;
  // connectionBound: the most connections there may be (one per data file).
  MemoryTrend(MemorySample start, MemorySample middle, MemorySample end, const char* distortion,
              long long connectionBound);

  // end - middle of each figure; 0 when either is unknown.
  long long rssGrowthKiB() const;
  long long heapGrowthBytes() const;
  long long otherDescriptorGrowth() const;
  // The most connections in the middle or at the end, -1 when unknown.
  long long mostConnections() const;

  // Whether the figures stayed within their bounds over the second half;
  // true when they are not judged (unknown, or the resident memory in a
  // sanitizer build).
  bool rssFlat() const;
  bool descriptorsFlat() const;
  bool flat() const { return rssFlat() && descriptorsFlat(); }

  // The summary's lines for the figures and the verdicts, each starting with
  // two blanks and its label and ending in a newline. checked: whether
  // --check-rss makes the verdicts count.
  std::string summary(bool checked) const;

 private:
  static long long difference(long long from, long long to);
  std::string figureLine(const char* label, long long start, long long middle, long long end,
                         std::string (*describe)(long long, bool)) const;

  MemorySample start_;
  MemorySample middle_;
  MemorySample end_;
  const char* distortion_;
  long long connectionBound_;
};

}  // namespace soak

#endif
