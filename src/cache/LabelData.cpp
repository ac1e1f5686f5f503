#include "cache/LabelData.h"

namespace quilrun {

bool LabelData::operator==(const LabelData& other) const {
  return length_ == other.length_ && height_ == other.height_ && code_ == other.code_ &&
         text_ == other.text_;
}

}  // namespace quilrun
