#include "platform/PathRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quilrun {
namespace {

// Windows examples as they stand; the POSIX form of each is the same with '/'.
std::string posix(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

struct FolderCase {
  const char* executable;
  const char* logs;
  const char* configurationFile;
};

TEST(PathRulesTest, FoldersBesideTheExecutablesFolder) {
  const FolderCase cases[] = {
      {"D:\\srv\\platform\\bin\\host.exe", "D:\\srv\\platform\\logs",
       "D:\\srv\\platform\\configuration\\corvane_talm_Quilrun.config"},
      {"D:\\srv\\platform\\bin64\\host.exe", "D:\\srv\\platform\\logs",
       "D:\\srv\\platform\\configuration\\corvane_talm_Quilrun.config"},
      {"\\\\server\\share\\x\\host.exe", "\\\\server\\share\\logs",
       "\\\\server\\share\\configuration\\corvane_talm_Quilrun.config"},
      // Too few separators for a parent folder: relative to the current directory.
      {"host.exe", "logs", "configuration\\corvane_talm_Quilrun.config"},
      {"C:\\host.exe", "logs", "configuration\\corvane_talm_Quilrun.config"},
      {"", "logs", "configuration\\corvane_talm_Quilrun.config"},
  };
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.executable);
    EXPECT_EQ(PathRules::logFolder(c.executable, '\\'), c.logs);
    EXPECT_EQ(PathRules::configurationFile(PathRules::configurationFolder(c.executable, '\\'), '\\'),
              c.configurationFile);
    EXPECT_EQ(PathRules::logFolder(posix(c.executable), '/'), posix(c.logs));
    EXPECT_EQ(
        PathRules::configurationFile(PathRules::configurationFolder(posix(c.executable), '/'), '/'),
        posix(c.configurationFile));
  }
}

TEST(PathRulesTest, BackslashIsNoSeparatorOnPosix) {
  EXPECT_EQ(PathRules::logFolder("/opt/srv/platform/bin/ho\\st", '/'), "/opt/srv/platform/logs");
  EXPECT_EQ(PathRules::logFolder("D:\\srv\\platform\\bin\\host.exe", '/'), "logs");
}

TEST(PathRulesTest, LogFileNameIsTheStartSecond) {
  EXPECT_EQ(PathRules::logFileName(1488359702), "Quilrun_1488359702.log");
  EXPECT_EQ(PathRules::logFileName(0), "Quilrun_0.log");
  EXPECT_EQ(PathRules::logFileName(-5), "Quilrun_-5.log");
}

struct PropertiesCase {
  const char* executable;
  const char* properties;  // null: the executable is not in platform\bin[64]
};

TEST(PathRulesTest, PropertiesFileFromTheInstallationRoot) {
  const PropertiesCase cases[] = {
      {"D:\\srv\\platform\\bin\\host.exe", "D:\\srv\\setup\\properties.xml"},
      {"D:\\srv\\platform\\bin64\\host.exe", "D:\\srv\\setup\\properties.xml"},
      {"D:\\a\\platform\\bin\\b\\platform\\bin64\\host.exe",
       "D:\\a\\platform\\bin\\b\\setup\\properties.xml"},
      {"D:\\a\\platform\\bin64\\b\\platform\\binx\\host.exe", "D:\\a\\setup\\properties.xml"},
      {"\\platform\\bin\\host.exe", "\\setup\\properties.xml"},
      {"D:\\srv\\platform\\bin\\", "D:\\srv\\setup\\properties.xml"},
      {"D:\\srv\\Platform\\Bin\\host.exe", nullptr},
      {"D:\\srv\\platform\\bin32\\host.exe", nullptr},
      {"D:\\srv\\platform\\bin", nullptr},
      {"D:\\srv\\platform\\bin6\\host.exe", nullptr},
      {"D:\\srv\\xplatform\\bin\\host.exe", nullptr},
      {"D:\\srv\\platform\\bin\\ho\nst.exe", nullptr},
      {"", nullptr},
  };
  for (const PropertiesCase& c : cases) {
    SCOPED_TRACE(c.executable);
    for (char separator : {'\\', '/'}) {
      const std::string executable = separator == '/' ? posix(c.executable) : c.executable;
      std::string found = "untouched";
      const bool matched = PathRules::propertiesFileName(executable, separator, found);
      if (c.properties == nullptr) {
        EXPECT_FALSE(matched);
        EXPECT_EQ(found, "untouched");
      } else {
        EXPECT_TRUE(matched);
        EXPECT_EQ(found, separator == '/' ? posix(c.properties) : c.properties);
      }
    }
  }
  EXPECT_EQ(PathRules::fallbackPropertiesFileName('\\'), "..\\..\\setup\\properties.xml");
  EXPECT_EQ(PathRules::fallbackPropertiesFileName('/'), "../../setup/properties.xml");
}

}  // namespace
}  // namespace quilrun
