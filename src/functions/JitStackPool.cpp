#define PCRE2_CODE_UNIT_WIDTH 8
#include "functions/JitStackPool.h"

#include <pcre2.h>

#include <utility>

namespace quilrun {

namespace {
constexpr PCRE2_SIZE kStartBytes = 32 * 1024;
}  // namespace

// Room for every stack from the start: giving one back never allocates.
JitStackPool::JitStackPool() { free_.reserve(kStacks); }

JitStackPool::~JitStackPool() {
  MutexLock lock(&mutex_);
  for (pcre2_jit_stack* stack : free_) pcre2_jit_stack_free(stack);
  free_.clear();
}

JitStackPool::Lease JitStackPool::acquire() {
  {
    MutexLock lock(&mutex_);
    if (!free_.empty()) {
      pcre2_jit_stack* stack = free_.back();
      free_.pop_back();
      return Lease(this, stack);
    }
    if (made_ >= kStacks) return Lease();
    ++made_;
  }
  // Made without the lock: it maps memory.
  pcre2_jit_stack* stack = pcre2_jit_stack_create(kStartBytes, kStackBytes, nullptr);
  if (stack == nullptr) {
    MutexLock lock(&mutex_);
    --made_;
    return Lease();
  }
  return Lease(this, stack);
}

void JitStackPool::release(pcre2_jit_stack* stack) {
  MutexLock lock(&mutex_);
  free_.push_back(stack);
}

JitStackPool::Lease::~Lease() {
  if (stack_ != nullptr) pool_->release(stack_);
}

JitStackPool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)), stack_(std::exchange(other.stack_, nullptr)) {}

JitStackPool::Lease& JitStackPool::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    if (stack_ != nullptr) pool_->release(stack_);
    pool_ = std::exchange(other.pool_, nullptr);
    stack_ = std::exchange(other.stack_, nullptr);
  }
  return *this;
}

}  // namespace quilrun
