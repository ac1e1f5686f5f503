// The Windows build of report-host and the library, run under wine from
// platform\bin of a temporary installation against erp-sim running natively
// on loopback: the exports' main paths, where the log file goes, the
// configuration and properties.xml found through the executable's folder.
//
// Run by scripts/windows.sh with QUILRUN_WINDOWS_BIN naming the folder of
// report-host.exe and quilrun.dll (x86_64 build); QUILRUN_WINE may name the
// wine loader (default /usr/lib/wine/wine64).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/HostInstallation.h"
#include "support/TempFolder.h"

namespace {

using quilrun::DemoErp;
using quilrun::HostInstallation;
using quilrun::ProcessOutcome;
using quilrun::TempFolder;

std::string environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// The path as a Windows program under wine sees it: drive Z: is the root.
std::string windowsPath(const std::filesystem::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

// The text without the carriage returns of Windows line ends.
std::string withoutCarriageReturns(std::string text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

class WineReportHostTest : public ::testing::Test {
 protected:
  WineReportHostTest() : erp_(installation_, QUILRUN_ERP_SIM, QUILRUN_DEMO_FIXTURES) {}

  void SetUp() override {
    const std::string bin = environment("QUILRUN_WINDOWS_BIN", "");
    ASSERT_FALSE(bin.empty()) << "QUILRUN_WINDOWS_BIN must name the Windows build's folder";
    host_ = installWindowsHost(bin, "bin");
    writeConfiguration(4);
  }

  // Copies report-host.exe and quilrun.dll into platform/<folder>.
  std::string installWindowsHost(const std::string& bin, const std::string& folder) {
    const std::filesystem::path target = installation_.root() / "platform" / folder;
    std::filesystem::create_directories(target);
    for (const char* file : {"report-host.exe", "quilrun.dll"}) {
      std::filesystem::copy_file(std::filesystem::path(bin) / file, target / file,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    return (target / "report-host.exe").string();
  }

  // The configuration with the data share as a Windows path.
  void writeConfiguration(int logLevel) const {
    HostInstallation::writeFile(
        installation_.root() / "platform" / "configuration" / "corvane_talm_Quilrun.config",
        "LogLevel = " + std::to_string(logLevel) + "\r\nDataShare = " +
            windowsPath(installation_.share()) + "\r\n");
  }

  ProcessOutcome wine(const std::string& host, const std::vector<std::string>& args) const {
    std::vector<std::string> words{host};
    words.insert(words.end(), args.begin(), args.end());
    quilrun::ProcessOptions options;
    options.env.emplace_back("WINEDEBUG", "-all");
    ProcessOutcome outcome =
        quilrun::runProgram(environment("QUILRUN_WINE", "/usr/lib/wine/wine64"), words, options);
    outcome.out = withoutCarriageReturns(outcome.out);
    return outcome;
  }

  HostInstallation installation_;
  DemoErp erp_;
  std::string host_;
};

TEST_F(WineReportHostTest, EveryExportAnswersItsMainPath) {
  for (const quilrun::ExportCall& call : quilrun::demoCalls()) {
    std::vector<std::string> args{"call", call.function};
    args.insert(args.end(), call.args.begin(), call.args.end());
    const ProcessOutcome outcome = wine(host_, args);
    EXPECT_EQ(outcome.exitCode, 0) << call.describe() << "\n" << outcome.err;
    EXPECT_EQ(outcome.out, call.answer + "\n") << call.describe();
  }
}

TEST_F(WineReportHostTest, SampleReportRendersAsOnLinux) {
  const ProcessOutcome outcome = wine(host_, {"render", QUILRUN_SAMPLE_REPORT, "R1001"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, TempFolder::readFile(QUILRUN_SAMPLE_REPORT_EXPECTED));
}

// True when log has before, a source line number (right-aligned in five
// places) and after, in that order.
bool hasLineNumberedLine(const std::string& log, const std::string& before,
                         const std::string& after) {
  for (std::size_t at = log.find(before); at != std::string::npos;
       at = log.find(before, at + 1)) {
    const std::size_t number = at + before.size();
    if (log.size() < number + 5) break;
    const std::string field = log.substr(number, 5);
    const std::size_t digits = field.find_first_not_of(' ');
    if (digits != std::string::npos &&
        field.find_first_not_of("0123456789", digits) == std::string::npos &&
        log.compare(number + 5, after.size(), after) == 0) {
      return true;
    }
  }
  return false;
}

TEST_F(WineReportHostTest, LogFileGoesToTheLogsFolderAtTheConfiguredLevel) {
  const ProcessOutcome outcome = wine(host_, {"call", "tt_getProperty", "R1001", "UserName"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "jsmith\n");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(installation_.logs())) {
    files.push_back(entry.path());
  }
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string().rfind("Quilrun_", 0), 0u);
  const std::string log = withoutCarriageReturns(TempFolder::readFile(files[0]));
  EXPECT_NE(log.find("]: cURL initialization OK\n"), std::string::npos) << log;
  // Level 4 from the configuration: every call with its parameters, in the
  // line's columns (the source line number is whatever it is).
  EXPECT_TRUE(hasLineNumberedLine(log, "[ToolsFunctions::getProperty          ], [",
                                  "]: Params: R1001, UserName\n"))
      << log;
  EXPECT_NE(log.find("Returns Property \"jsmith\""), std::string::npos) << log;
}

TEST_F(WineReportHostTest, PropertiesXmlIsFoundThroughPlatformBin) {
  std::filesystem::create_directories(installation_.root() / "setup");
  HostInstallation::writeFile(
      installation_.root() / "setup" / "properties.xml",
      "<rundel><serverconfig><reportservice><datasourceparm1>fileserver</datasourceparm1>"
      "<datasourceparm2>reports</datasourceparm2></reportservice></serverconfig></rundel>");
  const std::string bin64 = installWindowsHost(environment("QUILRUN_WINDOWS_BIN", ""), "bin64");
  for (const std::string& host : {host_, bin64}) {
    const ProcessOutcome outcome = wine(host, {"check", "R1001"});
    const std::string properties = windowsPath(installation_.root() / "setup" / "properties.xml");
    EXPECT_NE(outcome.out.find("data share       OK    \\\\fileserver\\reports (from " +
                               properties + ")"),
              std::string::npos)
        << host << "\n" << outcome.out;
    EXPECT_NE(outcome.out.find("\\\\fileserver\\reports\\Talmxmlfiles\\R1001-i"),
              std::string::npos)
        << outcome.out;
  }
}

}  // namespace
