#ifndef QUILRUN_FUNCTIONS_LINEPATTERN_H
#define QUILRUN_FUNCTIONS_LINEPATTERN_H

#include <cstddef>
#include <memory>
#include <string>

#include "functions/CompiledPattern.h"

struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;
struct pcre2_real_code_8;

namespace quilrun {

class PatternCache;

// One filter call's use of a pattern: the compiled pattern (from the cache)
// with the call's own match data. Matching is bounded: a match first runs
// under a small match limit; a line that needs more is matched again under
// the full limit and counts as expensive (the filter then looks at its time
// budget). A line too deep for the JIT stack is matched by the interpreter,
// whose memory is bounded by a heap limit. Runaway patterns thus end in a
// reported failure, never in a crash or a hang.
// Thread-safety: belongs to one filter call.
class LinePattern {
 public:
  enum class Outcome { Match, NoMatch, Failed };

  // Takes pattern from cache (compiling it there when new); jitStack may be
  // null (PCRE2's default stack). A null pattern is an invalid pattern.
  LinePattern(const char* pattern, PatternCache& cache, pcre2_real_jit_stack_8* jitStack);
  ~LinePattern();

  LinePattern(const LinePattern&) = delete;
  LinePattern& operator=(const LinePattern&) = delete;

  // Returns true iff the pattern compiled.
  bool valid() const { return compiled_ != nullptr && matchData_ != nullptr; }

  // The description of the last failure (compilation or matching).
  const std::string& error() const { return error_; }

  // The pattern as given, for messages.
  const std::string& source() const { return source_; }

  // The number of capturing groups of the pattern.
  int groupCount() const { return compiled_ ? compiled_->groupCount() : 0; }

  // Matches the whole of line[0, length). On Failed, error() tells why.
  // REQUIRES: valid().
  Outcome match(const char* line, std::size_t length);

  // True when the last match needed more than a little effort.
  bool lastMatchWasExpensive() const { return expensive_; }

  // After a Match: true and the span of group number (0 is the whole line)
  // when that group took part in the match, false otherwise.
  bool group(int number, std::size_t& start, std::size_t& end) const;

 private:
  // The rest of a match whose first run ended in rc (neither a match nor
  // none): runs again under the full limit, or with the interpreter.
  Outcome matchAgain(const char* line, std::size_t length, int rc);
  // One run of the matcher with the limits of context.
  int run(const char* line, std::size_t length, pcre2_real_match_context_8* context, bool jit);

  std::string source_;
  std::shared_ptr<const CompiledPattern> compiled_;
  // Copies of compiled_'s, read on every match.
  pcre2_real_code_8* code_ = nullptr;
  bool jit_ = false;
  pcre2_real_match_data_8* matchData_ = nullptr;
  // The limits of a first run (a small match limit) and of a second one.
  pcre2_real_match_context_8* quickContext_ = nullptr;
  pcre2_real_match_context_8* fullContext_ = nullptr;
  bool expensive_ = false;
  std::string error_;
};

}  // namespace quilrun

#endif
