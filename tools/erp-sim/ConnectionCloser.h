#ifndef QUILRUN_ERPSIM_CONNECTIONCLOSER_H
#define QUILRUN_ERPSIM_CONNECTIONCLOSER_H

namespace erpsim {

// Shuts down accepted TCP connections of this process by their ports.
// cpp-httplib hands neither the accepted socket to a handler nor a way to
// drop a kept-alive connection at stop, so the sockets are found by
// AcceptedSockets. Only shutdown(2) is called; the server still closes each
// descriptor itself, so no descriptor is closed twice. POSIX only.
class ConnectionCloser {
 public:
  // Shuts down the connection accepted on localPort from peerPort. Returns
  // whether one was found.
  static bool closeConnection(int localPort, int peerPort);

  // Shuts down every connection accepted on localPort. Returns how many.
  static int closeAll(int localPort);
};

}  // namespace erpsim

#endif
