// The Windows platform: GetModuleFileNameA, '\\' separators, GetSystemTime.
#include <windows.h>

#include <share.h>
#include <time.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/NoDestructor.h"
#include "platform/Platform.h"

namespace quilrun {

namespace {

class WindowsPlatform final : public Platform {
 public:
  std::string executablePath() override {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
      DWORD length =
          ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return std::string();
      if (length < buffer.size()) return std::string(buffer.data(), length);
      buffer.resize(buffer.size() * 2);
    }
  }

  char pathSeparator() override { return '\\'; }

  bool isDirectory(const std::string& path) override {
    struct _stat64i32 status;
    return ::_stat64i32(path.c_str(), &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
  }

  std::FILE* openForAppend(const std::string& path) override {
    return ::_fsopen(path.c_str(), "a", _SH_DENYNO);
  }

  FileRead readFile(const std::string& path) override {
    FileRead read;
    if (isDirectory(path)) {
      read.status = FileRead::Status::IsDirectory;
      return read;
    }
    std::FILE* file = ::_fsopen(path.c_str(), "rb", _SH_DENYNO);
    if (file == nullptr) {
      const int error = errno;
      if (error == ENOENT) {
        read.status = FileRead::Status::NotFound;
      } else if (error == EACCES) {
        read.status = FileRead::Status::PermissionDenied;
      } else {
        read.error = std::error_code(error, std::generic_category()).message();
      }
      return read;
    }
    char buffer[64 * 1024];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) read.contents.append(buffer, got);
    if (std::ferror(file)) {
      read.contents.clear();
      read.error = "read error";
    } else {
      read.status = FileRead::Status::Ok;
    }
    std::fclose(file);
    return read;
  }

  std::int64_t wallSeconds() override {
    return static_cast<std::int64_t>(::_time64(nullptr));
  }

  UtcTime wallUtc() override {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    UtcTime utc;
    utc.year = now.wYear;
    utc.month = now.wMonth;
    utc.day = now.wDay;
    utc.hour = now.wHour;
    utc.minute = now.wMinute;
    utc.second = now.wSecond;
    utc.millisecond = now.wMilliseconds;
    return utc;
  }
};

}  // namespace

Platform& Platform::native() {
  // Never destroyed: log statements may run during static destruction.
  static NoDestructor<WindowsPlatform> platform;
  return platform.get();
}

}  // namespace quilrun
