#include "DataFileSchedule.h"

#include <algorithm>

namespace soak {

DataFileSchedule::DataFileSchedule(long long renderings, std::size_t dataFiles)
    : dataFiles_(std::max<std::size_t>(dataFiles, 1)),
      joinEvery_(std::max<long long>(renderings / 4 / static_cast<long long>(dataFiles_), 1)) {}

std::size_t DataFileSchedule::dataFileFor(long long rendering) const {
  const long long joined = std::min(rendering / joinEvery_ + 1, static_cast<long long>(dataFiles_));
  return static_cast<std::size_t>(rendering % joined);
}

}  // namespace soak
