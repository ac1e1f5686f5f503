#include "AcceptedSockets.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace erpsim {

namespace {

// The port of an IPv4 or IPv6 address, or -1.
int portOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

// The process's open descriptors: the entries of /proc/self/fd where there
// is one (Linux), else every number below the descriptor limit.
std::vector<int> openDescriptors() {
  std::vector<int> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    found.push_back(std::atoi(entry.path().filename().c_str()));
  }
  if (!found.empty()) return found;
  const long limit = ::sysconf(_SC_OPEN_MAX);
  const int last = static_cast<int>(std::min(limit > 0 ? limit : 1024L, 65536L));
  for (int fd = 0; fd < last; ++fd) found.push_back(fd);
  return found;
}

}  // namespace

std::vector<int> AcceptedSockets::find(int localPort, int peerPort) {
  std::vector<int> found;
  for (const int fd : openDescriptors()) {
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        portOf(local) != localPort) {
      continue;
    }
    sockaddr_storage peer{};
    size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) continue;
    if (peerPort != -1 && portOf(peer) != peerPort) continue;
    found.push_back(fd);
  }
  return found;
}

}  // namespace erpsim
