// Fuzzes both text filters: any text, patterns and format end in a result or
// a logged error, never in a crash or a runaway match.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/DiscardSink.h"
#include "functions/TextFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quilrun::DiscardSink::install();
  // Fields separated by NUL bytes: text, pattern, format, block patterns.
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(7);
  auto field = [&fields](std::size_t i) -> const char* {
    return fields[i] == "@null" ? nullptr : fields[i].c_str();
  };
  quilrun::TextFilter::linewise(field(0), field(1), field(2));
  quilrun::TextFilter::blockwise(field(0), field(1), field(3), field(4), field(5),
                                 !fields[6].empty());
  return 0;
}
