#ifndef QUILRUN_CACHE_LABELLIST_H
#define QUILRUN_CACHE_LABELLIST_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cache/LabelData.h"

namespace quilrun {

// The label variants of all label codes, in the order they were added, with
// the variants of each code reachable directly and each code held once. A
// variant equal to one already held is not added again: it could never be
// chosen over the earlier one, so asking again for a code gives the same
// answers without growing.
// Thread-safety: none; the owning cache guards it.
class LabelList {
 public:
  // Appends variant unless an equal one is already held.
  void add(LabelData variant);

  // The text of the best-fitting variant of code for length and height, or
  // null: among the variants of code no longer than length and no higher than
  // height, the one with the greatest score (text length - 2 * height + 2);
  // on equal scores the higher one, on equal heights too the earlier one.
  // Valid until the list changes.
  const std::string* find(const std::string& code, int length, int height) const;

  // The variants in the order they were added.
  std::vector<LabelData> records() const;
  std::size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }

 private:
  struct Variant {
    int length;
    int height;
    std::string text;
  };
  std::unordered_map<std::string, std::vector<Variant>> byCode_;
  // The code (the key in byCode_, whose nodes never move) and index, as added.
  std::vector<std::pair<const std::string*, std::size_t>> order_;
};

}  // namespace quilrun

#endif
