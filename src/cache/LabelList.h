#ifndef QUILRUN_CACHE_LABELLIST_H
#define QUILRUN_CACHE_LABELLIST_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "cache/LabelData.h"

namespace quilrun {

// The label variants of all label codes, in the order they were added, with
// the variants of each code reachable directly. A variant equal to one
// already held is not added again: it could never be chosen over the earlier
// one, so asking again for a code gives the same answers without growing.
// Thread-safety: none; the owning cache guards it.
class LabelList {
 public:
  // Appends variant unless an equal one is already held.
  void add(LabelData variant);

  // The best-fitting variant of code for length and height, or null: among
  // the variants of code no longer than length and no higher than height, the
  // one with the greatest score (text length - 2 * height + 2); on equal
  // scores the higher one, on equal heights too the earlier one. Valid until
  // the list changes.
  const LabelData* find(const std::string& code, int length, int height) const;

  // The variants in the order they were added.
  std::vector<LabelData> records() const;
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::unordered_map<std::string, std::vector<LabelData>> byCode_;
  std::vector<std::pair<std::string, std::size_t>> order_;  // code and index, as added
  std::size_t size_ = 0;
};

}  // namespace quilrun

#endif
