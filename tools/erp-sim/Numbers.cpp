#include "Numbers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace erpsim {

std::optional<long long> Numbers::wide(const std::string& text) {
  const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0) return std::nullopt;
  return value;
}

std::optional<int> Numbers::narrow(const std::string& text) {
  const std::optional<long long> value = wide(text);
  if (!value || *value < INT_MIN || *value > INT_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

}  // namespace erpsim
