#ifndef QUILRUN_FUNCTIONS_JITSTACKPOOL_H
#define QUILRUN_FUNCTIONS_JITSTACKPOOL_H

#include <cstddef>
#include <vector>

#include "platform/Mutex.h"

struct pcre2_real_jit_stack_8;

namespace quilrun {

// The JIT stacks of the filter calls running at once. A JIT stack reserves
// its whole size of address space, of which a 32-bit report server has
// little, and creating one costs more than a whole filter call on a short
// text: the pool keeps at most kStacks stacks of kStackBytes and lends them
// out. A call that finds none free matches with PCRE2's small default stack
// (32 KiB on the thread's own stack); a line too deep for the stack it has
// is matched again by the interpreter.
// Thread-safety: all operations may be called from any thread. Leases must
// end before the pool is destroyed.
class JitStackPool {
 public:
  static constexpr std::size_t kStacks = 4;
  static constexpr std::size_t kStackBytes = 1024 * 1024;

  class Lease;

  JitStackPool();
  // Frees the stacks. REQUIRES: no lease is out.
  ~JitStackPool();

  JitStackPool(const JitStackPool&) = delete;
  JitStackPool& operator=(const JitStackPool&) = delete;

  // A free stack, made when fewer than kStacks exist; a lease without a
  // stack when all are lent out (or one cannot be made).
  Lease acquire() EXCLUDES(mutex_);

 private:
  void release(pcre2_real_jit_stack_8* stack) EXCLUDES(mutex_);

  Mutex mutex_;
  std::vector<pcre2_real_jit_stack_8*> free_ GUARDED_BY(mutex_);
  std::size_t made_ GUARDED_BY(mutex_) = 0;
};

// A stack lent for one filter call; it goes back when the lease ends.
class JitStackPool::Lease {
 public:
  Lease() = default;
  ~Lease();
  Lease(Lease&& other) noexcept;
  Lease& operator=(Lease&& other) noexcept;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  // The stack, or null for PCRE2's default.
  pcre2_real_jit_stack_8* stack() const { return stack_; }

 private:
  friend class JitStackPool;
  Lease(JitStackPool* pool, pcre2_real_jit_stack_8* stack) : pool_(pool), stack_(stack) {}

  JitStackPool* pool_ = nullptr;
  pcre2_real_jit_stack_8* stack_ = nullptr;
};

}  // namespace quilrun

#endif
