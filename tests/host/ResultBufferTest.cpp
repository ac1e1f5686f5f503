#include "host/ResultBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace quilrun {
namespace {

struct WriteCase {
  const char* value;
  int size;
  const char* expected;
};

TEST(ResultBufferTest, CutsToTheSizeAndTerminates) {
  const WriteCase cases[] = {
      {"abc", 4, "abc"}, {"abc", 3, "ab"}, {"abc", 1, ""},
      {"abc", 100, "abc"}, {"", 5, ""},   {nullptr, 5, ""},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.size));
    char area[128];
    std::fill(std::begin(area), std::end(area), '#');
    ResultBuffer::write(area, c.size, c.value);
    EXPECT_STREQ(area, c.expected);
    for (size_t i = static_cast<size_t>(c.size); i < sizeof area; ++i) ASSERT_EQ(area[i], '#');
  }
}

TEST(ResultBufferTest, NullBufferAndSizesBelowOneReceiveNothing) {
  char area[4] = {'#', '#', '#', '#'};
  ResultBuffer::write(area, 0, "abc");
  ResultBuffer::write(area, -7, "abc");
  ResultBuffer::clear(area, 0);
  ResultBuffer::clear(area, -1);
  ResultBuffer::write(nullptr, 10, "abc");
  ResultBuffer::clear(nullptr, 10);
  for (char c : area) EXPECT_EQ(c, '#');
  ResultBuffer::clear(area, 1);
  EXPECT_EQ(area[0], '\0');
  EXPECT_EQ(area[1], '#');
}

TEST(ResultBufferTest, KeepsEmbeddedBytesOfAnExplicitLength) {
  char area[8];
  ResultBuffer::write(area, sizeof area, std::string("a\0b", 3));
  EXPECT_EQ(std::string(area, 3), std::string("a\0b", 3));
  EXPECT_EQ(area[3], '\0');
}

}  // namespace
}  // namespace quilrun
