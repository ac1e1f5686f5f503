#ifndef QUILRUN_PLATFORM_PATHRULES_H
#define QUILRUN_PLATFORM_PATHRULES_H

#include <string>

namespace quilrun {

// Where the library finds its folders in a report server installation, as
// pure functions of the executable's path and the path separator, so that the
// rules for both separators can be tested anywhere.
//
// An installation looks like
//   <root>/platform/bin/<host executable>      (or platform/bin64)
//   <root>/platform/configuration/corvane_talm_Quilrun.config
//   <root>/platform/logs/Quilrun_<seconds>.log
//   <root>/setup/properties.xml
class PathRules {
 public:
  // The parent of the executable's folder with a trailing separator:
  // D:\srv\platform\bin\host.exe gives D:\srv\platform\ . Empty when the path
  // has fewer than two separators (the result then resolves against the
  // current directory).
  static std::string baseFolder(const std::string& executablePath, char separator);

  // The folder that receives the log file: baseFolder + "logs".
  static std::string logFolder(const std::string& executablePath, char separator);

  // The log file's name for a start time: "Quilrun_<seconds>.log".
  static std::string logFileName(long long startSeconds);

  // The folder of the configuration file: baseFolder + "configuration".
  static std::string configurationFolder(const std::string& executablePath, char separator);

  // The configuration file inside its folder.
  static std::string configurationFile(const std::string& configurationFolder, char separator);

  // Where properties.xml is expected: the installation root (everything before
  // the last separator-platform-separator-bin[64]-separator in the path, case-
  // sensitive) + setup + properties.xml. Returns false and leaves result alone
  // when the executable is not in such a folder.
  static bool propertiesFileName(const std::string& executablePath, char separator,
                                 std::string& result);

  // The fallback for propertiesFileName, relative to the current directory:
  // ..\..\setup\properties.xml with the given separator.
  static std::string fallbackPropertiesFileName(char separator);

  // folder + separator + name.
  static std::string join(const std::string& folder, char separator, const std::string& name);
};

}  // namespace quilrun

#endif
