#ifndef QUILRUN_FUNCTIONS_LINEPATTERN_H
#define QUILRUN_FUNCTIONS_LINEPATTERN_H

#include <cstddef>
#include <string>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

namespace quilrun {

// A regular expression that matches whole lines only, compiled with PCRE2
// with ECMAScript-like options (JIT when available). Matching is bounded: a
// limited JIT stack, a match limit and a heap limit turn runaway patterns
// into a reported failure instead of a crash.
// Thread-safety: one object per thread; each filter call compiles its own.
class LinePattern {
 public:
  enum class Outcome { Match, NoMatch, Failed };

  // Compiles pattern; a null pattern is reported as an invalid pattern.
  explicit LinePattern(const char* pattern);
  ~LinePattern();

  LinePattern(const LinePattern&) = delete;
  LinePattern& operator=(const LinePattern&) = delete;

  // Returns true iff the pattern compiled.
  bool valid() const { return code_ != nullptr; }

  // The description of the last failure (compilation or matching).
  const std::string& error() const { return error_; }

  // The number of capturing groups of the pattern.
  int groupCount() const { return groupCount_; }

  // Matches the whole of line[0, length). On Failed, error() tells why.
  // REQUIRES: valid().
  Outcome match(const char* line, std::size_t length);

  // After a Match: true and the span of group number (0 is the whole line)
  // when that group took part in the match, false otherwise.
  bool group(int number, std::size_t& start, std::size_t& end) const;

 private:
  static std::string describe(int errorCode);

  pcre2_real_code_8* code_ = nullptr;
  pcre2_real_match_data_8* matchData_ = nullptr;
  pcre2_real_match_context_8* matchContext_ = nullptr;
  pcre2_real_jit_stack_8* jitStack_ = nullptr;
  bool jitCompiled_ = false;
  int groupCount_ = 0;
  std::string error_;
};

}  // namespace quilrun

#endif
