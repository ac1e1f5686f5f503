#ifndef QUILRUN_TESTS_FUZZ_DISCARDSINK_H
#define QUILRUN_TESTS_FUZZ_DISCARDSINK_H

#include <string>

#include "diagnostics/LogStream.h"

namespace quilrun {

// Takes the log lines a fuzz input causes and drops them: errors such as an
// invalid pattern or a malformed reply are expected inputs there.
class DiscardSink final : public LogSink {
 public:
  void writeLine(const std::string&) override {}

  // Sends the default log stream to a discarding sink for the process's life.
  static void install() {
    static DiscardSink sink;
    static LogSink* const previous = LogStream::redirect(&sink);
    (void)previous;
  }
};

}  // namespace quilrun

#endif
