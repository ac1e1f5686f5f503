// report_bench: the cost of a report function call through the exported
// entry point, in the setting of the report server: the library loaded with
// dlopen by a host in <root>/platform/bin of a report server installation,
// its exports resolved by name, the ERP web service simulated by erp-sim.
//
//   warm   every export on a warm cache (the value was fetched before), in
//          ns per call with one thread, beside the floor measured in the same
//          run: a bare std::unordered_map<std::string, std::string> find and
//          a copy of the value into a char buffer. Then the throughput of two
//          threads against one, once with both threads on one data file and
//          once with a data file each.
//   cold   the first call for a data file (tt_getProperty, which makes one
//          properties request) beside the raw transport: the same request
//          posted with libcurl on a kept-alive connection, and on a new one.
//
// The program builds the installation and starts erp-sim, then runs a copy
// of itself from the installation's platform/bin, which loads the library
// and measures. The configured log level is 1 (errors only), as in
// production. Each figure is the best of several repetitions.
//
//   report_bench [--only EXPORT [--pair same|own]]
//       just the warm loop of EXPORT (in two threads with --pair), for a profiler
//   QUILRUN_BENCH_RUNNER="valgrind --tool=callgrind"  runs the copy under it
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "BenchResult.h"
#include "RawRequest.h"
#include "support/HostInstallation.h"

namespace {

using quilrun::BoundCall;
using quilrun::ExportCall;
using quilrun::LoadedLibrary;
using quilrun::bench::RawRequest;
using Clock = std::chrono::steady_clock;

constexpr int kColdDataFiles = 100;
constexpr int kRepetitions = 5;
constexpr auto kMinimumLoop = std::chrono::milliseconds(30);

std::string coldDataFile(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "C%04d", index);
  return name;
}

double nanoseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::nano>(duration).count();
}

// Nanoseconds per call of call(), best of the repetitions; the call count
// per repetition is doubled until one repetition lasts kMinimumLoop.
double timePerCall(const std::function<void()>& call) {
  long count = 64;
  for (;;) {
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < count; ++i) call();
    if (Clock::now() - start >= kMinimumLoop) break;
    count *= 2;
  }
  double best = 1e300;
  for (int r = 0; r < kRepetitions; ++r) {
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < count; ++i) call();
    best = std::min(best, nanoseconds(Clock::now() - start) / static_cast<double>(count));
  }
  return best;
}

// Calls per second of two threads at once, each calling its own call; best
// of the repetitions.
double pairThroughput(const std::function<void()>& first, const std::function<void()>& second,
                      double singleNanoseconds) {
  const long count = std::max(1000L, static_cast<long>(60e6 / std::max(singleNanoseconds, 1.0)));
  double best = 0;
  for (int r = 0; r < kRepetitions; ++r) {
    std::atomic<int> ready{0};
    auto run = [&](const std::function<void()>& call) {
      ready.fetch_add(1);
      while (ready.load() < 3) {
      }
      for (long i = 0; i < count; ++i) call();
    };
    std::thread a(run, std::cref(first));
    std::thread b(run, std::cref(second));
    while (ready.load() < 2) {
    }
    const Clock::time_point start = Clock::now();
    ready.fetch_add(1);
    a.join();
    b.join();
    const double seconds = nanoseconds(Clock::now() - start) / 1e9;
    best = std::max(best, 2.0 * static_cast<double>(count) / seconds);
  }
  return best;
}

// The bare lookup: find the call's key in a map of all answers, copy the
// value into the buffer (bounded, NUL-terminated), as an export must.
struct Floor {
  explicit Floor(const std::vector<ExportCall>& calls) {
    for (const ExportCall& call : calls) answers[call.describe()] = call.answer;
  }
  std::function<void()> lookup(const ExportCall& call, char* buffer, int size) const {
    const std::string key = call.describe();
    return [this, key, buffer, size] {
      const auto it = answers.find(key);
      if (it == answers.end()) return;
      const std::size_t count = std::min(it->second.size(), static_cast<std::size_t>(size) - 1);
      std::memcpy(buffer, it->second.data(), count);
      buffer[count] = '\0';
    };
  }
  std::unordered_map<std::string, std::string> answers;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The measuring run, inside the installation ---------------------------------------

int measure(const std::string& only, const std::string& pair) {
  LoadedLibrary library(quilrun::libraryBesideExecutable());
  const std::vector<ExportCall>& calls = quilrun::demoCalls();
  char buffer[4096];
  char other[4096];
  auto bound = [&](const ExportCall& call, char* into) {
    const BoundCall function = quilrun::bindExport(library, call.function, call.args);
    return [function, into] { function(into, 4096); };
  };
  // Warm up both data files and check the answers.
  for (const ExportCall& call : calls) {
    for (const char* dataFile : {"R1001", "R1002"}) {
      const ExportCall own = call.asks.empty() ? call : call.forDataFile(dataFile);
      bound(own, buffer)();
      if (own.answer != buffer) {
        std::fprintf(stderr, "%s answered \"%s\"\n", own.describe().c_str(), buffer);
        return 1;
      }
    }
  }
  if (!only.empty()) {
    for (const ExportCall& call : calls) {
      if (call.function != only) continue;
      const std::function<void()> warm = bound(call, buffer);
      auto loop = [](std::function<void()> function) {
        for (long i = 0; i < 1000000; ++i) function();
      };
      if (pair.empty()) {
        loop(warm);
      } else {
        std::thread second(loop, bound(pair == "own" ? call.forDataFile("R1002") : call, other));
        loop(warm);
        second.join();
      }
      return 0;
    }
    std::fprintf(stderr, "no export %s\n", only.c_str());
    return 2;
  }

  // What two threads can give at all here: a loop that shares nothing.
  auto spin = [] {
    static thread_local volatile unsigned long sink = 1;
    unsigned long x = sink;
    for (int i = 0; i < 64; ++i) x = x * 6364136223846793005UL + 1442695040888963407UL;
    sink = x;
  };
  const double spinSingle = timePerCall(spin);
  const double machine = pairThroughput(spin, spin, spinSingle) / (1e9 / spinSingle);

  const Floor floor(calls);
  std::printf(
      "Warm calls through the exports (log level 1), ns per call; floor: unordered_map\n"
      "find + copy of the same answer; 2 threads: throughput against 1 thread, both\n"
      "threads on data file R1001 (same file) or on R1001 and R1002 (own file).\n"
      "Two threads of a loop that shares nothing: %.2fx (the machine's parallelism now).\n\n",
      machine);
  std::printf("%-24s %9s %8s %8s | %9s %9s %9s\n", "export", "1 thread", "floor", "x floor",
              "same file", "own file", "floor 2t");
  // The table's figures as bench/run's result lines, printed at the end:
  // the one-thread rows, then the two-thread rows.
  struct Result {
    std::string name;
    double figure;
    const char* unit;
    double floor;  // 0: none
    std::string floorName;
    std::string goal = "-";
  };
  std::vector<Result> singleRows;
  std::vector<Result> pairRows;
  pairRows.push_back({"2 threads of a loop that shares nothing", machine, "x 1 thread", 0, ""});
  for (const ExportCall& call : calls) {
    const std::function<void()> warm = bound(call, buffer);
    const double single = timePerCall(warm);
    if (!call.cached) {
      std::printf("%-24s %9.0f %8s %8s | %9s %9s %9s  %s\n", call.function.c_str(), single, "-",
                  "-", "-", "-", "-",
                  call.asks.empty() ? "(no cache, no server)" : "(asks the server every call)");
      // No floor here: render_bench has one for the calls that ask every
      // time (raw POSTs taking turns with them). The filters are set beside
      // a warm cached lookup below; filter_bench has their throughput.
      singleRows.push_back({"warm " + call.function, single, "ns/call", 0, ""});
      continue;
    }
    const std::function<void()> floorCall = floor.lookup(call, buffer, 4096);
    const double floorSingle = timePerCall(floorCall);
    const double oneThread = 1e9 / single;
    const double same = pairThroughput(warm, bound(call, other), single) / oneThread;
    const double own =
        pairThroughput(warm, bound(call.forDataFile("R1002"), other), single) / oneThread;
    const double floorPair =
        pairThroughput(floorCall, floor.lookup(call, other, 4096), floorSingle) /
        (1e9 / floorSingle);
    std::printf("%-24s %9.0f %8.1f %7.1fx | %8.2fx %8.2fx %8.2fx\n", call.function.c_str(), single,
                floorSingle, single / floorSingle, same, own, floorPair);
    singleRows.push_back({"warm " + call.function, single, "ns/call", floorSingle,
                          "unordered_map find + copy of the same answer"});
    pairRows.push_back({"warm " + call.function + ", 2 threads, same file", same, "x 1 thread",
                        floorPair, "the floor's lookup in 2 threads, x its 1 thread"});
    pairRows.push_back({"warm " + call.function + ", 2 threads, own file", own, "x 1 thread",
                        floorPair, "the floor's lookup in 2 threads, x its 1 thread"});
  }

  // Cold calls: the first tt_getProperty for each of the fresh data files.
  const ExportCall property{"tt_getProperty",
                            {"C0000", "ReportTitle"},
                            "Sales Order Acknowledgement",
                            "properties",
                            true};
  std::vector<double> cold;
  for (int i = 0; i < kColdDataFiles; ++i) {
    const BoundCall call =
        quilrun::bindExport(library, property.function, property.forDataFile(coldDataFile(i)).args);
    const Clock::time_point start = Clock::now();
    call(buffer, sizeof buffer);
    cold.push_back(nanoseconds(Clock::now() - start));
    if (property.answer != buffer) {
      std::fprintf(stderr, "cold call %d answered \"%s\"\n", i, buffer);
      return 1;
    }
  }
  const int port = quilrun::installedErpPort();
  RawRequest raw(port, "properties");
  std::vector<double> keptAlive;
  std::vector<double> fresh;
  CURL* handle = curl_easy_init();
  raw.post(handle);  // connects
  for (int i = 0; i < 1000; ++i) {
    const Clock::time_point start = Clock::now();
    if (!raw.post(handle)) return 1;
    keptAlive.push_back(nanoseconds(Clock::now() - start));
  }
  curl_easy_cleanup(handle);
  for (int i = 0; i < kColdDataFiles; ++i) {
    const Clock::time_point start = Clock::now();
    CURL* once = curl_easy_init();
    const bool ok = raw.post(once);
    curl_easy_cleanup(once);
    fresh.push_back(nanoseconds(Clock::now() - start));
    if (!ok) return 1;
  }
  std::printf("\nCold call beside the raw transport, microseconds (median / min):\n");
  auto row = [](const char* what, const std::vector<double>& values) {
    std::printf("  %-58s %8.1f / %8.1f\n", what, median(values) / 1e3,
                *std::min_element(values.begin(), values.end()) / 1e3);
  };
  row("tt_getProperty, first call for a data file", cold);
  row("raw libcurl POST of the properties request, kept-alive", keptAlive);
  row("raw libcurl POST of the properties request, new connection", fresh);

  // A filter call on the sample report's short texts should cost about
  // what a cached lookup through its export costs, not a compilation.
  double lookup = 0;
  for (const Result& result : singleRows) {
    if (result.name == "warm tt_getProperty") lookup = result.figure;
  }
  for (Result& result : singleRows) {
    if (result.name.rfind("warm tt_filterText", 0) == 0 && lookup > 0) {
      result.floor = lookup;
      result.floorName = "warm tt_getProperty (a cached lookup through its export)";
      result.goal = "<=10";
    }
  }

  // The same figures for bench/run's table.
  for (const std::vector<Result>* rows : {&singleRows, &pairRows}) {
    for (const Result& result : *rows) {
      quilrun::bench::printResult("report_bench", result.name, result.figure, result.unit,
                                  result.floor, result.floorName, result.goal);
    }
  }
  quilrun::bench::printResult("report_bench", "cold tt_getProperty, first call, median",
                              median(cold) / 1e3, "us/call", median(fresh) / 1e3,
                              "raw libcurl POST, same request, new connection, median");
  return 0;
}

// The setting-up run ---------------------------------------------------------------

int setUp(int argc, char** argv) {
  quilrun::HostInstallation installation(1);
  // The demo fixtures, with the cold calls' data files added to the first session.
  std::string fixtures = quilrun::TempFolder::readFile(QUILRUN_DEMO_FIXTURES);
  const std::string anchor = "<dataFile name=\"R1002\"/>";
  std::string extra;
  for (int i = 0; i < kColdDataFiles; ++i) extra += "<dataFile name=\"" + coldDataFile(i) + "\"/>";
  fixtures.insert(fixtures.find(anchor) + anchor.size(), extra);
  const std::string fixtureFile = (installation.root() / "bench-fixtures.xml").string();
  quilrun::HostInstallation::writeFile(fixtureFile, fixtures);
  // A worker for each kept-alive connection: one per data file and the raw ones.
  const quilrun::DemoErp erp(installation, QUILRUN_ERP_SIM, fixtureFile,
                             {"--threads", std::to_string(kColdDataFiles + 16)});
  for (int i = 0; i < kColdDataFiles; ++i) {
    installation.writeSession(coldDataFile(i), quilrun::DemoErp::kFirstSession,
                              erp.process().url());
  }

  installation.install(QUILRUN_LIBRARY, "libquilrun.so");
  const std::string copy = installation.install(quilrun::currentExecutable());
  // Through env, so that a runner is found on the PATH.
  std::vector<std::string> words;
  if (const char* runner = std::getenv("QUILRUN_BENCH_RUNNER")) {
    std::istringstream split(runner);
    for (std::string word; split >> word;) words.push_back(word);
  }
  words.push_back(copy);
  for (int i = 1; i < argc; ++i) words.push_back(argv[i]);
  quilrun::ProcessOptions options;
  options.capture = false;
  options.workDir = installation.root().string();
  options.env = {{quilrun::kInstalledRootVariable, installation.root().string()},
                 {quilrun::kErpPortVariable, std::to_string(erp.port())}};
  return quilrun::runProgram("/usr/bin/env", words, options).exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (quilrun::installedRoot().empty()) return setUp(argc, argv);
  const std::string only = argc >= 3 && std::string(argv[1]) == "--only" ? argv[2] : "";
  const std::string pair = argc >= 5 && std::string(argv[3]) == "--pair" ? argv[4] : "";
  return measure(only, pair);
}
