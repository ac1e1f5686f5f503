#ifndef QUILRUN_TESTS_SUPPORT_CAPTURINGSINK_H
#define QUILRUN_TESTS_SUPPORT_CAPTURINGSINK_H

#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/LogStream.h"

namespace quilrun {

// Collects the lines sent to the default log stream while it exists.
class CapturingSink final : public LogSink {
 public:
  CapturingSink() : previous_(LogStream::redirect(this)) {}
  ~CapturingSink() override { LogStream::redirect(previous_); }

  void writeLine(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
  }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

  // All lines, joined.
  std::string text() const {
    std::string all;
    for (const std::string& line : lines()) all += line;
    return all;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  LogSink* previous_;
};

}  // namespace quilrun

#endif
