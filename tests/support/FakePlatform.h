#ifndef QUILRUN_TESTS_SUPPORT_FAKEPLATFORM_H
#define QUILRUN_TESTS_SUPPORT_FAKEPLATFORM_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/Platform.h"

namespace quilrun {

// The real platform with a chosen executable path and, on request, a log file
// that cannot be opened or files that cannot be read; installed for the life
// of the object.
// path with every "/" replaced by the separator of the platform the tests
// run on: the paths the library forms itself (as from properties.xml) use it.
inline std::string withNativeSeparators(std::string path) {
  const char separator = Platform::native().pathSeparator();
  for (char& c : path) {
    if (c == '/') c = separator;
  }
  return path;
}

class FakePlatform final : public Platform {
 public:
  explicit FakePlatform(std::string executablePath)
      : executablePath_(std::move(executablePath)), previous_(Platform::replace(this)) {}
  ~FakePlatform() override { Platform::replace(previous_); }

  std::string executablePath() override { return executablePath_; }
  char pathSeparator() override { return Platform::native().pathSeparator(); }
  bool isDirectory(const std::string& path) override {
    return Platform::native().isDirectory(path);
  }
  std::FILE* openForAppend(const std::string& path) override {
    opens_.fetch_add(1);
    return failOpen_ ? nullptr : Platform::native().openForAppend(path);
  }
  FileRead readFile(const std::string& path) override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (readFailure_.status != FileRead::Status::Ok) return readFailure_;
      const bool stalled = !stallSuffix_.empty() && path.size() >= stallSuffix_.size() &&
                           path.compare(path.size() - stallSuffix_.size(), stallSuffix_.size(),
                                        stallSuffix_) == 0;
      if (stalled) {
        ++stalledReads_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return stallSuffix_.empty(); });
      }
    }
    return Platform::native().readFile(path);
  }
  std::int64_t wallSeconds() override { return Platform::native().wallSeconds(); }
  UtcTime wallUtc() override { return Platform::native().wallUtc(); }

  void failOpen(bool fail) { failOpen_ = fail; }
  // Reads of files whose path ends in suffix wait until releaseReads, as on
  // a share that stalls.
  void stallReads(const std::string& suffix) {
    std::lock_guard<std::mutex> lock(mutex_);
    stallSuffix_ = suffix;
  }
  void releaseReads() {
    std::lock_guard<std::mutex> lock(mutex_);
    stallSuffix_.clear();
    changed_.notify_all();
  }
  // Blocks until count reads have stalled in all.
  void waitForStalledReads(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stalledReads_ >= count; });
  }
  // Every file read fails with status (and error) from now on; Ok reads again.
  void failReads(FileRead::Status status, const std::string& error = "") {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailure_.status = status;
    readFailure_.error = error;
  }
  int opens() const { return opens_.load(); }

 private:
  std::string executablePath_;
  std::atomic<bool> failOpen_{false};
  std::atomic<int> opens_{0};
  std::mutex mutex_;  // guards readFailure_ and the stalling
  std::condition_variable changed_;
  FileRead readFailure_{FileRead::Status::Ok, "", ""};
  std::string stallSuffix_;
  int stalledReads_ = 0;
  Platform* previous_;
};

}  // namespace quilrun

#endif
