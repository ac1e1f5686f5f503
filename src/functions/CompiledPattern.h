#ifndef QUILRUN_FUNCTIONS_COMPILEDPATTERN_H
#define QUILRUN_FUNCTIONS_COMPILEDPATTERN_H

#include <cstdint>
#include <memory>
#include <string>

struct pcre2_real_code_8;

namespace quilrun {

// A filter pattern compiled with PCRE2 for whole-line matching, with
// ECMAScript-like options, and JIT-compiled when the JIT takes it. Patterns
// are byte patterns: UTF mode cannot be switched on by the pattern, so the
// matcher never reads a subject as UTF-8. Immutable once made, so one
// compiled pattern serves any number of threads at once.
// Thread-safety: immutable.
class CompiledPattern {
 public:
  // The compile options of every filter pattern.
  static const std::uint32_t kOptions;

  // Compiles pattern (of length bytes). Null, with error set to PCRE2's
  // description and the offset, when it does not compile.
  static std::shared_ptr<const CompiledPattern> compile(const char* pattern, std::size_t length,
                                                        std::string& error);
  ~CompiledPattern();

  CompiledPattern(const CompiledPattern&) = delete;
  CompiledPattern& operator=(const CompiledPattern&) = delete;

  pcre2_real_code_8* code() const { return code_; }
  // True when the JIT compiled the pattern (not for (*NO_JIT), or where the
  // JIT refuses it): then it may be matched with the JIT entry.
  bool jitCompiled() const { return jitCompiled_; }
  // The number of capturing groups.
  int groupCount() const { return groupCount_; }

  // PCRE2's description of an error code.
  static std::string describe(int errorCode);

 private:
  CompiledPattern(pcre2_real_code_8* code, bool jitCompiled, int groupCount)
      : code_(code), jitCompiled_(jitCompiled), groupCount_(groupCount) {}

  pcre2_real_code_8* const code_;
  const bool jitCompiled_;
  const int groupCount_;
};

}  // namespace quilrun

#endif
