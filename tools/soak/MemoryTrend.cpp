#include "MemoryTrend.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "ResidentMemory.h"

namespace soak {

namespace {

std::string count(long long value, bool withSign) {
  if (value < 0 && !withSign) return "unknown";
  return (withSign && value >= 0 ? "+" : "") + std::to_string(value);
}

std::string line(const char* label, const std::string& text) {
  char start[32];
  std::snprintf(start, sizeof start, "  %-17s ", label);
  return start + text + "\n";
}

}  // namespace

MemoryTrend::MemoryTrend(MemorySample start, MemorySample middle, MemorySample end,
                         const char* distortion, long long connectionBound)
    : start_(std::move(start)),
      middle_(std::move(middle)),
      end_(std::move(end)),
      distortion_(distortion),
      connectionBound_(connectionBound) {}

long long MemoryTrend::difference(long long from, long long to) {
  return from >= 0 && to >= 0 ? to - from : 0;
}

long long MemoryTrend::rssGrowthKiB() const { return difference(middle_.rssKiB, end_.rssKiB); }

long long MemoryTrend::heapGrowthBytes() const {
  return difference(middle_.heap.inUseBytes(), end_.heap.inUseBytes());
}

long long MemoryTrend::otherDescriptorGrowth() const {
  return difference(middle_.descriptors.others(), end_.descriptors.others());
}

long long MemoryTrend::mostConnections() const {
  return std::max(middle_.descriptors.connections, end_.descriptors.connections);
}

bool MemoryTrend::rssFlat() const {
  return distortion_ != nullptr || rssGrowthKiB() <= kFlatGrowthKiB;
}

bool MemoryTrend::descriptorsFlat() const {
  return otherDescriptorGrowth() <= kFlatDescriptorGrowth && mostConnections() <= connectionBound_;
}

std::string MemoryTrend::figureLine(const char* label, long long start, long long middle,
                                    long long end, std::string (*describe)(long long, bool)) const {
  return line(label, "start " + describe(start, false) + ", middle " + describe(middle, false) +
                         ", end " + describe(end, false) + "; second half " +
                         describe(difference(middle, end), true));
}

std::string MemoryTrend::summary(bool checked) const {
  const std::string unchecked = checked ? "" : "; not checked without --check-rss";
  std::string text =
      figureLine("RSS", start_.rssKiB, middle_.rssKiB, end_.rssKiB, &ResidentMemory::describe);
  if (distortion_ != nullptr) {
    text += line("heap in use", std::string("not measured in this build: ") + distortion_);
  } else {
    text += figureLine("heap in use", start_.heap.inUseBytes(), middle_.heap.inUseBytes(),
                       end_.heap.inUseBytes(), &HeapInUse::describeBytes);
    text += figureLine("arenas hold", start_.heap.heldBytes, middle_.heap.heldBytes,
                       end_.heap.heldBytes, &HeapInUse::describeBytes);
  }
  text += figureLine("descriptors", start_.descriptors.total, middle_.descriptors.total,
                     end_.descriptors.total, &count);
  text += figureLine("connections", start_.descriptors.connections, middle_.descriptors.connections,
                     end_.descriptors.connections, &count);

  if (distortion_ != nullptr) {
    text += line("RSS verdict", std::string("not judged in this build: ") + distortion_);
  } else {
    const std::string heap = middle_.heap.known() && end_.heap.known()
                                 ? HeapInUse::describeBytes(heapGrowthBytes(), true)
                                 : std::string("unknown");
    text += line("RSS verdict", std::string(rssFlat() ? "flat" : "NOT FLAT") + " (second half " +
                                    ResidentMemory::describe(rssGrowthKiB(), true) + ", bound +" +
                                    ResidentMemory::describe(kFlatGrowthKiB) + "; heap in use " +
                                    heap + ")" + unchecked);
  }
  if (middle_.descriptors.others() < 0 || end_.descriptors.others() < 0) {
    text += line("fd verdict", "not judged: /proc/self/fd or /proc/self/net/tcp cannot be read");
  } else {
    text += line("fd verdict",
                 std::string(descriptorsFlat() ? "flat" : "NOT FLAT") +
                     " (second half: other descriptors " + count(otherDescriptorGrowth(), true) +
                     ", bound +" + count(kFlatDescriptorGrowth, false) + "; connections " +
                     count(mostConnections(), false) + ", bound " + count(connectionBound_, false) +
                     ", one per data file)" + unchecked);
  }
  return text;
}

}  // namespace soak
