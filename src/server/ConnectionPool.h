#ifndef QUILRUN_SERVER_CONNECTIONPOOL_H
#define QUILRUN_SERVER_CONNECTIONPOOL_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Mutex.h"
#include "server/Connection.h"

namespace quilrun {

// The web-service connections of all data files. A data file has at most one
// connection, lent to one of its transfers at a time, so that its transfers
// run one after the other on one kept-alive connection; transfers of
// different data files run at once on connections of their own. At most a
// given number of connections are open: a data file without one then takes
// the least recently used idle connection of another data file (its handle,
// with its live connection, which libcurl goes on using when the web service
// is the same and closes otherwise), and when every connection is busy with a
// transfer the caller waits for one to come free, up to a time limit. A
// connection idle for 60 s is closed (at the next closeIdle or acquire).
// Losing its connection costs a data file nothing but a new one at its next
// request.
// Thread-safety: all operations may be called from any thread. Leases must
// end before the pool is destroyed.
class ConnectionPool {
 public:
  static constexpr std::int64_t kIdleSeconds = 60;

  class Lease;

  // Why acquire gave no connection.
  enum class Refusal {
    None,      // a connection was lent
    Full,      // every connection stayed busy for the whole wait
    NoHandle,  // libcurl could not make a handle (logged)
  };

  ConnectionPool() = default;
  // Closes every connection. REQUIRES: no lease is out.
  ~ConnectionPool();

  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // Lends dataFile's connection, opening one when it has none. Waits without
  // limit while another transfer of dataFile uses its connection, and at
  // most waitMilliseconds (on the Clock) for a connection to come free when
  // maxConnections are open and busy. The lease has no connection when the
  // pool stayed full or no handle could be made; refusal says which.
  Lease acquire(const std::string& dataFile, int maxConnections, std::int64_t waitMilliseconds,
                Refusal& refusal) EXCLUDES(mutex_);

  // Closes the connections that have been idle for kIdleSeconds or more.
  void closeIdle() EXCLUDES(mutex_);

  // How many connections are open, and how many of them are lent out.
  std::size_t openCount() const EXCLUDES(mutex_);
  std::size_t busyCount() const EXCLUDES(mutex_);
  // True when dataFile has an open connection.
  bool isOpen(const std::string& dataFile) const EXCLUDES(mutex_);

 private:
  // One data file's connection and its use.
  struct Slot {
    std::string dataFile;
    std::unique_ptr<Connection> connection;
    bool busy = false;
    std::int64_t lastUsed = 0;  // seconds since the epoch
  };

  // What tryAcquireLocked achieved.
  enum class Step { Lent, Full, NoHandle };

  // Lends dataFile's connection if it can without waiting for another data
  // file: waits for dataFile's own transfer in front, opens a connection or
  // takes over the least recently used idle one. Connections to close go
  // into closing, to be closed without the lock held.
  Step tryAcquireLocked(const std::string& dataFile, std::size_t maxConnections, Slot*& lent,
                        std::vector<std::unique_ptr<Connection>>& closing) REQUIRES(mutex_);
  // Takes out the connections idle for kIdleSeconds or more.
  void takeIdleLocked(std::int64_t now, std::vector<std::unique_ptr<Connection>>& closing)
      REQUIRES(mutex_);
  // Ends a lease: the slot is idle from now, and waiters look again.
  void release(Slot* slot) EXCLUDES(mutex_);

  mutable Mutex mutex_;
  CondVar released_{&mutex_};  // a connection came free
  std::unordered_map<std::string, std::unique_ptr<Slot>> slots_ GUARDED_BY(mutex_);
  // The flags of the callers waiting for room, set when a connection comes free.
  std::vector<std::atomic<bool>*> roomWaiters_ GUARDED_BY(mutex_);
};

// A connection lent by the pool for one transfer; it goes back when the
// lease ends.
class ConnectionPool::Lease {
 public:
  Lease() = default;
  ~Lease();
  Lease(Lease&& other) noexcept;
  Lease& operator=(Lease&& other) noexcept;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  explicit operator bool() const { return slot_ != nullptr; }
  // The lent connection. REQUIRES: the lease has one.
  Connection& connection() const { return *slot_->connection; }

 private:
  friend class ConnectionPool;
  Lease(ConnectionPool* pool, Slot* slot) : pool_(pool), slot_(slot) {}

  ConnectionPool* pool_ = nullptr;
  Slot* slot_ = nullptr;
};

}  // namespace quilrun

#endif
