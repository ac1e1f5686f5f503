#ifndef QUILRUN_PLATFORM_PLATFORM_H
#define QUILRUN_PLATFORM_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace quilrun {

// A wall-clock reading in UTC, to the millisecond.
struct UtcTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// A whole file read into memory, or why it could not be.
struct FileRead {
  enum class Status { Ok, NotFound, IsDirectory, PermissionDenied, IoError };
  Status status = Status::IoError;
  // The file's bytes when status is Ok.
  std::string contents;
  // The system's description of an I/O error ("" otherwise).
  std::string error;
};

// Everything that differs between Windows and POSIX. One implementation is
// compiled per platform; tests may install a replacement that forwards to the
// real one and overrides a call or two.
// Thread-safety: all methods may be called from any thread.
class Platform {
 public:
  virtual ~Platform() = default;

  // Full path of the host process's executable (not of this library), or ""
  // when it cannot be found.
  virtual std::string executablePath() = 0;

  // The separator of path components: '\\' on Windows, '/' elsewhere.
  virtual char pathSeparator() = 0;

  // Returns true iff path exists and is a directory.
  virtual bool isDirectory(const std::string& path) = 0;

  // Opens path for appending in text mode, leaving it open to other processes
  // for reading and writing. Returns null on failure.
  virtual std::FILE* openForAppend(const std::string& path) = 0;

  // Reads the whole file at path. Blocks for as long as the file system
  // does (a file on a stalled share, a FIFO without a writer).
  virtual FileRead readFile(const std::string& path) = 0;

  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t wallSeconds() = 0;

  // The current UTC time with milliseconds.
  virtual UtcTime wallUtc() = 0;

  // The platform in force: the real one unless a test replaced it.
  static Platform& current();

  // Makes replacement the platform in force (null restores the real one) and
  // returns the previous replacement (null if none). For tests.
  static Platform* replace(Platform* replacement);

  // The real platform of this build.
  static Platform& native();
};

}  // namespace quilrun

#endif
