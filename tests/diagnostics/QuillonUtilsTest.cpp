#include "diagnostics/QuillonUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/LogRecord.h"
#include "support/CapturingSink.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace quilrun {
namespace {

namespace fs = std::filesystem;

struct LineCase {
  const char* line;
  const char* key;
  const char* value;  // null: the line gives no value
};

TEST(QuillonUtilsTest, ParsesConfigurationLines) {
  const LineCase cases[] = {
      {"LogLevel = 4", "LogLevel", "4"},
      {"LogLevel=4", "LogLevel", "4"},
      {"LogLevel\t=\t 4", "LogLevel", "4"},
      {"  LogLevel = 4", "LogLevel", "4"},
      {"#LogLevel = 5", "LogLevel", nullptr},
      {"x # LogLevel = 5", "LogLevel", nullptr},
      {"LogLevel = 3 # verbose", "LogLevel", "3 # verbose"},
      {"LogLevel =", "LogLevel", nullptr},
      {"LogLevel = \t ", "LogLevel", nullptr},
      {"LogLevel 4", "LogLevel", nullptr},
      {"MyLogLevel=5", "LogLevel", "5"},
      {"loglevel=5", "LogLevel", nullptr},
      {"=LogLevel", "LogLevel", nullptr},
      {"Log=LogLevel=2", "LogLevel", "2"},
      {"LogLevel==3", "LogLevel", "=3"},
      {"DataShare = \\\\srv\\share # main  ", "DataShare", "\\\\srv\\share # main  "},
      {"", "LogLevel", nullptr},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.line);
    std::string value = "untouched";
    const bool found = QuillonUtils::parseConfigLine(c.line, c.key, value);
    EXPECT_EQ(found, c.value != nullptr);
    EXPECT_EQ(value, c.value != nullptr ? c.value : "untouched");
  }
}

struct NumberCase {
  const char* text;
  bool readable;
  int number;
};

TEST(QuillonUtilsTest, ReadsLogLevelNumbersLikeStreamInput) {
  const NumberCase cases[] = {
      {"4", true, 4},           {"4 # verbose", true, 4},   {" \t4", true, 4},
      {"-2", true, -2},         {"+7", true, 7},            {"5abc", true, 5},
      {"007", true, 7},         {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0}, {"-2147483649", false, 0},  {"99999999999999999999999", false, 0},
      {"abc", false, 0},        {"", false, 0},             {"- 5", false, 0},
      {"+", false, 0},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    int number = 12345;
    EXPECT_EQ(QuillonUtils::readLogLevelNumber(c.text, number), c.readable);
    EXPECT_EQ(number, c.readable ? c.number : 12345);
  }
}

// An installation in a temporary folder: <root>/platform/bin/host.
class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest() : platform_((root_.path() / "platform" / "bin" / "host").string()) {
    root_.makeFolder("platform/bin");
    QuillonUtils::reset();
  }
  ~InstallationTest() override {
    QuillonUtils::reset();
    logLevel.store(3);
  }

  void writeConfiguration(const std::string& content) {
    root_.makeFolder("platform/configuration");
    std::ofstream(configurationFile(), std::ios::binary) << content;
  }
  void writeProperties(const std::string& content) {
    root_.makeFolder("setup");
    std::ofstream(root_.path() / "setup" / "properties.xml", std::ios::binary) << content;
  }
  fs::path configurationFile() const {
    return root_.path() / "platform" / "configuration" / "corvane_talm_Quilrun.config";
  }

  TempFolder root_;
  FakePlatform platform_;
};

struct LevelCase {
  const char* configuration;
  int level;
};

TEST_F(InstallationTest, ReloadSetsTheThresholdFromTheFirstLineWithAValue) {
  const LevelCase cases[] = {
      {"#LogLevel=5\nLogLevel=2\n", 2},
      {"LogLevel = \nLogLevel = 4\n", 4},
      {"MyLogLevel=5\nLogLevel=2\n", 5},
      {"LogLevel=4\r\nLogLevel=2\r\n", 4},
      {"DataShare=/mnt/share\n", 1},
      {"", 1},
      {"LogLevel=abc\n", 0},
      {"LogLevel=-3", -3},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.configuration);
    QuillonUtils::reset();
    writeConfiguration(c.configuration);
    reloadLogLevel();
    EXPECT_EQ(logLevel.load(), c.level);
    EXPECT_EQ(QuillonUtils::getConfiguredLogLevel(), c.level);
  }
}

TEST_F(InstallationTest, UnreadableLevelKeepsTheLastConfiguredOne) {
  writeConfiguration("LogLevel=4\n");
  reloadLogLevel();
  writeConfiguration("LogLevel=abc\n");
  reloadLogLevel();
  EXPECT_EQ(logLevel.load(), 4);
  writeConfiguration("LogLevel=99999999999\n");
  reloadLogLevel();
  EXPECT_EQ(logLevel.load(), 4);
}

TEST_F(InstallationTest, WithoutAConfigurationFolderTheThresholdBecomesOne) {
  CapturingSink log;
  reloadLogLevel();
  EXPECT_EQ(logLevel.load(), 1);
  EXPECT_EQ(QuillonUtils::getConfigFileName(), "");
  EXPECT_NE(log.text().find("[WARNING], [QuillonUtils::getConfigProperty      ]"),
            std::string::npos);
  EXPECT_NE(log.text().find("No value found for property 'LogLevel'"), std::string::npos);
}

TEST_F(InstallationTest, ConfigurationPathIsKeptWhenTheFolderGoes) {
  writeConfiguration("LogLevel=2\n");
  EXPECT_EQ(QuillonUtils::initConfigFileName(), configurationFile().string());
  fs::remove_all(root_.path() / "platform" / "configuration");
  EXPECT_EQ(QuillonUtils::initConfigFileName(), configurationFile().string());
  EXPECT_EQ(QuillonUtils::getConfigFileName(), configurationFile().string());
}

TEST_F(InstallationTest, LogsParamsAndReturnsAtLevelFour) {
  writeConfiguration("LogLevel = 4\n");
  logLevel.store(4);
  CapturingSink log;
  EXPECT_EQ(QuillonUtils::getConfigProperty(configurationFile().string(), "LogLevel"), "4");
  const std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("[INFO   ], [QuillonUtils::getConfigProperty      ], ["),
            std::string::npos);
  EXPECT_NE(lines[0].find("]: Params: " + configurationFile().string() + ", LogLevel\n"),
            std::string::npos);
  EXPECT_NE(lines[1].find("]: Returns: 4\n"), std::string::npos);
}

struct ShareCase {
  const char* name;
  const char* properties;     // null: no properties.xml
  const char* configuration;  // null: no configuration file
  const char* share;          // with '/' separators
  const char* error;          // an expected ERROR message, or null
};

TEST_F(InstallationTest, DataShareFromPropertiesElseConfiguration) {
  const char* const good =
      "<rundel><serverconfig><reportservice><datasourceparm1>fileserver</datasourceparm1>"
      "<datasourceparm2>reports</datasourceparm2></reportservice></serverconfig></rundel>";
  const ShareCase cases[] = {
      {"properties", good, "DataShare=/mnt/other\n", "//fileserver/reports", nullptr},
      {"missing", nullptr, "DataShare = /mnt/share # main \n", "/mnt/share # main ",
       "The 'properties.xml' file could not be parsed: File was not found"},
      {"malformed", "<rundel><serverconfig>", "DataShare=/mnt/share\n", "/mnt/share",
       "The 'properties.xml' file could not be parsed: "},
      {"no elements", "<rundel><other/></rundel>", "DataShare=/mnt/share\n", "/mnt/share",
       "The 'properties.xml' file does not contain the location of the data share"},
      {"one element",
       "<rundel><serverconfig><reportservice><datasourceparm1>fs</datasourceparm1>"
       "</reportservice></serverconfig></rundel>",
       "DataShare=/mnt/share\n", "/mnt/share",
       "The 'properties.xml' file does not contain the location of the data share"},
      {"empty text",
       "<rundel><serverconfig><reportservice><datasourceparm1>fileserver</datasourceparm1>"
       "<datasourceparm2></datasourceparm2></reportservice></serverconfig></rundel>",
       "DataShare=/mnt/share\n", "/mnt/share",
       "'properties.xml' contains empty value for data share"},
      {"CDATA and first of two",
       "<rundel><serverconfig><reportservice><datasourceparm1><![CDATA[fs 1]]></datasourceparm1>"
       "<datasourceparm2>r</datasourceparm2><datasourceparm2>x</datasourceparm2>"
       "</reportservice></serverconfig></rundel>",
       nullptr, "//fs 1/r", nullptr},
      {"nowhere", nullptr, nullptr, "",
       "Data share is not configured in 'corvane_talm_Quilrun.config'"},
  };
  for (const ShareCase& c : cases) {
    SCOPED_TRACE(c.name);
    QuillonUtils::reset();
    fs::remove_all(root_.path() / "setup");
    fs::remove_all(root_.path() / "platform" / "configuration");
    if (c.properties != nullptr) writeProperties(c.properties);
    if (c.configuration != nullptr) writeConfiguration(c.configuration);
    CapturingSink log;
    // A share from properties.xml is formed with the platform's separator.
    EXPECT_EQ(QuillonUtils::getDataShare(),
              c.properties != nullptr && c.share[0] == '/' && c.share[1] == '/'
                  ? withNativeSeparators(c.share)
                  : std::string(c.share));
    if (c.error != nullptr) {
      EXPECT_NE(log.text().find(std::string("[ERROR  ], [QuillonUtils::readDataShare")),
                std::string::npos)
          << log.text();
      EXPECT_NE(log.text().find(std::string("]: ") + c.error), std::string::npos) << log.text();
    } else {
      EXPECT_EQ(log.text().find("[ERROR  ]"), std::string::npos) << log.text();
    }
  }
}

TEST_F(InstallationTest, DataShareIsDeterminedOncePerProcess) {
  writeConfiguration("DataShare=/mnt/first\n");
  logLevel.store(5);
  CapturingSink log;
  std::vector<std::thread> threads;
  std::vector<std::string> answers(4);
  for (size_t i = 0; i < answers.size(); ++i) {
    threads.emplace_back([&answers, i] { answers[i] = QuillonUtils::getDataShare(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& answer : answers) EXPECT_EQ(answer, "/mnt/first");
  writeConfiguration("DataShare=/mnt/second\n");
  EXPECT_EQ(QuillonUtils::getDataShare(), "/mnt/first");

  int reads = 0;
  for (const std::string& line : log.lines()) {
    if (line.find("Trying to parse properties file") != std::string::npos) ++reads;
  }
  EXPECT_EQ(reads, 1);
}

TEST(QuillonUtilsTest, ExecutableOutsidePlatformBinIsAnError) {
  FakePlatform platform("/opt/srv/Platform/Bin/host");
  CapturingSink log;
  EXPECT_EQ(QuillonUtils::getPropertiesFileName(),
            withNativeSeparators("../../setup/properties.xml"));
  EXPECT_NE(log.text().find("]: Executable (/opt/srv/Platform/Bin/host) is not located in "
                            "'platform\\bin' folder\n"),
            std::string::npos)
      << log.text();
}

}  // namespace
}  // namespace quilrun
