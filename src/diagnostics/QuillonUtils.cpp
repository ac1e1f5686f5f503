#include "diagnostics/QuillonUtils.h"

#include <pugixml.hpp>

#include <atomic>
#include <cctype>
#include <climits>
#include <fstream>
#include <mutex>

#include "diagnostics/LogRecord.h"
#include "platform/NoDestructor.h"
#include "platform/PathRules.h"
#include "platform/Platform.h"

namespace quilrun {

namespace {

const char* const kConfigFileName = "corvane_talm_Quilrun.config";
const char* const kServerXPath = "/rundel/serverconfig/reportservice/datasourceparm1";
const char* const kShareXPath = "/rundel/serverconfig/reportservice/datasourceparm2";

struct Settings {
  std::mutex mutex;  // guards the strings and the flag
  std::string configFileName;
  std::string dataShare;
  bool dataShareRead = false;
  std::mutex dataShareMutex;  // held while the data share is determined
  std::atomic<int> configuredLogLevel{0};
};

// Never destroyed: report calls may still run while statics are destroyed.
Settings& settings() {
  static NoDestructor<Settings> instance;
  return instance.get();
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string QuillonUtils::initConfigFileName() {
  QLOG("QuillonUtils::initConfigFileName", 4, LogType::Info) << "Params: " << std::endl;
  Platform& platform = Platform::current();
  const char separator = platform.pathSeparator();
  const std::string folder =
      PathRules::configurationFolder(platform.executablePath(), separator);
  Settings& s = settings();
  std::string stored;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (platform.isDirectory(folder)) {
      s.configFileName = PathRules::configurationFile(folder, separator);
    }
    stored = s.configFileName;
  }
  QLOG("QuillonUtils::initConfigFileName", 4, LogType::Info) << "Returns: " << stored
                                                              << std::endl;
  return stored;
}

std::string QuillonUtils::getConfigFileName() {
  Settings& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.configFileName;
}

bool QuillonUtils::parseConfigLine(const std::string& line, const std::string& key,
                                   std::string& value) {
  const std::string::size_type at = line.find(key);
  if (at == std::string::npos) return false;
  const std::string::size_type hash = line.find('#');
  if (hash != std::string::npos && hash <= at) return false;
  const std::string::size_type equals = line.find('=', at + 1);
  if (equals == std::string::npos) return false;
  std::string::size_type start = equals + 1;
  while (start < line.size() && isBlank(line[start])) ++start;
  if (start >= line.size()) return false;
  value = line.substr(start);
  return true;
}

std::string QuillonUtils::getConfigProperty(const std::string& fileName, const std::string& key) {
  const char* const function = "QuillonUtils::getConfigProperty";
  QLOG(function, 4, LogType::Info) << "Params: " << fileName << ", " << key << std::endl;
  std::string value;
  std::ifstream file;
  if (!fileName.empty()) file.open(fileName);
  std::string line;
  while (file.is_open() && std::getline(file, line)) {
    // A line written with CR LF reads the same everywhere.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (parseConfigLine(line, key, value)) break;
  }
  if (value.empty()) {
    QLOG(function, 2, LogType::Warning) << "No value found for property '" << key << "'"
                                        << std::endl;
  }
  QLOG(function, 4, LogType::Info) << "Returns: " << value << std::endl;
  return value;
}

bool QuillonUtils::readLogLevelNumber(const std::string& text, int& number) {
  std::string::size_type i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::string::size_type digitsStart = i;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (i == digitsStart) return false;
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX || signedValue < INT_MIN) return false;
  number = static_cast<int>(signedValue);
  return true;
}

std::string QuillonUtils::getPropertiesFileName() {
  const char* const function = "QuillonUtils::getPropertiesFileName";
  Platform& platform = Platform::current();
  const std::string executable = platform.executablePath();
  QLOG(function, 5, LogType::Debug) << "Current executable is " << executable << std::endl;
  const char separator = platform.pathSeparator();
  std::string path;
  if (PathRules::propertiesFileName(executable, separator, path)) return path;
  QLOG(function, 1, LogType::Error) << "Executable (" << executable
                                    << ") is not located in 'platform\\bin' folder" << std::endl;
  return PathRules::fallbackPropertiesFileName(separator);
}

void QuillonUtils::readDataShare() {
  const char* const function = "QuillonUtils::readDataShare";
  const std::string path = getPropertiesFileName();
  QLOG(function, 5, LogType::Debug) << "Trying to parse properties file '" << path << "'"
                                    << std::endl;
  const char separator = Platform::current().pathSeparator();
  std::string share;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path.c_str());
  if (!parsed) {
    QLOG(function, 1, LogType::Error) << "The 'properties.xml' file could not be parsed: "
                                      << parsed.description() << std::endl;
  } else {
    const pugi::xml_node server = document.select_node(kServerXPath).node();
    const pugi::xml_node shareName = document.select_node(kShareXPath).node();
    if (!server || !shareName) {
      QLOG(function, 1, LogType::Error)
          << "The 'properties.xml' file does not contain the location of the data share"
          << std::endl;
    } else if (*server.child_value() == '\0' || *shareName.child_value() == '\0') {
      QLOG(function, 1, LogType::Error) << "'properties.xml' contains empty value for data share"
                                        << std::endl;
    } else {
      share = std::string(2, separator) + server.child_value() + separator +
              shareName.child_value();
      QLOG(function, 5, LogType::Debug) << "Data share was read from 'properties.xml': '"
                                        << share << "'" << std::endl;
    }
  }
  if (share.empty()) {
    const std::string configFile = initConfigFileName();
    QLOG(function, 5, LogType::Debug) << "Trying to read data share from configuration file: '"
                                      << configFile << "'" << std::endl;
    share = getConfigProperty(configFile, "DataShare");
    if (share.empty()) {
      QLOG(function, 1, LogType::Error) << "Data share is not configured in '" << kConfigFileName
                                        << "'" << std::endl;
    } else {
      QLOG(function, 5, LogType::Debug) << "Data share was read from '" << kConfigFileName
                                        << "': '" << share << "'" << std::endl;
    }
  }
  Settings& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.dataShare = share;
}

std::string QuillonUtils::getDataShare() {
  Settings& s = settings();
  // A second caller waits for the first one's result instead of reading the
  // files again.
  std::lock_guard<std::mutex> determining(s.dataShareMutex);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.dataShareRead) return s.dataShare;
  }
  readDataShare();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.dataShareRead = true;
  return s.dataShare;
}

int QuillonUtils::getConfiguredLogLevel() { return settings().configuredLogLevel.load(); }

void QuillonUtils::setConfiguredLogLevel(int level) { settings().configuredLogLevel.store(level); }

void QuillonUtils::reset() {
  Settings& s = settings();
  std::lock_guard<std::mutex> determining(s.dataShareMutex);
  std::lock_guard<std::mutex> lock(s.mutex);
  std::string().swap(s.configFileName);
  std::string().swap(s.dataShare);
  s.dataShareRead = false;
  s.configuredLogLevel.store(0);
}

void reloadLogLevel() {
  const std::string value =
      QuillonUtils::getConfigProperty(QuillonUtils::initConfigFileName(), "LogLevel");
  int level = 1;
  if (!value.empty() && !QuillonUtils::readLogLevelNumber(value, level)) {
    level = QuillonUtils::getConfiguredLogLevel();
  }
  QuillonUtils::setConfiguredLogLevel(level);
  logLevel.store(level);
}

}  // namespace quilrun
