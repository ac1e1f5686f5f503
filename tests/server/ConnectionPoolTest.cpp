#include "server/ConnectionPool.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeClock.h"

namespace quilrun {
namespace {

using Refusal = ConnectionPool::Refusal;

class ConnectionPoolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  // A lease of dataFile's connection in a pool of max, waiting at most waitMs.
  ConnectionPool::Lease lend(const std::string& dataFile, int max = 4, std::int64_t waitMs = 0) {
    Refusal refusal = Refusal::NoHandle;
    ConnectionPool::Lease lease = pool_.acquire(dataFile, max, waitMs, refusal);
    EXPECT_EQ(refusal, lease ? Refusal::None : Refusal::Full);
    return lease;
  }

  FakeClock clock_{100000};
  ConnectionPool pool_;
};

TEST_F(ConnectionPoolTest, ADataFilesTransfersTakeTurnsOnItsOneConnection) {
  ConnectionPool::Lease first = lend("A");
  ASSERT_TRUE(first);
  CURL* const handle = first.connection().handle();
  std::atomic<bool> lent{false};
  CURL* secondHandle = nullptr;
  std::thread second([&] {
    ConnectionPool::Lease lease = lend("A");
    secondHandle = lease.connection().handle();
    lent.store(true);
  });
  // Another data file is not held up meanwhile.
  EXPECT_TRUE(lend("B"));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(lent.load());
  first = ConnectionPool::Lease();
  second.join();
  EXPECT_EQ(secondHandle, handle);
  EXPECT_EQ(pool_.openCount(), 2u);
  EXPECT_EQ(pool_.busyCount(), 0u);
}

// At the limit, a new data file takes the idle connection of the data file
// that used its own longest ago; a lowered limit closes the ones beyond it.
TEST_F(ConnectionPoolTest, MakesRoomWithTheLeastRecentlyUsedIdleConnection) {
  CURL* const handleOfA = lend("A", 2).connection().handle();
  clock_.advance(5);
  CURL* const handleOfB = lend("B", 2).connection().handle();
  clock_.advance(5);
  {
    ConnectionPool::Lease c = lend("C", 2);
    EXPECT_EQ(c.connection().handle(), handleOfA);
    EXPECT_FALSE(pool_.isOpen("A"));
    EXPECT_TRUE(pool_.isOpen("B"));
    // The busy C is never the one to go: B's idle one is.
    clock_.advance(5);
    EXPECT_EQ(lend("A", 2).connection().handle(), handleOfB);
    EXPECT_FALSE(pool_.isOpen("B"));
    EXPECT_TRUE(pool_.isOpen("C"));
  }
  EXPECT_EQ(pool_.openCount(), 2u);
  // A smaller limit takes effect at the next data file without a connection.
  lend("D", 1);
  EXPECT_EQ(pool_.openCount(), 1u);
  EXPECT_TRUE(pool_.isOpen("D"));
}

TEST_F(ConnectionPoolTest, WaitsForAConnectionToComeFreeAtMostTheGivenTime) {
  ConnectionPool::Lease busy = lend("A", 1);
  std::atomic<int> outcome{-1};
  std::thread full([&] { outcome.store(lend("B", 1, 10000) ? 1 : 0); });
  clock_.waitForSleeps(1);
  clock_.advance(9);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(outcome.load(), -1);
  clock_.advance(1);
  full.join();
  EXPECT_EQ(outcome.load(), 0);

  // A connection that comes free during the wait goes to the waiter.
  std::thread waiter([&] { outcome.store(lend("C", 1, 10000) ? 1 : 0); });
  clock_.waitForSleeps(2);
  busy = ConnectionPool::Lease();
  waiter.join();
  EXPECT_EQ(outcome.load(), 1);
  EXPECT_TRUE(pool_.isOpen("C"));
  EXPECT_FALSE(pool_.isOpen("A"));
}

TEST_F(ConnectionPoolTest, ClosesConnectionsIdleForAMinute) {
  lend("A");
  clock_.advance(30);
  lend("B");
  clock_.advance(29);
  pool_.closeIdle();
  EXPECT_EQ(pool_.openCount(), 2u);
  clock_.advance(1);
  pool_.closeIdle();
  EXPECT_FALSE(pool_.isOpen("A"));
  EXPECT_TRUE(pool_.isOpen("B"));
  // A lent connection is never idle.
  ConnectionPool::Lease held = lend("B");
  clock_.advance(100);
  pool_.closeIdle();
  EXPECT_TRUE(pool_.isOpen("B"));
  // A new request also closes what has been idle long enough.
  held = ConnectionPool::Lease();
  clock_.advance(60);
  lend("C");
  EXPECT_EQ(pool_.openCount(), 1u);
}

// Eight threads on twenty data files through four connections: a data file
// never has two transfers at once, and never more than four are lent.
TEST_F(ConnectionPoolTest, ManyThreadsNeverShareAConnectionOrPassTheLimit) {
  std::mutex mutex;
  std::map<std::string, int> inUse;
  std::atomic<int> lentNow{0};
  std::atomic<int> mostLent{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const std::string dataFile = "D" + std::to_string((t * 7 + i) % 20);
        Refusal refusal;
        ConnectionPool::Lease lease = pool_.acquire(dataFile, 4, 60000, refusal);
        if (!lease) {
          failures.fetch_add(1);
          continue;
        }
        const int now = lentNow.fetch_add(1) + 1;
        int most = mostLent.load();
        while (now > most && !mostLent.compare_exchange_weak(most, now)) {
        }
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (++inUse[dataFile] != 1) failures.fetch_add(1);
        }
        std::this_thread::yield();
        {
          std::lock_guard<std::mutex> lock(mutex);
          --inUse[dataFile];
        }
        lentNow.fetch_sub(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_LE(mostLent.load(), 4);
  EXPECT_LE(pool_.openCount(), 4u);
}

}  // namespace
}  // namespace quilrun
