// Fuzzes both text filters: any text, patterns and format end in a result or
// a logged error, never in a crash or a runaway match.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/LogStream.h"
#include "functions/TextFilter.h"

namespace {
// Drops log lines: an invalid pattern is an expected input.
class Discard final : public quilrun::LogSink {
 public:
  void writeLine(const std::string&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Discard discard;
  static quilrun::LogSink* const installed = quilrun::LogStream::redirect(&discard);
  (void)installed;
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
