#ifndef QUILRUN_ERPSIM_FAULT_H
#define QUILRUN_ERPSIM_FAULT_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace erpsim {

// What to do wrong when answering one request, written as items separated by
// commas, semicolons or white space:
//   delay=MS      wait MS milliseconds before answering (0 to 600000)
//   status=CODE   answer with HTTP status CODE (200 to 599) instead of 200
//   malformed     send only the first half of the reply, so it is not well-formed
//   empty         send an empty body
//   close         close the connection before sending anything
//   truncate      send the headers and half the reply, then close the connection
//   size=MB       pad the reply with an XML comment to exactly MB MiB (1 to 1024)
//   nul[=OFFSET]  insert a NUL byte before byte OFFSET of the reply (default: at its end)
//   stall         read the request and send nothing, keeping the connection open
//   trickle=MS    send the headers, then the body one byte every MS milliseconds (1 to 60000)
//   endless       a chunked reply whose body ends in an XML comment that never ends
//   overlength    announce 1024 bytes more than the reply, send the reply, keep the connection open
// delay and status combine with each other and with one of the body items,
// except stall, which sends nothing they could alter.
class Fault {
 public:
  enum class Body {
    Reply,
    Malformed,
    Empty,
    Close,
    Truncate,
    Large,
    Nul,
    Stall,
    Trickle,
    Endless,
    Overlength
  };

  int delayMs = 0;
  int status = 200;
  Body body = Body::Reply;
  // For Large: the body's size in MiB.
  std::size_t sizeMiB = 0;
  // For Nul: where the NUL byte goes; none puts it after the reply.
  std::optional<std::size_t> nulOffset;
  // For Trickle: the wait before each byte of the body.
  int trickleMs = 0;

  // The fault text describes. Throws std::invalid_argument naming the first
  // bad item, or when text holds no item at all.
  static Fault parse(const std::string& text);

  // The items of text, split at commas, semicolons and white space.
  static std::vector<std::string> items(const std::string& text);

  // The fault in the form parse reads, items in the order of the list above.
  std::string describe() const;
};

}  // namespace erpsim

#endif
