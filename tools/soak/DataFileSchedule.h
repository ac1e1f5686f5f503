#ifndef QUILRUN_SOAK_DATAFILESCHEDULE_H
#define QUILRUN_SOAK_DATAFILESCHEDULE_H

#include <cstddef>

namespace soak {

// Which data file each rendering is for. The data files join one by one
// over the first quarter of the run and are then taken in turn: a data
// file's first rendering fills its cache with a request for every cached
// value, so spreading the first renderings over many phases of the fault
// rotation has every kind of fault hit those requests too, not only the
// requests that are made at every call. From the quarter on every data file
// is in use, so the caches are all filled well before the middle, where the
// resident memory is compared.
// Thread-safety: immutable.
class DataFileSchedule {
 public:
  DataFileSchedule(long long renderings, std::size_t dataFiles);

  // The index of the data file of rendering number rendering (from 0).
  std::size_t dataFileFor(long long rendering) const;

 private:
  std::size_t dataFiles_;
  long long joinEvery_;  // renderings between two data files joining
};

}  // namespace soak

#endif
