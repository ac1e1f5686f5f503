// Fuzzes both text filters: any text, patterns and format end in a result or
// a logged error, never in a crash or a runaway match. The first byte puts a
// pattern verb before every pattern (UTF and UCP modes, no JIT, lowered
// limits), so that the verbs meet texts that are not valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/DiscardSink.h"
#include "functions/PatternCache.h"
#include "functions/TextFilter.h"

namespace {
const char* const kVerbs[] = {
    "",         "(*UTF)",          "(*UCP)",           "(*NO_JIT)",         "(*UTF)(*UCP)",
    "(*LIMIT_MATCH=100)", "(*LIMIT_HEAP=1)", "(*LIMIT_DEPTH=10)", "(*NO_JIT)(*UCP)", "(*CRLF)",
    "(*NO_START_OPT)",    "(*NOTEMPTY)",     "(*ANYCRLF)(*BSR_UNICODE)",
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quilrun::DiscardSink::install();
  if (size == 0) return 0;
  const std::string verb = kVerbs[data[0] % (sizeof kVerbs / sizeof kVerbs[0])];
  ++data;
  --size;
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
  for (std::size_t i : {1, 3, 4, 5}) {
    if (fields[i] != "@null") fields[i] = verb + fields[i];
  }
  auto field = [&fields](std::size_t i) -> const char* {
    return fields[i] == "@null" ? nullptr : fields[i].c_str();
  };
  // A small cache, so that patterns are also let go while in use elsewhere.
  static quilrun::PatternCache cache(8);
  quilrun::TextFilter::linewise(field(0), field(1), field(2), &cache);
  quilrun::TextFilter::blockwise(field(0), field(1), field(3), field(4), field(5),
                                 !fields[6].empty(), &cache);
  return 0;
}
