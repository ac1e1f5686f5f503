#include "cache/LabelList.h"

namespace quilrun {

void LabelList::add(LabelData variant) {
  auto slot = byCode_.try_emplace(variant.getCode()).first;
  std::vector<Variant>& variants = slot->second;
  for (const Variant& held : variants) {
    if (held.length == variant.getLength() && held.height == variant.getHeight() &&
        held.text == variant.getText())
      return;
  }
  order_.emplace_back(&slot->first, variants.size());
  variants.push_back({variant.getLength(), variant.getHeight(), variant.getText()});
}

const std::string* LabelList::find(const std::string& code, int length, int height) const {
  auto found = byCode_.find(code);
  if (found == byCode_.end()) return nullptr;
  const Variant* choice = nullptr;
  long long choiceScore = 0;
  for (const Variant& variant : found->second) {
    if (variant.height > height || variant.length > length) continue;
    const long long score = static_cast<long long>(variant.text.size()) - 2LL * variant.height + 2;
    if (choice == nullptr || score > choiceScore ||
        (score == choiceScore && variant.height > choice->height)) {
      choice = &variant;
      choiceScore = score;
    }
  }
  return choice != nullptr ? &choice->text : nullptr;
}

std::vector<LabelData> LabelList::records() const {
  std::vector<LabelData> all;
  all.reserve(order_.size());
  for (const auto& [code, index] : order_) {
    const Variant& variant = byCode_.at(*code)[index];
    LabelData data;
    data.setCode(code->c_str());
    data.setLength(variant.length);
    data.setHeight(variant.height);
    data.setText(variant.text.c_str());
    all.push_back(std::move(data));
  }
  return all;
}

}  // namespace quilrun
