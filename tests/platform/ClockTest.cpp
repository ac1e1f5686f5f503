#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace quilrun {
namespace {

TEST(ClockTest, UtcOfEpochSeconds) {
  struct Case {
    std::int64_t seconds;
    UtcTime utc;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0, 0}},
      {951782400, {2000, 2, 29, 0, 0, 0, 0}},   // a leap day of a century year
      {1488359702, {2017, 3, 1, 9, 15, 2, 0}},
      {1796994242, {2026, 12, 11, 13, 4, 2, 0}},
      {4107542399, {2100, 2, 28, 23, 59, 59, 0}},  // 2100 is no leap year
      {4107542400, {2100, 3, 1, 0, 0, 0, 0}},
      {-1, {1969, 12, 31, 23, 59, 59, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    const UtcTime utc = Clock::utcOf(c.seconds);
    EXPECT_EQ(utc.year, c.utc.year);
    EXPECT_EQ(utc.month, c.utc.month);
    EXPECT_EQ(utc.day, c.utc.day);
    EXPECT_EQ(utc.hour, c.utc.hour);
    EXPECT_EQ(utc.minute, c.utc.minute);
    EXPECT_EQ(utc.second, c.utc.second);
  }
}

}  // namespace
}  // namespace quilrun
