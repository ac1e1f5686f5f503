#define PCRE2_CODE_UNIT_WIDTH 8
#include "functions/PatternCache.h"

#include <pcre2.h>

namespace quilrun {

PatternCache::PatternCache(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

PatternCache::~PatternCache() {
  {
    MutexLock lock(&mutex_);
    byPattern_.clear();
    entries_.clear();
  }
  pcre2_jit_free_unused_memory(nullptr);
}

std::shared_ptr<const CompiledPattern> PatternCache::get(const char* pattern, std::size_t length,
                                                         std::string& error) {
  const std::string_view key(pattern, length);
  {
    MutexLock lock(&mutex_);
    auto found = byPattern_.find(key);
    if (found != byPattern_.end()) {
      entries_.splice(entries_.begin(), entries_, found->second);
      return found->second->second;
    }
  }
  // Compiled without the lock; a thread that compiled the same pattern
  // meanwhile wins, and this copy is dropped.
  std::shared_ptr<const CompiledPattern> compiled = CompiledPattern::compile(pattern, length, error);
  if (!compiled) return nullptr;
  MutexLock lock(&mutex_);
  auto found = byPattern_.find(key);
  if (found != byPattern_.end()) return found->second->second;
  entries_.emplace_front(std::string(key), compiled);
  byPattern_.emplace(entries_.front().first, entries_.begin());
  while (entries_.size() > capacity_) {
    byPattern_.erase(entries_.back().first);
    entries_.pop_back();
  }
  return compiled;
}

std::size_t PatternCache::size() const {
  MutexLock lock(&mutex_);
  return entries_.size();
}

}  // namespace quilrun
