#include "server/ResponseBuffer.h"

#include <algorithm>
#include <utility>

namespace quilrun {

void ResponseBuffer::expect(std::int64_t announced) {
  if (size_ != 0 || announced <= 0 || announced > limit_) return;
  blocks_.emplace_back();
  blocks_.back().reserve(static_cast<std::size_t>(announced));
}

bool ResponseBuffer::append(const char* data, std::size_t bytes) {
  if (static_cast<std::int64_t>(size_ + bytes) > limit_) return false;
  while (bytes > 0) {
    if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity()) {
      // Each new block as large as what came so far, within bounds: few
      // blocks for a large reply, little unused room for a small one.
      const std::size_t room = std::max(kFirstBlock, std::min(size_, kLargestBlock));
      blocks_.emplace_back();
      blocks_.back().reserve(
          std::min(room, static_cast<std::size_t>(limit_) - size_ + 1));
    }
    std::string& block = blocks_.back();
    const std::size_t taken = std::min(bytes, block.capacity() - block.size());
    block.append(data, taken);
    data += taken;
    bytes -= taken;
    size_ += taken;
  }
  return true;
}

std::string ResponseBuffer::take() {
  std::string text;
  if (blocks_.size() == 1) {
    text = std::move(blocks_.front());
  } else {
    text.reserve(size_);
    for (std::string& block : blocks_) {
      text += block;
      std::string().swap(block);
    }
  }
  blocks_.clear();
  size_ = 0;
  return text;
}

}  // namespace quilrun
