#ifndef QUILRUN_DIAGNOSTICS_LOGRECORD_H
#define QUILRUN_DIAGNOSTICS_LOGRECORD_H

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>

namespace quilrun {

// The type of a log statement selects the level word of its line.
namespace LogType {
constexpr int Debug = 1;
constexpr int Info = 2;
constexpr int Warning = 4;
constexpr int Error = 5;
constexpr int Fatal = 6;
}  // namespace LogType

// The process-wide log threshold: a statement of verbosity v is written when
// logLevel >= v. 3 until the configuration sets it; 0 or less silences all.
extern std::atomic<int> logLevel;

// Returns true iff a statement of this verbosity passes the threshold.
inline bool logEnabled(int verbosity) {
  return logLevel.load(std::memory_order_relaxed) >= verbosity;
}

// One log statement. Created with its place in the source and its verbosity
// and type; values are inserted with <<, and std::endl ends the line. A
// statement below the threshold formats nothing and reads no clock. The line
// is collected in memory and written with one locked write, so lines of
// different threads never interleave. Line format:
//   [YYYY-MM-DD hh:mm:ss.mmm], [LEVEL  ], [Function::name (37 wide)   ], [ line]: message
// Thread-safety: a record belongs to the thread that created it.
class LogRecord {
 public:
  // target: the stream to write to; null for the default log stream.
  LogRecord(const char* sourceFile, int sourceLine, const char* functionName, int verbosity,
            int type, std::ostream* target = nullptr);
  // Writes what is still pending (a statement always ends its line).
  ~LogRecord();

  LogRecord(const LogRecord&) = delete;
  LogRecord& operator=(const LogRecord&) = delete;

  LogRecord& operator<<(const char* text);
  LogRecord& operator<<(const std::string& text);
  LogRecord& operator<<(char character);
  LogRecord& operator<<(double number);
  LogRecord& operator<<(float number) { return *this << static_cast<double>(number); }
  // std::endl ends the line and writes it; other manipulators are ignored.
  LogRecord& operator<<(std::ostream& (*manipulator)(std::ostream&));

  template <typename Integer,
            typename = std::enable_if_t<std::is_integral<Integer>::value &&
                                        !std::is_same<Integer, char>::value>>
  LogRecord& operator<<(Integer number) {
    if (enabled_) line_ += std::to_string(number);
    return *this;
  }

  // The level word of a type: "DEBUG", "INFO", "WARNING", "ERROR", "FATAL",
  // or "" for any other type.
  static const char* levelWord(int type);

 private:
  void flush();

  bool enabled_;
  std::ostream* target_;
  std::string line_;
};

}  // namespace quilrun

namespace quilrun {
// Turns a statement's value into void, so that QLOG can be an expression.
struct LogVoidify {
  void operator&(LogRecord&) {}
};
}  // namespace quilrun

// Starts a log statement; its insertions are not even evaluated when the
// verbosity is above the threshold. End it with << std::endl. Being one
// expression, it is safe inside an unbraced if.
#define QLOG(functionName, verbosity, type)                        \
  !::quilrun::logEnabled(verbosity)                                \
      ? (void)0                                                    \
      : ::quilrun::LogVoidify() &                                  \
            ::quilrun::LogRecord(__FILE__, __LINE__, (functionName), (verbosity), (type))

#endif
