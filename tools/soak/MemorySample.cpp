#include "MemorySample.h"

#include "ResidentMemory.h"

namespace soak {

namespace {

std::string countOf(long long value) { return value >= 0 ? std::to_string(value) : "unknown"; }

}  // namespace

MemorySample MemorySample::settled(int erpPort) {
  MemorySample sample;
  sample.rssKiB = ResidentMemory::settledKiB();
  sample.heap = HeapInUse::current();
  sample.descriptors = OpenDescriptors::current(erpPort);
  return sample;
}

std::string MemorySample::describe(const char* distortion) const {
  std::string text = ResidentMemory::describe(rssKiB) + ", heap in use ";
  text += distortion != nullptr ? "not measured in this build" : heap.describe();
  return text + ", " + countOf(descriptors.total) + " open descriptors (" +
         countOf(descriptors.connections) + " connections to erp-sim)";
}

}  // namespace soak
