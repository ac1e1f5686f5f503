#include "cache/ReadMostlyMutex.h"

#include <thread>

namespace quilrun {

namespace {
std::atomic<int> nextSlot{0};
// Trivially destructible on purpose: a thread_local with a destructor would
// keep the library from being unloaded while the thread lives.
thread_local int threadSlot = -1;
}  // namespace

ReadMostlyMutex::Slot& ReadMostlyMutex::slot() {
  if (threadSlot < 0) threadSlot = nextSlot.fetch_add(1, std::memory_order_relaxed) % kSlots;
  return slots_[threadSlot];
}

void ReadMostlyMutex::lock_shared() {
  Slot& mine = slot();
  for (;;) {
    // Announce the read, then look for a writer: either the writer sees this
    // count and waits, or this reader sees the writer and steps back.
    mine.readers.fetch_add(1, std::memory_order_seq_cst);
    if (!writing_.load(std::memory_order_seq_cst)) return;
    mine.readers.fetch_sub(1, std::memory_order_release);
    std::lock_guard<std::mutex> waitForWriter(writer_);
  }
}

void ReadMostlyMutex::unlock_shared() { slot().readers.fetch_sub(1, std::memory_order_release); }

void ReadMostlyMutex::lock() {
  writer_.lock();
  writing_.store(true, std::memory_order_seq_cst);
  for (Slot& each : slots_) {
    while (each.readers.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  }
}

void ReadMostlyMutex::unlock() {
  writing_.store(false, std::memory_order_release);
  writer_.unlock();
}

}  // namespace quilrun
