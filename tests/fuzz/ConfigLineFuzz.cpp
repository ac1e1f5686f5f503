// Fuzzes the configuration-line reading: the key search, the value rules and
// the log-level number.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diagnostics/QuillonUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string key = input.substr(0, split == std::string::npos ? 0 : split);
  const std::string line = split == std::string::npos ? input : input.substr(split + 1);
  std::string value;
  if (!key.empty() && quilrun::QuillonUtils::parseConfigLine(line, key, value)) {
    if (value.empty() || line.find(value) == std::string::npos) __builtin_trap();
  }
  int level = 0;
  quilrun::QuillonUtils::readLogLevelNumber(line, level);
  return 0;
}
