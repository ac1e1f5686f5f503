#include "HeapInUse.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>

namespace soak {

HeapInUse HeapInUse::current() {
  HeapInUse heap;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  const struct mallinfo2 info = ::mallinfo2();
  heap.arenaBytes = static_cast<long long>(info.uordblks);
  heap.mappedBytes = static_cast<long long>(info.hblkhd);
  heap.heldBytes = static_cast<long long>(info.arena);
#endif
  return heap;
}

std::string HeapInUse::describe() const {
  if (!known()) return "unknown";
  return describeBytes(inUseBytes()) + " (" + describeBytes(mappedBytes) +
         " in mapped blocks; the arenas hold " + describeBytes(heldBytes) + ")";
}

std::string HeapInUse::describeBytes(long long bytes, bool withSign) {
  if (bytes < 0 && !withSign) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, withSign ? "%+.2f MiB" : "%.2f MiB",
                static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace soak
