// End-to-end, in-process: the library loaded with dlopen by a copy of this
// program run from a temporary installation's platform/bin (see
// ReportFunctionsTest.cpp for how the copy is made and run), against erp-sim
// serving the demo fixtures. Covers the result-buffer contract of every
// export and loading and unloading the library repeatedly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/InstalledRun.h"
#include "support/HostInstallation.h"

namespace {

using quilrun::BoundCall;
using quilrun::ExportCall;
using quilrun::LoadedLibrary;
using quilrun::LogLine;
using quilrun::ProcessOutcome;

class LibraryLoadTest : public ::testing::Test {
 protected:
  static bool inside() { return quilrun::InstalledRun::inside(); }
  static void runInside(int logLevel = 1) { quilrun::InstalledRun::expectPassesInside(logLevel); }
};

// The threads of this process.
int threadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// Waits up to a second for the thread count to reach expected; returns the last count.
int threadCountReaching(int expected) {
  int count = threadCount();
  for (int i = 0; i < 100 && count != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    count = threadCount();
  }
  return count;
}

long countLines(const std::vector<LogLine>& lines, const std::string& function,
                const std::string& message) {
  long count = 0;
  for (const LogLine& line : lines) count += line.function == function && line.message == message;
  return count;
}

// Every export, with every buffer size from -1 to the answer's length + 2:
// the result is the answer cut to the buffer (ExportCall::answerIn), always
// NUL-terminated, and not a byte is written before the buffer or from
// resultSize on. The calls after the first answer from the cache, except the
// barcode and the plain text, which ask the server each time.
TEST_F(LibraryLoadTest, EveryExportStaysWithinItsResultBuffer) {
  if (!inside()) return runInside();
  constexpr std::size_t kGuard = 16;
  constexpr char kFill = '\xA5';
  LoadedLibrary library(quilrun::libraryBesideExecutable());
  for (const ExportCall& call : quilrun::demoCalls()) {
    SCOPED_TRACE(call.describe());
    const BoundCall bound = quilrun::bindExport(library, call.function, call.args);
    const int longest = static_cast<int>(call.answer.size()) + 2;
    for (int size = -1; size <= longest; ++size) {
      const std::size_t room = size > 0 ? static_cast<std::size_t>(size) : 0;
      std::vector<char> guarded(kGuard + room + kGuard, kFill);
      char* const result = guarded.data() + kGuard;
      ASSERT_EQ(bound(result, size), 0) << "size " << size;
      bool guardsIntact = true;
      for (std::size_t i = 0; i < guarded.size(); ++i) {
        const bool inBuffer = i >= kGuard && i < kGuard + room;
        guardsIntact = guardsIntact && (inBuffer || guarded[i] == kFill);
      }
      ASSERT_TRUE(guardsIntact) << "written outside a buffer of " << size << " bytes";
      if (room == 0) continue;
      ASSERT_NE(std::memchr(result, '\0', room), nullptr) << "size " << size << ": no NUL";
      ASSERT_EQ(std::string(result), call.answerIn(size)) << "size " << size;
    }
    // A null buffer receives nothing, whatever its size says.
    EXPECT_EQ(bound(nullptr, 64), 0);
  }
}

// Loading and unloading ten times, with calls in between while the cache
// scanner runs: dlclose really unloads the library (the load line is logged
// at every load, and the file is no longer mapped), and the scanner is
// stopped and joined at every unload.
TEST_F(LibraryLoadTest, LoadsAndUnloadsTenTimesWithCallsBetween) {
  // Level 3 logs the scanner's start and stop.
  if (!inside()) return runInside(3);
  const std::string path = quilrun::libraryBesideExecutable();
  // A first thread of the process's own, so that threads a runtime starts
  // along with it (ThreadSanitizer's background thread) are counted before.
  std::thread([] {}).join();
  const int threadsBefore = threadCount();
  const std::vector<ExportCall>& calls = quilrun::demoCalls();
  for (int load = 1; load <= 10; ++load) {
    SCOPED_TRACE("load " + std::to_string(load));
    ASSERT_FALSE(LoadedLibrary::isMapped(path));
    LoadedLibrary library(path);
    EXPECT_EQ(threadCount(), threadsBefore) << "threads started before the first call";
    // Two threads at once, each through all exports, both data files.
    auto callAll = [&](const std::string& dataFile) {
      for (const ExportCall& call : calls) {
        const ExportCall own = call.asks.empty() ? call : call.forDataFile(dataFile);
        char result[256];
        quilrun::bindExport(library, own.function, own.args)(result, sizeof result);
        EXPECT_EQ(std::string(result), own.answer) << own.describe();
      }
    };
    std::thread other(callAll, "R1002");
    callAll("R1001");
    other.join();
    EXPECT_EQ(threadCountReaching(threadsBefore + 1), threadsBefore + 1) << "one scanner";
    library.unload();
    EXPECT_FALSE(LoadedLibrary::isMapped(path)) << "dlclose left the library loaded";
    EXPECT_EQ(threadCountReaching(threadsBefore), threadsBefore) << "the scanner outlived unload";
  }
  const std::vector<LogLine> lines = quilrun::installedLogLines();
  EXPECT_EQ(countLines(lines, "DllMain", "cURL initialization OK"), 10);
  EXPECT_EQ(
      countLines(lines, "DataCache::startScannerThread", "Starting the 'cache scanner' thread."),
      10);
  EXPECT_EQ(
      countLines(lines, "DataCache::scanDataFilesRepeatedly", "The 'cache scanner' has stopped."),
      10);
  // No errors but the one of every process start: the installation has no
  // properties.xml, so the data share comes from the configuration.
  for (const LogLine& line : lines) {
    const bool failure = line.level == "ERROR" || line.level == "FATAL";
    EXPECT_TRUE(line.matched && (!failure || line.function == "QuillonUtils::readDataShare"))
        << line.raw;
  }
}

// A load and unload without calls starts no thread and logs the load line
// only: the configured level (5 here) is not read before the first call.
TEST_F(LibraryLoadTest, LoadWithoutCallsStartsNothing) {
  if (!inside()) return runInside(5);
  const std::string path = quilrun::libraryBesideExecutable();
  const int threadsBefore = threadCount();
  {
    LoadedLibrary library(path);
    EXPECT_EQ(threadCount(), threadsBefore);
  }
  EXPECT_FALSE(LoadedLibrary::isMapped(path));
  const std::vector<LogLine> lines = quilrun::installedLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].function, "DllMain");
  EXPECT_EQ(lines[0].message, "cURL initialization OK");
}

}  // namespace
