#ifndef QUILRUN_SOAK_OPENDESCRIPTORS_H
#define QUILRUN_SOAK_OPENDESCRIPTORS_H

namespace soak {

// The process's open file descriptors as the kernel lists them, and how many
// of them are TCP connections to one port (erp-sim's). The library keeps the
// log file and, for each data file, a libcurl handle with its connection
// open; a connection comes and goes with the faults (a closed or cut reply
// closes it, the data file's next request opens it again), while every other
// descriptor stays.
class OpenDescriptors {
 public:
  long long total = -1;        // -1: unknown
  long long connections = -1;  // -1: unknown

  // The entries of /proc/self/fd, without the one that reading the folder
  // opens itself; connections are the sockets among them that
  // /proc/self/net/tcp or tcp6 lists with remote port port.
  static OpenDescriptors current(int port);

  // total - connections, or -1 when either is unknown.
  long long others() const;
};

}  // namespace soak

#endif
