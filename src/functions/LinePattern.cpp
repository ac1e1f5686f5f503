#define PCRE2_CODE_UNIT_WIDTH 8
#include "functions/LinePattern.h"

#include <pcre2.h>

#include <cstring>

#include "functions/PatternCache.h"

namespace quilrun {

namespace {
// The first run's match limit: plenty for an ordinary line, so that only
// lines whose match is a search among many ways are run twice and timed.
constexpr uint32_t kQuickMatchLimit = 20000;
// Bounds on one line's match, far above what a sane pattern needs.
constexpr uint32_t kMatchLimit = 10000000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
}  // namespace

LinePattern::LinePattern(const char* pattern, PatternCache& cache, pcre2_jit_stack* jitStack) {
  if (pattern == nullptr) {
    error_ = "no pattern given";
    return;
  }
  source_ = pattern;
  compiled_ = cache.get(source_.data(), source_.size(), error_);
  if (!compiled_) return;
  code_ = compiled_->code();
  jit_ = compiled_->jitCompiled();
  matchData_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  quickContext_ = pcre2_match_context_create(nullptr);
  fullContext_ = pcre2_match_context_create(nullptr);
  if (matchData_ == nullptr || quickContext_ == nullptr || fullContext_ == nullptr) {
    pcre2_match_data_free(matchData_);
    matchData_ = nullptr;
    error_ = "out of memory";
    return;
  }
  for (pcre2_match_context* context : {quickContext_, fullContext_}) {
    pcre2_set_heap_limit(context, kHeapLimitKiB);
    pcre2_jit_stack_assign(context, nullptr, jitStack);
  }
  pcre2_set_match_limit(quickContext_, kQuickMatchLimit);
  pcre2_set_match_limit(fullContext_, kMatchLimit);
}

LinePattern::~LinePattern() {
  pcre2_match_context_free(fullContext_);
  pcre2_match_context_free(quickContext_);
  pcre2_match_data_free(matchData_);
}

int LinePattern::run(const char* line, std::size_t length, pcre2_match_context* context,
                     bool jit) {
  const PCRE2_SPTR subject = reinterpret_cast<PCRE2_SPTR>(line);
  // The JIT entry skips pcre2_match's argument checks, which cost more than
  // the match itself on short lines. It is safe here: the arguments are
  // always valid, and a byte pattern reads the subject as bytes, never as
  // UTF-8 that it would have to trust.
  return jit ? pcre2_jit_match(code_, subject, length, 0, 0, matchData_, context)
             : pcre2_match(code_, subject, length, 0, PCRE2_NO_JIT, matchData_, context);
}

LinePattern::Outcome LinePattern::match(const char* line, std::size_t length) {
  // The everyday path: one run under the small limit settles the line.
  const int rc = run(line, length, quickContext_, jit_);
  if (rc >= 0 || rc == PCRE2_ERROR_NOMATCH) {
    expensive_ = false;
    return rc >= 0 ? Outcome::Match : Outcome::NoMatch;
  }
  return matchAgain(line, length, rc);
}

LinePattern::Outcome LinePattern::matchAgain(const char* line, std::size_t length, int rc) {
  expensive_ = rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT;
  if (rc == PCRE2_ERROR_MATCHLIMIT) rc = run(line, length, fullContext_, jit_);
  // Too deep for the JIT stack: the interpreter keeps its backtracking on
  // the heap, under the heap limit.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = run(line, length, fullContext_, false);
  if (rc >= 0) return Outcome::Match;
  if (rc == PCRE2_ERROR_NOMATCH) return Outcome::NoMatch;
  error_ = CompiledPattern::describe(rc);
  return Outcome::Failed;
}

bool LinePattern::group(int number, std::size_t& start, std::size_t& end) const {
  if (number < 0 || number > groupCount()) return false;
  const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(matchData_);
  const PCRE2_SIZE first = offsets[2 * number];
  const PCRE2_SIZE last = offsets[2 * number + 1];
  if (first == PCRE2_UNSET || last == PCRE2_UNSET || last < first) return false;
  start = first;
  end = last;
  return true;
}

}  // namespace quilrun
