#ifndef QUILRUN_ERPSIM_NUMBERS_H
#define QUILRUN_ERPSIM_NUMBERS_H

#include <optional>
#include <string>

namespace erpsim {

// Strict reading of whole numbers from request and fixture texts: an optional
// '-' and decimal digits, nothing else (no blanks, no '+'), within range.
class Numbers {
 public:
  static std::optional<long long> wide(const std::string& text);
  static std::optional<int> narrow(const std::string& text);
};

}  // namespace erpsim

#endif
