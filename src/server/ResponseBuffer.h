#ifndef QUILRUN_SERVER_RESPONSEBUFFER_H
#define QUILRUN_SERVER_RESPONSEBUFFER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quilrun {

// The reply of one transfer as it arrives, up to a size limit. The bytes go
// into blocks that grow with the reply, so receiving never copies what came
// before; take() joins them into one text, releasing each block as it is
// copied. A reply thus needs little more memory than its own size, also
// when it is cut off at the limit.
// Thread-safety: belongs to one transfer.
class ResponseBuffer {
 public:
  explicit ResponseBuffer(std::int64_t limit) : limit_(limit) {}

  // Prepares for a reply of announced bytes (when it announces its length
  // and it is within the limit): then the reply arrives in one block.
  void expect(std::int64_t announced);

  // Appends bytes; false (taking nothing) when the reply would pass the
  // limit. Throws std::bad_alloc when memory runs out.
  bool append(const char* data, std::size_t bytes);

  // The bytes received so far.
  std::size_t size() const { return size_; }

  // The whole reply, leaving the buffer empty.
  std::string take();

 private:
  static constexpr std::size_t kFirstBlock = 16 * 1024;
  static constexpr std::size_t kLargestBlock = 4 * 1024 * 1024;

  const std::int64_t limit_;
  std::vector<std::string> blocks_;
  std::size_t size_ = 0;
};

}  // namespace quilrun

#endif
