#ifndef QUILRUN_REPORTHOST_RENDERCOMMAND_H
#define QUILRUN_REPORTHOST_RENDERCOMMAND_H

#include <string>
#include <vector>

#include "CommandLine.h"

namespace reporthost {

// report-host render TEMPLATE DATAFILE... [--threads N] [--repeat M] [--quiet]
// Loads the library, renders the template (see ReportTemplate) for the data
// files and prints the first rendering to stdout and a summary line to
// stderr: renderings, calls, errors, empty results and the time per call and
// per rendering. With --threads N, N threads render at once, each --repeat M
// times, taking the data files in turn. Exit code 4 when a call broke the
// calling convention.
class RenderCommand {
 public:
  struct Options {
    std::string templatePath;
    std::vector<std::string> dataFiles;
    int threads = 1;
    int repeat = 1;
    bool quiet = false;
  };

  // The command's own arguments. Throws a usage HostError for bad ones.
  static Options parseOptions(const std::vector<std::string>& arguments);

  // Runs the command; returns the exit code or throws a HostError.
  static int run(const CommandLine& commandLine);
};

}  // namespace reporthost

#endif
