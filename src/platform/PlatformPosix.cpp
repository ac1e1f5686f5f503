// The POSIX platform: /proc/self/exe, '/' separators, clock_gettime.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>
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

  FileRead readFile(const std::string& path) override {
    FileRead read;
    int descriptor;
    do {
      descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return failed(read, errno);
    struct stat status;
    if (::fstat(descriptor, &status) != 0) {
      const int error = errno;
      ::close(descriptor);
      return failed(read, error);
    }
    if (S_ISDIR(status.st_mode)) {
      ::close(descriptor);
      return failed(read, EISDIR);
    }
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
      if (got > 0) {
        read.contents.append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        const int error = errno;
        ::close(descriptor);
        read.contents.clear();
        return failed(read, error);
      }
    }
    ::close(descriptor);
    read.status = FileRead::Status::Ok;
    return read;
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

 private:
  static FileRead& failed(FileRead& read, int error) {
    switch (error) {
      case ENOENT:
      case ENOTDIR:
        read.status = FileRead::Status::NotFound;
        break;
      case EISDIR:
        read.status = FileRead::Status::IsDirectory;
        break;
      case EACCES:
      case EPERM:
        read.status = FileRead::Status::PermissionDenied;
        break;
      default:
        read.status = FileRead::Status::IoError;
        read.error = std::error_code(error, std::generic_category()).message();
        break;
    }
    return read;
  }
};

}  // namespace

Platform& Platform::native() {
  // Never destroyed: log statements may run during static destruction.
  static NoDestructor<PosixPlatform> platform;
  return platform.get();
}

}  // namespace quilrun
