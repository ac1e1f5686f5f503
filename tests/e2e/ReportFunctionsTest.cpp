// End-to-end: the report functions against erp-sim serving the demo
// fixtures, in a temporary report server installation.
//
// Most tests run report-host from the installation's platform/bin, one
// process per call, the way the report server calls the library. A
// report-host run makes one call, so everything that needs several calls in
// one process (cache hits) runs in this test program instead: the test
// copies the program into platform/bin, runs the copy (which sees
// QUILRUN_INSTALLED_ROOT and takes the other branch of the test), and the
// copy loads the library with dlopen and calls the exports by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/InstalledRun.h"
#include "support/HostInstallation.h"

namespace {

using quilrun::DemoErp;
using quilrun::ErpCounts;
using quilrun::ExportCall;
using quilrun::HostInstallation;
using quilrun::LoadedLibrary;
using quilrun::LogLine;
using quilrun::ProcessOutcome;

// Runs report-host from platform/bin of an installation.
class ReportHost {
 public:
  // Copies report-host and, beside it where it looks by default, the library.
  explicit ReportHost(const HostInstallation& installation)
      : installation_(installation), program_(installation.install(QUILRUN_REPORT_HOST)) {
    installation.install(QUILRUN_LIBRARY);
  }

  // report-host call FUNCTION ARGS..., with the logs of earlier runs removed
  // first so that logLines() holds this run's lines only.
  ProcessOutcome call(const std::string& function, const std::vector<std::string>& args) const {
    installation_.clearLogs();
    std::vector<std::string> words{"call", function};
    words.insert(words.end(), args.begin(), args.end());
    return quilrun::runProgram(program_, words);
  }

 private:
  const HostInstallation& installation_;
  std::string program_;
};

class ReportFunctionsTest : public ::testing::Test {
 protected:
  ReportFunctionsTest() : erp_(installation_, QUILRUN_ERP_SIM, QUILRUN_DEMO_FIXTURES) {}

  // The result report-host printed, without the newline it adds.
  static std::string printed(const ProcessOutcome& outcome) {
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(outcome.out.empty() || outcome.out.back() != '\n') << outcome.out;
    return outcome.out.empty() ? outcome.out : outcome.out.substr(0, outcome.out.size() - 1);
  }

  HostInstallation installation_;
  DemoErp erp_;
  ReportHost host_{installation_};
};

bool hasLine(const std::vector<LogLine>& lines, const std::string& level,
             const std::string& function, const std::string& message) {
  for (const LogLine& line : lines) {
    if (line.matched && line.level == level && line.function == function &&
        line.message == message) {
      return true;
    }
  }
  return false;
}

std::string joined(const std::vector<LogLine>& lines) {
  std::string text;
  for (const LogLine& line : lines) text += line.raw + "\n";
  return text;
}

TEST_F(ReportFunctionsTest, EveryExportAnswersFromTheFixtures) {
  std::vector<ExportCall> calls = quilrun::demoCalls();
  const std::vector<ExportCall> more = {
      // The label variant that fits: length 10 leaves only the two short ones.
      {"tt_getLabel", {"R1001", "tdsls.orno", "10", "1"}, "Order No.", "", true},
      // Height 2 lets the two-line variant in; at length 12 it is the longest that fits.
      {"tt_getLabel", {"R1001", "tdsls.orno", "12", "2"}, "Sales Order Number", "", true},
      // Parentheses for a negative amount; the sign takes the first free position.
      {"tt_formatAmount", {"R1001", "NEG", "EUR", "-5"}, "          (5.00)", "", true},
      // "C" is the company mask: three digits for company 042, four for 1200.
      {"tt_formatAmount", {"R1001", "CMP", "EUR", "42"}, "042", "", true},
      {"tt_formatAmount", {"R2001", "CMP", "EUR", "42"}, "0042", "", true},
      // The second session: decimal comma, company 1200, German texts in UTF-8.
      {"tt_formatAmount", {"R2001", "AMT", "EUR", "1234567.891"}, "  1.234.567,89", "", true},
      {"tt_formatCompany", {"R2001", "7"}, "0007", "", true},
      {"tt_getProperty", {"R2001", "ReportTitle"}, "Auftragsbestätigung", "", true},
      {"tt_getLabel", {"R2001", "tdsls.orno", "11", "1"}, "Auftragsnr.", "", true},
      {"tt_getText",
       {"R2001", "1001"},
       "Vielen Dank für Ihren Auftrag. Liefertermine gelten vorbehaltlich Verfügbarkeit.",
       "",
       false},
      {"tt_getMessage", {"R2001", "tcmcs0010"}, "Seite", "", true},
      {"tt_getBarcodeImage",
       {"R2001", "4711", "code128"},
       "https://erp.example.com/barcode/code128/4711.png",
       "",
       false},
      {"tt_getEnumImage",
       {"R2001", "tcyesno", "2"},
       "https://erp.example.com/images/enum/tcyesno/nein.png",
       "",
       true},
  };
  calls.insert(calls.end(), more.begin(), more.end());
  for (const ExportCall& call : calls) {
    SCOPED_TRACE(call.describe());
    EXPECT_EQ(printed(host_.call(call.function, call.args)), call.answer);
  }
}

TEST_F(ReportFunctionsTest, FallbacksAnswerAndLogTheirError) {
  struct Case {
    const char* function;
    std::vector<std::string> args;
    const char* answer;
    const char* logFunction;  // of the ERROR line
    const char* error;
  };
  const Case cases[] = {
      {"tt_getLabel",
       {"R1001", "tdsls.orno", "4", "1"},
       "tdsls.orno",
       "ToolsFunctions::getLabel",
       "Didn't find a valid label (code = \"tdsls.orno\", length = 4, height = 1)"},
      {"tt_getLabel",
       {"R1001", "TDSLS.ORNO", "20", "2"},
       "TDSLS.ORNO",
       "ToolsFunctions::getLabel",
       "Didn't find a valid label (code = \"TDSLS.ORNO\", length = 20, height = 2)"},
      {"tt_getMessage",
       {"R1001", "tdsls9999"},
       "tdsls9999",
       "ToolsFunctions::getMessage",
       "Didn't find a valid Message (code = \"tdsls9999\")"},
      {"tt_formatAmount",
       {"R1001", "AMT", "JPY", "1234.5"},
       "** 1234.50 **",
       "ToolsFunctions::formatAmount",
       "No display format available (format code = \"AMT\", currency = \"JPY\")"},
      // Ten digits in a format of nine.
      {"tt_formatAmount",
       {"R1001", "INT", "EUR", "1234567890"},
       "!!!!!!!!!!!",
       "ToolsFunctions::formatAmount",
       "Amount could not be formatted (amount = 1.23457e+09, format string = \"ZZZTZZZTZZ9\" "
       "for format code = \"INT\" and currency = \"EUR\")"},
      // No properties for a data file the session does not serve.
      {"tt_formatCompany",
       {"R9999", "7"},
       "7",
       "ToolsFunctions::formatCompany",
       "Unable to determine the correct company format"},
      {"tt_getProperty",
       {"R1001", "NoSuchProperty"},
       "",
       "ToolsFunctions::getProperty",
       "Didn't find a valid Property (name = \"NoSuchProperty\")"},
      {"tt_getCompanyLogo",
       {"R9999"},
       "",
       "ToolsFunctions::getCompanyLogo",
       "Didn't find a valid URL for companylogo"},
      {"tt_getSensitivityImage",
       {"R1001", "16", "64"},
       "",
       "ToolsFunctions::getSensitivityImage",
       "Didn't find a valid URL for sensitivity image (height = 16, width = 64)"},
      {"tt_getApplicationImage",
       {"R1001", "{00000000-0000-0000-0000-000000000000}"},
       "",
       "ToolsFunctions::getApplicationImage",
       "Didn't find a valid URL for application image (guid = "
       "\"{00000000-0000-0000-0000-000000000000}\")"},
      {"tt_getEnumImage",
       {"R1001", "tcyesno", "3"},
       "",
       "ToolsFunctions::getEnumImage",
       "Didn't find a valid URL for enum image (domain = \"tcyesno\", value = 3)"},
      {"tt_getAdditionalFile",
       {"R1001", "tc", "mcs", "missing.png"},
       "",
       "ToolsFunctions::getAdditionalFile",
       "Didn't find a valid URL for additional file (package = \"tc\", module = \"mcs\", file = "
       "\"missing.png\")"},
      // The fixture answers text 1099 with an error code.
      {"tt_getTextFromCache",
       {"R1001", "1099"},
       "",
       "ToolsFunctions::getCachedText",
       "No text found (text number = 1099)"},
  };
  for (const Case& c : cases) {
    const ExportCall call{c.function, c.args, c.answer, "", true};
    SCOPED_TRACE(call.describe());
    EXPECT_EQ(printed(host_.call(c.function, c.args)), c.answer);
    const std::vector<LogLine> lines = installation_.logLines();
    EXPECT_TRUE(hasLine(lines, "ERROR", c.logFunction, c.error)) << joined(lines);
  }
}

TEST_F(ReportFunctionsTest, CompanyNumberOfAnotherLengthIsPrintedPlain) {
  const std::string fixtures = (installation_.root() / "companies.xml").string();
  HostInstallation::writeFile(fixtures,
                              "<erpSimFixtures>"
                              "<session id=\"TWO\"><dataFile name=\"C2\"/>"
                              "<property name=\"CompanyNumber\">42</property></session>"
                              "<session id=\"FIVE\"><dataFile name=\"C5\"/>"
                              "<property name=\"CompanyNumber\">12345</property></session>"
                              "</erpSimFixtures>");
  quilrun::TempFolder errors;
  quilrun::ErpSimProcess erp(QUILRUN_ERP_SIM, {"--port", "0", "--data", fixtures},
                             (errors.path() / "err.txt").string());
  ASSERT_FALSE(erp.url().empty()) << erp.errorOutput();
  installation_.writeSession("C2", "TWO", erp.url());
  installation_.writeSession("C5", "FIVE", erp.url());
  for (const auto& [dataFile, company] : {std::pair{"C2", "42"}, std::pair{"C5", "12345"}}) {
    SCOPED_TRACE(dataFile);
    EXPECT_EQ(printed(host_.call("tt_formatCompany", {dataFile, "7"})), "7");
    const std::vector<LogLine> lines = installation_.logLines();
    EXPECT_TRUE(hasLine(lines, "ERROR", "ToolsFunctions::formatCompany",
                        std::string("Current company (") + company +
                            ") is not formatted with either 3 or 4 digits"))
        << joined(lines);
    EXPECT_TRUE(hasLine(lines, "ERROR", "ToolsFunctions::formatCompany",
                        "Unable to determine the correct company format"))
        << joined(lines);
  }
}

// With LogLevel = 4 every call logs its parameters first and its answer last,
// in the logger's format: timestamp, INFO padded to 7, the operation padded
// to 37, the source line right-aligned in 5.
TEST_F(ReportFunctionsTest, LogLevelFourLogsParamsAndReturnLines) {
  installation_.writeConfiguration(4);
  struct Case {
    const char* function;
    std::vector<std::string> args;
    const char* operation;
    const char* params;
    const char* returns;
  };
  const Case cases[] = {
      {"tt_getLabel",
       {"R1001", "tdsls.orno", "20", "2"},
       "ToolsFunctions::getLabel",
       "Params: R1001, tdsls.orno, 20, 2",
       "Returns Label \"Sales Order Number\""},
      {"tt_getCompanyLogo",
       {"R1001"},
       "ToolsFunctions::getCompanyLogo",
       "Params: R1001",
       "Returns URL \"https://erp.example.com/images/company/042/logo.png\""},
      {"tt_getSensitivityImage",
       {"R1001", "16", "32"},
       "ToolsFunctions::getSensitivityImage",
       "Params: R1001, 16, 32",
       "Returns URL \"https://erp.example.com/images/sensitivity/confidential-16x32.png\""},
      {"tt_getApplicationImage",
       {"R1001", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"},
       "ToolsFunctions::getApplicationImage",
       "Params: R1001, \"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}\"",
       "Returns URL \"https://erp.example.com/images/app/sales-orders.png\""},
      {"tt_getEnumImage",
       {"R1001", "tcyesno", "1"},
       "ToolsFunctions::getEnumImage",
       "Params: R1001, tcyesno, 1",
       "Returns URL \"https://erp.example.com/images/enum/tcyesno/yes.png\""},
      {"tt_getAdditionalFile",
       {"R1001", "tc", "mcs", "logo.png"},
       "ToolsFunctions::getAdditionalFile",
       "Params: R1001, tc, mcs, logo.png",
       "Returns URL \"https://erp.example.com/files/tc/mcs/logo.png\""},
      {"tt_getSensitivityImage",
       {"R1001", "16", "64"},
       "ToolsFunctions::getSensitivityImage",
       "Params: R1001, 16, 64",
       "Returns URL \"\""},
      {"tt_getText",
       {"R1001", "1002"},
       "ToolsFunctions::getText",
       "Params: R1001, 1002",
       "Text: Payment is due within 30 days of the invoice date without deduction."},
      {"tt_getTextFromCache",
       {"R1001", "1003"},
       "ToolsFunctions::getCachedText",
       "Params: R1001, 1003",
       "Returns Text \"Goods remain our property until paid in full.\""},
      {"tt_getMessage",
       {"R1001", "tcmcs0011"},
       "ToolsFunctions::getMessage",
       "Params: R1001, \"tcmcs0011\"",
       "Returns Message \"Continued on next page\""},
      // The amount as a stream writes a double: six significant digits.
      {"tt_formatAmount",
       {"R1001", "AMT", "USD", "1234567.891"},
       "ToolsFunctions::formatAmount",
       "Params: R1001, AMT, USD, 1.23457e+06",
       "Formatted amount = \"  1,234,567.89\""},
      {"tt_formatCompany",
       {"R1001", "7"},
       "ToolsFunctions::formatCompany",
       "Params: R1001, 7",
       "Returns Company \"007\""},
      {"tt_getProperty",
       {"R1001", "UserName"},
       "ToolsFunctions::getProperty",
       "Params: R1001, UserName",
       "Returns Property \"jsmith\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    printed(host_.call(c.function, c.args));
    const std::vector<LogLine> lines = installation_.logLines();
    std::vector<std::string> own;  // the operation's messages, in order
    for (const LogLine& line : lines) {
      if (line.function == c.operation) own.push_back(line.message);
    }
    ASSERT_FALSE(own.empty()) << joined(lines);
    EXPECT_EQ(own.front(), c.params) << joined(lines);
    EXPECT_EQ(own.back(), c.returns) << joined(lines);
    // Each call here is the first of its process: the data file has no cache yet.
    if (c.function != std::string("tt_getText")) {
      ASSERT_GE(own.size(), 2u);
      EXPECT_EQ(own[1], "Cache does not yet exist for datafile R1001");
    }
    // The parameter line field by field: the operation padded to exactly
    // 37 (none of these names is longer), the line number in exactly 5.
    const std::string fields = "], [INFO   ], [" + std::string(c.operation) +
                               std::string(37 - std::strlen(c.operation), ' ') + "], [";
    const std::size_t numberAt = 24 + fields.size();
    bool found = false;
    for (const LogLine& line : lines) {
      found = found || (line.matched && line.message == c.params &&
                        line.raw.compare(24, fields.size(), fields) == 0 &&
                        line.raw.compare(numberAt + 5, 3, "]: ") == 0);
    }
    EXPECT_TRUE(found) << joined(lines);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const LogLine& line) { return !line.matched; }),
              0)
        << joined(lines);
  }
}

// With LogLevel = 1 only errors are logged once the configuration is read;
// before that, at load, the default level lets the libcurl line through.
// (Every process also logs the error that there is no properties.xml in the
// installation, before it reads the data share from the configuration.)
TEST_F(ReportFunctionsTest, LogLevelOneLogsOnlyErrors) {
  installation_.writeConfiguration(1);
  struct Case {
    const char* function;
    std::vector<std::string> args;
    const char* error;  // the report function's ERROR line, or null for none
  };
  const Case cases[] = {
      {"tt_getLabel", {"R1001", "tdsls.orno", "20", "2"}, nullptr},
      {"tt_getMessage",
       {"R1001", "tdsls9999"},
       "Didn't find a valid Message (code = \"tdsls9999\")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    printed(host_.call(c.function, c.args));
    const std::vector<LogLine> lines = installation_.logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.front().function == "DllMain" &&
                lines.front().message == "cURL initialization OK")
        << joined(lines);
    long reportErrors = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].matched && lines[i].level == "ERROR") << lines[i].raw;
      reportErrors += lines[i].function.rfind("ToolsFunctions::", 0) == 0;
    }
    if (c.error == nullptr) {
      EXPECT_EQ(reportErrors, 0) << joined(lines);
    } else {
      EXPECT_TRUE(hasLine(lines, "ERROR", "ToolsFunctions::getMessage", c.error)) << joined(lines);
    }
  }
}

// In-process: several calls in one process ------------------------------------------

class ReportCacheTest : public ::testing::Test {
 protected:
  static bool inside() { return quilrun::InstalledRun::inside(); }
  static void runInside(int logLevel = 1) { quilrun::InstalledRun::expectPassesInside(logLevel); }

  // What call leaves in a buffer of exactly resultSize bytes.
  static std::string callWithBuffer(const LoadedLibrary& library, const ExportCall& call,
                                    int resultSize) {
    std::vector<char> buffer(static_cast<std::size_t>(resultSize), '\xA5');
    EXPECT_EQ(quilrun::bindExport(library, call.function, call.args)(buffer.data(), resultSize), 0);
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
  }
};

// A cached value is answered without a request, also when the call that
// fetched it had a buffer too small for it; another data file has its own
// cache; the barcode and the plain text ask at every call.
TEST_F(ReportCacheTest, SecondCallIsAnsweredFromTheCache) {
  if (!inside()) return runInside();
  const std::string path = quilrun::libraryBesideExecutable();
  const int port = quilrun::installedErpPort();
  for (const ExportCall& call : quilrun::demoCalls()) {
    if (call.asks.empty()) continue;
    SCOPED_TRACE(call.describe());
    // A fresh load for each call, so that nothing is cached yet.
    ASSERT_FALSE(LoadedLibrary::isMapped(path)) << "the last unload left the library loaded";
    LoadedLibrary library(path);

    const ErpCounts before = ErpCounts::fetch(port);
    EXPECT_EQ(callWithBuffer(library, call, 8), call.answerIn(8));
    const ErpCounts first = ErpCounts::fetch(port);
    EXPECT_EQ(first[call.asks], before[call.asks] + 1);

    EXPECT_EQ(callWithBuffer(library, call, 4096), call.answer);
    const ErpCounts second = ErpCounts::fetch(port);
    if (call.cached) {
      EXPECT_EQ(second.requests(), first.requests());
    } else {
      EXPECT_EQ(second[call.asks], first[call.asks] + 1);
    }

    EXPECT_EQ(callWithBuffer(library, call.forDataFile("R1002"), 4096), call.answer);
    EXPECT_EQ(ErpCounts::fetch(port)[call.asks], second[call.asks] + 1);
  }
}

// Nothing is cached for a key the server has nothing for, so the next call
// asks again; the exception is a display format, once the data file's list
// of formats is cached. Text number 0 never asks.
TEST_F(ReportCacheTest, MissesAreAskedForAgainExceptWithCachedFormats) {
  if (!inside()) return runInside();
  struct Case {
    ExportCall call;
    long firstAsks;
    long repeatAsks;
  };
  const Case cases[] = {
      {{"tt_getSensitivityImage", {"R1001", "16", "64"}, "", "store"}, 1, 1},
      {{"tt_getLabel", {"R1001", "tdsls.orno", "4", "1"}, "tdsls.orno", "GetLabelVariants"}, 1, 1},
      {{"tt_getMessage", {"R1001", "tdsls9999"}, "tdsls9999", "GetMessageText"}, 1, 1},
      {{"tt_getProperty", {"R1001", "NoSuchProperty"}, "", "properties"}, 1, 1},
      {{"tt_formatAmount",
        {"R1001", "AMT", "JPY", "1234.5"},
        "** 1234.50 **",
        "GetCurrencyFormats"},
       1,
       0},
      {{"tt_getTextFromCache", {"R1001", "0"}, "", "GetReportText"}, 0, 0},
      {{"tt_getText", {"R1001", "0"}, "", "GetReportText"}, 0, 0},
  };
  const std::string path = quilrun::libraryBesideExecutable();
  const int port = quilrun::installedErpPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call.describe());
    ASSERT_FALSE(LoadedLibrary::isMapped(path)) << "the last unload left the library loaded";
    LoadedLibrary library(path);
    const ErpCounts before = ErpCounts::fetch(port);
    EXPECT_EQ(callWithBuffer(library, c.call, 256), c.call.answer);
    const ErpCounts first = ErpCounts::fetch(port);
    EXPECT_EQ(first[c.call.asks] - before[c.call.asks], c.firstAsks);
    EXPECT_EQ(callWithBuffer(library, c.call, 256), c.call.answer);
    EXPECT_EQ(ErpCounts::fetch(port)[c.call.asks] - first[c.call.asks], c.repeatAsks);
    if (c.firstAsks == 0) {
      EXPECT_EQ(ErpCounts::fetch(port).requests(), before.requests());
    }
  }
}

// The limits of the configuration file hold however many data files come:
// at most MaxDataFiles caches (each one dropped early is named in the log)
// and MaxConnections open connections.
TEST_F(ReportCacheTest, ManyDataFilesStayWithinTheConfiguredLimits) {
  if (!inside()) return runInside(3);
  const std::filesystem::path root = quilrun::installedRoot();
  std::ofstream(root / "platform" / "configuration" / "corvane_talm_Quilrun.config",
                std::ios::app)
      << "MaxDataFiles = 10\nMaxConnections = 4\n";
  const int port = quilrun::installedErpPort();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/svcgw";
  std::vector<std::string> names;
  for (int i = 0; i < 100; ++i) {
    names.push_back("MANY" + std::to_string(i));
    quilrun::HostInstallation::writeFile(root / "share" / "Talmxmlfiles" / (names.back() + "-i"),
                                         std::string("<s><jsessionId>") +
                                             DemoErp::kFirstSession +
                                             "</jsessionId><webserviceURL>" + url +
                                             "</webserviceURL></s>");
  }
  auto descriptors = [] {
    long count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      count += !entry.path().empty();
    }
    return count;
  };
  LoadedLibrary library(quilrun::libraryBesideExecutable());
  // The first call creates the log file and the scanner: count from after it.
  callWithBuffer(library, {"tt_getProperty", {"R1001", "UserName"}, "jsmith", "properties"}, 64);
  const long before = descriptors();
  const ErpCounts start = ErpCounts::fetch(port);
  for (const std::string& name : names) {
    callWithBuffer(library, {"tt_getProperty", {name, "UserName"}, "", "properties"}, 64);
  }
  EXPECT_LE(descriptors(), before + 4 * 3);
  // Beside the first call's connection, three more (MaxConnections = 4),
  // which the later data files took over, and the one that asks for the
  // figures.
  EXPECT_EQ(ErpCounts::fetch(port)["connections"] - start["connections"], 4);
  int dropped = 0;
  for (const LogLine& line : quilrun::installedLogLines()) {
    dropped += line.level == "INFO" && line.function == "DataCache::getDataFileCache" &&
               line.message.rfind("Dropping the least recently used cache, for datafile '", 0) == 0 &&
               line.message.find("to stay within MaxDataFiles = 10") != std::string::npos;
  }
  // R1001 and the first 99 others made room for the last ninety.
  EXPECT_EQ(dropped, 91);
}

}  // namespace
