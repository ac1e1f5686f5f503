// transport_bench: the cost of one request through CurlHelper::postXmlRequest
// against erp-sim, beside raw libcurl posts of the same body to the same URL
// with the same cookie, headers and user agent, measured in the same run.
// Prints one table; never fails on speed.
//
//   transport_bench [requests per batch (default 1000)] [batches (default 7)]
//
// erp-sim runs as a child process on a free port with the demo fixtures; the
// request is the properties request of data file R1001, whose data file in a
// temporary data share names erp-sim's URL and the fixture's session. Three
// ways of posting, each on a libcurl easy handle of its own that keeps its
// one keep-alive connection:
//
//   CurlHelper        postXmlRequest with the data file's cache: the request
//                     printed from its XML element, URL and cookie built, the
//                     transfer lock taken, the handle reset and all options
//                     set, the reply copied into the result.
//   raw, set once     the floor: options set once on the handle, then only
//                     curl_easy_perform per request (no reset).
//   raw, reset        curl_easy_reset and the same options before every
//                     perform, as the library does, without its other work.
//
// After a warm-up of each, the three take turns request by request (the
// order rotating), each request timed on its own, so that a busy moment of
// the (usually shared) machine hits all three alike; a batch's figure is the
// mean of its requests, and each way's figure is its best batch, with the
// median beside it. Every reply is checked against the first raw one. The
// log level stays at 3, so nothing is logged per request; the log lines are
// counted into a sink, and the count during the timed requests printed (the
// data-share lookup at start-up writes one when the installation has no
// properties.xml).

#include <curl/curl.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "BenchResult.h"
#include "cache/DataFileCache.h"
#include "diagnostics/LogRecord.h"
#include "diagnostics/LogStream.h"
#include "erp-sim/ErpSimProcess.h"
#include "server/ConnectionPool.h"
#include "server/CurlHelper.h"
#include "server/RawXml.h"
#include "support/Installation.h"

namespace {

using quilrun::CurlHelper;
using quilrun::DataFileCache;
using quilrun::PostResult;
using SteadyClock = std::chrono::steady_clock;

const char* const kDataFile = "R1001";
const char* const kSession = "9F2C4E61A07B3D58C1E2F3A4B5C6D7E8";
constexpr int kWarmUp = 300;
constexpr double kGoalRatio = 1.2;

class CountingSink : public quilrun::LogSink {
 public:
  void writeLine(const std::string&) override { ++lines_; }
  long lines() const { return lines_.load(); }

 private:
  std::atomic<long> lines_{0};
};

std::size_t appendReply(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// A raw libcurl poster of one body to one URL, on a handle of its own.
class RawPoster {
 public:
  RawPoster(std::string url, std::string body, std::string cookie, bool resetEachTime)
      : url_(std::move(url)),
        body_(std::move(body)),
        cookie_(std::move(cookie)),
        resetEachTime_(resetEachTime),
        handle_(curl_easy_init()),
        headers_(curl_slist_append(nullptr, "Content-Type: text/xml")) {
    if (!resetEachTime_) setOptions();
  }
  ~RawPoster() {
    curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
  }
  RawPoster(const RawPoster&) = delete;
  RawPoster& operator=(const RawPoster&) = delete;

  // Posts once; false when the transfer failed or the status was not 200.
  bool post() {
    if (resetEachTime_) {
      curl_easy_reset(handle_);
      setOptions();
    }
    reply_.clear();
    if (curl_easy_perform(handle_) != CURLE_OK) return false;
    long status = 0;
    curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
    return status == 200;
  }

  const std::string& reply() const { return reply_; }

 private:
  void setOptions() {
    curl_easy_setopt(handle_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(handle_, CURLOPT_POST, 1L);
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, body_.c_str());
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(handle_, CURLOPT_COOKIE, cookie_.c_str());
    curl_easy_setopt(handle_, CURLOPT_USERAGENT, CurlHelper::kUserAgent);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &reply_);
    curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &appendReply);
  }

  std::string url_;
  std::string body_;
  std::string cookie_;
  bool resetEachTime_;
  CURL* handle_;
  curl_slist* headers_;
  std::string reply_;
};

struct Variant {
  const char* name;
  std::vector<double> batches;  // microseconds per request, one per batch
  long failures = 0;            // failed transfers and replies unlike the expected one

  double best() const { return *std::min_element(batches.begin(), batches.end()); }
  double median() const {
    std::vector<double> sorted = batches;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

// One way of posting under test: post returns false for a failed transfer or
// a reply unlike the expected one.
struct Way {
  Variant* variant;
  std::function<bool()> post;
  double seconds = 0;  // in the current batch
};

// count rounds in which each way posts once, in an order that rotates from
// round to round; adds each way's mean microseconds per request to its
// variant unless this is the warm-up.
void runBatch(int count, std::vector<Way>& ways, bool warmUp) {
  for (Way& way : ways) way.seconds = 0;
  for (int i = 0; i < count; ++i) {
    for (std::size_t k = 0; k < ways.size(); ++k) {
      Way& way = ways[(i + k) % ways.size()];
      const SteadyClock::time_point start = SteadyClock::now();
      const bool ok = way.post();
      way.seconds += std::chrono::duration<double>(SteadyClock::now() - start).count();
      if (!ok) ++way.variant->failures;
    }
  }
  if (warmUp) return;
  for (Way& way : ways) way.variant->batches.push_back(way.seconds * 1e6 / count);
}

// Starts erp-sim, measures and prints the table; returns the exit code.
int run(int perBatch, int batches, const CountingSink& sink) {
  int exitCode = 0;
  quilrun::Installation installation;
  quilrun::ErpSimProcess sim(QUILRUN_ERP_SIM, {"--port", "0", "--data", QUILRUN_DEMO_FIXTURES},
                             (installation.root() / "erp-sim-stderr.txt").string());
  if (sim.url().empty()) {
    std::fprintf(stderr, "transport_bench: erp-sim did not start: %s\n",
                 sim.errorOutput().c_str());
    return 1;
  }
  installation.writeSession(kDataFile, kSession, sim.url());
  DataFileCache cache(kDataFile);
  CurlHelper helper;
  // The library's way: a connection lent by the pool for each request.
  quilrun::ConnectionPool pool;
  const quilrun::ConnectorSettings settings;

  pugi::xml_document request;
  request.append_child("propertiesRequest").append_child("datafile").text().set(kDataFile);
  const pugi::xml_node root = request.first_child();
  const std::string body = quilrun::RawXml::print(root);
  const std::string url = sim.url() + "/properties";
  const std::string cookie = std::string("JSESSIONID=") + kSession;

  RawPoster once(url, body, cookie, false);
  RawPoster reset(url, body, cookie, true);
  if (!once.post() || once.reply().find("<status>1</status>") == std::string::npos) {
    std::fprintf(stderr, "transport_bench: unexpected reply: %s\n", once.reply().c_str());
    return 1;
  }
  const std::string expected = once.reply();

  Variant ours{"CurlHelper::postXmlRequest", {}};
  Variant rawOnce{"raw libcurl, options set once", {}};
  Variant rawReset{"raw libcurl, reset + options", {}};
  std::vector<Way> ways{
      {&ours,
       [&] {
         quilrun::ConnectionPool::Refusal refusal;
         const quilrun::ConnectionPool::Lease lease = pool.acquire(kDataFile, 32, 10000, refusal);
         const PostResult result = helper.postXmlRequest(
             cache.getSession(), lease.connection().handle(), "properties", root, settings);
         return result.success && result.statusCode == 200 && result.body == expected;
       }},
      {&rawOnce, [&] { return once.post() && once.reply() == expected; }},
      {&rawReset, [&] { return reset.post() && reset.reply() == expected; }},
  };
  runBatch(kWarmUp, ways, true);
  const long linesBefore = sink.lines();
  for (int b = 0; b < batches; ++b) runBatch(perBatch, ways, false);
  const long linesDuring = sink.lines() - linesBefore;

  const double floor = rawOnce.best();
  std::printf("transport_bench: HTTP keep-alive POST to erp-sim, %s\n", url.c_str());
  std::printf("libcurl %s; request %zu bytes, reply %zu bytes; %d batches of %d requests per "
              "way, taking turns, after %d warm-up requests each; log level %d\n\n",
              curl_version_info(CURLVERSION_NOW)->version, body.size(), expected.size(), batches,
              perBatch, kWarmUp, quilrun::logLevel.load());
  std::printf("%-32s %13s %13s %13s %9s\n", "way of posting", "best us/req", "median us/req",
              "best / floor", "failures");
  for (const Variant* v : {&ours, &rawOnce, &rawReset}) {
    std::printf("%-32s %13.1f %13.1f %12.2fx %9ld\n", v->name, v->best(), v->median(),
                v->best() / floor, v->failures);
  }
  const double ratio = ours.best() / floor;
  std::printf("\nCurlHelper against the floor (raw, options set once): %.2fx (goal <= %.2fx: %s)\n",
              ratio, kGoalRatio, ratio <= kGoalRatio ? "met" : "NOT met");
  std::printf("CurlHelper against raw with reset:                    %.2fx\n",
              ours.best() / rawReset.best());
  std::printf("log lines during the timed requests: %ld (before them: %ld)\n", linesDuring,
              linesBefore);
  // The same figures for bench/run's table.
  char goal[16];
  std::snprintf(goal, sizeof goal, "<=%g", kGoalRatio);
  const std::string floorName = "raw libcurl POST, same request, kept alive, options set once";
  quilrun::bench::printResult("transport_bench", "CurlHelper::postXmlRequest", ours.best(),
                              "us/request", floor, floorName, goal);
  quilrun::bench::printResult("transport_bench", "raw libcurl, reset + options", rawReset.best(),
                              "us/request", floor, floorName);
  if (ours.failures + rawOnce.failures + rawReset.failures != 0) {
    std::printf("WARNING: some requests failed or gave another reply; the figures are suspect\n");
    exitCode = 1;
  }
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  const int perBatch = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int batches = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  curl_global_init(CURL_GLOBAL_ALL);
  CountingSink sink;
  quilrun::LogStream::redirect(&sink);
  const int exitCode = run(perBatch, batches, sink);
  quilrun::LogStream::redirect(nullptr);
  curl_global_cleanup();
  return exitCode;
}
