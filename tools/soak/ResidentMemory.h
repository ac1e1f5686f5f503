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
  // sample depends on when the last large reply was freed. Memory still in
  // use, a leak included, stays resident. malloc_trim releases the free
  // blocks of every arena and the free top of the main one, but not the free
  // top of the other threads' arenas: see pinAllocatorThresholds.
  static long long settledKiB();

  // Fixes glibc's mmap and trim thresholds at their defaults (128 KiB), so
  // that malloc no longer raises them as it goes. Each time a block it had
  // mapped on its own is freed, it raises the mmap threshold to that block's
  // size and the trim threshold to twice that: after erp-sim's first 1 MiB
  // replies (blocks of 1 to 2 MiB as the reply's string doubles) blocks of
  // that size come from the arenas, and an arena keeps a free top of up to 2
  // to 4 MiB. malloc_trim hands back the main arena's top but not that of
  // the other threads' arenas, so the resident memory then depends on how
  // much of that top the last oversized replies touched in which thread's
  // arena: up to 3 MiB more or less between two samples with the heap in use
  // unchanged. Fixed, a block of 128 KiB or more that no free space of an
  // arena holds is mapped on its own and unmapped when freed, and an arena
  // gives its free top back at a free once it passes 128 KiB. Memory in use
  // counts as before. Call before the first rendering; returns false where
  // the allocator takes no such setting.
  static bool pinAllocatorThresholds();

  // Why this build's figures say nothing about the library's memory, or
  // null when they do: a sanitizer's allocator holds freed memory back
  // (AddressSanitizer's quarantine) or maps shadow memory beside it.
  static const char* distortion();

  // "12.34 MiB" ("+0.05 MiB" with sign), or "unknown" for -1.
  static std::string describe(long long kib, bool withSign = false);
};

}  // namespace soak

#endif
