#include "diagnostics/LogStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/LogRecord.h"
#include "support/FakeClock.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace quilrun {
namespace {

namespace fs = std::filesystem;

// An installation in a temporary folder: <root>/platform/bin/host, with the
// current directory moved to <root>/work for the test's life.
class LogStreamTest : public ::testing::Test {
 protected:
  LogStreamTest()
      : clock_(1700000000),
        platform_((root_.path() / "platform" / "bin" / "host").string()),
        previousDirectory_(fs::current_path()) {
    root_.makeFolder("platform/bin");
    fs::current_path(root_.makeFolder("work"));
    LogStream::resetForTesting();
  }
  ~LogStreamTest() override {
    LogStream::resetForTesting();
    fs::current_path(previousDirectory_);
    logLevel.store(3);
  }

  static void logLine(const std::string& text) {
    QLOG("LogStreamTest::logLine", 3, LogType::Info) << text << std::endl;
  }

  fs::path logsFile() const { return root_.path() / "platform" / "logs" / "Quilrun_1700000000.log"; }
  fs::path currentDirectoryFile() const { return root_.path() / "work" / "Quilrun_1700000000.log"; }

  TempFolder root_;
  FakeClock clock_;
  FakePlatform platform_;
  fs::path previousDirectory_;
};

TEST_F(LogStreamTest, FileGoesIntoTheLogsFolderAndIsAppendedTo) {
  root_.makeFolder("platform/logs");
  std::ofstream(logsFile()) << "earlier line\n";
  logLine("first");
  logLine("second");
  const std::string content = TempFolder::readTextFile(logsFile());
  EXPECT_EQ(content.rfind("earlier line\n", 0), 0u);
  EXPECT_NE(content.find("]: first\n"), std::string::npos);
  EXPECT_NE(content.find("]: second\n"), std::string::npos);
  EXPECT_EQ(LogStream::filePath(), logsFile().string());
  EXPECT_EQ(platform_.opens(), 1);
  EXPECT_FALSE(fs::exists(currentDirectoryFile()));
}

TEST_F(LogStreamTest, WithoutALogsFolderTheFileGoesIntoTheCurrentDirectory) {
  std::ofstream(root_.path() / "platform" / "logs") << "a file, not a folder";
  logLine("here");
  EXPECT_NE(TempFolder::readTextFile(currentDirectoryFile()).find("]: here\n"), std::string::npos);
  EXPECT_EQ(LogStream::filePath(), "Quilrun_1700000000.log");
}

TEST_F(LogStreamTest, UnopenableFileSendsLinesToStandardOutputForGood) {
  platform_.failOpen(true);
  ::testing::internal::CaptureStdout();
  logLine("to stdout");
  platform_.failOpen(false);
  root_.makeFolder("platform/logs");
  logLine("still stdout");
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("]: to stdout\n"), std::string::npos);
  EXPECT_NE(out.find("]: still stdout\n"), std::string::npos);
  EXPECT_EQ(platform_.opens(), 1);
  EXPECT_FALSE(fs::exists(logsFile()));
  EXPECT_FALSE(fs::exists(currentDirectoryFile()));
}

TEST_F(LogStreamTest, NoFileUntilAStatementPasses) {
  root_.makeFolder("platform/logs");
  logLevel.store(0);
  logLine("silenced");
  logLevel.store(-4);
  logLine("silenced");
  EXPECT_FALSE(fs::exists(logsFile()));
  EXPECT_EQ(platform_.opens(), 0);
  logLevel.store(3);
  logLine("now");
  EXPECT_TRUE(fs::exists(logsFile()));
}

TEST_F(LogStreamTest, NothingIsWrittenAfterClose) {
  root_.makeFolder("platform/logs");
  logLine("before");
  LogStream::close();
  logLine("after");
  const std::string content = TempFolder::readTextFile(logsFile());
  EXPECT_NE(content.find("before"), std::string::npos);
  EXPECT_EQ(content.find("after"), std::string::npos);
}

TEST_F(LogStreamTest, ConcurrentLinesStayWhole) {
  root_.makeFolder("platform/logs");
  constexpr int kThreads = 8;
  constexpr int kLines = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        QLOG("LogStreamTest::thread", 3, LogType::Info)
            << "thread " << t << " line " << i << " " << std::string(static_cast<size_t>(i % 97), 'x')
            << std::endl;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::istringstream content(TempFolder::readTextFile(logsFile()));
  const std::string prefix =
      "[2017-03-01 09:15:02.123], [INFO   ], [LogStreamTest::thread                ], [";
  std::set<std::pair<int, int>> seen;
  std::string line;
  int count = 0;
  while (std::getline(content, line)) {
    ++count;
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    const std::string::size_type message = line.find("]: ", prefix.size());
    ASSERT_NE(message, std::string::npos) << line;
    int t = -1;
    int i = -1;
    int consumed = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + message, "]: thread %d line %d %n", &t, &i, &consumed), 2)
        << line;
    const std::string tail = line.substr(message + static_cast<size_t>(consumed));
    EXPECT_EQ(tail, std::string(static_cast<size_t>(i % 97), 'x')) << line;
    EXPECT_TRUE(seen.insert({t, i}).second) << line;
  }
  EXPECT_EQ(count, kThreads * kLines);
  EXPECT_EQ(platform_.opens(), 1);
}

}  // namespace
}  // namespace quilrun
