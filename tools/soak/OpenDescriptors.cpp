#include "OpenDescriptors.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>

namespace soak {

namespace {

// Adds the inodes of the sockets in table (/proc/self/net/tcp or tcp6)
// whose remote address has port. Returns false when the table cannot be read.
bool addConnections(const char* table, int port, std::unordered_set<std::string>& inodes) {
  std::ifstream file(table);
  if (!file) return false;
  std::string line;
  std::getline(file, line);  // the column names
  while (std::getline(file, line)) {
    // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode)) {
      continue;
    }
    const std::size_t colon = remote.rfind(':');
    if (colon == std::string::npos) continue;
    if (std::strtol(remote.c_str() + colon + 1, nullptr, 16) == port) inodes.insert(inode);
  }
  return true;
}

}  // namespace

OpenDescriptors OpenDescriptors::current(int port) {
  OpenDescriptors descriptors;
  std::unordered_set<std::string> connectionInodes;
  // Without IPv6 there is no tcp6 table, and no connection to find in it.
  const bool tables = addConnections("/proc/self/net/tcp", port, connectionInodes);
  addConnections("/proc/self/net/tcp6", port, connectionInodes);

  DIR* const folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return descriptors;
  const int own = ::dirfd(folder);
  long long total = 0;
  long long connections = 0;
  while (const dirent* entry = ::readdir(folder)) {
    char* end = nullptr;
    const long descriptor = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || descriptor == own) continue;
    ++total;
    // A socket's link reads "socket:[inode]".
    char target[64];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
    if (size <= 0) continue;
    target[size] = '\0';
    if (std::strncmp(target, "socket:[", 8) != 0) continue;
    const std::string inode(target + 8, std::strcspn(target + 8, "]"));
    if (connectionInodes.count(inode) != 0) ++connections;
  }
  ::closedir(folder);
  descriptors.total = total;
  if (tables) descriptors.connections = connections;
  return descriptors;
}

long long OpenDescriptors::others() const {
  return total >= 0 && connections >= 0 ? total - connections : -1;
}

}  // namespace soak
