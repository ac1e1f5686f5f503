#ifndef QUILRUN_SERVER_CONNECTION_H
#define QUILRUN_SERVER_CONNECTION_H

#include <memory>

typedef void CURL;

namespace quilrun {

// One web-service connection: a libcurl easy handle, which keeps its live
// connection (a socket, and libcurl's own pair of sockets for waking a
// transfer) open from one request to the next. Closing it closes them all.
// Thread-safety: used by one transfer at a time (the ConnectionPool sees to
// that).
class Connection {
 public:
  // A new connection, or null when libcurl cannot make a handle (logged).
  static std::unique_ptr<Connection> open();
  // Closes the handle with everything it holds open.
  ~Connection();

  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  CURL* handle() const { return handle_; }

 private:
  explicit Connection(CURL* handle) : handle_(handle) {}

  CURL* const handle_;
};

}  // namespace quilrun

#endif
