#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "HeapInUse.h"
#include "ResidentMemory.h"

namespace soak {
namespace {

// Called through a volatile pointer so that the compiler cannot drop an
// allocation whose memory is never read.
void* (*volatile allocate)(std::size_t) = std::malloc;

constexpr long long kMiB = 1024 * 1024;

// Blocks in use show in the figure whether malloc maps them on their own
// (one large block) or takes them from an arena (many small ones), and drop
// out when freed.
TEST(HeapInUseTest, CountsBlocksInUseLargeAndSmall) {
  if (ResidentMemory::distortion() != nullptr) GTEST_SKIP() << ResidentMemory::distortion();
  struct Case {
    const char* name;
    std::size_t blockSize;
    std::size_t blocks;
  };
  for (const Case& c : {Case{"one mapped block", 8 * kMiB, 1}, Case{"small blocks", 64, 65536}}) {
    SCOPED_TRACE(c.name);
    const HeapInUse before = HeapInUse::current();
    ASSERT_TRUE(before.known());
    std::vector<void*> held;
    for (std::size_t i = 0; i < c.blocks; ++i) {
      held.push_back(allocate(c.blockSize));
      std::memset(held.back(), 1, c.blockSize);
    }
    const long long size = static_cast<long long>(c.blockSize * c.blocks);
    const HeapInUse during = HeapInUse::current();
    EXPECT_GE(during.inUseBytes() - before.inUseBytes(), size);
    EXPECT_GE(during.heldBytes + during.mappedBytes, during.inUseBytes());
    for (void* block : held) std::free(block);
    held.clear();
    held.shrink_to_fit();
    EXPECT_LT(HeapInUse::current().inUseBytes() - before.inUseBytes(), size / 8);
  }
}

TEST(HeapInUseTest, DescribesInMiB) {
  EXPECT_EQ(HeapInUse::describeBytes(3 * kMiB + kMiB / 2), "3.50 MiB");
  EXPECT_EQ(HeapInUse::describeBytes(-kMiB / 4, true), "-0.25 MiB");
  EXPECT_EQ(HeapInUse::describeBytes(-1), "unknown");
  EXPECT_EQ(HeapInUse().describe(), "unknown");
}

}  // namespace
}  // namespace soak
