#ifndef QUILRUN_SOAK_RESIDENTMEMORY_H
#define QUILRUN_SOAK_RESIDENTMEMORY_H

#include <string>

namespace soak {

// The process's resident set size as the kernel reports it.
class ResidentMemory {
 public:
  // VmRSS from /proc/self/status in KiB, or -1 when it cannot be read.
  static long long currentKiB();

  // currentKiB after handing the allocator's free pages back to the kernel
  // (glibc's malloc_trim). Freed blocks stay resident until the allocator
  // trims its heaps, which it does at its own moments, so without this a
  // sample depends on when the last large reply was freed: erp-sim's 1 MiB
  // replies move the plain figure by up to 3 MiB either way. Memory still
  // in use, a leak included, stays resident.
  static long long settledKiB();

  // Why this build's figures say nothing about the library's memory, or
  // null when they do: a sanitizer's allocator holds freed memory back
  // (AddressSanitizer's quarantine) or maps shadow memory beside it.
  static const char* distortion();

  // "12.34 MiB" ("+0.05 MiB" with sign), or "unknown" for -1.
  static std::string describe(long long kib, bool withSign = false);
};

}  // namespace soak

#endif
