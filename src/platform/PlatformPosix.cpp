// The POSIX platform: /proc/self/exe, '/' separators, clock_gettime.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/NoDestructor.h"
#include "platform/Platform.h"

namespace quilrun {

namespace {

class PosixPlatform final : public Platform {
 public:
  std::string executablePath() override {
    std::vector<char> buffer(4096);
    for (;;) {
      ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (length < 0) return std::string();
      if (static_cast<size_t>(length) < buffer.size()) {
        return std::string(buffer.data(), static_cast<size_t>(length));
      }
      buffer.resize(buffer.size() * 2);
    }
  }

  char pathSeparator() override { return '/'; }

  bool isDirectory(const std::string& path) override {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
  }

  std::FILE* openForAppend(const std::string& path) override {
    return std::fopen(path.c_str(), "a");
  }

  std::int64_t wallSeconds() override {
    // Whole seconds need no hardware clock read: time() returns the seconds
    // the kernel keeps (a vDSO read on Linux, under a nanosecond).
    return static_cast<std::int64_t>(::time(nullptr));
  }

  UtcTime wallUtc() override {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm fields;
    ::gmtime_r(&now.tv_sec, &fields);
    UtcTime utc;
    utc.year = fields.tm_year + 1900;
    utc.month = fields.tm_mon + 1;
    utc.day = fields.tm_mday;
    utc.hour = fields.tm_hour;
    utc.minute = fields.tm_min;
    utc.second = fields.tm_sec;
    utc.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return utc;
  }
};

}  // namespace

Platform& Platform::native() {
  // Never destroyed: log statements may run during static destruction.
  static NoDestructor<PosixPlatform> platform;
  return platform.get();
}

}  // namespace quilrun
