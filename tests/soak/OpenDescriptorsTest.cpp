#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "OpenDescriptors.h"

namespace soak {
namespace {

// The descriptors that fcntl finds open.
long long openByFcntl() {
  long long count = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  }
  return count;
}

// Each descriptor opened counts once and each closed one drops out again;
// the descriptor that reading /proc/self/fd opens is not counted.
TEST(OpenDescriptorsTest, FollowsOpenAndClose) {
  const long long before = OpenDescriptors::current(0).total;
  ASSERT_EQ(before, openByFcntl());
  EXPECT_EQ(OpenDescriptors::current(0).total, before);

  const int first = ::open("/dev/null", O_RDONLY);
  const int second = ::dup(first);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(OpenDescriptors::current(0).total, before + 2);
  EXPECT_EQ(OpenDescriptors::current(0).others(), before + 2);

  ::close(first);
  EXPECT_EQ(OpenDescriptors::current(0).total, before + 1);
  ::close(second);
  EXPECT_EQ(OpenDescriptors::current(0).total, before);
}

// A listening socket on the loopback; closed with the object.
class Listener {
 public:
  Listener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() {
    if (fd_ >= 0) ::close(fd_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int fd() const { return fd_; }
  int port() const { return port_; }

  // A client socket connected to this listener, or -1.
  int connect() const {
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(client);
      return -1;
    }
    return client;
  }

 private:
  int fd_;
  int port_ = 0;
};

// Connections are the client sockets whose far end is the port: not the
// listening socket, not the accepted end (whose own port it is), not a
// connection to another port.
TEST(OpenDescriptorsTest, CountsOnlyConnectionsToThePort) {
  const Listener erp;
  const Listener other;
  ASSERT_GE(erp.fd(), 0);
  ASSERT_GE(other.fd(), 0);
  const OpenDescriptors before = OpenDescriptors::current(erp.port());
  ASSERT_EQ(before.connections, 0);

  const int client = erp.connect();
  const int accepted = ::accept(erp.fd(), nullptr, nullptr);
  const int elsewhere = other.connect();
  ASSERT_GE(client, 0);
  ASSERT_GE(accepted, 0);
  ASSERT_GE(elsewhere, 0);
  const OpenDescriptors during = OpenDescriptors::current(erp.port());
  EXPECT_EQ(during.total, before.total + 3);
  EXPECT_EQ(during.connections, 1);
  EXPECT_EQ(during.others(), before.others() + 2);

  ::close(client);
  EXPECT_EQ(OpenDescriptors::current(erp.port()).connections, 0);
  ::close(accepted);
  ::close(elsewhere);
}

}  // namespace
}  // namespace soak
