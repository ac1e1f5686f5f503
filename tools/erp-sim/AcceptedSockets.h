#ifndef QUILRUN_ERPSIM_ACCEPTEDSOCKETS_H
#define QUILRUN_ERPSIM_ACCEPTEDSOCKETS_H

#include <vector>

namespace erpsim {

// Finds accepted TCP connections of this process by their ports.
// cpp-httplib does not hand the accepted socket to a handler, so the sockets
// are looked up among the process's open descriptors by their local and peer
// ports. POSIX only.
class AcceptedSockets {
 public:
  // The descriptors of the connected sockets on localPort whose peer port is
  // peerPort, or of every one on localPort when peerPort is -1. The listening
  // socket, which has no peer, is never among them.
  static std::vector<int> find(int localPort, int peerPort);
};

}  // namespace erpsim

#endif
