// Fuzzes the display-format rendering: any format, printed amount and buffer
// size must render without touching memory beyond the buffer, and a result
// is either fully formatted or all failure marks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "functions/DisplayFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  double amount;
  std::memcpy(&amount, data, sizeof amount);
  const bool decimalPoint = (data[8] & 1) != 0;
  const int resultSize = static_cast<int>(data[9]) - 8;  // -8 .. 247
  const std::string rest(reinterpret_cast<const char*>(data + 10), size - 10);
  const std::size_t split = rest.find('\n');
  const std::string format = rest.substr(0, split);
  const std::string company = split == std::string::npos ? "" : rest.substr(split + 1, 8);

  std::vector<char> buffer(resultSize > 0 ? static_cast<std::size_t>(resultSize) : 1);
  quilrun::DisplayFormat::formatAmount(amount, format, company, decimalPoint,
                                       resultSize > 0 ? buffer.data() : nullptr, resultSize);
  if (resultSize > 0 && std::memchr(buffer.data(), '\0', buffer.size()) == nullptr) __builtin_trap();

  // The rendering of a raw printed amount, as the rest of the input gives it.
  const quilrun::DisplayFormat::Rendering rendering = quilrun::DisplayFormat::render(
      company, format, quilrun::DisplayFormat::companyMask(company), ',', '.');
  if (!rendering.formatted && rendering.text.find_first_not_of('!') != std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
