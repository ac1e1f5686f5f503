#ifndef QUILRUN_CACHE_READMOSTLYMUTEX_H
#define QUILRUN_CACHE_READMOSTLYMUTEX_H

#include <atomic>
#include <mutex>

namespace quilrun {

// A reader-writer lock for data that is read on every report call and
// changed rarely. Readers touch only a counter of their own (one of a few,
// each on its own cache line), so threads reading at once do not slow each
// other down, as they do on a lock word that every reader writes. A writer
// announces itself, then waits until no reader is inside.
// REQUIRES: a thread does not take the shared side again while holding it.
// Thread-safety: this is the lock.
class ReadMostlyMutex {
 public:
  void lock_shared();
  void unlock_shared();
  void lock();
  void unlock();

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

}  // namespace quilrun

#endif
