#include "functions/TextFilter.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "diagnostics/LogRecord.h"
#include "functions/FilterBudget.h"
#include "functions/LinePattern.h"
#include "functions/PatternCache.h"
#include "host/ResultBuffer.h"

namespace quilrun {

namespace {

const char* const kLinewise = "TextFilter::filterLinewise";
const char* const kBlockwise = "TextFilter::filterBlockwise";

void logFilterError(const char* function, const std::string& description) {
  QLOG(function, 1, LogType::Error) << "Error when filtering text lines: " << description
                                    << std::endl;
}

// Why a filter stopped when its time was up.
std::string outOfTime(const FilterBudget& budget, std::size_t lineNumber,
                      const LinePattern& pattern) {
  return "the filter ran out of time (" + std::to_string(budget.allowedMilliseconds()) +
         " ms) at line " + std::to_string(lineNumber) + " with pattern '" + pattern.source() + "'";
}

std::size_t lengthOf(const char* text) { return text != nullptr ? std::strlen(text) : 0; }

// Calls visit(line, length) for each line of text; stops early when visit
// returns false.
template <typename Visit>
void forEachLine(const char* text, Visit visit) {
  if (text == nullptr) return;
  const char* cursor = text;
  const char* end = text + std::strlen(text);
  while (cursor < end) {
    const void* found = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
    const char* lineEnd = found != nullptr ? static_cast<const char*>(found) : end;
    if (!visit(cursor, static_cast<std::size_t>(lineEnd - cursor))) return;
    cursor = lineEnd + 1;
  }
}

// A format, read once per call: literal runs and group references.
class LineFormat {
 public:
  LineFormat(const char* format, int groupCount) {
    const std::size_t length = std::strlen(format);
    std::string literal;
    std::size_t i = 0;
    while (i < length) {
      if (format[i] != '\\') {
        literal += format[i++];
        continue;
      }
      if (i + 1 < length && format[i + 1] == '\\') {
        literal += '\\';
        i += 2;
        continue;
      }
      std::size_t digits = 0;
      int group = referencedGroup(format + i + 1, length - i - 1, groupCount, digits);
      if (group < 0) {
        literal += format[i++];
        continue;
      }
      pieces_.push_back(Piece{-1, literal});
      literal.clear();
      pieces_.push_back(Piece{group, std::string()});
      i += 1 + digits;
    }
    if (!literal.empty()) pieces_.push_back(Piece{-1, literal});
  }

  // Appends the rewritten line to output. REQUIRES: pattern just matched.
  void apply(const LinePattern& pattern, const char* line, std::string& output) const {
    for (const Piece& piece : pieces_) {
      if (piece.group < 0) {
        output += piece.literal;
        continue;
      }
      std::size_t start = 0;
      std::size_t end = 0;
      if (pattern.group(piece.group, start, end)) output.append(line + start, end - start);
    }
  }

 private:
  struct Piece {
    int group;  // -1 for a literal
    std::string literal;
  };

  // The group that the digits after a backslash refer to: the longest
  // decimal number (without leading zeros) at their start that is at most
  // groupCount, or -1 when there is none. digits receives its length.
  static int referencedGroup(const char* text, std::size_t length, int groupCount,
                             std::size_t& digits) {
    if (length == 0 || text[0] < '0' || text[0] > '9') return -1;
    if (text[0] == '0') {
      digits = 1;
      return 0;
    }
    long long value = 0;
    int best = -1;
    for (std::size_t k = 0; k < length && text[k] >= '0' && text[k] <= '9'; ++k) {
      value = value * 10 + (text[k] - '0');
      if (value > groupCount) break;
      best = static_cast<int>(value);
      digits = k + 1;
    }
    return best;
  }

  std::vector<Piece> pieces_;
};

// One kind of block: its start and end patterns, or none.
struct BlockKind {
  std::unique_ptr<LinePattern> start;
  std::unique_ptr<LinePattern> end;  // null: the start pattern ends the block

  LinePattern* endPattern() const { return end ? end.get() : start.get(); }
};

// Compiles a kind of block. Returns false after logging when a given pattern
// does not compile.
bool compileBlockKind(const char* startPattern, const char* endPattern, PatternCache& cache,
                      pcre2_real_jit_stack_8* stack, BlockKind& kind) {
  if (startPattern == nullptr) return true;
  kind.start.reset(new LinePattern(startPattern, cache, stack));
  if (!kind.start->valid()) {
    logFilterError(kBlockwise, kind.start->error());
    return false;
  }
  if (endPattern != nullptr) {
    kind.end.reset(new LinePattern(endPattern, cache, stack));
    if (!kind.end->valid()) {
      logFilterError(kBlockwise, kind.end->error());
      return false;
    }
  }
  return true;
}

// The cache a call uses: the given one, or one of its own.
struct CacheInUse {
  explicit CacheInUse(PatternCache* given) : cache(given != nullptr ? *given : own.emplace(1)) {}
  std::optional<PatternCache> own;
  PatternCache& cache;
};

}  // namespace

std::string TextFilter::linewise(const char* text, const char* pattern, const char* format,
                                 PatternCache* cache) {
  std::string output;
  CacheInUse patterns(cache);
  const JitStackPool::Lease stack = patterns.cache.jitStacks().acquire();
  LinePattern linePattern(pattern, patterns.cache, stack.stack());
  if (!linePattern.valid()) {
    logFilterError(kLinewise, linePattern.error());
    return output;
  }
  const bool rewriting = format != nullptr && format[0] != '\0';
  const LineFormat lineFormat(rewriting ? format : "", linePattern.groupCount());
  FilterBudget budget(lengthOf(text));
  std::size_t lineNumber = 0;
  forEachLine(text, [&](const char* line, std::size_t length) {
    ++lineNumber;
    const LinePattern::Outcome outcome = linePattern.match(line, length);
    if (outcome == LinePattern::Outcome::Failed) {
      logFilterError(kLinewise, linePattern.error());
      return false;
    }
    if (budget.exhausted(linePattern.lastMatchWasExpensive(), lineNumber)) {
      logFilterError(kLinewise, outOfTime(budget, lineNumber, linePattern));
      return false;
    }
    if (outcome == LinePattern::Outcome::NoMatch) return true;
    if (rewriting) {
      lineFormat.apply(linePattern, line, output);
    } else {
      output.append(line, length);
    }
    output += '\n';
    return true;
  });
  return output;
}

std::string TextFilter::blockwise(const char* text, const char* keepBlockStart,
                                  const char* keepBlockEnd, const char* dropBlockStart,
                                  const char* dropBlockEnd, bool keepOutside,
                                  PatternCache* cache) {
  std::string output;
  CacheInUse patterns(cache);
  const JitStackPool::Lease stack = patterns.cache.jitStacks().acquire();
  BlockKind keep;
  BlockKind drop;
  if (!compileBlockKind(keepBlockStart, keepBlockEnd, patterns.cache, stack.stack(), keep) ||
      !compileBlockKind(dropBlockStart, dropBlockEnd, patterns.cache, stack.stack(), drop)) {
    return output;
  }
  enum class State { Outside, InKeepBlock, InDropBlock };
  State state = State::Outside;
  FilterBudget budget(lengthOf(text));
  std::size_t lineNumber = 0;
  forEachLine(text, [&](const char* line, std::size_t length) {
    ++lineNumber;
    // Tests one pattern; a failed match, or the time running out, is logged
    // and ends the filtering.
    bool failed = false;
    auto matches = [&](LinePattern& pattern) {
      const LinePattern::Outcome outcome = pattern.match(line, length);
      if (outcome == LinePattern::Outcome::Failed) {
        logFilterError(kBlockwise, pattern.error());
        failed = true;
      } else if (budget.exhausted(pattern.lastMatchWasExpensive(), lineNumber)) {
        logFilterError(kBlockwise, outOfTime(budget, lineNumber, pattern));
        failed = true;
      }
      return !failed && outcome == LinePattern::Outcome::Match;
    };
    bool keepLine = false;
    switch (state) {
      case State::Outside:
        if (keep.start && matches(*keep.start)) {
          state = State::InKeepBlock;
        } else if (!failed && drop.start && matches(*drop.start)) {
          state = State::InDropBlock;
        } else {
          keepLine = keepOutside;
        }
        break;
      case State::InKeepBlock:
        if (matches(*keep.endPattern())) {
          state = State::Outside;
        } else {
          keepLine = true;
        }
        break;
      case State::InDropBlock:
        if (matches(*drop.endPattern())) state = State::Outside;
        break;
    }
    if (failed) return false;
    if (keepLine) {
      output.append(line, length);
      output += '\n';
    }
    return true;
  });
  return output;
}

void TextFilter::filterLinewise(const char* format, const char* text, char* result,
                                int resultSize, const char* pattern, PatternCache* cache) {
  ResultBuffer::clear(result, resultSize);
  ResultBuffer::write(result, resultSize, linewise(text, pattern, format, cache));
}

void TextFilter::filterBlockwise(const char* text, char* result, int resultSize,
                                 const char* keepBlockStart, const char* keepBlockEnd,
                                 const char* dropBlockStart, const char* dropBlockEnd,
                                 bool keepOutside, PatternCache* cache) {
  ResultBuffer::clear(result, resultSize);
  ResultBuffer::write(result, resultSize,
                      blockwise(text, keepBlockStart, keepBlockEnd, dropBlockStart, dropBlockEnd,
                                keepOutside, cache));
}

}  // namespace quilrun
