#include "cache/CacheEntry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CapturingSink.h"
#include "support/FakeClock.h"

namespace quilrun {
namespace {

class CacheEntryTest : public ::testing::Test {
 protected:
  ~CacheEntryTest() override { logLevel.store(3); }

  // The messages of the captured lines, without their prefixes.
  static std::vector<std::string> messages(const CapturingSink& log) {
    std::vector<std::string> result;
    for (const std::string& line : log.lines()) {
      result.push_back(line.substr(line.find("]: ") + 3));
    }
    return result;
  }

  FakeClock clock_{1000};
};

struct ExpiryCase {
  int secondsIdle;
  bool valid;
};

TEST_F(CacheEntryTest, ValidUpToTheLifetimeAndExpiredOneSecondLater) {
  const ExpiryCase cases[] = {{0, true}, {299, true}, {300, true}, {301, false}, {100000, false}};
  for (const ExpiryCase& c : cases) {
    SCOPED_TRACE(c.secondsIdle);
    CacheEntry<std::string> entry("url");
    clock_.advance(c.secondsIdle);
    const std::int64_t before = entry.getLastAccess();
    std::string* value = entry.getValue();
    EXPECT_EQ(value != nullptr, c.valid);
    // A read restarts the idle time; a failed one does not.
    EXPECT_EQ(entry.getLastAccess(), c.valid ? before + c.secondsIdle : before);
  }
}

TEST_F(CacheEntryTest, ReadsRestartTheIdleTimeAndExpiredStaysExpired) {
  CacheEntry<TextMap> entry(TextMap{{1, "one"}});
  clock_.advance(300);
  ASSERT_NE(entry.getValue(), nullptr);
  clock_.advance(300);
  ASSERT_NE(entry.getValue(), nullptr);
  clock_.advance(301);
  EXPECT_EQ(entry.getValue(), nullptr);
  EXPECT_TRUE(entry.isExpired());
  clock_.advance(-301);  // back to the last read: the failed read did not refresh it
  EXPECT_NE(entry.getValue(), nullptr);
}

TEST_F(CacheEntryTest, ClockSetBackLeavesTheEntryValid) {
  CacheEntry<std::string> entry("url");
  clock_.advance(-5000);
  EXPECT_NE(entry.getValue(), nullptr);
}

TEST_F(CacheEntryTest, LifetimeOfZeroOrLessNeverExpires) {
  for (double lifetime : {0.0, -1.0}) {
    CacheEntry<StringMap> entry(StringMap{{"Language", "EN"}}, lifetime);
    logLevel.store(4);
    CapturingSink log;
    clock_.advance(1000000000);
    ASSERT_NE(entry.getValue(), nullptr);
    ASSERT_NE(entry.getValue(), nullptr);
    EXPECT_EQ(messages(log),
              (std::vector<std::string>{"Testing expiry of cache entry.\n",
                                        "Entry will never expire.\n",
                                        "Testing expiry of cache entry.\n",
                                        "Entry will never expire.\n"}));
    logLevel.store(3);
  }
}

TEST_F(CacheEntryTest, LogsTheTestAtLevelFourOnly) {
  CacheEntry<std::string> entry("url");
  {
    CapturingSink log;
    clock_.advance(42);
    ASSERT_NE(entry.getValue(), nullptr);
    EXPECT_TRUE(log.lines().empty());
  }
  logLevel.store(4);
  CapturingSink log;
  clock_.advance(42);
  ASSERT_NE(entry.getValue(), nullptr);
  clock_.advance(301);
  EXPECT_EQ(entry.getValue(), nullptr);
  EXPECT_EQ(messages(log), (std::vector<std::string>{
                               "Testing expiry of cache entry.\n", "Last access was 42 seconds ago.\n",
                               "Entry has not expired.\n", "Testing expiry of cache entry.\n",
                               "Last access was 301 seconds ago.\n", "Entry has expired.\n"}));
  EXPECT_NE(log.lines()[0].find("], [INFO   ], [CacheEntry<char *>::isExpired        ], ["),
            std::string::npos)
      << log.lines()[0];
}

// The function column of each kind of entry, as its expiry test logs it.
template <typename T>
std::string loggedFunction(T value) {
  CacheEntry<T> entry(std::move(value));
  logLevel.store(4);
  CapturingSink log;
  entry.isExpired();
  logLevel.store(3);
  const std::string line = log.lines().at(0);
  const std::string::size_type start = line.find("], [INFO   ], [") + 15;
  return line.substr(start, line.find("], [", start) - start);
}

TEST_F(CacheEntryTest, EachKindLogsUnderItsOwnName) {
  EXPECT_EQ(loggedFunction(std::string()), "CacheEntry<char *>::isExpired        ");
  EXPECT_EQ(loggedFunction(LabelList()),
            "CacheEntry<class std::vector<class LabelData *,class std::allocator<class "
            "LabelData *> > *>::isExpired");
  EXPECT_EQ(loggedFunction(KeyedList<ImageData>()),
            "CacheEntry<class std::vector<class ImageData *,class std::allocator<class "
            "ImageData *> > *>::isExpired");
  EXPECT_EQ(loggedFunction(KeyedList<FormatData>()),
            "CacheEntry<class std::vector<class FormatData *,class std::allocator<class "
            "FormatData *> > *>::isExpired");
  EXPECT_EQ(loggedFunction(TextMap()),
            "CacheEntry<class std::map<__int64,char const *,struct std::less<__int64>,class "
            "std::allocator<struct std::pair<__int64 const ,char const *> > > *>::isExpired");
  EXPECT_EQ(loggedFunction(StringMap()),
            "CacheEntry<class std::map<char const *,char const *,struct std::less<char const "
            "*>,class std::allocator<struct std::pair<char const * const,char const *> > > "
            "*>::isExpired");
}

}  // namespace
}  // namespace quilrun
