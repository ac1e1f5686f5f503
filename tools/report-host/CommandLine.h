#ifndef QUILRUN_REPORTHOST_COMMANDLINE_H
#define QUILRUN_REPORTHOST_COMMANDLINE_H

#include <string>
#include <vector>

namespace reporthost {

// report-host's command line: options first, then a command and the
// command's own arguments, which are taken as they are (so they may start
// with '-').
//   report-host [--lib PATH] [--size N] COMMAND ARG...
//   report-host --help
class CommandLine {
 public:
  static constexpr int defaultResultSize = 4096;

  // Reads argv. Throws a usage HostError for an unknown option, an option
  // without its value, a bad size or a missing command.
  CommandLine(int argc, const char* const* argv);

  bool helpRequested() const { return helpRequested_; }
  const std::string& command() const { return command_; }
  const std::vector<std::string>& arguments() const { return arguments_; }
  int resultSize() const { return resultSize_; }

  // The library to load: --lib, else the library file beside the report-host
  // executable. Throws a load HostError when there is no --lib and no
  // library beside the executable.
  std::string libraryPath() const;

  // The --help text; commandList lists the commands, one per line.
  static std::string helpText(const std::string& commandList);

 private:
  bool helpRequested_ = false;
  std::string libraryPath_;
  int resultSize_ = defaultResultSize;
  std::string command_;
  std::vector<std::string> arguments_;
};

}  // namespace reporthost

#endif
