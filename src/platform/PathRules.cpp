#include "platform/PathRules.h"

namespace quilrun {

std::string PathRules::baseFolder(const std::string& executablePath, char separator) {
  // Drop the executable's name, then keep everything up to and including the
  // separator before the executable's folder.
  std::string::size_type last = executablePath.rfind(separator);
  if (last == std::string::npos || last == 0) return std::string();
  std::string::size_type previous = executablePath.rfind(separator, last - 1);
  if (previous == std::string::npos) return std::string();
  return executablePath.substr(0, previous + 1);
}

std::string PathRules::logFolder(const std::string& executablePath, char separator) {
  return baseFolder(executablePath, separator) + "logs";
}

std::string PathRules::logFileName(long long startSeconds) {
  return "Quilrun_" + std::to_string(startSeconds) + ".log";
}

std::string PathRules::configurationFolder(const std::string& executablePath, char separator) {
  return baseFolder(executablePath, separator) + "configuration";
}

std::string PathRules::configurationFile(const std::string& configurationFolder, char separator) {
  return join(configurationFolder, separator, "corvane_talm_Quilrun.config");
}

bool PathRules::propertiesFileName(const std::string& executablePath, char separator,
                                   std::string& result) {
  // The whole path must match ^(.*)<sep>platform<sep>bin(64)?<sep>.*$ where
  // '.' takes any character but a line break; the greedy first group makes
  // the last occurrence decide.
  if (executablePath.find_first_of("\r\n") != std::string::npos) return false;
  const std::string stem = std::string(1, separator) + "platform" + separator + "bin";
  for (std::string::size_type at = executablePath.rfind(stem); at != std::string::npos;
       at = at == 0 ? std::string::npos : executablePath.rfind(stem, at - 1)) {
    std::string::size_type after = at + stem.size();
    bool plain = after < executablePath.size() && executablePath[after] == separator;
    bool wide = executablePath.compare(after, 3, std::string("64") + separator) == 0;
    if (plain || wide) {
      result = join(join(executablePath.substr(0, at), separator, "setup"), separator,
                    "properties.xml");
      return true;
    }
  }
  return false;
}

std::string PathRules::fallbackPropertiesFileName(char separator) {
  return join(join(join("..", separator, ".."), separator, "setup"), separator, "properties.xml");
}

std::string PathRules::join(const std::string& folder, char separator, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  path += separator;
  path += name;
  return path;
}

}  // namespace quilrun
