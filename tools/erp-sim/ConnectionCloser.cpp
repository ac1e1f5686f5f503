#include "ConnectionCloser.h"

#include <sys/socket.h>

#include "AcceptedSockets.h"

namespace erpsim {

namespace {

// Shuts down each connected socket on localPort whose peer port is peerPort
// (any when -1); returns how many.
int shutDown(int localPort, int peerPort) {
  int count = 0;
  for (const int fd : AcceptedSockets::find(localPort, peerPort)) {
    if (::shutdown(fd, SHUT_RDWR) == 0) ++count;
  }
  return count;
}

}  // namespace

bool ConnectionCloser::closeConnection(int localPort, int peerPort) {
  return shutDown(localPort, peerPort) > 0;
}

int ConnectionCloser::closeAll(int localPort) { return shutDown(localPort, -1); }

}  // namespace erpsim
