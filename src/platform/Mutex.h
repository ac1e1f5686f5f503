#ifndef QUILRUN_PLATFORM_MUTEX_H
#define QUILRUN_PLATFORM_MUTEX_H

#include <condition_variable>
#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace quilrun {

// A plain mutual-exclusion lock that the thread-safety analysis knows.
// Thread-safety: this is the lock.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  // Tells the analysis that the calling thread holds the lock.
  void assertHeld() ASSERT_CAPABILITY(this) {}

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex for its own lifetime.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->lock(); }
  ~MutexLock() RELEASE() { mutex_->unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* const mutex_;
};

// A condition variable bound to one Mutex.
// Thread-safety: wait with the mutex held; signal from any thread.
class CondVar {
 public:
  explicit CondVar(Mutex* mutex) : mutex_(mutex) {}
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Releases the mutex, waits for a signal (or a spurious wake-up) and takes
  // the mutex again before returning. REQUIRES: the mutex is held (the
  // analysis cannot tie it to the caller's name for it).
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_->mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  void signalAll() { condition_.notify_all(); }

 private:
  Mutex* const mutex_;
  std::condition_variable condition_;
};

}  // namespace quilrun

#endif
