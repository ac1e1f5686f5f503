#ifndef QUILRUN_REPORTHOST_LOGCAPTURE_H
#define QUILRUN_REPORTHOST_LOGCAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/LogStream.h"

namespace reporthost {

// Takes the log lines of the library code that report-host runs itself (the
// check command) instead of writing them to a log file, at the most detailed
// level, so that their messages can explain a failed check. Restores the
// previous sink and level when destroyed.
// Thread-safety: lines may arrive from any thread.
class LogCapture : public quilrun::LogSink {
 public:
  struct Line {
    std::string level;    // "ERROR", "WARNING", "DEBUG", ...
    std::string message;  // the text after the line's prefix
  };

  LogCapture();
  ~LogCapture() override;

  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  void writeLine(const std::string& line) override;

  // Forgets the lines taken so far and returns them.
  std::vector<Line> take();

  // The messages of the ERROR and FATAL lines among lines, joined by "; ".
  static std::string errors(const std::vector<Line>& lines);

  // Whether any of lines has a message that contains text.
  static bool contains(const std::vector<Line>& lines, const std::string& text);

 private:
  std::mutex mutex_;
  std::vector<Line> lines_;
  quilrun::LogSink* previousSink_;
  int previousLevel_;
};

}  // namespace reporthost

#endif
