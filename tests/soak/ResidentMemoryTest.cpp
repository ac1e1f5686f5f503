#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "HeapInUse.h"
#include "ResidentMemory.h"

namespace soak {
namespace {

// Called through a volatile pointer so that the compiler cannot drop an
// allocation whose memory is never read.
void* (*volatile allocate)(std::size_t) = std::malloc;

constexpr std::size_t kReplyBlock = 2 * 1024 * 1024;

// With the thresholds pinned, a large block freed is handed back at once,
// again and again. Unpinned, glibc raises its thresholds when the first one
// (mapped on its own) is freed, takes the next from an arena and keeps it
// there as free space: the arenas then hold 2 MiB more from the second
// round on.
TEST(ResidentMemoryTest, PinnedThresholdsHandLargeBlocksBack) {
  if (ResidentMemory::distortion() != nullptr) GTEST_SKIP() << ResidentMemory::distortion();
  ASSERT_TRUE(ResidentMemory::pinAllocatorThresholds());
  const long long heldBefore = HeapInUse::current().heldBytes;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    void* const block = allocate(kReplyBlock);
    std::memset(block, 1, kReplyBlock);
    std::free(block);
    EXPECT_LT(HeapInUse::current().heldBytes - heldBefore, static_cast<long long>(kReplyBlock / 4));
  }
}

TEST(ResidentMemoryTest, DescribesInMiB) {
  EXPECT_EQ(ResidentMemory::describe(13 * 1024 + 512), "13.50 MiB");
  EXPECT_EQ(ResidentMemory::describe(2048, true), "+2.00 MiB");
  EXPECT_EQ(ResidentMemory::describe(-1), "unknown");
}

}  // namespace
}  // namespace soak
