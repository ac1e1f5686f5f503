#include "server/ResponseBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace quilrun {
namespace {

// A reply arrives in pieces of every size and comes back whole; the limit
// takes a reply of exactly its size and refuses one byte more.
TEST(ResponseBufferTest, JoinsWhatArrivesUpToTheLimit) {
  std::string sent;
  for (int i = 0; i < 3 * 1024 * 1024; ++i) sent += static_cast<char>('a' + i % 26);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{1000}, std::size_t{16384},
                                  std::size_t{70000}, sent.size()}) {
    SCOPED_TRACE(piece);
    ResponseBuffer buffer(static_cast<std::int64_t>(sent.size()));
    for (std::size_t at = 0; at < sent.size(); at += piece) {
      ASSERT_TRUE(buffer.append(sent.data() + at, std::min(piece, sent.size() - at)));
    }
    EXPECT_EQ(buffer.size(), sent.size());
    EXPECT_FALSE(buffer.append("x", 1));
    EXPECT_EQ(buffer.size(), sent.size());
    EXPECT_EQ(buffer.take(), sent);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.take(), "");
  }
  // An announced length within the limit, or beyond it, or none.
  for (const std::int64_t announced : {std::int64_t{5}, std::int64_t{100}, std::int64_t{-1}}) {
    ResponseBuffer buffer(10);
    buffer.expect(announced);
    EXPECT_TRUE(buffer.append("<r>", 3));
    EXPECT_TRUE(buffer.append("</r>", 4));
    EXPECT_FALSE(buffer.append("....", 4));
    EXPECT_EQ(buffer.take(), "<r></r>");
  }
  ResponseBuffer nothing(0);
  EXPECT_TRUE(nothing.append("", 0));
  EXPECT_FALSE(nothing.append("x", 1));
}

}  // namespace
}  // namespace quilrun
