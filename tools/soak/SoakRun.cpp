#include "SoakRun.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <thread>
#include <vector>

#include "CallOracle.h"
#include "CommandLine.h"
#include "DataFileSchedule.h"
#include "DynamicLibrary.h"
#include "FaultRotation.h"
#include "MemorySample.h"
#include "MemoryTrend.h"
#include "ReportRenderer.h"
#include "ReportTemplate.h"
#include "ResidentMemory.h"
#include "support/HostInstallation.h"

namespace soak {

using reporthost::ReportRenderer;

namespace {

double percentOf(long long part, long long whole) {
  return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

}  // namespace

SoakRun::SoakRun(SoakOptions options, std::string reportPath)
    : options_(std::move(options)), reportPath_(std::move(reportPath)) {}

int SoakRun::run() const {
  const int port = quilrun::installedErpPort();
  if (port <= 0) throw std::runtime_error("no erp-sim port in the environment");
  std::vector<std::string> dataFiles;
  for (int i = 0; i < options_.dataFiles; ++i) dataFiles.push_back(SoakOptions::dataFileName(i));
  // Before the library is loaded, so that all its blocks are placed under
  // the same thresholds.
  std::printf("allocator: %s\n",
              ResidentMemory::pinAllocatorThresholds()
                  ? "mmap and trim thresholds fixed at 128 KiB"
                  : "thresholds not fixed (the allocator takes no such setting)");

  // Declared in this order so that the renderer, which holds the library's
  // functions, goes before the library is closed at the end.
  const reporthost::DynamicLibrary library(quilrun::libraryBesideExecutable());
  const reporthost::ReportTemplate report = reporthost::ReportTemplate::fromFile(reportPath_);
  const ReportRenderer renderer(report, library);
  // Large enough for every answer of the sample report, so no answer is cut.
  const int resultSize = reporthost::CommandLine::defaultResultSize;

  // The baselines, one per session: no rule is posted yet, so erp-sim
  // faults nothing. The second session's is rendered for its first data
  // file (the fourth), when there is one.
  std::vector<CallOracle> oracles;
  for (const int index : {0, 3}) {
    if (index >= options_.dataFiles) break;
    const std::string& dataFile = dataFiles[static_cast<std::size_t>(index)];
    oracles.emplace_back(renderer.render(dataFile, resultSize));
    std::printf("baseline: %zu calls of %zu exports per rendering, rendered for %s (%s session) "
                "without faults",
                oracles.back().baseline().calls.size(), oracles.back().exports().size(),
                dataFile.c_str(), SoakOptions::inSecondSession(index) ? "second" : "first");
    if (const int blind = oracles.back().indistinguishableCalls()) {
      std::printf(" (%d answer%s equal to the fallback)", blind, blind == 1 ? "" : "s");
    }
    std::printf("\n");
  }
  if (quilrun::ErpCounts::fetch(port)["faults"] != 0) {
    throw std::runtime_error("erp-sim faulted requests of the renderings without faults");
  }
  if (oracles.size() > 1 && oracles[1].exports() != oracles[0].exports()) {
    throw std::runtime_error("the sessions' baselines call different exports");
  }
  const CallOracle& oracle = oracles.front();
  // The oracle of the session that data file index belongs to.
  auto oracleFor = [&oracles](std::size_t index) -> const CallOracle& {
    return SoakOptions::inSecondSession(static_cast<int>(index)) && oracles.size() > 1
               ? oracles[1]
               : oracles[0];
  };

  quilrun::httpExchange(port, "POST", "/stats/reset");
  FaultRotation rotation(port, options_.faultPercent, options_.seed, options_.renderingsPerPhase());

  const long long total = options_.renderings;
  const DataFileSchedule schedule(total, dataFiles.size());
  // The memory is sampled with no rendering under way: each half runs on
  // threads of its own, joined before the sample, so that no reply is held
  // at the moment.
  const char* const distortion = ResidentMemory::distortion();
  const MemorySample atStart = MemorySample::settled(port);
  std::printf("RSS at the start:  %s\n", atStart.describe(distortion).c_str());
  std::fflush(stdout);

  const auto threadCount = static_cast<std::size_t>(options_.threads);
  std::vector<CallOracle::Tally> tallies(threadCount, oracle.newTally());
  std::vector<std::string> failures(threadCount);
  double seconds = 0;
  // Renders the renderings numbered [from, to) and adds the time taken.
  auto renderPart = [&](long long from, long long to) {
    std::atomic<long long> next{from};
    std::atomic<bool> stopped{false};
    auto renderAll = [&](std::size_t thread) {
      try {
        while (!stopped.load(std::memory_order_relaxed)) {
          const long long number = next.fetch_add(1);
          if (number >= to) break;
          rotation.enter(number);
          const std::size_t index = schedule.dataFileFor(number);
          const std::string& dataFile = dataFiles[index];
          const ReportRenderer::Rendering rendering = renderer.render(dataFile, resultSize);
          oracleFor(index).check(rendering, dataFile, number, tallies[thread]);
        }
      } catch (const std::exception& error) {
        failures[thread] = error.what();
        stopped.store(true);
      }
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (std::size_t thread = 1; thread < threadCount; ++thread) {
      threads.emplace_back(renderAll, thread);
    }
    renderAll(0);
    for (std::thread& thread : threads) thread.join();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const std::string& failure : failures) {
      if (!failure.empty()) throw std::runtime_error("the soak stopped: " + failure);
    }
  };
  renderPart(0, total / 2);
  const MemorySample atMiddle = MemorySample::settled(port);
  std::printf("RSS in the middle: %s\n", atMiddle.describe(distortion).c_str());
  std::fflush(stdout);
  renderPart(total / 2, total);
  rotation.finish();
  const MemorySample atEnd = MemorySample::settled(port);
  const quilrun::ErpCounts erp = quilrun::ErpCounts::fetch(port);

  CallOracle::Tally tally = oracle.newTally();
  for (const CallOracle::Tally& part : tallies) tally.add(part);

  std::printf("RSS at the end:    %s\n", atEnd.describe(distortion).c_str());

  std::printf("\nfault kinds (each on %d%% of requests, rotated every %lld renderings):\n",
              options_.faultPercent, options_.renderingsPerPhase());
  std::printf("  %-18s %7s %10s %9s %8s\n", "fault", "phases", "requests", "faulted", "share");
  for (const FaultRotation::KindCounts& kind : rotation.counts()) {
    std::printf("  %-18s %7lld %10lld %9lld %7.2f%%\n", kind.fault.c_str(), kind.phases,
                kind.requests, kind.faulted, percentOf(kind.faulted, kind.requests));
  }

  std::printf(
      "\nfallbacks by export (answers that were the fallback instead of the correct one):\n");
  for (std::size_t i = 0; i < oracle.exports().size(); ++i) {
    long long perRendering = 0;
    for (const ReportRenderer::Call& call : oracle.baseline().calls) {
      if (oracle.exports()[i] == call.function) ++perRendering;
    }
    const long long calls = perRendering * tally.renderings;
    std::printf("  %-24s %9lld of %10lld calls (%.3f%%)\n", oracle.exports()[i].c_str(),
                tally.fallbacks[i], calls, percentOf(tally.fallbacks[i], calls));
  }

  long long fallbacks = 0;
  for (const long long count : tally.fallbacks) fallbacks += count;
  const MemoryTrend memory(atStart, atMiddle, atEnd, distortion, options_.dataFiles);
  std::printf("\nsummary:\n");
  std::printf("  renderings        %lld on %d thread%s across %d data files\n", tally.renderings,
              options_.threads, options_.threads == 1 ? "" : "s", options_.dataFiles);
  std::printf("  calls             %lld\n", tally.calls);
  std::printf("  requests          %ld (store %ld, properties %ld, call %ld)\n", erp.requests(),
              erp["store"], erp["properties"], erp["call"]);
  std::printf("  faulted requests  %ld (%.2f%% of the requests)\n", erp["faults"],
              percentOf(erp["faults"], erp.requests()));
  std::printf("  fallbacks         %lld (%.3f%% of the calls)\n", fallbacks,
              percentOf(fallbacks, tally.calls));
  std::printf("  mismatches        %lld (%lld broken calls)\n", tally.mismatches, tally.broken);
  std::printf("  time              %.2f s (%.1f us per rendering)\n", seconds,
              tally.renderings > 0 ? seconds * 1e6 / static_cast<double>(tally.renderings) : 0.0);
  std::fputs(memory.summary(options_.checkRss).c_str(), stdout);
  for (const std::string& shown : tally.shown) std::printf("  MISMATCH %s\n", shown.c_str());
  if (tally.mismatches > static_cast<long long>(tally.shown.size())) {
    std::printf("  ... and %lld more mismatches\n",
                tally.mismatches - static_cast<long long>(tally.shown.size()));
  }
  std::fflush(stdout);

  if (tally.mismatches > 0) return 1;
  if (options_.checkRss && !memory.flat()) return 1;
  return 0;
}

}  // namespace soak
