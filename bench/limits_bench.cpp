// limits_bench: what the library's limits hold, measured in the setting of
// the report server: the library loaded with dlopen by a host in
// <root>/platform/bin, erp-sim serving the demo fixtures with many more data
// files in its first session.
//
//   stall          the time to the fallback of a call whose web service
//                  accepts the request and never answers, and of the next
//                  call of that data file (held after the time-out)
//   endless        the peak resident memory while a call reads a reply
//                  that never ends
//   data files     descriptors and resident memory after N data files, each
//                  asked for a property, a label, a message and an amount
//   stalled read   the slowest of many warm calls on another data file while
//                  a data file's read stalls (a FIFO nobody writes yet)
//
// The configuration has LogLevel 1 and the library's defaults unless lines
// are added with --config.
//
//   limits_bench [--data-files N] [--config "Key = value"]...
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/HostInstallation.h"

namespace {

using quilrun::BoundCall;
using quilrun::LoadedLibrary;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultDataFiles = 2000;

std::string dataFileName(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "L%05d", index);
  return name;
}

double seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

// A figure of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

// Starts the peak resident memory (VmHWM) afresh from the current one.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long openDescriptors() {
  long count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    count += !entry.path().empty();
  }
  return count;
}

// The calls of one data file.
std::vector<BoundCall> callsFor(const LoadedLibrary& library, const std::string& dataFile) {
  return {quilrun::bindExport(library, "tt_getProperty", {dataFile, "UserName"}),
          quilrun::bindExport(library, "tt_getLabel", {dataFile, "tdsls.orno", "18", "1"}),
          quilrun::bindExport(library, "tt_getMessage", {dataFile, "tcmcs0010"}),
          quilrun::bindExport(library, "tt_formatAmount", {dataFile, "AMT", "EUR", "1234.5"})};
}

std::string call(const BoundCall& bound) {
  char result[512];
  bound(result, sizeof result);
  return result;
}

// The measuring run, inside the installation --------------------------------------

int measure(int dataFiles) {
  const std::filesystem::path root = quilrun::installedRoot();
  const std::filesystem::path share = root / "share" / "Talmxmlfiles";
  const std::string url = "http://127.0.0.1:" + std::to_string(quilrun::installedErpPort()) +
                          "/svcgw";
  auto session = [](const std::string& address) {
    return std::string("<s><jsessionId>") + quilrun::DemoErp::kFirstSession +
           "</jsessionId><webserviceURL>" + address + "</webserviceURL></s>";
  };
  quilrun::HostInstallation::writeFile(share / "STALLED-i", session(url + "/fault/stall"));
  quilrun::HostInstallation::writeFile(share / "ENDLESS-i", session(url + "/fault/endless"));
  if (::mkfifo((share / "FIFO-i").c_str(), 0600) != 0) {
    std::perror("limits_bench: mkfifo");
    return 1;
  }

  LoadedLibrary library(quilrun::libraryBesideExecutable());
  for (const BoundCall& each : callsFor(library, "R1001")) call(each);
  std::printf("configuration:\n%s\n",
              quilrun::TempFolder::readFile(root / "platform" / "configuration" /
                                            "corvane_talm_Quilrun.config")
                  .c_str());

  // A web service that never answers.
  const BoundCall stalled = quilrun::bindExport(library, "tt_getCompanyLogo", {"STALLED"});
  Clock::time_point start = Clock::now();
  const std::string first = call(stalled);
  const double firstSeconds = seconds(Clock::now() - start);
  start = Clock::now();
  call(stalled);
  const double heldSeconds = seconds(Clock::now() - start);
  std::printf("stall: fallback \"%s\" after %.2f s; the next call of that data file after %.6f s\n",
              first.c_str(), firstSeconds, heldSeconds);

  // A reply that never ends.
  resetPeak();
  const long rssBefore = statusKiB("VmRSS");
  start = Clock::now();
  call(quilrun::bindExport(library, "tt_getCompanyLogo", {"ENDLESS"}));
  std::printf("endless: fallback after %.2f s; resident %.1f MiB before, peak %.1f MiB during\n",
              seconds(Clock::now() - start), rssBefore / 1024.0, statusKiB("VmHWM") / 1024.0);

  // Many data files.
  const long descriptorsBefore = openDescriptors();
  const long residentBefore = statusKiB("VmRSS");
  int answered = 0;
  start = Clock::now();
  for (int i = 0; i < dataFiles; ++i) {
    const std::vector<BoundCall> calls = callsFor(library, dataFileName(i));
    answered += call(calls[0]) == "jsmith";
    for (std::size_t c = 1; c < calls.size(); ++c) call(calls[c]);
  }
  std::printf("data files: %d in %.1f s (%d answered); descriptors %ld before, %ld after; "
              "resident %.1f MiB before, %.1f MiB after\n",
              dataFiles, seconds(Clock::now() - start), answered, descriptorsBefore,
              openDescriptors(), residentBefore / 1024.0, statusKiB("VmRSS") / 1024.0);

  // A data file whose read stalls, while another data file is called warm.
  const BoundCall warm = quilrun::bindExport(library, "tt_getProperty", {"R1001", "UserName"});
  std::atomic<bool> readDone{false};
  std::thread reader([&] {
    call(quilrun::bindExport(library, "tt_getProperty", {"FIFO", "UserName"}));
    readDone.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Clock::duration slowest{};
  long calls = 0;
  const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < until) {
    const Clock::time_point one = Clock::now();
    if (call(warm) != "jsmith") std::printf("stalled read: a warm call gave a wrong answer\n");
    slowest = std::max(slowest, Clock::now() - one);
    ++calls;
  }
  const bool stillStalled = !readDone.load();
  {
    const int fifo = ::open((share / "FIFO-i").c_str(), O_WRONLY);
    const std::string content = session(url);
    if (fifo >= 0 && ::write(fifo, content.data(), content.size()) < 0) std::perror("write");
    if (fifo >= 0) ::close(fifo);
  }
  reader.join();
  std::printf("stalled read: %ld warm calls on another data file in 1 s while the read stalled "
              "(%s), the slowest %.1f us\n",
              calls, stillStalled ? "still stalled at the end" : "NOT stalled",
              std::chrono::duration<double, std::micro>(slowest).count());
  return 0;
}

// The setting-up run ----------------------------------------------------------------

int setUp(int argc, char** argv) {
  int dataFiles = kDefaultDataFiles;
  std::string configuration;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--data-files" && i + 1 < argc) {
      dataFiles = std::atoi(argv[++i]);
    } else if (word == "--config" && i + 1 < argc) {
      configuration += std::string(argv[++i]) + "\n";
    } else {
      std::fprintf(stderr,
                   "usage: limits_bench [--data-files N] [--config \"Key = value\"]...\n");
      return 2;
    }
  }
  quilrun::HostInstallation installation(1);
  std::ofstream(installation.root() / "platform" / "configuration" /
                    "corvane_talm_Quilrun.config",
                std::ios::app)
      << configuration;
  // The demo fixtures, with the data files added to the first session.
  std::string fixtures = quilrun::TempFolder::readFile(QUILRUN_DEMO_FIXTURES);
  const std::string anchor = "<dataFile name=\"R1002\"/>";
  std::string extra;
  for (int i = 0; i < dataFiles; ++i) extra += "<dataFile name=\"" + dataFileName(i) + "\"/>";
  fixtures.insert(fixtures.find(anchor) + anchor.size(), extra);
  const std::string fixtureFile = (installation.root() / "bench-fixtures.xml").string();
  quilrun::HostInstallation::writeFile(fixtureFile, fixtures);
  const quilrun::DemoErp erp(installation, QUILRUN_ERP_SIM, fixtureFile, {"--threads", "64"});
  for (int i = 0; i < dataFiles; ++i) {
    installation.writeSession(dataFileName(i), quilrun::DemoErp::kFirstSession,
                              erp.process().url());
  }
  installation.install(QUILRUN_LIBRARY, "libquilrun.so");
  const std::string copy = installation.install(quilrun::currentExecutable());
  quilrun::ProcessOptions options;
  options.capture = false;
  options.workDir = installation.root().string();
  options.env = {{quilrun::kInstalledRootVariable, installation.root().string()},
                 {quilrun::kErpPortVariable, std::to_string(erp.port())}};
  return quilrun::runProgram(copy, {"--data-files", std::to_string(dataFiles)}, options).exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (quilrun::installedRoot().empty()) return setUp(argc, argv);
  const int dataFiles = argc >= 3 ? std::atoi(argv[2]) : kDefaultDataFiles;
  return measure(dataFiles);
}
