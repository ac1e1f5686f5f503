#include "SoakLauncher.h"

#include <signal.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "SoakFixtures.h"
#include "support/HostInstallation.h"

namespace soak {

namespace {

// Extra erp-sim workers beyond one per data file: the test endpoints'
// connections, and connections libcurl opens again after a fault closed one
// while erp-sim's worker has not yet seen the end of the old one.
constexpr int kSpareWorkers = 16;

// The library's time limit for a request in the soak's installation.
constexpr int kRequestTimeoutSeconds = 2;

}  // namespace

SoakLauncher::SoakLauncher(SoakOptions options, std::vector<std::string> arguments,
                           SoakSources sources)
    : options_(std::move(options)),
      arguments_(std::move(arguments)),
      sources_(std::move(sources)) {}

int SoakLauncher::run() const {
  const quilrun::HostInstallation installation(1);
  // Stalled and trickling replies end in this time-out.
  std::ofstream(installation.root() / "platform" / "configuration" / "corvane_talm_Quilrun.config",
                std::ios::app)
      << "RequestTimeout = " << kRequestTimeoutSeconds << "\n";
  std::vector<std::string> dataFiles;
  std::vector<std::string> first;
  std::vector<std::string> second;
  for (int i = 0; i < options_.dataFiles; ++i) {
    dataFiles.push_back(SoakOptions::dataFileName(i));
    (SoakOptions::inSecondSession(i) ? second : first).push_back(dataFiles.back());
  }

  const std::string demo = quilrun::TempFolder::readFile(sources_.demoFixtures);
  if (demo.empty()) throw std::runtime_error("cannot read " + sources_.demoFixtures);
  const std::string fixtures = (installation.root() / "erp-fixtures.xml").string();
  quilrun::HostInstallation::writeFile(
      fixtures, SoakFixtures::build(SoakFixtures::build(demo, quilrun::DemoErp::kFirstSession, first),
                                    quilrun::DemoErp::kSecondSession, second));

  // Each data file keeps one connection open, and each open connection
  // holds one of erp-sim's workers.
  quilrun::ErpSimProcess erp(sources_.erpSim,
                             {"--port", "0", "--data", fixtures, "--threads",
                              std::to_string(options_.dataFiles + kSpareWorkers)},
                             (installation.root() / "erp-sim.err").string());
  if (erp.url().empty()) throw std::runtime_error("erp-sim did not start: " + erp.errorOutput());
  for (int i = 0; i < options_.dataFiles; ++i) {
    installation.writeSession(dataFiles[static_cast<std::size_t>(i)],
                              SoakOptions::inSecondSession(i) ? quilrun::DemoErp::kSecondSession
                                                              : quilrun::DemoErp::kFirstSession,
                              erp.url());
  }

  std::printf(
      "quilrun-soak: %lld renderings on %d thread%s across %d data files, %d%% of "
      "requests faulted (seed %lld); erp-sim at %s\n",
      options_.renderings, options_.threads, options_.threads == 1 ? "" : "s", options_.dataFiles,
      options_.faultPercent, options_.seed, erp.url().c_str());
  // The copy writes to the same stdout: what is buffered here goes first.
  std::fflush(stdout);
  quilrun::ProcessOptions child;
  child.capture = false;
  child.env.emplace_back(quilrun::kErpPortVariable, std::to_string(erp.port()));
  const quilrun::ProcessOutcome outcome =
      quilrun::runCopyInside(installation, sources_.library, arguments_, child);

  const int erpExit = erp.stop(SIGTERM);
  if (erpExit != 0) {
    std::printf("erp-sim ended with exit code %d: %s\n", erpExit, erp.errorOutput().c_str());
  }

  // The errors are what the faults caused; an exception caught at an
  // export's boundary is a fault of the library's own.
  long long lines = 0;
  long long exceptions = 0;
  std::string firstException;
  for (const quilrun::LogLine& line : installation.logLines()) {
    ++lines;
    if (line.matched && line.message.rfind("Unexpected error", 0) == 0) {
      if (exceptions++ == 0) firstException = line.raw;
    }
  }
  std::printf("  library log       %lld lines, %lld exceptions caught in exports\n", lines,
              exceptions);
  if (exceptions > 0) std::printf("  first exception   %s\n", firstException.c_str());
  std::fflush(stdout);

  if (outcome.exitCode != 0) {
    std::printf("quilrun-soak: FAILED (exit code %d)\n", outcome.exitCode);
    return outcome.exitCode;
  }
  if (exceptions > 0 || erpExit != 0) {
    std::printf("quilrun-soak: FAILED\n");
    return 1;
  }
  std::printf("quilrun-soak: passed\n");
  return 0;
}

}  // namespace soak
