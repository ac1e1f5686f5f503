#include "CountingTaskQueue.h"

#include <utility>

namespace erpsim {

CountingTaskQueue::CountingTaskQueue(std::size_t threads, std::function<void()> onTask)
    : pool_(threads), onTask_(std::move(onTask)) {}

void CountingTaskQueue::enqueue(std::function<void()> task) {
  onTask_();
  pool_.enqueue(std::move(task));
}

void CountingTaskQueue::shutdown() { pool_.shutdown(); }

}  // namespace erpsim
