#ifndef QUILRUN_DIAGNOSTICS_LOGSTREAM_H
#define QUILRUN_DIAGNOSTICS_LOGSTREAM_H

#include <cstddef>
#include <string>

namespace quilrun {

// Receives whole log lines instead of the default stream. For tests.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // Called with one complete line, newline included, under the stream's lock.
  virtual void writeLine(const std::string& line) = 0;
};

// The process-wide default log stream. At the first line it is chosen once
// and for good: the file "Quilrun_<seconds>.log" in the "logs" folder beside
// the host executable's folder, else that name in the current directory, else
// standard output when the file cannot be opened. The file is opened for
// appending and every line is written whole with one locked write and
// flushed, so lines of concurrent threads never interleave.
// Thread-safety: all methods may be called from any thread.
class LogStream {
 public:
  // Writes one complete line (the caller includes the newline).
  static void writeLine(const std::string& line);

  // Closes the log file; later lines are dropped. Called when the library is
  // unloaded.
  static void close();

  // The path of the chosen log file, "" while unchosen or when the lines go
  // to standard output.
  static std::string filePath();

  // Sends lines to sink instead of the default stream (null ends it) and
  // returns the previous sink. For tests.
  static LogSink* redirect(LogSink* sink);

  // Returns the stream to its unchosen state, closing a file it opened. For
  // tests of the one-time choice.
  static void resetForTesting();
};

}  // namespace quilrun

#endif
