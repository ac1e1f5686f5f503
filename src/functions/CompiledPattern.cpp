#define PCRE2_CODE_UNIT_WIDTH 8
#include "functions/CompiledPattern.h"

#include <pcre2.h>

namespace quilrun {

// Whole-line matching with the ECMAScript habits that PCRE2 can imitate, on
// bytes: a pattern's (*UTF) is refused instead of making the matcher decode
// (and, through the JIT, trust) the subject as UTF-8.
const std::uint32_t CompiledPattern::kOptions = PCRE2_ANCHORED | PCRE2_ENDANCHORED |
                                                PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF |
                                                PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF;

std::shared_ptr<const CompiledPattern> CompiledPattern::compile(const char* pattern,
                                                                std::size_t length,
                                                                std::string& error) {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), length, kOptions,
                                   &errorCode, &errorOffset, nullptr);
  if (code == nullptr) {
    error = describe(errorCode) + " at offset " + std::to_string(errorOffset);
    return nullptr;
  }
  uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  // The JIT is an optimisation only. A pattern that starts with (*NO_JIT),
  // or that the JIT refuses, has no JIT code and is run by the interpreter.
  std::size_t jitSize = 0;
  if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
    pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &jitSize);
  }
  return std::shared_ptr<const CompiledPattern>(
      new CompiledPattern(code, jitSize > 0, static_cast<int>(captures)));
}

CompiledPattern::~CompiledPattern() { pcre2_code_free(code_); }

std::string CompiledPattern::describe(int errorCode) {
  PCRE2_UCHAR text[256];
  const int length = pcre2_get_error_message(errorCode, text, sizeof text);
  if (length < 0) return "regular expression error " + std::to_string(errorCode);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

}  // namespace quilrun
