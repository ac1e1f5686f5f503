#ifndef QUILRUN_REPORTHOST_ARGUMENTPARSER_H
#define QUILRUN_REPORTHOST_ARGUMENTPARSER_H

#include <string>

namespace reporthost {

// Reads command-line texts as the values an export receives. Numbers are
// strict: the whole text must be a number of the type (decimal, an optional
// leading '-', for doubles also an exponent, "inf" or "nan") and in its range;
// anything else throws a usage HostError naming what was being read.
class ArgumentParser {
 public:
  // The argument that stands for a null pointer instead of a value.
  static constexpr const char* nullArgument = "@null";

  static bool isNull(const std::string& text) { return text == nullArgument; }

  // text as a Number; what names the argument in the error message.
  // Defined for int, long long and double.
  template <typename Number>
  static Number parse(const std::string& text, const std::string& what);

  // A result buffer size: an int of at least 0.
  static int parseSize(const std::string& text, const std::string& what);
};

template <>
int ArgumentParser::parse<int>(const std::string& text, const std::string& what);
template <>
long long ArgumentParser::parse<long long>(const std::string& text, const std::string& what);
template <>
double ArgumentParser::parse<double>(const std::string& text, const std::string& what);

}  // namespace reporthost

#endif
