#ifndef QUILRUN_ERPSIM_REQUESTSOCKET_H
#define QUILRUN_ERPSIM_REQUESTSOCKET_H

namespace erpsim {

// The accepted socket a request came in on, found by its ports
// (AcceptedSockets), for faults that hold a connection open and must let go
// once the client has. The descriptor stays the connection's while the
// request's handler or content provider runs: cpp-httplib closes it only
// after both. POSIX only.
class RequestSocket {
 public:
  RequestSocket(int localPort, int peerPort);

  // Whether the client still holds the connection: false once it has closed
  // or reset it, or the connection was shut down. Does not wait and reads
  // nothing. True when the socket was not found, as it cannot tell.
  bool clientConnected() const;

 private:
  int fd_ = -1;
};

}  // namespace erpsim

#endif
