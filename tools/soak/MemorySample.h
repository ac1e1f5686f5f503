#ifndef QUILRUN_SOAK_MEMORYSAMPLE_H
#define QUILRUN_SOAK_MEMORYSAMPLE_H

#include <string>

#include "HeapInUse.h"
#include "OpenDescriptors.h"

namespace soak {

// The process's memory figures at one moment: resident memory, the heap in
// use and the open file descriptors. Taken with no rendering under way.
class MemorySample {
 public:
  long long rssKiB = -1;  // -1: unknown
  HeapInUse heap;
  OpenDescriptors descriptors;

  // The figures after the allocator handed its free pages back
  // (ResidentMemory::settledKiB), which moves the resident memory only;
  // connections are counted to erpPort.
  static MemorySample settled(int erpPort);

  // "13.33 MiB, heap in use 3.10 MiB (...), 214 open descriptors (200
  // connections to erp-sim)"; where distortion is not null the heap is "not
  // measured in this build".
  std::string describe(const char* distortion) const;
};

}  // namespace soak

#endif
