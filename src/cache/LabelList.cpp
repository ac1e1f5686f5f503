#include "cache/LabelList.h"

#include <algorithm>

namespace quilrun {

namespace {
long long score(const LabelData& variant) {
  return static_cast<long long>(variant.getText().size()) - 2LL * variant.getHeight() + 2;
}
}  // namespace

void LabelList::add(LabelData variant) {
  std::vector<LabelData>& variants = byCode_[variant.getCode()];
  if (std::find(variants.begin(), variants.end(), variant) != variants.end()) return;
  order_.emplace_back(variant.getCode(), variants.size());
  variants.push_back(std::move(variant));
  ++size_;
}

const LabelData* LabelList::find(const std::string& code, int length, int height) const {
  auto found = byCode_.find(code);
  if (found == byCode_.end()) return nullptr;
  const LabelData* choice = nullptr;
  long long choiceScore = 0;
  for (const LabelData& variant : found->second) {
    if (variant.getHeight() > height || variant.getLength() > length) continue;
    const long long candidateScore = score(variant);
    if (choice == nullptr || candidateScore > choiceScore ||
        (candidateScore == choiceScore && variant.getHeight() > choice->getHeight())) {
      choice = &variant;
      choiceScore = candidateScore;
    }
  }
  return choice;
}

std::vector<LabelData> LabelList::records() const {
  std::vector<LabelData> all;
  all.reserve(size_);
  for (const auto& [code, index] : order_) all.push_back(byCode_.at(code)[index]);
  return all;
}

}  // namespace quilrun
