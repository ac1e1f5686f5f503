#ifndef QUILRUN_ERPSIM_COMMANDLINE_H
#define QUILRUN_ERPSIM_COMMANDLINE_H

#include <cstddef>
#include <string>

namespace erpsim {

// erp-sim's command line:
//   erp-sim [--port N] --data FILE [--tls CERT KEY] [--threads N]
// A bad command line throws a usage SimError.
class CommandLine {
 public:
  // The port of the web service the library falls back to when a data file
  // names none, so that such data files reach the simulator too.
  static constexpr int defaultPort = 8312;
  // Each open keep-alive connection holds one worker for as long as it stays
  // open, so there are enough for many data files' connections at once.
  static constexpr std::size_t defaultThreads = 32;

  CommandLine(int argc, const char* const* argv);

  bool helpRequested() const { return help_; }
  // 0 lets the system pick a free port.
  int port() const { return port_; }
  const std::string& dataFile() const { return dataFile_; }
  bool tls() const { return !certificateFile_.empty(); }
  const std::string& certificateFile() const { return certificateFile_; }
  const std::string& keyFile() const { return keyFile_; }
  std::size_t threads() const { return threads_; }

  static std::string helpText();

 private:
  bool help_ = false;
  int port_ = defaultPort;
  std::string dataFile_;
  std::string certificateFile_;
  std::string keyFile_;
  std::size_t threads_ = defaultThreads;
};

}  // namespace erpsim

#endif
