#ifndef QUILRUN_DIAGNOSTICS_QUILLONUTILS_H
#define QUILRUN_DIAGNOSTICS_QUILLONUTILS_H

#include <string>

namespace quilrun {

// The library's settings: the log level and the data share, found through the
// report server's installation (see PathRules). The configuration file holds
// lines of key "=" value; the report server's properties.xml names the data
// share first. All values are process-wide.
// Thread-safety: every operation may be called from any thread; the stored
// strings are guarded, and the data share is determined once even when two
// threads ask for it at the same moment.
class QuillonUtils {
 public:
  // Computes the configuration file's path and stores it when the
  // configuration folder exists (otherwise the stored path stays as it was).
  // Returns the stored path.
  static std::string initConfigFileName();

  // The stored configuration file path, without recomputing it.
  static std::string getConfigFileName();

  // The value of key in the configuration file fileName, or "" (logged as a
  // warning) when the file cannot be read or no line yields a value.
  static std::string getConfigProperty(const std::string& fileName, const std::string& key);

  // Where the report server's properties.xml is expected.
  static std::string getPropertiesFileName();

  // Determines the data share (properties.xml, else DataShare of the
  // configuration file) and stores it.
  static void readDataShare();

  // The data share, determined at the first call of the process (even when
  // that found none, so a failed search is not repeated).
  static std::string getDataShare();

  // The log level last read from the configuration (0 before any reading).
  static int getConfiguredLogLevel();

  // The value of key on one configuration line, or false when the line gives
  // none: the key's first occurrence, no "#" at or before it, an "=" after
  // its first character and a non-blank character after that; the value runs
  // from there to the line's end.
  static bool parseConfigLine(const std::string& line, const std::string& key,
                              std::string& value);

  // Reads a signed 32-bit decimal number from the start of text the way
  // formatted stream input does (leading blanks, an optional sign, digits up
  // to the first non-digit). False when there is none or it is out of range.
  static bool readLogLevelNumber(const std::string& text, int& number);

  // Returns the settings to their state at load, releasing the stored
  // strings. Called when the library is unloaded, and by tests.
  static void reset();

 private:
  friend void reloadLogLevel();
  static void setConfiguredLogLevel(int level);
};

// Reads LogLevel from the configuration file and makes it the log threshold:
// 1 when the key has no value; the previous configured level when the value
// is not a number.
void reloadLogLevel();

}  // namespace quilrun

#endif
