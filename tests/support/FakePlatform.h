#ifndef QUILRUN_TESTS_SUPPORT_FAKEPLATFORM_H
#define QUILRUN_TESTS_SUPPORT_FAKEPLATFORM_H

#include <atomic>
#include <string>

#include "platform/Platform.h"

namespace quilrun {

// The real platform with a chosen executable path and, on request, a log file
// that cannot be opened; installed for the life of the object.
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
  std::int64_t wallSeconds() override { return Platform::native().wallSeconds(); }
  UtcTime wallUtc() override { return Platform::native().wallUtc(); }

  void failOpen(bool fail) { failOpen_ = fail; }
  int opens() const { return opens_.load(); }

 private:
  std::string executablePath_;
  std::atomic<bool> failOpen_{false};
  std::atomic<int> opens_{0};
  Platform* previous_;
};

}  // namespace quilrun

#endif
