// quilrun-soak: renders the sample report many times through the library
// against erp-sim injecting faults, checking every answer and the resident
// memory; see --help. Started by hand it sets up an installation and runs
// itself again from inside it (SoakLauncher); that copy does the rendering
// (SoakRun).
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "SoakLauncher.h"
#include "SoakOptions.h"
#include "SoakRun.h"
#include "support/HostInstallation.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  soak::SoakOptions options;
  try {
    options = soak::SoakOptions::parse(arguments);
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "quilrun-soak: %s\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(soak::SoakOptions::helpText().c_str(), stdout);
    return 0;
  }
  try {
    if (quilrun::installedRoot().empty()) {
      return soak::SoakLauncher(options, arguments,
                                {QUILRUN_LIBRARY, QUILRUN_ERP_SIM, QUILRUN_DEMO_FIXTURES})
          .run();
    }
    return soak::SoakRun(options, QUILRUN_SAMPLE_REPORT).run();
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "quilrun-soak: %s\n", error.what());
    return 3;
  }
}
