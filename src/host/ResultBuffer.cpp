#include "host/ResultBuffer.h"

#include <cstring>

namespace quilrun {

void ResultBuffer::clear(char* result, int size) {
  if (result != nullptr && size >= 1) result[0] = '\0';
}

void ResultBuffer::write(char* result, int size, const char* value, std::size_t length) {
  if (result == nullptr || size < 1) return;
  const std::size_t room = static_cast<std::size_t>(size) - 1;
  const std::size_t count = value == nullptr ? 0 : (length < room ? length : room);
  if (count > 0) std::memmove(result, value, count);
  result[count] = '\0';
}

void ResultBuffer::write(char* result, int size, const char* value) {
  write(result, size, value, value == nullptr ? 0 : std::strlen(value));
}

}  // namespace quilrun
