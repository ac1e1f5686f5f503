// report-host: stands in for the report server. Loads the Quilrun library by
// path and calls its exports from the command line; see --help.
#include <cstdio>
#include <exception>
#include <string>

#include "CallCommand.h"
#include "CheckCommand.h"
#include "CommandLine.h"
#include "HostError.h"
#include "RenderCommand.h"

namespace {

using reporthost::CommandLine;
using reporthost::ExitCode;
using reporthost::HostError;

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const CommandLine&);
};

// A new command is one more row.
const Command commands[] = {
    {"call", "call one export and print its result", &reporthost::CallCommand::run},
    {"render", "render a report template through the exports", &reporthost::RenderCommand::run},
    {"check", "check the installation and a data file, step by step",
     &reporthost::CheckCommand::run},
};

std::string commandList() {
  std::string text;
  for (const Command& command : commands) {
    text += std::string("  ") + command.name + "  " + command.summary + "\n";
  }
  return text;
}

int fail(ExitCode exitCode, const std::string& message) {
  std::fprintf(stderr, "report-host: %s\n", message.c_str());
  return static_cast<int>(exitCode);
}

int run(int argc, const char* const* argv) {
  const CommandLine commandLine(argc, argv);
  if (commandLine.helpRequested()) {
    std::fputs(CommandLine::helpText(commandList()).c_str(), stdout);
    return static_cast<int>(ExitCode::Success);
  }
  for (const Command& command : commands) {
    if (commandLine.command() == command.name) return command.run(commandLine);
  }
  throw HostError(ExitCode::Usage,
                  "unknown command '" + commandLine.command() + "'; see report-host --help");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const HostError& error) {
    return fail(error.exitCode(), error.what());
  } catch (const std::exception& error) {
    return fail(ExitCode::Failure, error.what());
  }
}
