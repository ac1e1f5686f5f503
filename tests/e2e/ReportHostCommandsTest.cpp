// End-to-end: report-host's render and check commands, run from platform/bin
// of a temporary installation against erp-sim serving the demo fixtures,
// the way a report developer and an administrator use them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/HostInstallation.h"
#include "support/TempFolder.h"

namespace {

using quilrun::DemoErp;
using quilrun::ErpCounts;
using quilrun::HostInstallation;
using quilrun::ProcessOutcome;
using quilrun::TempFolder;

class ReportHostCommandsTest : public ::testing::Test {
 protected:
  ReportHostCommandsTest()
      : erp_(installation_, QUILRUN_ERP_SIM, QUILRUN_DEMO_FIXTURES),
        host_(installation_.install(QUILRUN_REPORT_HOST)) {
    installation_.install(QUILRUN_LIBRARY);
  }

  ProcessOutcome host(const std::vector<std::string>& args) const {
    return quilrun::runProgram(host_, args);
  }

  // A template file in a folder of its own.
  std::string templateFile(const std::string& text) {
    const std::string path = (templates_.path() / "report.qrt").string();
    HostInstallation::writeFile(path, text);
    return path;
  }

  void resetCounts() const { quilrun::httpExchange(erp_.port(), "POST", "/stats/reset"); }

  HostInstallation installation_;
  DemoErp erp_;
  std::string host_;
  TempFolder templates_;
};

TEST_F(ReportHostCommandsTest, SampleReportRendersEveryFunctionsAnswer) {
  const ProcessOutcome outcome = host({"render", QUILRUN_SAMPLE_REPORT, "R1001"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, TempFolder::readFile(QUILRUN_SAMPLE_REPORT_EXPECTED));
  EXPECT_NE(outcome.err.find("render: 1 rendering (1 thread x 1), 36 calls, 0 errors, 0 empty "
                             "results, "),
            std::string::npos)
      << outcome.err;
}

TEST_F(ReportHostCommandsTest, RepeatedRenderingsAnswerFromTheCache) {
  // Fields of one data file's stores, and two that ask the server every time.
  const std::string report = templateFile(
      "{{ tt_getLabel(\"tdsls.orno\", 9, 1) }} {{ tt_getMessage(\"tcmcs0010\") }} "
      "{{ tt_formatAmount(\"AMT\", \"EUR\", 1234.5) | >12 }} {{ tt_getProperty(\"UserName\") }} "
      "{{ tt_getText(1002) | 3 }}|{{ tt_getBarcodeImage(\"X1\", \"p\") }}\n");
  const ProcessOutcome once = host({"render", report, "R1001"});
  ASSERT_EQ(once.exitCode, 0) << once.err;
  EXPECT_EQ(once.out,
            "Order No. Page       1,234.50 jsmith Payment is due within 30 days of the invoice date "
            "without deduction.|https://erp.example.com/barcode?value=X1&options=p\n");
  const long coldRequests = erp_.counts().requests();

  resetCounts();
  const ProcessOutcome repeated =
      host({"render", report, "R1001", "--repeat", "10", "--threads", "1"});
  ASSERT_EQ(repeated.exitCode, 0) << repeated.err;
  EXPECT_EQ(repeated.out, once.out);  // the first rendering is printed
  EXPECT_NE(repeated.err.find("10 renderings (1 thread x 10), 60 calls, 0 errors"),
            std::string::npos)
      << repeated.err;
  const ErpCounts counts = erp_.counts();
  // Nine more renderings add only the report text and the barcode.
  EXPECT_EQ(counts.requests(), coldRequests + 9 * 2);
  EXPECT_EQ(counts["GetReportText"], 10);
  EXPECT_EQ(counts["GetLabelVariants"], 1);
}

TEST_F(ReportHostCommandsTest, ParallelRenderingsOfTwoDataFilesAgree) {
  const ProcessOutcome outcome = host({"render", QUILRUN_SAMPLE_REPORT, "R1001", "R1002",
                                       "--threads", "2", "--repeat", "25", "--quiet"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("50 renderings (2 threads x 25), 1800 calls, 0 errors, 0 empty"),
            std::string::npos)
      << outcome.err;
}

TEST_F(ReportHostCommandsTest, FallbacksCountAsEmptyResultsNotErrors) {
  const std::string report = templateFile(
      "[{{ tt_getText(1099) }}][{{ tt_getLabel(\"no.such\", 5, 1) }}][{{ tt_getCompanyLogo() }}]");
  const ProcessOutcome outcome = host({"render", report, "R9999"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "[][no.such][]");
  EXPECT_NE(outcome.err.find("3 calls, 0 errors, 2 empty results"), std::string::npos)
      << outcome.err;
}

TEST_F(ReportHostCommandsTest, RenderRefusesBadTemplatesAndOptions) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::string broken = templateFile("line\n{{ tt_getLabel(\"x\") }}");
  const Case cases[] = {
      {{"render", broken, "R1001"},
       ":2:20: tt_getLabel takes 3 arguments: labelCode (text), length (int), height (int); "
       "got 1"},
      {{"render", broken}, "render needs a template and at least one data file"},
      {{"render", "/no/such.qrt", "R1001"}, "cannot read the template /no/such.qrt"},
      {{"render", broken, "R1001", "--threads", "0"}, "--threads: '0' is below 1"},
      {{"render", broken, "R1001", "--fast"}, "render: unknown option --fast"},
  };
  for (const Case& c : cases) {
    const ProcessOutcome outcome = host(c.args);
    EXPECT_EQ(outcome.exitCode, 2) << c.message;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
}

// The check's lines as "step verdict" pairs, in order.
std::vector<std::string> verdicts(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    const std::string step = quilrun::withoutTrailingBlanks(line.substr(0, 16));
    const std::string verdict = quilrun::withoutTrailingBlanks(line.substr(17, 4));
    lines.push_back(step + " " + verdict);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

TEST_F(ReportHostCommandsTest, CheckWalksAGoodInstallation) {
  const ProcessOutcome outcome = host({"check", "R1001"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.out << outcome.err;
  EXPECT_EQ(verdicts(outcome.out),
            (std::vector<std::string>{"executable OK", "configuration OK", "log level OK",
                                      "log folder OK", "data share OK", "data file OK",
                                      "session OK", "web service URL OK", "properties OK"}));
  const std::string share = installation_.share().string();
  EXPECT_NE(outcome.out.find("data share       OK    " + share + " (from DataShare"),
            std::string::npos)
      << outcome.out;
  EXPECT_NE(outcome.out.find(share + "/Talmxmlfiles/R1001-i parses"), std::string::npos);
  EXPECT_NE(outcome.out.find("session          OK    " + std::string(DemoErp::kFirstSession)),
            std::string::npos);
  EXPECT_NE(outcome.out.find("6 properties, Language = 2, CompanyNumber = 042"),
            std::string::npos)
      << outcome.out;
  // The check writes no log file of its own.
  EXPECT_EQ(installation_.logText(), "");
}

TEST_F(ReportHostCommandsTest, CheckNamesTheStepThatFailsAndWhy) {
  struct Case {
    const char* name;
    std::function<void()> breakIt;
    const char* dataFile;
    std::string failedLine;
  };
  const std::string dataFiles = (installation_.share() / "Talmxmlfiles").string();
  const Case cases[] = {
      {"missing data file", [] {}, "R7777",
       "data file        FAIL  Data file '" + dataFiles + "/R7777-i' could not be parsed"},
      {"session the ERP does not serve", [] {}, "R9999",
       "properties       FAIL  Web service call failed: "},
      {"server down",
       [&] { installation_.writeSession("R5555", "S", "http://127.0.0.1:1/svcgw"); }, "R5555",
       "properties       FAIL  Request failed with error: Couldn't connect to server"},
      {"no session in the data file",
       [&] {
         HostInstallation::writeFile(dataFiles + "/R6666-i", "<session><webserviceURL>x"
                                                             "</webserviceURL></session>");
       },
       "R6666", "session          FAIL  the data file has no <jsessionId>: the library sends "
                "session 0"},
      {"log level not a number",
       [&] {
         HostInstallation::writeFile(
             installation_.root() / "platform" / "configuration" / "corvane_talm_Quilrun.config",
             "LogLevel = high\nDataShare = " + installation_.share().string() + "\n");
       },
       "R1001", "log level        FAIL  LogLevel = 'high' is not a number"},
  };
  for (const Case& c : cases) {
    c.breakIt();
    const ProcessOutcome outcome = host({"check", c.dataFile});
    EXPECT_EQ(outcome.exitCode, 1) << c.name << "\n" << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find(c.failedLine), std::string::npos) << c.name << "\n" << outcome.out;
  }
}

TEST(ReportHostCheckTest, CheckOutsideAnInstallationSaysWhatIsMissing) {
  TempFolder folder;
  folder.makeFolder("bin");
  const std::string host = (folder.path() / "bin" / "report-host").string();
  std::filesystem::copy_file(QUILRUN_REPORT_HOST, host);
  const ProcessOutcome outcome = quilrun::runProgram(host, {"check", "R1001"});
  EXPECT_EQ(outcome.exitCode, 1);
  const std::string configuration = (folder.path() / "configuration").string();
  for (const std::string& line :
       {"configuration    FAIL  no folder " + configuration,
        std::string("log folder       WARN  no folder ") + (folder.path() / "logs").string(),
        std::string("data share       FAIL  none: Executable (") + host +
            ") is not located in 'platform\\bin' folder; The 'properties.xml' file could not be "
            "parsed",
        std::string("properties       FAIL  ")}) {
    EXPECT_NE(outcome.out.find(line), std::string::npos) << line << "\n" << outcome.out;
  }
}

}  // namespace
