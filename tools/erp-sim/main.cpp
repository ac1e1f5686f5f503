// erp-sim: stands in for the ERP web service that the Quilrun library asks
// on a cache miss. Answers from a fixture file; see --help and README.md.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <thread>

#include "CommandLine.h"
#include "Fixtures.h"
#include "SimError.h"
#include "SimServer.h"

namespace {

using erpsim::CommandLine;
using erpsim::ExitCode;
using erpsim::Fixtures;
using erpsim::SimError;
using erpsim::SimServer;

int run(int argc, const char* const* argv) {
  const CommandLine commandLine(argc, argv);
  if (commandLine.helpRequested()) {
    std::fputs(CommandLine::helpText().c_str(), stdout);
    return static_cast<int>(ExitCode::Success);
  }
  const Fixtures fixtures = Fixtures::load(commandLine.dataFile());

  // SIGINT and SIGTERM are blocked in every thread, the server's included,
  // and taken by sigwait below, so that stopping runs as ordinary code.
  // A write to a connection the client has closed must fail, not end us.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  SimServer server(fixtures, commandLine);
  const std::string url = server.bind();

  std::atomic<bool> failed{false};
  const pthread_t mainThread = pthread_self();
  std::thread serving([&] {
    if (!server.run()) {
      failed = true;
      pthread_kill(mainThread, SIGTERM);
    }
  });
  // The first line of output, read by tests and scripts.
  std::printf("%s\n", url.c_str());
  std::fflush(stdout);

  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);
  server.stop();
  serving.join();
  if (failed) throw SimError(ExitCode::Failure, "the server stopped accepting connections");
  return static_cast<int>(ExitCode::Success);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const SimError& error) {
    std::fprintf(stderr, "erp-sim: %s\n", error.what());
    return static_cast<int>(error.exitCode());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "erp-sim: %s\n", error.what());
    return static_cast<int>(ExitCode::Failure);
  }
}
