#include "RequestSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "AcceptedSockets.h"

namespace erpsim {

namespace {

// The peer's shutdown of its sending side, reported even while bytes are
// still unread (Linux). Without it a TLS client's closing alert, left unread,
// would hide the end of the stream from the peek below.
#ifdef POLLRDHUP
const short peerHangUp = POLLRDHUP;
#else
const short peerHangUp = 0;
#endif

}  // namespace

RequestSocket::RequestSocket(int localPort, int peerPort) {
  const std::vector<int> found = AcceptedSockets::find(localPort, peerPort);
  if (!found.empty()) fd_ = found.front();
}

bool RequestSocket::clientConnected() const {
  if (fd_ < 0) return true;
  pollfd events{fd_, static_cast<short>(POLLIN | peerHangUp), 0};
  if (::poll(&events, 1, 0) <= 0) return true;
  if ((events.revents & (POLLHUP | POLLERR | POLLNVAL | peerHangUp)) != 0) return false;
  // Readable: either bytes of a next request or the end of the stream.
  char byte = 0;
  const ssize_t peeked = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

}  // namespace erpsim
