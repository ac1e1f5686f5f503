#include "functions/PatternCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "functions/JitStackPool.h"
#include "functions/TextFilter.h"

namespace quilrun {
namespace {

std::shared_ptr<const CompiledPattern> get(PatternCache& cache, const std::string& pattern) {
  std::string error;
  return cache.get(pattern.c_str(), pattern.size(), error);
}

TEST(PatternCacheTest, KeepsTheMostRecentlyUsedPatternsCompiledOnce) {
  PatternCache cache(2);
  const auto a = get(cache, "a+");
  EXPECT_EQ(get(cache, "a+"), a);
  const auto b = get(cache, "b+");
  EXPECT_EQ(get(cache, "a+"), a);  // a is now the most recently used
  get(cache, "c+");                // b goes
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(get(cache, "a+"), a);
  EXPECT_NE(get(cache, "b+"), b);
  // A pattern that was let go stays whole for whoever holds it.
  EXPECT_EQ(b->groupCount(), 0);
  // Patterns that differ only after a NUL byte, or in one byte, are apart.
  std::string error;
  EXPECT_NE(cache.get("x\0y", 3, error), cache.get("x\0z", 3, error));
  // A pattern that does not compile is reported and not kept.
  EXPECT_EQ(get(cache, "("), nullptr);
  std::string why;
  cache.get("(", 1, why);
  EXPECT_NE(why.find("missing closing parenthesis"), std::string::npos) << why;
  EXPECT_EQ(cache.size(), 2u);
}

TEST(PatternCacheTest, LendsAtMostAFewJitStacks) {
  JitStackPool pool;
  std::vector<JitStackPool::Lease> leases;
  for (std::size_t i = 0; i < JitStackPool::kStacks + 2; ++i) leases.push_back(pool.acquire());
  std::size_t withStack = 0;
  for (const auto& lease : leases) withStack += lease.stack() != nullptr;
  EXPECT_EQ(withStack, JitStackPool::kStacks);
  auto* first = leases.front().stack();
  leases.front() = JitStackPool::Lease();
  EXPECT_EQ(pool.acquire().stack(), first);
}

// Eight threads filter with sixteen patterns through a cache of four, so
// patterns leave the cache while other threads use them: every answer is
// still right.
TEST(PatternCacheTest, ManyThreadsWhilePatternsComeAndGo) {
  PatternCache cache(4);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) {
        const int n = (t * 5 + i) % 16;
        const std::string pattern = "(k" + std::to_string(n) + ")=(\\w+)";
        const std::string text = "k" + std::to_string(n) + "=v" + std::to_string(i) + "\nother";
        const std::string expected = "v" + std::to_string(i) + "\n";
        if (TextFilter::linewise(text.c_str(), pattern.c_str(), "\\2", &cache) != expected) {
          wrong.fetch_add(1);
        }
        if (TextFilter::blockwise("a\nB\nb\nE", ("B|" + pattern).c_str(), "E", nullptr, nullptr,
                                  false, &cache) != "b\n") {
          wrong.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_LE(cache.size(), 4u);
}

}  // namespace
}  // namespace quilrun
