#ifndef QUILRUN_SOAK_HEAPINUSE_H
#define QUILRUN_SOAK_HEAPINUSE_H

#include <string>

namespace soak {

// What glibc's malloc has handed out and not had back, over all its arenas
// (mallinfo2), beside what it holds from the kernel for that. Unlike the
// resident memory this does not depend on how the allocator lays its blocks
// out: freed memory that stays resident because a block in use shares its
// page shows as held, not as in use, so growth of the in-use figure is memory
// the program still references (or leaked), and growth of the held figure
// alone is the allocator's.
class HeapInUse {
 public:
  // Bytes in use in the arenas (uordblks), -1 when unknown.
  long long arenaBytes = -1;
  // Bytes in blocks mapped on their own (hblkhd), large ones; always in use.
  long long mappedBytes = -1;
  // Bytes the arenas hold from the kernel, in use or free (arena).
  long long heldBytes = -1;

  // The current figures; unknown where the C library is not glibc 2.33 or
  // later. In a sanitizer build they describe glibc's own heap, which the
  // sanitizer's allocator leaves almost unused (see ResidentMemory::distortion).
  static HeapInUse current();

  bool known() const { return arenaBytes >= 0 && mappedBytes >= 0; }

  // arenaBytes + mappedBytes, or -1 when unknown.
  long long inUseBytes() const { return known() ? arenaBytes + mappedBytes : -1; }

  // "3.10 MiB (0.50 MiB in mapped blocks; the arenas hold 6.20 MiB)", or
  // "unknown".
  std::string describe() const;

  // bytes as "3.10 MiB" ("+0.05 MiB" with sign), or "unknown" for -1.
  static std::string describeBytes(long long bytes, bool withSign = false);
};

}  // namespace soak

#endif
