#ifndef QUILRUN_CACHE_KEYEDLIST_H
#define QUILRUN_CACHE_KEYEDLIST_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quilrun {

// Records in the order they were added, with an index from a lookup key to
// the first record added under it, so a lookup answers what a scan from the
// first record would, in constant time.
// Thread-safety: none; the owning cache guards it.
template <typename Record>
class KeyedList {
 public:
  // Appends record, found under key unless an earlier record has that key.
  void add(std::string key, Record record) {
    index_.emplace(std::move(key), records_.size());
    records_.push_back(std::move(record));
  }

  // The first record added under key, or null. The pointer is valid until
  // the list changes.
  const Record* find(const std::string& key) const {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &records_[found->second];
  }

  const std::vector<Record>& records() const { return records_; }
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }

 private:
  std::vector<Record> records_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace quilrun

#endif
