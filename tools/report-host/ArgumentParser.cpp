#include "ArgumentParser.h"

#include <charconv>
#include <system_error>

#include "HostError.h"

namespace reporthost {

namespace {

// from_chars takes no leading whitespace or '+' and ignores the locale, which
// is the strictness wanted here; what it leaves unread makes the text invalid.
template <typename Number>
Number parseWhole(const std::string& text, const std::string& what, const char* typeName) {
  Number value{};
  const char* const end = text.data() + text.size();
  const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
  if (parsed.ec == std::errc::result_out_of_range) {
    throw HostError(ExitCode::Usage,
                    what + ": '" + text + "' is out of range for " + typeName);
  }
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
    throw HostError(ExitCode::Usage, what + ": '" + text + "' is not " + typeName);
  }
  return value;
}

}  // namespace

template <>
int ArgumentParser::parse<int>(const std::string& text, const std::string& what) {
  return parseWhole<int>(text, what, "an int");
}

template <>
long long ArgumentParser::parse<long long>(const std::string& text, const std::string& what) {
  return parseWhole<long long>(text, what, "a 64-bit integer");
}

template <>
double ArgumentParser::parse<double>(const std::string& text, const std::string& what) {
  return parseWhole<double>(text, what, "a number");
}

int ArgumentParser::parseSize(const std::string& text, const std::string& what) {
  const int size = parse<int>(text, what);
  if (size < 0) throw HostError(ExitCode::Usage, what + ": '" + text + "' is below 0");
  return size;
}

}  // namespace reporthost
