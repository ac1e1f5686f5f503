#include "CheckCommand.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostError.h"
#include "LogCapture.h"
#include "cache/DataFileCache.h"
#include "diagnostics/QuillonUtils.h"
#include "platform/PathRules.h"
#include "platform/Platform.h"
#include "server/CurlHelper.h"
#include "server/WebServiceClient.h"

namespace reporthost {

namespace {

using quilrun::PathRules;
using quilrun::Platform;
using quilrun::QuillonUtils;

// Prints the check's lines and remembers whether one failed.
class Report {
 public:
  void ok(const std::string& step, const std::string& detail) { print(step, "OK", detail); }
  void warn(const std::string& step, const std::string& detail) { print(step, "WARN", detail); }
  void fail(const std::string& step, const std::string& detail) {
    failed_ = true;
    print(step, "FAIL", detail);
  }
  bool failed() const { return failed_; }

 private:
  static void print(const std::string& step, const char* verdict, const std::string& detail) {
    std::printf("%-16s %-4s  %s\n", step.c_str(), verdict, detail.c_str());
  }
  bool failed_ = false;
};

std::string orNone(const std::string& text) { return text.empty() ? "(none)" : text; }

// The level the library sets from the configuration when it is loaded:
// 1 when LogLevel has no value, the level it had (0 at start) when the value
// is not a number.
void checkLogLevel(Report& report, LogCapture& capture, const std::string& configFile) {
  const std::string value = QuillonUtils::getConfigProperty(configFile, "LogLevel");
  capture.take();
  int level = 0;
  if (value.empty()) {
    report.warn("log level", "LogLevel has no value: the library logs errors only (level 1)");
  } else if (!QuillonUtils::readLogLevelNumber(value, level)) {
    report.fail("log level", "LogLevel = '" + value +
                                 "' is not a number: the library keeps its level, which is 0 "
                                 "(no log at all) when it starts");
  } else if (level <= 0) {
    report.warn("log level", std::to_string(level) + ": the library writes no log at all");
  } else {
    report.ok("log level", std::to_string(level) +
                               (level >= 4 ? " (every call with its parameters and result)"
                                           : " (raise it to 4 to see every call)"));
  }
}

}  // namespace

int CheckCommand::run(const CommandLine& commandLine) {
  const std::vector<std::string>& arguments = commandLine.arguments();
  if (arguments.size() != 1) throw HostError(ExitCode::Usage, "check needs one data file name");
  const std::string dataFile = arguments.front();

  LogCapture capture;
  Report report;
  Platform& platform = Platform::current();
  const char separator = platform.pathSeparator();

  const std::string executable = platform.executablePath();
  if (executable.empty()) {
    report.fail("executable", "the path of this executable cannot be found out");
  } else {
    report.ok("executable", executable);
  }

  const std::string configFolder = PathRules::configurationFolder(executable, separator);
  const std::string configFile = QuillonUtils::initConfigFileName();
  capture.take();
  if (configFile.empty()) {
    report.fail("configuration", "no folder " + configFolder +
                                     ": the log level and DataShare cannot be read");
  } else if (std::FILE* file = std::fopen(configFile.c_str(), "r")) {
    std::fclose(file);
    report.ok("configuration", configFile);
    checkLogLevel(report, capture, configFile);
  } else {
    report.fail("configuration", "cannot read " + configFile);
  }

  const std::string logFolder = PathRules::logFolder(executable, separator);
  if (platform.isDirectory(logFolder)) {
    report.ok("log folder", logFolder + " (the log file is " +
                                PathRules::logFileName(platform.wallSeconds()) +
                                " there, named after the second the server started)");
  } else {
    report.warn("log folder",
                "no folder " + logFolder + ": the log file goes to the server's current folder");
  }

  const std::string propertiesFile = QuillonUtils::getPropertiesFileName();
  capture.take();
  const std::string share = QuillonUtils::getDataShare();
  const std::vector<LogCapture::Line> shareLines = capture.take();
  if (LogCapture::contains(shareLines, "Data share was read from 'properties.xml'")) {
    report.ok("data share", share + " (from " + propertiesFile + ")");
  } else if (!share.empty()) {
    report.ok("data share", share + " (from DataShare in the configuration; " + propertiesFile +
                                " gave none: " + LogCapture::errors(shareLines) + ")");
  } else {
    report.fail("data share", "none: " + LogCapture::errors(shareLines));
  }

  const std::string dataFilePath =
      quilrun::DataFileCache::dataFilePath(share, separator, dataFile);
  quilrun::DataFileCache cache(dataFile.c_str());
  const std::vector<LogCapture::Line> dataFileLines = capture.take();
  const std::string dataFileErrors = LogCapture::errors(dataFileLines);
  const bool parsed = !LogCapture::contains(dataFileLines, "could not be parsed");
  if (parsed) {
    report.ok("data file", dataFilePath + " parses");
  } else {
    report.fail("data file", dataFileErrors);
  }
  if (parsed && LogCapture::contains(dataFileLines, "does not contain 'jsessionId'")) {
    report.fail("session", "the data file has no <jsessionId>: the library sends session " +
                               cache.getJsessionId());
  } else if (parsed) {
    report.ok("session", cache.getJsessionId());
  } else {
    report.fail("session", "unknown: the library sends session " + cache.getJsessionId());
  }
  if (parsed && !LogCapture::contains(dataFileLines, "does not contain 'webserviceURL'")) {
    report.ok("web service URL", cache.getWebserviceURL());
  } else {
    report.fail("web service URL", (parsed ? "the data file has no <webserviceURL>"
                                           : std::string("unknown")) +
                                       ": the library posts to " + cache.getWebserviceURL());
  }

  curl_global_init(CURL_GLOBAL_ALL);
  {
    quilrun::WebServiceClient client(std::make_unique<quilrun::CurlHelper>());
    const std::optional<quilrun::StringMap> properties = client.getProperties(cache);
    const std::vector<LogCapture::Line> requestLines = capture.take();
    if (properties && !properties->empty()) {
      std::string names;
      for (const char* name : {"Language", "CompanyNumber", "DecimalSeparator"}) {
        const auto found = properties->find(name);
        names += std::string(", ") + name + " = " +
                 (found == properties->end() ? std::string("(missing)") : found->second);
      }
      report.ok("properties", std::to_string(properties->size()) + " properties" + names);
    } else if (properties) {
      report.warn("properties", "the web service answered with no properties");
    } else {
      report.fail("properties", orNone(LogCapture::errors(requestLines)));
    }
  }
  curl_global_cleanup();
  return static_cast<int>(report.failed() ? ExitCode::Failure : ExitCode::Success);
}

}  // namespace reporthost
