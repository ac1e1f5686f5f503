#define PCRE2_CODE_UNIT_WIDTH 8
#include "functions/LinePattern.h"

#include <pcre2.h>

namespace quilrun {

namespace {
// Bounds on one match, far above what a sane pattern needs on a report line.
constexpr uint32_t kMatchLimit = 10000000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 8 * 1024 * 1024;

// Whole-line matching with the ECMAScript habits that PCRE2 can imitate.
constexpr uint32_t kCompileOptions = PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_ALT_BSUX |
                                     PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY;
}  // namespace

LinePattern::LinePattern(const char* pattern) {
  if (pattern == nullptr) {
    error_ = "no pattern given";
    return;
  }
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                        kCompileOptions, &errorCode, &errorOffset, nullptr);
  if (code_ == nullptr) {
    error_ = describe(errorCode) + " at offset " + std::to_string(errorOffset);
    return;
  }
  uint32_t captures = 0;
  pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &captures);
  groupCount_ = static_cast<int>(captures);
  matchData_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  matchContext_ = pcre2_match_context_create(nullptr);
  if (matchData_ == nullptr || matchContext_ == nullptr) {
    pcre2_code_free(code_);
    code_ = nullptr;
    error_ = "out of memory";
    return;
  }
  pcre2_set_match_limit(matchContext_, kMatchLimit);
  pcre2_set_heap_limit(matchContext_, kHeapLimitKiB);
  // The JIT is an optimisation only: without it (or without its stack) the
  // interpreter runs under the same limits.
  if (pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0) {
    jitStack_ = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    if (jitStack_ != nullptr) pcre2_jit_stack_assign(matchContext_, nullptr, jitStack_);
    jitCompiled_ = true;
  }
}

LinePattern::~LinePattern() {
  pcre2_jit_stack_free(jitStack_);
  pcre2_match_context_free(matchContext_);
  pcre2_match_data_free(matchData_);
  pcre2_code_free(code_);
}

LinePattern::Outcome LinePattern::match(const char* line, std::size_t length) {
  // The JIT entry skips pcre2_match's argument checks, which cost more than the
  // match itself on short lines; the arguments here are always valid.
  const PCRE2_SPTR subject = reinterpret_cast<PCRE2_SPTR>(line);
  int rc = jitCompiled_ ? pcre2_jit_match(code_, subject, length, 0, 0, matchData_, matchContext_)
                        : pcre2_match(code_, subject, length, 0, 0, matchData_, matchContext_);
  if (rc >= 0) return Outcome::Match;
  if (rc == PCRE2_ERROR_NOMATCH) return Outcome::NoMatch;
  error_ = describe(rc);
  return Outcome::Failed;
}

bool LinePattern::group(int number, std::size_t& start, std::size_t& end) const {
  if (number < 0 || number > groupCount_) return false;
  const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(matchData_);
  const PCRE2_SIZE first = offsets[2 * number];
  const PCRE2_SIZE last = offsets[2 * number + 1];
  if (first == PCRE2_UNSET || last == PCRE2_UNSET || last < first) return false;
  start = first;
  end = last;
  return true;
}

std::string LinePattern::describe(int errorCode) {
  PCRE2_UCHAR text[256];
  int length = pcre2_get_error_message(errorCode, text, sizeof text);
  if (length < 0) return "regular expression error " + std::to_string(errorCode);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

}  // namespace quilrun
