// Report calls from many threads at once on the registry of data-file caches,
// while its scanner thread runs its marking passes on a fake clock that a
// further thread moves on by ten hours, a scanner interval at a time, so that
// idle caches are marked, dropped and read again from their data files in the
// middle of the traffic.
#include "cache/DataCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/LogRecord.h"
#include "diagnostics/LogStream.h"
#include "diagnostics/QuillonUtils.h"
#include "support/FakeClock.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace quilrun {
namespace {

namespace fs = std::filesystem;
using CachePointer = DataCache::CachePointer;

constexpr int kNames = 50;
constexpr int kWorkers = 8;
// Names in use at any moment: a window of kWindow names that moves on by
// kWindow names every kPhaseSeconds, so each name is busy for 30 minutes and
// then idle for two hours, long enough to be marked and dropped.
constexpr int kWindow = 10;
constexpr std::int64_t kPhaseSeconds = 1800;
// Clock steps of one scanner interval: 600 minutes, 40 marking passes, each
// name through four busy/idle cycles.
constexpr int kSteps = 600;
// Each worker makes kCallsPerStep calls per clock step and then waits for
// the next step. The clock moves once every worker has made kCallsBeforeMove
// of them, so it moves while calls are under way, and a call sees it move at
// most once (60 s, well inside the 300 s lifetime of a store).
constexpr long kCallsPerStep = 40;
constexpr long kCallsBeforeMove = 4;

std::string nameOf(int index) {
  // "rpt1" is a prefix of "rpt10" to "rpt19": lookups must compare whole names.
  return "rpt" + std::to_string(index);
}
std::string sessionOf(int index) { return "S" + std::to_string(index); }
const char* const kUrl = "http://127.0.0.1:1/svcgw";

// The one value every writer stores under a key of a name, so that any value
// read back is either absent or exactly this.
std::string textOf(const std::string& name, long long number) {
  return name + "/text/" + std::to_string(number);
}
std::string messageOf(const std::string& name, const std::string& code) {
  return name + "/message/" + code;
}
std::string labelOf(const std::string& name, const std::string& code) {
  return name + "/label/" + code;
}
StringMap propertiesOf(const std::string& name) {
  return {{"Owner", name}, {"Locale", name + "/de_DE"}};
}
std::vector<LabelData> variantsOf(const std::string& name, const std::string& code) {
  LabelData wide;
  wide.setCode(code.c_str());
  wide.setLength(40);
  wide.setHeight(1);
  wide.setText(labelOf(name, code).c_str());
  LabelData narrow = wide;
  narrow.setLength(2);
  narrow.setText("x");
  return {wide, narrow};
}

// Keeps the log lines that contain one of the markers and drops the rest, so
// the run can log at the highest level without keeping every line.
class SelectingSink final : public LogSink {
 public:
  explicit SelectingSink(std::vector<std::string> markers)
      : markers_(std::move(markers)), previous_(LogStream::redirect(this)) {}
  ~SelectingSink() override { LogStream::redirect(previous_); }

  void writeLine(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++allLines_;
    for (const std::string& marker : markers_) {
      if (line.find(marker) != std::string::npos) {
        kept_.push_back(line);
        return;
      }
    }
  }

  // How many kept lines contain text.
  int count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(kept_.begin(), kept_.end(), [&](const std::string& l) {
      return l.find(text) != std::string::npos;
    }));
  }
  long allLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return allLines_;
  }

 private:
  const std::vector<std::string> markers_;
  mutable std::mutex mutex_;
  std::vector<std::string> kept_;
  long allLines_ = 0;
  LogSink* previous_;
};

// Failed checks of the worker threads, counted, with the first few described.
class Failures {
 public:
  // describe() is called only for a failed check.
  template <typename Describe>
  void check(bool ok, Describe describe) {
    if (ok) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (++count_ <= 10) text_ += describe() + "\n";
  }
  int count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  std::string text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  int count_ = 0;
  std::string text_;
};

// The clock step the run is at. Workers that have made their calls of the
// step wait for the next one, so between steps the registry is quiet.
class Steps {
 public:
  int current() const { return step_.load(); }
  bool stopped() const { return stopped_.load(); }

  // Called by a worker that has made kCallsBeforeMove calls of step.
  void ready(int step) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (step == step_.load()) ++ready_;
    changed_.notify_all();
  }
  // Called by a worker done with step: waits for a later step or the end.
  void finished(int step) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (step == step_.load()) ++finished_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return stopped_.load() || step_.load() > step; });
  }
  // Wait until count workers have called ready, or finished, in the current step.
  void waitForReady(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return ready_ >= count; });
  }
  void waitForFinished(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return finished_ >= count; });
  }
  void next() {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_ = 0;
    finished_ = 0;
    step_.fetch_add(1);
    changed_.notify_all();
  }
  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_.store(true);
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<int> step_{0};
  int ready_ = 0;
  int finished_ = 0;
  std::atomic<bool> stopped_{false};
};

// The registry holds at most one cache per name: find gives the first cache
// of a name, so a second one would make the size larger than the names
// found. Only for a quiet registry.
void expectOneCachePerName(DataCache& registry, Failures& failures, int step) {
  std::size_t found = 0;
  for (int i = 0; i < kNames; ++i) {
    if (registry.findDataFileCache(nameOf(i).c_str())) ++found;
  }
  const std::size_t size = registry.size();
  failures.check(size == found, [&] {
    return "after step " + std::to_string(step) + ": " + std::to_string(size) + " caches for " +
           std::to_string(found) + " names";
  });
}

// An installation whose configuration names a data share holding one data
// file per name, each with its own session identifier.
class DataCacheConcurrencyTest : public ::testing::Test {
 protected:
  DataCacheConcurrencyTest() : platform_((root_.path() / "platform" / "bin" / "host").string()) {
    root_.makeFolder("platform/bin");
    const fs::path share = root_.path() / "share";
    const fs::path dataFiles = root_.makeFolder("share/Talmxmlfiles");
    std::ofstream(root_.makeFolder("platform/configuration") / "corvane_talm_Quilrun.config")
        << "DataShare=" << share.string() << "\n";
    for (int i = 0; i < kNames; ++i) {
      std::ofstream(dataFiles / (nameOf(i) + "-i"))
          << "<session><jsessionId>" << sessionOf(i) << "</jsessionId><webserviceURL>" << kUrl
          << "</webserviceURL></session>";
    }
    QuillonUtils::reset();
    logLevel.store(5);
  }
  ~DataCacheConcurrencyTest() override {
    logLevel.store(3);
    QuillonUtils::reset();
  }

  TempFolder root_;
  FakePlatform platform_;
  SelectingSink sink_{{"Removing old cache for datafile", "The 'cache scanner' has stopped."}};
  FakeClock clock_;
};

// One worker's calls. Each call starts with a registry lookup (find, get,
// renew or a put without a cache), so lookups drop what a marking pass marked.
class Worker {
 public:
  Worker(int id, DataCache& registry, FakeClock& clock, Failures& failures)
      : random_(static_cast<unsigned>(id) + 1),
        registry_(registry),
        clock_(clock),
        failures_(failures) {}

  long calls() const { return calls_; }

  void run(Steps& steps) {
    int step = 0;
    long callsInStep = 0;
    while (!steps.stopped()) {
      if (steps.current() != step) {
        step = steps.current();
        callsInStep = 0;
      }
      if (callsInStep == kCallsPerStep) {
        steps.finished(step);
        continue;
      }
      call();
      ++calls_;
      if (++callsInStep == kCallsBeforeMove) steps.ready(step);
    }
  }

 private:
  int pick(int bound) { return static_cast<int>(random_() % static_cast<unsigned>(bound)); }

  // The cache came from the registry for index: its name and the session of
  // its own data file.
  void expectCacheOf(const CachePointer& cache, int index, const char* from) {
    const std::string name = nameOf(index);
    if (!cache) {
      failures_.check(false, [&] { return std::string(from) + " gave no cache for " + name; });
      return;
    }
    failures_.check(cache->getDataFileName() == name, [&] {
      return std::string(from) + " for " + name + " gave " + cache->getDataFileName();
    });
    failures_.check(cache->getJsessionId() == sessionOf(index) && cache->getWebserviceURL() == kUrl,
                    [&] {
                      return std::string(from) + " for " + name + ": session " +
                             cache->getJsessionId() + " at " + cache->getWebserviceURL();
                    });
  }

  // A value read back: exactly what was stored, and present unless more than
  // the store lifetime passed between storing and reading.
  void expectReadBack(const std::optional<std::string>& read, const std::string& stored,
                      std::int64_t storedAt, const std::string& what) {
    const bool mayHaveExpired = clock_.nowSeconds() - storedAt > DataFileCache::kLifetime;
    failures_.check(read ? *read == stored : mayHaveExpired, [&] {
      return what + ": read " + (read ? "'" + *read + "'" : "nothing") + ", stored '" + stored +
             "'";
    });
  }

  // A value read without having stored it: absent, or what every writer stores.
  void expectAbsentOr(const std::optional<std::string>& read, const std::string& expected,
                      const std::string& what) {
    failures_.check(!read || *read == expected, [&] {
      return what + ": read '" + read.value_or("") + "', expected '" + expected + "'";
    });
  }

  void call() {
    const std::int64_t now = clock_.nowSeconds();
    const int first = static_cast<int>((now / kPhaseSeconds) * kWindow % kNames);
    const int index = (first + pick(kWindow)) % kNames;
    const std::string name = nameOf(index);
    const long long number = pick(20);
    const std::string code = "C" + std::to_string(pick(20));

    switch (pick(8)) {
      case 0: {  // find any name, busy or idle; find never creates and never touches
        const int any = pick(kNames);
        const CachePointer cache = registry_.findDataFileCache(nameOf(any).c_str());
        if (cache) expectCacheOf(cache, any, "findDataFileCache");
        break;
      }
      case 1: {  // addText into the registry's cache, read back from the cache returned
        const CachePointer cache = registry_.getDataFileCache(name.c_str());
        expectCacheOf(cache, index, "getDataFileCache");
        const std::int64_t storedAt = clock_.nowSeconds();
        const CachePointer used =
            registry_.addText(name.c_str(), cache, number, textOf(name, number).c_str());
        failures_.check(used == cache,
                        [] { return std::string("addText did not store into the cache given"); });
        expectReadBack(used->findText(number), textOf(name, number), storedAt, name + " text");
        break;
      }
      case 2: {  // addMessage without a cache: stored into a renewed one
        const std::int64_t storedAt = clock_.nowSeconds();
        const CachePointer used = registry_.addMessage(name.c_str(), nullptr, code.c_str(),
                                                       messageOf(name, code).c_str());
        expectCacheOf(used, index, "addMessage");
        if (used) {
          expectReadBack(used->findMessage(code.c_str()), messageOf(name, code), storedAt,
                         name + " message");
        }
        break;
      }
      case 3: {  // addLabelVariants into whatever find gave, possibly nothing
        const CachePointer found = registry_.findDataFileCache(name.c_str());
        const std::int64_t storedAt = clock_.nowSeconds();
        const CachePointer used =
            registry_.addLabelVariants(name.c_str(), found, variantsOf(name, code));
        expectCacheOf(used, index, "addLabelVariants");
        if (found) {
          failures_.check(used == found,
                          [] { return std::string("addLabelVariants replaced the cache given"); });
        }
        if (used) {
          expectReadBack(used->findLabel(code.c_str(), 40, 1), labelOf(name, code), storedAt,
                         name + " label");
        }
        break;
      }
      case 4: {  // setProperties: properties never expire
        const CachePointer cache = registry_.getDataFileCache(name.c_str());
        const CachePointer used = registry_.setProperties(name.c_str(), cache, propertiesOf(name));
        failures_.check(used == cache, [] {
          return std::string("setProperties did not store into the cache given");
        });
        failures_.check(used->findProperty("Owner") == name,
                        [&] { return name + " lost its properties"; });
        break;
      }
      case 5: {  // renew: a fresh cache of the same data file in the old one's place
        const CachePointer before = registry_.getDataFileCache(name.c_str());
        const CachePointer fresh = registry_.renewDataFileCache(name.c_str());
        expectCacheOf(fresh, index, "renewDataFileCache");
        failures_.check(fresh != before, [&] { return name + " was not renewed"; });
        break;
      }
      default: {  // finds on the registry's cache, stored by anyone or by no one
        const CachePointer cache = registry_.getDataFileCache(name.c_str());
        expectCacheOf(cache, index, "getDataFileCache");
        if (!cache) break;
        expectAbsentOr(cache->findText(number), textOf(name, number), name + " text");
        expectAbsentOr(cache->findMessage(code.c_str()), messageOf(name, code), name + " message");
        expectAbsentOr(cache->findLabel(code.c_str(), 40, 1), labelOf(name, code), name + " label");
        expectAbsentOr(cache->findProperty("Locale"), name + "/de_DE", name + " property");
        break;
      }
    }
  }

  long calls_ = 0;
  std::minstd_rand random_;
  DataCache& registry_;
  FakeClock& clock_;
  Failures& failures_;
};

TEST_F(DataCacheConcurrencyTest, ManyThreadsWhileTheScannerDropsIdleCaches) {
  auto registry = std::make_unique<DataCache>();
  registry->startScannerThread();
  int sleeps = 1;
  clock_.waitForSleeps(sleeps);

  Failures failures;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kWorkers; ++i) {
    workers.push_back(std::make_unique<Worker>(i, *registry, clock_, failures));
  }
  Steps steps;
  std::vector<std::thread> threads;
  for (auto& worker : workers) {
    threads.emplace_back([&worker, &steps] { worker->run(steps); });
  }

  // Moves the clock one scanner interval at a time while the workers make
  // their calls of the step, and waits for the scanner to have run its step
  // (and its marking pass, every fifteenth step) and to sleep again. Once the
  // workers are done with the step, looks at the quiet registry and starts
  // the next step.
  std::thread advancer([&] {
    for (int step = 0; step < kSteps; ++step) {
      steps.waitForReady(kWorkers);
      clock_.advance(60);
      clock_.waitForSleeps(++sleeps);
      steps.waitForFinished(kWorkers);
      expectOneCachePerName(*registry, failures, step);
      if (step + 1 == kSteps) break;
      steps.next();
    }
    steps.stop();
  });
  advancer.join();
  for (std::thread& thread : threads) thread.join();

  long calls = 0;
  for (auto& worker : workers) calls += worker->calls();
  RecordProperty("calls", static_cast<int>(calls));
  RecordProperty("logLines", static_cast<int>(sink_.allLines()));
  EXPECT_EQ(failures.count(), 0) << failures.text();

  // Every name went idle and was dropped more than once while the others
  // were busy.
  for (int i = 0; i < kNames; ++i) {
    EXPECT_GE(sink_.count("datafile '" + nameOf(i) + "'"), 2) << nameOf(i);
  }

  // The busy names of the last step are still there.
  const std::size_t found = registry->size();
  EXPECT_GT(found, 0u);

  // The scanner still runs its passes: 75 more steps hold five passes, the
  // last more than an hour after the last use, and the next lookup drops all.
  for (int step = 0; step < 5 * DataCache::kScanSteps; ++step) {
    clock_.advance(60);
    clock_.waitForSleeps(++sleeps);
  }
  EXPECT_EQ(registry->getOldCount(), static_cast<int>(found));
  EXPECT_EQ(registry->findDataFileCache(nameOf(0).c_str()), nullptr);
  EXPECT_EQ(registry->size(), 0u);

  EXPECT_EQ(sink_.count("has stopped"), 0);
  registry.reset();
  EXPECT_EQ(sink_.count("has stopped"), 1);
}

}  // namespace
}  // namespace quilrun
