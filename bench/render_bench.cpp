// render_bench: the whole sample report, samples/reports/order-confirmation.qrt,
// rendered the way the report server renders it: the library loaded with
// dlopen by a host in <root>/platform/bin of a report server installation,
// every field evaluated by report-host's ReportRenderer (result buffers of
// report-host's default size), the ERP web service simulated by erp-sim, the
// configured log level 1 (errors only), as in production.
//
//   cold   every rendering on a data file the library has not seen, so every
//          cached call misses and asks erp-sim. One fresh data file per
//          rendering (C0000, C0001, ...), all in the session of R1001 on the
//          one erp-sim. Figure: the median rendering.
//   warm   data file R1001 rendered again and again: every call is answered
//          from the cache except those that ask the server every time
//          (tt_getBarcodeImage and tt_getText). Figure: the best batch's
//          mean rendering, the median batch beside it.
// Each per report, and per call (the report's time over its calls).
//
// The floors, measured in the same run and taking turns with the renderings
// so that a busy moment of the (shared) machine hits both alike:
//   cold   one raw libcurl POST per request the cold rendering made, counted
//          with erp-sim's /stats: the first on a new connection (a new easy
//          handle) and the rest kept alive on it, as the library keeps one
//          connection per data file. The bodies and headers are the
//          library's own, as erp-sim recorded them (/last): each endpoint's
//          last request stands for all of that endpoint's requests.
//   warm   per call that answers from the cache, a bare
//          std::unordered_map<std::string, std::string> find of the call (its
//          export and arguments) and a copy of its answer into a buffer of
//          the result size; per call that asks every time, one raw libcurl
//          POST of that call's request on a kept-alive connection. The text
//          filters (no cache, no server) count as lookups: the floor has no
//          share of their pattern matching.
// So the floors hold no template evaluation, no result buffers and no
// parsing of the replies: what the ratio shows above 1 is the library's and
// the renderer's own work. The warm floor's POSTs follow each other at once,
// while a rendering's come between other calls, after which erp-sim's
// worker (and its core) may have gone idle and has to be woken again.
//
// A program of its own rather than a part of report_bench: it links
// report-host's renderer, and with it a static copy of the library's
// internals, which report_bench's process stays without; and bench/run can
// run the report on its own.
//
// The program builds the installation and starts erp-sim, then runs a copy
// of itself from the installation's platform/bin, which loads the library
// and measures (the library finds its configuration from its host
// executable's path). Every rendering's text is checked against the first.
//
//   render_bench [COLD_RENDERINGS (default 100)] [WARM_RENDERINGS_PER_BATCH (default 200)]
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchResult.h"
#include "RawRequest.h"
#include "CommandLine.h"
#include "DynamicLibrary.h"
#include "ReportRenderer.h"
#include "ReportTemplate.h"
#include "support/HostInstallation.h"

namespace {

using quilrun::bench::RawRequest;
using reporthost::ReportRenderer;
using Clock = std::chrono::steady_clock;

constexpr int kResultSize = reporthost::CommandLine::defaultResultSize;
constexpr int kBatches = 7;
constexpr int kWarmUpRenderings = 20;
const char* const kEndpoints[] = {"properties", "store", "call"};

struct Settings {
  int coldRenderings = 100;
  int warmPerBatch = 200;
};

Settings parseSettings(int argc, char** argv) {
  Settings settings;
  if (argc > 1) settings.coldRenderings = std::max(1, std::atoi(argv[1]));
  if (argc > 2) settings.warmPerBatch = std::max(1, std::atoi(argv[2]));
  return settings;
}

std::string coldDataFile(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "C%04d", index);
  return name;
}

double microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double minimum(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

// The exports that ask the server at every call, whatever the cache holds,
// and the endpoint their request goes to.
const char* askingEndpoint(const std::string& function) {
  if (function == "tt_getBarcodeImage") return "store";
  if (function == "tt_getText") return "call";
  return nullptr;
}

// "tt_getLabel(R1001, tdsls.orno, 18, 1)": one call, as the floor's key.
std::string describe(const ReportRenderer::Call& call) {
  std::string text = std::string(call.function) + "(";
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    text += (i ? ", " : "") + call.arguments[i];
  }
  return text + ")";
}

// What one rendering asked erp-sim: requests by endpoint, and connections.
struct Asked {
  std::map<std::string, long> requests;
  long connections = 0;

  long total() const {
    long sum = 0;
    for (const auto& [endpoint, count] : requests) sum += count;
    return sum;
  }
  bool operator==(const Asked& other) const {
    return requests == other.requests && connections == other.connections;
  }
  std::string describe() const {
    std::string text = std::to_string(total()) + " requests (";
    const char* separator = "";
    for (const auto& [endpoint, count] : requests) {
      text += separator + std::to_string(count) + " " + endpoint;
      separator = ", ";
    }
    return text + ") on " + std::to_string(connections) + " new connection(s)";
  }
};

// Renders and counts what the rendering asked erp-sim. The counts are read
// over connections of their own before and after; the one after is counted
// among erp-sim's connections and taken off.
ReportRenderer::Rendering renderCounted(const ReportRenderer& renderer, const std::string& dataFile,
                                        int port, double& micros, Asked& asked) {
  const quilrun::ErpCounts before = quilrun::ErpCounts::fetch(port);
  const Clock::time_point start = Clock::now();
  ReportRenderer::Rendering rendering = renderer.render(dataFile, kResultSize);
  micros = microseconds(Clock::now() - start);
  const quilrun::ErpCounts after = quilrun::ErpCounts::fetch(port);
  for (const char* endpoint : kEndpoints) {
    asked.requests[endpoint] = after[endpoint] - before[endpoint];
  }
  asked.connections = after["connections"] - before["connections"] - 1;
  return rendering;
}

// The warm floor ------------------------------------------------------------------

// One pass of the warm floor over a rendering's calls, in their order: a map
// lookup and copy for each call that answers from the cache, a raw POST on
// the kept-alive handle for each that asks every time.
class WarmFloor {
 public:
  WarmFloor(const ReportRenderer::Rendering& reference, RawRequest& store, RawRequest& call,
            CURL* keptAlive)
      : handle_(keptAlive), buffer_(static_cast<std::size_t>(kResultSize)) {
    for (const ReportRenderer::Call& made : reference.calls) {
      const char* endpoint = askingEndpoint(made.function);
      if (endpoint == nullptr) {
        const std::string key = describe(made);
        answers_[key] = made.result;
        steps_.push_back({nullptr, key});
      } else {
        steps_.push_back({std::strcmp(endpoint, "store") == 0 ? &store : &call, ""});
      }
    }
  }

  // Returns false when a POST failed.
  bool pass(bool lookups = true, bool posts = true) {
    bool ok = true;
    for (const Step& step : steps_) {
      if (step.post != nullptr) {
        if (posts) ok = step.post->post(handle_) && ok;
      } else if (lookups) {
        const auto it = answers_.find(step.key);
        if (it == answers_.end()) continue;
        const std::size_t count = std::min(it->second.size(), buffer_.size() - 1);
        std::memcpy(buffer_.data(), it->second.data(), count);
        buffer_[count] = '\0';
        sink_ += static_cast<unsigned char>(buffer_[0]);
      }
    }
    return ok;
  }

  std::size_t lookups() const { return steps_.size() - posts(); }
  std::size_t posts() const {
    return static_cast<std::size_t>(
        std::count_if(steps_.begin(), steps_.end(), [](const Step& s) { return s.post; }));
  }

 private:
  struct Step {
    RawRequest* post;  // null: a lookup of key
    std::string key;
  };
  CURL* handle_;
  std::unordered_map<std::string, std::string> answers_;
  std::vector<Step> steps_;
  std::vector<char> buffer_;
  volatile unsigned sink_ = 0;  // keeps the copies from being optimized away
};

// The measuring run, inside the installation ---------------------------------------

bool sameRendering(const ReportRenderer::Rendering& rendering,
                   const ReportRenderer::Rendering& reference, const std::string& what) {
  if (rendering.errors == 0 && rendering.text == reference.text &&
      rendering.calls.size() == reference.calls.size()) {
    return true;
  }
  std::fprintf(stderr, "render_bench: %s rendered otherwise than the first rendering (%d errors)\n",
               what.c_str(), rendering.errors);
  for (const ReportRenderer::Call& call : rendering.calls) {
    if (!call.error.empty()) std::fprintf(stderr, "  %s\n", call.error.c_str());
  }
  return false;
}

int postFailed(const char* floor) {
  std::fprintf(stderr, "render_bench: a raw POST of the %s floor failed\n", floor);
  return 1;
}

int measure(const Settings& settings) {
  const int port = quilrun::installedErpPort();
  const reporthost::ReportTemplate report =
      reporthost::ReportTemplate::fromFile(QUILRUN_SAMPLE_REPORT);
  const reporthost::DynamicLibrary library(quilrun::libraryBesideExecutable());
  const ReportRenderer renderer(report, library);

  // The first rendering, of R1001: the reference text, and what a rendering
  // on a new data file asks. It also sets the library up (configuration,
  // data share), which the cold renderings after it then do not pay.
  double micros = 0;
  Asked coldAsked;
  const ReportRenderer::Rendering reference =
      renderCounted(renderer, "R1001", port, micros, coldAsked);
  if (reference.errors != 0) {
    std::fprintf(stderr, "render_bench: the sample report rendered with %d errors\n",
                 reference.errors);
    return 1;
  }
  const double calls = static_cast<double>(reference.calls.size());
  std::size_t askingCalls = 0;
  for (const ReportRenderer::Call& call : reference.calls) {
    if (askingEndpoint(call.function) != nullptr) ++askingCalls;
  }
  // The library's requests of a cold rendering, in endpoint order; the
  // first goes on the new connection.
  std::map<std::string, std::unique_ptr<RawRequest>> coldRequests;
  std::vector<RawRequest*> coldPlan;
  for (const char* endpoint : kEndpoints) {
    if (coldAsked.requests[endpoint] == 0) continue;
    coldRequests[endpoint] = std::make_unique<RawRequest>(port, endpoint);
    coldPlan.insert(coldPlan.end(), static_cast<std::size_t>(coldAsked.requests[endpoint]),
                    coldRequests[endpoint].get());
  }

  // Warm: R1001 again and again. After the warm-up the last store and call
  // requests are those of the calls that ask every time. Before the cold
  // renderings, whose data files each leave a kept-alive connection (and an
  // erp-sim worker waiting on it) behind.
  Asked warmAsked;
  for (int i = 0; i < kWarmUpRenderings; ++i) {
    warmAsked = Asked();
    const ReportRenderer::Rendering rendering =
        renderCounted(renderer, "R1001", port, micros, warmAsked);
    if (!sameRendering(rendering, reference, "R1001 (warm)")) return 1;
  }
  if (warmAsked.total() != static_cast<long>(askingCalls) || warmAsked.connections != 0) {
    std::fprintf(stderr,
                 "render_bench: a warm rendering made %s; expected one request per call that "
                 "asks every time (%zu) on the kept connection\n",
                 warmAsked.describe().c_str(), askingCalls);
  }
  RawRequest store(port, "store");
  RawRequest call(port, "call");
  CURL* keptAlive = curl_easy_init();
  WarmFloor floor(reference, store, call, keptAlive);
  for (int i = 0; i < kWarmUpRenderings; ++i) {
    if (!floor.pass()) return postFailed("warm");
  }

  std::vector<double> warmBatches;
  std::vector<double> floorBatches;
  for (int b = 0; b < kBatches; ++b) {
    double warmSum = 0;
    double floorSum = 0;
    for (int i = 0; i < settings.warmPerBatch; ++i) {
      const bool floorFirst = (b * settings.warmPerBatch + i) % 2 == 1;
      if (floorFirst) {
        const Clock::time_point start = Clock::now();
        if (!floor.pass()) return postFailed("warm");
        floorSum += microseconds(Clock::now() - start);
      }
      const Clock::time_point start = Clock::now();
      const ReportRenderer::Rendering rendering = renderer.render("R1001", kResultSize);
      warmSum += microseconds(Clock::now() - start);
      if (!sameRendering(rendering, reference, "R1001 (warm)")) return 1;
      if (!floorFirst) {
        const Clock::time_point floorStart = Clock::now();
        if (!floor.pass()) return postFailed("warm");
        floorSum += microseconds(Clock::now() - floorStart);
      }
    }
    warmBatches.push_back(warmSum / settings.warmPerBatch);
    floorBatches.push_back(floorSum / settings.warmPerBatch);
  }
  // The warm floor's lookups on their own, for the detail lines; the rest
  // of the floor is its POSTs.
  std::vector<double> lookupBatches;
  for (int b = 0; b < kBatches; ++b) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < settings.warmPerBatch; ++i) floor.pass(true, false);
    lookupBatches.push_back(microseconds(Clock::now() - start) / settings.warmPerBatch);
  }
  const double lookupsOnly = minimum(lookupBatches);
  curl_easy_cleanup(keptAlive);

  // Cold: a rendering on a new data file and a floor sequence, taking turns.
  auto coldFloorRun = [&](double& floorMicros) {
    const Clock::time_point start = Clock::now();
    CURL* handle = curl_easy_init();
    bool ok = handle != nullptr;
    for (RawRequest* request : coldPlan) ok = ok && request->post(handle);
    floorMicros = microseconds(Clock::now() - start);
    curl_easy_cleanup(handle);
    return ok;
  };
  std::vector<double> cold;
  std::vector<double> coldFloors;
  int coldOtherwise = 0;  // renderings that asked otherwise than the first
  for (int i = 0; i < settings.coldRenderings; ++i) {
    double floorMicros = 0;
    if (i % 2 == 1 && !coldFloorRun(floorMicros)) return postFailed("cold");
    Asked asked;
    const ReportRenderer::Rendering rendering =
        renderCounted(renderer, coldDataFile(i), port, micros, asked);
    if (!sameRendering(rendering, reference, coldDataFile(i))) return 1;
    if (!(asked == coldAsked)) {
      if (coldOtherwise++ == 0) {
        std::fprintf(stderr, "render_bench: %s: %s, the first rendering %s\n",
                     coldDataFile(i).c_str(), asked.describe().c_str(),
                     coldAsked.describe().c_str());
      }
    }
    if (i % 2 == 0 && !coldFloorRun(floorMicros)) return postFailed("cold");
    cold.push_back(micros);
    coldFloors.push_back(floorMicros);
  }

  // The table.
  const double coldReport = median(cold);
  const double coldFloor = median(coldFloors);
  const double warmReport = minimum(warmBatches);
  const double warmFloor = minimum(floorBatches);
  std::printf(
      "render_bench: %s rendered through ReportRenderer and the dlopen'd library, log level 1,\n"
      "result buffers of %d bytes; %.0f calls per rendering, %zu of them ask the server every "
      "time\n",
      QUILRUN_SAMPLE_REPORT, kResultSize, calls, askingCalls);
  std::printf(
      "cold: %d renderings, each on a new data file; the first made %s%s\n",
      settings.coldRenderings, coldAsked.describe().c_str(),
      coldOtherwise == 0
          ? ", and so did every other"
          : (", " + std::to_string(coldOtherwise) + " others made a different number").c_str());
  std::printf("warm: %d batches of %d renderings of R1001; each made %s\n\n", kBatches,
              settings.warmPerBatch, warmAsked.describe().c_str());
  std::printf("%-30s %12s %12s %12s %12s %8s\n", "case", "us/report", "us/call", "floor us/rep",
              "floor us/call", "x floor");
  auto row = [&](const char* name, double perReport, double floorReport) {
    std::printf("%-30s %12.1f %12.2f %12.1f %12.2f %7.2fx\n", name, perReport, perReport / calls,
                floorReport, floorReport / calls, perReport / floorReport);
  };
  row("cold, median", coldReport, coldFloor);
  row("cold, min", minimum(cold), minimum(coldFloors));
  row("warm, best batch", warmReport, warmFloor);
  row("warm, median batch", median(warmBatches), median(floorBatches));
  std::printf(
      "\ncold floor: %zu raw libcurl POSTs of the library's requests, the first on a new "
      "connection\n"
      "warm floor: %zu unordered_map finds + copies (%.2f us per report on their own, best "
      "batch) and %zu raw kept-alive POSTs (the rest)\n",
      coldPlan.size(), floor.lookups(), lookupsOnly, floor.posts());
  // erp-sim holds a worker per kept-alive connection, and every cold data
  // file keeps one open; the first and last quarter show what the growing
  // number of idle connections costs both the renderings and the floor.
  const std::size_t quarter = std::max<std::size_t>(1, cold.size() / 4);
  auto part = [&](const std::vector<double>& values, bool last) {
    return median(last ? std::vector<double>(values.end() - quarter, values.end())
                       : std::vector<double>(values.begin(), values.begin() + quarter));
  };
  std::printf(
      "cold medians, first %zu renderings: %.1f us (floor %.1f us); last %zu: %.1f us (floor "
      "%.1f us)\n",
      quarter, part(cold, false), part(coldFloors, false), quarter, part(cold, true),
      part(coldFloors, true));

  const std::string coldName = "raw libcurl POST per request (" + std::to_string(coldPlan.size()) +
                               "), 1st on a new connection, rest kept alive";
  const std::string warmName = std::to_string(floor.lookups()) + " map finds + copies, " +
                               std::to_string(floor.posts()) + " kept-alive raw POSTs";
  using quilrun::bench::printResult;
  printResult("render_bench", "cold, per report (median)", coldReport, "us", coldFloor, coldName);
  printResult("render_bench", "cold, per call (median)", coldReport / calls, "us",
              coldFloor / calls, coldName + ", over the calls");
  printResult("render_bench", "warm, per report (best batch)", warmReport, "us", warmFloor,
              warmName);
  printResult("render_bench", "warm, per call (best batch)", warmReport / calls, "us",
              warmFloor / calls, warmName + ", over the calls");
  return 0;
}

// The setting-up run ---------------------------------------------------------------

int setUp(const Settings& settings, int argc, char** argv) {
  quilrun::HostInstallation installation(1);
  // The demo fixtures, with the cold renderings' data files added to the
  // first session.
  std::string fixtures = quilrun::TempFolder::readFile(QUILRUN_DEMO_FIXTURES);
  const std::string anchor = "<dataFile name=\"R1002\"/>";
  std::string extra;
  for (int i = 0; i < settings.coldRenderings; ++i) {
    extra += "<dataFile name=\"" + coldDataFile(i) + "\"/>";
  }
  fixtures.insert(fixtures.find(anchor) + anchor.size(), extra);
  const std::string fixtureFile = (installation.root() / "bench-fixtures.xml").string();
  quilrun::HostInstallation::writeFile(fixtureFile, fixtures);
  // A worker for each kept-alive connection: the library keeps one per data
  // file, and the floors and the count requests need some of their own.
  const quilrun::DemoErp erp(installation, QUILRUN_ERP_SIM, fixtureFile,
                             {"--threads", std::to_string(settings.coldRenderings + 16)});
  for (int i = 0; i < settings.coldRenderings; ++i) {
    installation.writeSession(coldDataFile(i), quilrun::DemoErp::kFirstSession,
                              erp.process().url());
  }
  installation.install(QUILRUN_LIBRARY, "libquilrun.so");
  const std::string copy = installation.install(quilrun::currentExecutable());
  std::vector<std::string> args(argv + 1, argv + argc);
  quilrun::ProcessOptions options;
  options.capture = false;
  options.workDir = installation.root().string();
  options.env = {{quilrun::kInstalledRootVariable, installation.root().string()},
                 {quilrun::kErpPortVariable, std::to_string(erp.port())}};
  return quilrun::runProgram(copy, args, options).exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = parseSettings(argc, argv);
  try {
    if (quilrun::installedRoot().empty()) return setUp(settings, argc, argv);
    curl_global_init(CURL_GLOBAL_ALL);
    const int exitCode = measure(settings);
    curl_global_cleanup();
    return exitCode;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "render_bench: %s\n", error.what());
    return 1;
  }
}
