#include "diagnostics/ConnectorSettings.h"

#include <fstream>
#include <sstream>

#include "diagnostics/QuillonUtils.h"

namespace quilrun {

namespace {

// A numeric key with its range; the setting keeps its default outside it.
struct NumberKey {
  const char* key;
  int ConnectorSettings::*field;
  int low;
  int high;
};

const NumberKey kNumbers[] = {
    {"MaxConnections", &ConnectorSettings::maxConnections, 1, 1024},
    {"MaxDataFiles", &ConnectorSettings::maxDataFiles, 1, 1000000},
    {"ConnectTimeout", &ConnectorSettings::connectTimeout, 1, 3600},
    {"RequestTimeout", &ConnectorSettings::requestTimeout, 0, 86400},
    {"MaxReplyMB", &ConnectorSettings::maxReplyMB, 1, 1024},
};
const char* const kVerifyCertificates = "VerifyCertificates";
const char* const kCertificateFile = "CertificateFile";

// The value of key on the first line of lines that gives one, or "".
std::string valueOf(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  std::string value;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (QuillonUtils::parseConfigLine(line, key, value)) return value;
  }
  return std::string();
}

}  // namespace

ConnectorSettings ConnectorSettings::parse(const std::string& text) {
  ConnectorSettings settings;
  int number = 0;
  for (const NumberKey& each : kNumbers) {
    if (QuillonUtils::readLogLevelNumber(valueOf(text, each.key), number) && number >= each.low &&
        number <= each.high) {
      settings.*each.field = number;
    }
  }
  if (QuillonUtils::readLogLevelNumber(valueOf(text, kVerifyCertificates), number) &&
      (number == 0 || number == 1)) {
    settings.verifyCertificates = number == 1;
  }
  // A path does not end in blanks: those behind it are dropped.
  std::string file = valueOf(text, kCertificateFile);
  while (!file.empty() && (file.back() == ' ' || file.back() == '\t')) file.pop_back();
  settings.certificateFile = file;
  return settings;
}

ConnectorSettings ConnectorSettings::read(const std::string& fileName) {
  if (fileName.empty()) return ConnectorSettings();
  std::ifstream file(fileName, std::ios::binary);
  if (!file.is_open()) return ConnectorSettings();
  std::ostringstream text;
  text << file.rdbuf();
  return parse(text.str());
}

bool ConnectorSettings::operator==(const ConnectorSettings& other) const {
  return maxConnections == other.maxConnections && maxDataFiles == other.maxDataFiles &&
         connectTimeout == other.connectTimeout && requestTimeout == other.requestTimeout &&
         maxReplyMB == other.maxReplyMB && verifyCertificates == other.verifyCertificates &&
         certificateFile == other.certificateFile;
}

}  // namespace quilrun
