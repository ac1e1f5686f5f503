#ifndef QUILRUN_ERPSIM_COUNTINGTASKQUEUE_H
#define QUILRUN_ERPSIM_COUNTINGTASKQUEUE_H

#include <httplib.h>

#include <cstddef>
#include <functional>

namespace erpsim {

// cpp-httplib's thread pool, telling each task as it is queued. The server
// queues exactly one task per accepted socket, which serves every request of
// that connection, so the count of tasks is the count of TCP connections
// accepted. (cpp-httplib 0.11 applies its socket-option callback to the
// listening socket only, so that callback cannot count them.)
class CountingTaskQueue : public httplib::TaskQueue {
 public:
  CountingTaskQueue(std::size_t threads, std::function<void()> onTask);

  void enqueue(std::function<void()> task) override;
  void shutdown() override;

 private:
  httplib::ThreadPool pool_;
  std::function<void()> onTask_;
};

}  // namespace erpsim

#endif
