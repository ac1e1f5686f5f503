#ifndef QUILRUN_HOST_RESULTBUFFER_H
#define QUILRUN_HOST_RESULTBUFFER_H

#include <cstddef>
#include <string>

namespace quilrun {

// The only way the library writes into a caller's result buffer. It never
// writes beyond size bytes and always leaves a NUL-terminated string: a value
// longer than size - 1 bytes is cut there. A null buffer or a size below 1
// receives nothing.
class ResultBuffer {
 public:
  // Makes the buffer the empty string.
  static void clear(char* result, int size);

  // Copies length bytes of value (cut to fit) and a terminating NUL.
  static void write(char* result, int size, const char* value, std::size_t length);

  static void write(char* result, int size, const std::string& value) {
    write(result, size, value.data(), value.size());
  }

  // Copies a NUL-terminated value; null counts as the empty string.
  static void write(char* result, int size, const char* value);
};

}  // namespace quilrun

#endif
