#ifndef QUILRUN_CACHE_READMOSTLYMUTEX_H
#define QUILRUN_CACHE_READMOSTLYMUTEX_H

#include <atomic>
#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace quilrun {

// A reader-writer lock for data that is read on every report call and
// changed rarely. Readers touch only a counter of their own (one of a few,
// each on its own cache line), so threads reading at once do not slow each
// other down, as they do on a lock word that every reader writes. A writer
// announces itself, then waits until no reader is inside.
// REQUIRES: a thread does not take the shared side again while holding it.
// Thread-safety: this is the lock.
class CAPABILITY("mutex") ReadMostlyMutex {
 public:
  void lock_shared() ACQUIRE_SHARED();
  void unlock_shared() RELEASE_SHARED();
  void lock() ACQUIRE();
  void unlock() RELEASE();

 private:
  static constexpr int kSlots = 16;
  struct alignas(64) Slot {
    std::atomic<int> readers{0};
  };

  // The counter of the calling thread.
  Slot& slot();

  Slot slots_[kSlots];
  std::mutex writer_;  // held by the writer; readers that meet it wait on it
  std::atomic<bool> writing_{false};
};

// Holds a ReadMostlyMutex shared, for reading, for its own lifetime.
class SCOPED_CAPABILITY ReaderLock {
 public:
  explicit ReaderLock(ReadMostlyMutex* mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_->lock_shared();
  }
  ~ReaderLock() RELEASE() { mutex_->unlock_shared(); }
  ReaderLock(const ReaderLock&) = delete;
  ReaderLock& operator=(const ReaderLock&) = delete;

 private:
  ReadMostlyMutex* const mutex_;
};

// Holds a ReadMostlyMutex alone, for changing, for its own lifetime.
class SCOPED_CAPABILITY WriterLock {
 public:
  explicit WriterLock(ReadMostlyMutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->lock(); }
  ~WriterLock() RELEASE() { mutex_->unlock(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  ReadMostlyMutex* const mutex_;
};

}  // namespace quilrun

#endif
