#include "ResidentMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <fstream>

namespace soak {

long long ResidentMemory::currentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    // "VmRSS:	   12345 kB"
    if (line.compare(0, 6, "VmRSS:") == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

long long ResidentMemory::settledKiB() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
  return currentKiB();
}

bool ResidentMemory::pinAllocatorThresholds() {
#if defined(__GLIBC__)
  // glibc's default for both; setting either stops the adjustment of both.
  constexpr int kThreshold = 128 * 1024;
  return ::mallopt(M_MMAP_THRESHOLD, kThreshold) == 1 &&
         ::mallopt(M_TRIM_THRESHOLD, kThreshold) == 1;
#else
  return false;
#endif
}

const char* ResidentMemory::distortion() {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  return "AddressSanitizer holds freed memory in quarantine";
#elif __has_feature(thread_sanitizer)
  return "ThreadSanitizer maps shadow memory and keeps freed memory";
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
  return "AddressSanitizer holds freed memory in quarantine";
#elif defined(__SANITIZE_THREAD__)
  return "ThreadSanitizer maps shadow memory and keeps freed memory";
#else
  return nullptr;
#endif
}

std::string ResidentMemory::describe(long long kib, bool withSign) {
  if (kib < 0 && !withSign) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, withSign ? "%+.2f MiB" : "%.2f MiB",
                static_cast<double>(kib) / 1024.0);
  return text;
}

}  // namespace soak
