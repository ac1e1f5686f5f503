#include "server/ConnectionPool.h"

#include <algorithm>
#include <utility>

#include "platform/Clock.h"

namespace quilrun {

ConnectionPool::~ConnectionPool() {
  MutexLock lock(&mutex_);
  slots_.clear();
}

ConnectionPool::Lease ConnectionPool::acquire(const std::string& dataFile, int maxConnections,
                                              std::int64_t waitMilliseconds, Refusal& refusal) {
  Clock& clock = Clock::current();
  const std::int64_t deadline = clock.nowMilliseconds() + waitMilliseconds;
  const std::size_t limit = static_cast<std::size_t>(maxConnections < 1 ? 1 : maxConnections);
  for (;;) {
    std::vector<std::unique_ptr<Connection>> closing;
    std::atomic<bool> freed{false};
    Slot* lent = nullptr;
    Step step;
    {
      MutexLock lock(&mutex_);
      step = tryAcquireLocked(dataFile, limit, lent, closing);
      if (step == Step::Full) {
        if (clock.nowMilliseconds() >= deadline) {
          refusal = Refusal::Full;
          return Lease();
        }
        roomWaiters_.push_back(&freed);
      }
    }
    // Connections taken out are closed without the lock: closing one may
    // take a moment (a TLS goodbye).
    closing.clear();
    if (step == Step::Lent) {
      refusal = Refusal::None;
      return Lease(this, lent);
    }
    if (step == Step::NoHandle) {
      refusal = Refusal::NoHandle;
      return Lease();
    }
    clock.sleepFor(std::max<std::int64_t>(deadline - clock.nowMilliseconds(), 0), freed);
    MutexLock lock(&mutex_);
    roomWaiters_.erase(std::remove(roomWaiters_.begin(), roomWaiters_.end(), &freed),
                       roomWaiters_.end());
  }
}

ConnectionPool::Step ConnectionPool::tryAcquireLocked(
    const std::string& dataFile, std::size_t maxConnections, Slot*& lent,
    std::vector<std::unique_ptr<Connection>>& closing) {
  const std::int64_t now = Clock::current().nowSeconds();
  for (;;) {
    auto own = slots_.find(dataFile);
    if (own != slots_.end()) {
      Slot& slot = *own->second;
      if (!slot.busy) {
        slot.busy = true;
        lent = &slot;
        return Step::Lent;
      }
      // One transfer at a time per data file: wait for the one in front.
      released_.wait();
      continue;
    }
    takeIdleLocked(now, closing);
    std::unique_ptr<Slot> slot;
    if (slots_.size() >= maxConnections) {
      // Make room: the idle connection of another data file used longest ago
      // is taken from it. Beyond the limit (lowered since), it is closed;
      // at the limit, it passes to this data file, whose requests often go
      // to the same web service: libcurl then goes on with the live
      // connection, and otherwise closes it when it connects elsewhere.
      auto victim = slots_.end();
      for (auto it = slots_.begin(); it != slots_.end(); ++it) {
        if (it->second->busy) continue;
        if (victim == slots_.end() || it->second->lastUsed < victim->second->lastUsed) {
          victim = it;
        }
      }
      if (victim == slots_.end()) return Step::Full;
      slot = std::move(victim->second);
      slots_.erase(victim);
      if (slots_.size() >= maxConnections) {
        closing.push_back(std::move(slot->connection));
        continue;
      }
    } else {
      std::unique_ptr<Connection> connection = Connection::open();
      if (!connection) return Step::NoHandle;
      slot = std::make_unique<Slot>();
      slot->connection = std::move(connection);
    }
    slot->dataFile = dataFile;
    slot->busy = true;
    slot->lastUsed = now;
    lent = slot.get();
    slots_.emplace(dataFile, std::move(slot));
    return Step::Lent;
  }
}

void ConnectionPool::takeIdleLocked(std::int64_t now,
                                    std::vector<std::unique_ptr<Connection>>& closing) {
  for (auto it = slots_.begin(); it != slots_.end();) {
    if (!it->second->busy && now - it->second->lastUsed >= kIdleSeconds) {
      closing.push_back(std::move(it->second->connection));
      it = slots_.erase(it);
    } else {
      ++it;
    }
  }
}

void ConnectionPool::closeIdle() {
  std::vector<std::unique_ptr<Connection>> closing;
  {
    MutexLock lock(&mutex_);
    takeIdleLocked(Clock::current().nowSeconds(), closing);
  }
}

std::size_t ConnectionPool::openCount() const {
  MutexLock lock(&mutex_);
  return slots_.size();
}

bool ConnectionPool::isOpen(const std::string& dataFile) const {
  MutexLock lock(&mutex_);
  return slots_.count(dataFile) != 0;
}

std::size_t ConnectionPool::busyCount() const {
  MutexLock lock(&mutex_);
  return static_cast<std::size_t>(std::count_if(
      slots_.begin(), slots_.end(), [](const auto& each) { return each.second->busy; }));
}

void ConnectionPool::release(Slot* slot) {
  bool roomWanted;
  {
    MutexLock lock(&mutex_);
    slot->busy = false;
    slot->lastUsed = Clock::current().nowSeconds();
    for (std::atomic<bool>* freed : roomWaiters_) freed->store(true);
    roomWanted = !roomWaiters_.empty();
  }
  released_.signalAll();
  if (roomWanted) Clock::current().wakeSleepers();
}

ConnectionPool::Lease::~Lease() {
  if (slot_ != nullptr) pool_->release(slot_);
}

ConnectionPool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)), slot_(std::exchange(other.slot_, nullptr)) {}

ConnectionPool::Lease& ConnectionPool::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    if (slot_ != nullptr) pool_->release(slot_);
    pool_ = std::exchange(other.pool_, nullptr);
    slot_ = std::exchange(other.slot_, nullptr);
  }
  return *this;
}

}  // namespace quilrun
