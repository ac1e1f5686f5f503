#ifndef QUILRUN_FUNCTIONS_PATTERNCACHE_H
#define QUILRUN_FUNCTIONS_PATTERNCACHE_H

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "functions/CompiledPattern.h"
#include "functions/JitStackPool.h"
#include "platform/Mutex.h"

namespace quilrun {

// The filter patterns compiled so far, shared by both filters and all
// threads, keyed by the pattern's bytes (the compile options are the same
// for all): a report filters the same few patterns on every page, and
// compiling one (with the JIT) costs far more than matching it on a short
// text. At most a given number are kept; the one used longest ago goes
// first. A pattern that does not compile is not kept. Also holds the pool of
// JIT stacks the filter calls borrow.
// Thread-safety: all operations may be called from any thread; a pattern
// handed out stays valid while it is held, also when it leaves the cache.
class PatternCache {
 public:
  static constexpr std::size_t kCapacity = 256;

  explicit PatternCache(std::size_t capacity = kCapacity);
  // Frees the patterns, and the JIT memory PCRE2 keeps for reuse once none
  // is left. REQUIRES: no pattern or stack is held.
  ~PatternCache();

  PatternCache(const PatternCache&) = delete;
  PatternCache& operator=(const PatternCache&) = delete;

  // The compiled pattern of the length bytes at pattern: from the cache, or
  // compiled now and kept. Null, with error set, when it does not compile.
  std::shared_ptr<const CompiledPattern> get(const char* pattern, std::size_t length,
                                             std::string& error) EXCLUDES(mutex_);

  // How many patterns are kept.
  std::size_t size() const EXCLUDES(mutex_);

  JitStackPool& jitStacks() { return jitStacks_; }

 private:
  using Entry = std::pair<std::string, std::shared_ptr<const CompiledPattern>>;
  using Entries = std::list<Entry>;

  const std::size_t capacity_;
  mutable Mutex mutex_;
  Entries entries_ GUARDED_BY(mutex_);  // most recently used first
  // The entries by their pattern (the views point into entries_).
  std::unordered_map<std::string_view, Entries::iterator> byPattern_ GUARDED_BY(mutex_);
  JitStackPool jitStacks_;
};

}  // namespace quilrun

#endif
