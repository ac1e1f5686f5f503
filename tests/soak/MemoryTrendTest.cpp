#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryTrend.h"

namespace soak {
namespace {

constexpr long long kMiB = 1024 * 1024;

MemorySample sample(long long rssKiB, long long heapBytes, long long descriptors,
                    long long connections = 0) {
  MemorySample taken;
  taken.rssKiB = rssKiB;
  taken.heap.arenaBytes = heapBytes;
  taken.heap.mappedBytes = heapBytes >= 0 ? 0 : -1;
  taken.heap.heldBytes = heapBytes >= 0 ? 2 * heapBytes : -1;
  taken.descriptors.total = descriptors;
  taken.descriptors.connections = descriptors >= 0 ? connections : -1;
  return taken;
}

// The middle and end samples of one case, the start being the same as the
// middle, and what the summary must then say.
struct Case {
  const char* name;
  MemorySample middle;
  MemorySample end;
  const char* distortion;
  bool flat;
  std::vector<std::string> lines;
};

TEST(MemoryTrendTest, JudgesTheSecondHalf) {
  const long long bound = MemoryTrend::kFlatGrowthKiB;
  const long long heap = 5 * kMiB;
  const Case cases[] = {
      {"all flat",
       sample(20000, heap, 610, 200),
       sample(20000, heap, 610, 200),
       nullptr,
       true,
       {"  RSS verdict       flat (second half +0.00 MiB, bound +1.00 MiB; heap in use +0.00 "
        "MiB)\n",
        "  descriptors       start 610, middle 610, end 610; second half +0\n",
        "  connections       start 200, middle 200, end 200; second half +0\n",
        "  fd verdict        flat (second half: other descriptors +0, bound +0; connections 200, "
        "bound 200, one per data file)\n"}},
      {"RSS at the bound",
       sample(20000, heap, 610),
       sample(20000 + bound, heap, 610),
       nullptr,
       true,
       {"  RSS verdict       flat (second half +1.00 MiB"}},
      {"RSS over the bound, heap flat",
       sample(20000, heap, 610),
       sample(20000 + bound + 1, heap, 610),
       nullptr,
       false,
       {"  RSS verdict       NOT FLAT (second half +1.00 MiB, bound +1.00 MiB; heap in use "
        "+0.00 MiB)\n"}},
      {"heap growth shown beside RSS",
       sample(20000, heap, 610),
       sample(22048, 7 * kMiB, 610),
       nullptr,
       false,
       {"NOT FLAT (second half +2.00 MiB, bound +1.00 MiB; heap in use +2.00 MiB)",
        "  heap in use       start 5.00 MiB, middle 5.00 MiB, end 7.00 MiB; second half +2.00 "
        "MiB\n",
        "  arenas hold       start 10.00 MiB, middle 10.00 MiB, end 14.00 MiB; second half "
        "+4.00 MiB\n"}},
      {"connections opened again after faults",
       sample(20000, heap, 589, 179),
       sample(20000, heap, 610, 200),
       nullptr,
       true,
       {"  descriptors       start 589, middle 589, end 610; second half +21\n",
        "(second half: other descriptors +0, bound +0; connections 200, bound 200"}},
      {"one other descriptor more",
       sample(20000, heap, 610, 200),
       sample(20000, heap, 610, 199),
       nullptr,
       false,
       {"  fd verdict        NOT FLAT (second half: other descriptors +1, bound +0"}},
      {"more connections than data files",
       sample(20000, heap, 610, 200),
       sample(20000, heap, 611, 201),
       nullptr,
       false,
       {"NOT FLAT (second half: other descriptors +0, bound +0; connections 201, bound 200"}},
      {"descriptors closed",
       sample(20000, heap, 610),
       sample(20000, heap, 590),
       nullptr,
       true,
       {"  fd verdict        flat (second half: other descriptors -20"}},
      {"sanitizer: RSS not judged",
       sample(20000, heap, 610),
       sample(90000, 50 * kMiB, 610),
       "quarantine",
       true,
       {"  RSS verdict       not judged in this build: quarantine\n",
        "  heap in use       not measured in this build: quarantine\n"}},
      {"sanitizer: descriptors still judged",
       sample(20000, heap, 610),
       sample(20000, heap, 612),
       "quarantine",
       false,
       {"  fd verdict        NOT FLAT (second half: other descriptors +2"}},
      {"unknown figures",
       sample(-1, -1, -1),
       sample(-1, -1, -1),
       nullptr,
       true,
       {"  RSS               start unknown, middle unknown, end unknown; second half +0.00 MiB\n",
        "heap in use unknown)", "  fd verdict        not judged: /proc/self/fd"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MemoryTrend trend(c.middle, c.middle, c.end, c.distortion, 200);
    EXPECT_EQ(trend.flat(), c.flat);
    const std::string summary = trend.summary(true);
    for (const std::string& line : c.lines) {
      EXPECT_NE(summary.find(line), std::string::npos) << summary;
    }
    EXPECT_EQ(summary.find("not checked"), std::string::npos) << summary;
  }
}

TEST(MemoryTrendTest, SaysWhenTheVerdictsAreNotChecked) {
  const MemoryTrend trend(sample(1000, kMiB, 20), sample(1000, kMiB, 20), sample(9000, kMiB, 25),
                          nullptr, 200);
  EXPECT_FALSE(trend.rssFlat());
  EXPECT_FALSE(trend.descriptorsFlat());
  const std::string summary = trend.summary(false);
  EXPECT_NE(summary.find("MiB); not checked without --check-rss\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("one per data file); not checked without --check-rss\n"),
            std::string::npos)
      << summary;
}

TEST(MemoryTrendTest, SampleLineNamesEveryFigure) {
  MemorySample taken = sample(13 * 1024, 3 * kMiB, 12, 2);
  taken.heap.mappedBytes = kMiB;
  EXPECT_EQ(taken.describe(nullptr),
            "13.00 MiB, heap in use 4.00 MiB (1.00 MiB in mapped blocks; the arenas hold 6.00 "
            "MiB), 12 open descriptors (2 connections to erp-sim)");
  EXPECT_EQ(taken.describe("quarantine"),
            "13.00 MiB, heap in use not measured in this build, 12 open descriptors (2 "
            "connections to erp-sim)");
}

}  // namespace
}  // namespace soak
