#include "diagnostics/LogRecord.h"

#include <cstdio>
#include <mutex>

#include "diagnostics/LogStream.h"
#include "platform/Clock.h"
#include "platform/NoDestructor.h"

namespace quilrun {

std::atomic<int> logLevel{3};

namespace {
// Serialises lines written to an explicit target stream.
std::mutex& targetMutex() {
  static NoDestructor<std::mutex> mutex;
  return mutex.get();
}
}  // namespace

const char* LogRecord::levelWord(int type) {
  switch (type) {
    case LogType::Debug:
      return "DEBUG";
    case LogType::Info:
      return "INFO";
    case LogType::Warning:
      return "WARNING";
    case LogType::Error:
      return "ERROR";
    case LogType::Fatal:
      return "FATAL";
    default:
      return "";
  }
}

LogRecord::LogRecord(const char* /*sourceFile*/, int sourceLine, const char* functionName,
                     int verbosity, int type, std::ostream* target)
    : enabled_(logEnabled(verbosity)), target_(target) {
  if (!enabled_) return;
  const UtcTime now = Clock::current().nowUtc();
  const char* function = functionName != nullptr ? functionName : "";
  const char* format = "[%04d-%02d-%02d %02d:%02d:%02d.%03d], [%-7s], [%-37s], [%5i]: ";
  char prefix[256];
  int length = std::snprintf(prefix, sizeof prefix, format, now.year, now.month, now.day,
                             now.hour, now.minute, now.second, now.millisecond,
                             levelWord(type), function, sourceLine);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof prefix) {
    line_.assign(prefix, static_cast<size_t>(length));
  } else {
    // A very long function name: format again into a buffer of the full size.
    line_.resize(static_cast<size_t>(length) + 1);
    std::snprintf(&line_[0], line_.size(), format, now.year, now.month, now.day, now.hour,
                  now.minute, now.second, now.millisecond, levelWord(type), function,
                  sourceLine);
    line_.resize(static_cast<size_t>(length));
  }
}

LogRecord::~LogRecord() {
  if (enabled_ && !line_.empty()) {
    line_ += '\n';
    flush();
  }
}

LogRecord& LogRecord::operator<<(const char* text) {
  if (enabled_ && text != nullptr) line_ += text;
  return *this;
}

LogRecord& LogRecord::operator<<(const std::string& text) {
  if (enabled_) line_ += text;
  return *this;
}

LogRecord& LogRecord::operator<<(char character) {
  if (enabled_) line_ += character;
  return *this;
}

LogRecord& LogRecord::operator<<(double number) {
  if (enabled_) {
    // The default formatting of an output stream: %g with precision 6.
    char text[64];
    int length = std::snprintf(text, sizeof text, "%g", number);
    if (length > 0) line_.append(text, static_cast<size_t>(length));
  }
  return *this;
}

LogRecord& LogRecord::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
  if (enabled_ && manipulator == static_cast<std::ostream& (*)(std::ostream&)>(std::endl)) {
    line_ += '\n';
    flush();
  }
  return *this;
}

void LogRecord::flush() {
  if (target_ != nullptr) {
    std::lock_guard<std::mutex> lock(targetMutex());
    target_->write(line_.data(), static_cast<std::streamsize>(line_.size()));
    target_->flush();
  } else {
    LogStream::writeLine(line_);
  }
  line_.clear();
}

}  // namespace quilrun
