#include "platform/Platform.h"

#include <atomic>

namespace quilrun {

namespace {
std::atomic<Platform*> replacementPlatform{nullptr};
}

Platform& Platform::current() {
  Platform* replacement = replacementPlatform.load(std::memory_order_acquire);
  return replacement != nullptr ? *replacement : native();
}

Platform* Platform::replace(Platform* replacement) {
  return replacementPlatform.exchange(replacement, std::memory_order_acq_rel);
}

}  // namespace quilrun
