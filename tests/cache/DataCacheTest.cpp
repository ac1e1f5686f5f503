#include "cache/DataCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/CapturingSink.h"
#include "support/FakeClock.h"
#include "support/Installation.h"

namespace quilrun {
namespace {

class DataCacheTest : public ::testing::Test {
 protected:
  DataCacheTest() {
    QuillonUtils::getDataShare();
    for (const char* name : {"R1", "R2", "R3"}) {
      installation_.writeSession(name, std::string("S-") + name, "http://erp/svcgw");
    }
  }
  ~DataCacheTest() override { logLevel.store(3); }

  static int count(const CapturingSink& log, const std::string& text) {
    int found = 0;
    for (const std::string& line : log.lines()) found += line.find(text) != std::string::npos;
    return found;
  }

  FakeClock clock_{100000};
  Installation installation_;
};

TEST_F(DataCacheTest, FirstGetCreatesAndReadsTheDataFileLaterOnesReuse) {
  DataCache registry;
  EXPECT_EQ(registry.findDataFileCache("R1"), nullptr);
  const DataCache::CachePointer first = registry.getDataFileCache("R1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->getJsessionId(), "S-R1");
  installation_.writeSession("R1", "changed", "http://other/svcgw");
  EXPECT_EQ(registry.getDataFileCache("R1"), first);
  EXPECT_EQ(registry.findDataFileCache("R1"), first);
  EXPECT_EQ(first->getJsessionId(), "S-R1");

  // Names compare exactly: "r1" is a cache of its own (its file is R1-i on a
  // file system that ignores case, none elsewhere).
  const DataCache::CachePointer lower = registry.getDataFileCache("r1");
  EXPECT_NE(lower, first);
  EXPECT_EQ(registry.size(), 2u);
  // A null name is the empty name, not a new cache each time.
  EXPECT_EQ(registry.getDataFileCache(nullptr), registry.getDataFileCache(""));
  EXPECT_EQ(registry.size(), 3u);
}

TEST_F(DataCacheTest, RenewKeepsTheRegistryOrder) {
  DataCache registry;
  registry.getDataFileCache("R1");
  const DataCache::CachePointer old = registry.getDataFileCache("R2");
  registry.getDataFileCache("R3");
  installation_.writeSession("R2", "renewed", "http://erp/svcgw");
  const DataCache::CachePointer renewed = registry.renewDataFileCache("R2");
  EXPECT_NE(renewed, old);
  EXPECT_EQ(renewed->getJsessionId(), "renewed");
  EXPECT_EQ(registry.findDataFileCache("R2"), renewed);
  registry.renewDataFileCache("NEW");
  EXPECT_EQ(registry.size(), 4u);

  // The marking pass walks the registry in its order.
  clock_.advance(4000);
  logLevel.store(4);
  CapturingSink log;
  registry.markOldDataFiles();
  std::vector<std::string> marked;
  for (const std::string& line : log.lines()) {
    const std::string::size_type at = line.find("DataFileCache '");
    if (at != std::string::npos) marked.push_back(line.substr(at + 15, line.find('\'', at + 15) - at - 15));
  }
  EXPECT_EQ(marked, (std::vector<std::string>{"R1", "R2", "R3", "NEW"}));
  // The replaced cache still works for a caller that holds it.
  old->addText(1, "held");
  EXPECT_EQ(old->findText(1), "held");
}

TEST_F(DataCacheTest, MarksCachesUnusedForMoreThanAnHour) {
  DataCache registry;
  const DataCache::CachePointer r1 = registry.getDataFileCache("R1");
  const DataCache::CachePointer r2 = registry.getDataFileCache("R2");
  const DataCache::CachePointer r3 = registry.getDataFileCache("R3");
  r1->touch();  // used at 100000
  clock_.advance(1);
  r2->touch();  // 100001
  clock_.advance(1);
  r3->touch();  // 100002
  clock_.advance(3601 - 2);  // now 103601: r1 idle 3601 s, r2 3600 s, r3 3599 s
  logLevel.store(4);
  CapturingSink log;
  EXPECT_EQ(registry.markOldDataFiles(), 1);
  EXPECT_TRUE(r1->isMarkedAsOld());
  EXPECT_FALSE(r2->isMarkedAsOld());
  EXPECT_FALSE(r3->isMarkedAsOld());
  EXPECT_EQ(registry.getOldCount(), 1);
  const std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("[DataCache::markOldDataFiles          ], ["), std::string::npos);
  EXPECT_NE(lines[0].find("]: Scanning for unused DataFileCaches. (Checking 3 DataFileCaches)\n"),
            std::string::npos);
  EXPECT_NE(lines[1].find("]: DataFileCache 'R1' is marked as old (not used for more than 3600 "
                          "seconds).\n"),
            std::string::npos);
  EXPECT_NE(lines[2].find("]: Found 1 old DataFileCache(s).\n"), std::string::npos);
}

TEST_F(DataCacheTest, MarkedCacheIsErasedAtTheNextLookupUnlessUsedAgain) {
  DataCache registry;
  const DataCache::CachePointer r1 = registry.getDataFileCache("R1");
  const DataCache::CachePointer r2 = registry.getDataFileCache("R2");
  clock_.advance(3601);
  ASSERT_EQ(registry.markOldDataFiles(), 2);
  EXPECT_EQ(r2->findText(1), std::nullopt);  // used again: loses its mark
  installation_.writeSession("R1", "second read", "http://erp/svcgw");

  CapturingSink log;
  EXPECT_EQ(registry.findDataFileCache("R2"), r2);
  EXPECT_EQ(registry.size(), 1u);
  EXPECT_EQ(registry.getOldCount(), 0);
  EXPECT_EQ(count(log, "[INFO   ], [DataCache::removeOldDataFiles        ], ["), 1);
  EXPECT_EQ(count(log, "]: Removing old cache for datafile 'R1'\n"), 1);

  const DataCache::CachePointer again = registry.getDataFileCache("R1");
  EXPECT_NE(again, r1);
  EXPECT_EQ(again->getJsessionId(), "second read");
  // The erased cache is still whole for the caller that held it.
  r1->addText(5, "five");
  EXPECT_EQ(r1->findText(5), "five");
}

TEST_F(DataCacheTest, PutOperationsStoreInTheGivenCacheOrARenewedOne) {
  DataCache registry;
  const DataCache::CachePointer held = registry.getDataFileCache("R1");
  EXPECT_EQ(registry.addText("R1", held, 3, "three"), held);
  EXPECT_EQ(held->findText(3), "three");

  const DataCache::CachePointer made = registry.addApplicationImage("R2", nullptr, "G1", "http://g");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(registry.findDataFileCache("R2"), made);
  const std::vector<ImageData> images = made->getApplicationImages().value();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].getGuid(), "G1");
  EXPECT_EQ(images[0].getUrl(), "http://g");
  EXPECT_EQ(images[0].getWidth(), 0);
  EXPECT_EQ(images[0].getHeight(), 0);
  EXPECT_EQ(images[0].getValue(), 0);
  EXPECT_EQ(images[0].getDomain(), "");
  EXPECT_EQ(images[0].getPackage(), "");
  EXPECT_EQ(images[0].getModule(), "");
  EXPECT_EQ(images[0].getName(), "");

  // Without a cache, a put renews the name's cache: what it held is gone.
  registry.addMessage("R1", nullptr, "M", "message");
  const DataCache::CachePointer renewed = registry.findDataFileCache("R1");
  EXPECT_NE(renewed, held);
  EXPECT_EQ(renewed->findText(3), std::nullopt);
  EXPECT_EQ(renewed->findMessage("M"), "message");

  registry.addCurrencyFormat("R1", renewed, "F", "EUR", false, "Z9D99");
  bool decimalPoint = true;
  EXPECT_EQ(renewed->findDisplayFormat("F", "EUR", decimalPoint), "Z9D99");
  EXPECT_FALSE(decimalPoint);
  registry.setProperties("R1", renewed, StringMap{{"Language", "EN"}});
  registry.setCompanyLogo("R1", renewed, "http://logo");
  registry.addSensitivityImage("R1", renewed, 1, 2, "http://s");
  registry.addEnumImage("R1", renewed, "D", 4, "http://e");
  registry.addAdditionalFile("R1", renewed, "p", "m", "n", "http://f");
  registry.addLabelVariants("R1", renewed, {});
  EXPECT_EQ(renewed->findProperty("Language"), "EN");
  EXPECT_EQ(renewed->getCompanyLogo(), "http://logo");
  EXPECT_EQ(renewed->findSensitivityImage(1, 2), "http://s");
  EXPECT_EQ(renewed->findEnumImage("D", 4), "http://e");
  EXPECT_EQ(renewed->findAdditionalFile("p", "m", "n"), "http://f");
  EXPECT_EQ(registry.size(), 2u);
}

TEST_F(DataCacheTest, ScannerMarksAfterFourteenStepsThenEveryFifteen) {
  logLevel.store(4);
  CapturingSink log;
  {
    DataCache registry;
    registry.getDataFileCache("R1");
    registry.startScannerThread();
    clock_.waitForSleeps(1);
    for (int step = 1; step <= 13; ++step) {
      clock_.advance(60);
      clock_.waitForSleeps(step + 1);
    }
    EXPECT_EQ(count(log, "Scanning for unused DataFileCaches."), 0);
    clock_.advance(60);
    clock_.waitForSleeps(15);
    EXPECT_EQ(count(log, "Scanning for unused DataFileCaches."), 1);
    for (int step = 15; step <= 28; ++step) {
      clock_.advance(60);
      clock_.waitForSleeps(step + 1);
    }
    EXPECT_EQ(count(log, "Scanning for unused DataFileCaches."), 1);
    clock_.advance(60);
    clock_.waitForSleeps(30);
    EXPECT_EQ(count(log, "Scanning for unused DataFileCaches."), 2);
    // 29 minutes idle: not old yet.
    EXPECT_EQ(count(log, "Found 0 old DataFileCache(s)."), 2);

    registry.startScannerThread();
    EXPECT_EQ(count(log, "[ERROR  ], [DataCache::startScannerThread        ], ["), 1);
    EXPECT_EQ(count(log, "]: Trying to start the 'cache scanner' thread when it is already "
                         "running.\n"),
              1);
  }
  EXPECT_EQ(count(log, "]: Starting the 'cache scanner' thread.\n"), 1);
  EXPECT_EQ(count(log, "]: Signaling the 'cache scanner' thread to stop running.\n"), 1);
  EXPECT_EQ(count(log, "[DataCache::scanDataFilesRepeatedly   ], ["), 1);
  EXPECT_EQ(count(log, "]: The 'cache scanner' has stopped.\n"), 1);
}

// At most MaxDataFiles caches: a new data file drops the least recently used
// cache that no call holds, with a line naming it and how long it was idle.
TEST_F(DataCacheTest, KeepsAtMostMaxDataFilesDroppingTheLeastRecentlyUsed) {
  for (const char* name : {"R4", "R5"}) installation_.writeSession(name, name, "http://erp/svcgw");
  DataCache registry;
  registry.setMaxDataFiles(3);
  DataCache::CachePointer held = registry.getDataFileCache("R1");
  clock_.advance(10);
  registry.getDataFileCache("R2")->touch();
  clock_.advance(10);
  registry.getDataFileCache("R3")->touch();
  clock_.advance(5);
  CapturingSink log;
  // R1 was used longest ago, but a call holds it: R2 goes.
  registry.getDataFileCache("R4");
  EXPECT_EQ(registry.size(), 3u);
  EXPECT_EQ(registry.findDataFileCache("R2"), nullptr);
  EXPECT_EQ(registry.findDataFileCache("R1"), held);
  ASSERT_EQ(log.lines().size(), 1u) << log.text();
  EXPECT_NE(log.text().find("[INFO   ], [DataCache::getDataFileCache "),
            std::string::npos);
  EXPECT_NE(log.text().find("]: Dropping the least recently used cache, for datafile 'R2' (not "
                            "used for 15 seconds), to stay within MaxDataFiles = 3\n"),
            std::string::npos)
      << log.text();
  held.reset();
  registry.getDataFileCache("R5");
  EXPECT_EQ(registry.findDataFileCache("R1"), nullptr);
  // A dropped data file is simply read again.
  EXPECT_EQ(registry.getDataFileCache("R2")->getJsessionId(), "S-R2");
  EXPECT_EQ(registry.size(), 3u);

  // When every cache is held, the registry keeps one more rather than drop
  // a cache in use, and says so.
  registry.setMaxDataFiles(1);
  const DataCache::CachePointer a = registry.getDataFileCache("R3");
  const DataCache::CachePointer b = registry.getDataFileCache("R4");
  const DataCache::CachePointer c = registry.getDataFileCache("R5");
  CapturingSink full;
  const DataCache::CachePointer d = registry.getDataFileCache("R1");
  EXPECT_EQ(registry.size(), 4u);
  EXPECT_NE(full.text().find("]: All 3 DataFileCaches are in use: keeping more than "
                             "MaxDataFiles = 1\n"),
            std::string::npos)
      << full.text();
}

// A data file that cannot be read gives a cache with the default session;
// a request a second or more later reads it again, and a complete file then
// gives a clean new cache.
TEST_F(DataCacheTest, AnUnreadableDataFileIsReadAgainAfterASecond) {
  installation_.writeDataFile("HALF", "<session><jsessionId>S-HALF</jsessionId><webserv");
  DataCache registry;
  const DataCache::CachePointer first = registry.getDataFileCache("HALF");
  EXPECT_FALSE(first->getSession().isComplete());
  EXPECT_EQ(first->getJsessionId(), "0");
  first->addText(1, "asked with the defaults");
  installation_.writeSession("HALF", "S-HALF", "http://erp/svcgw");
  // Within the same second the file is not read again.
  EXPECT_EQ(registry.getDataFileCache("HALF"), first);
  clock_.advance(1);
  const DataCache::CachePointer second = registry.getDataFileCache("HALF");
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->getSession().isComplete());
  EXPECT_EQ(second->getJsessionId(), "S-HALF");
  EXPECT_EQ(second->findText(1), std::nullopt);
  EXPECT_EQ(registry.findDataFileCache("HALF"), second);
  EXPECT_EQ(registry.size(), 1u);
  // A complete session stays.
  clock_.advance(100);
  EXPECT_EQ(registry.getDataFileCache("HALF"), second);

  // A file that stays missing is read at most once a second.
  installation_.platform().failReads(FileRead::Status::NotFound);
  logLevel.store(5);
  CapturingSink log;
  registry.getDataFileCache("GONE");
  registry.getDataFileCache("GONE");
  clock_.advance(1);
  registry.getDataFileCache("GONE");
  EXPECT_EQ(count(log, "Trying to read data file"), 2);
}

// A data file whose read stalls (on a share that does not answer) holds
// only the calls of that data file: other data files are looked up and read
// meanwhile, and a second call for the stalled one waits for the first
// one's read instead of reading again.
TEST_F(DataCacheTest, AStalledDataFileReadHoldsOnlyItsOwnCalls) {
  installation_.writeSession("STALL", "S-STALL", "http://erp/svcgw");
  DataCache registry;
  registry.getDataFileCache("R1");
  logLevel.store(5);
  CapturingSink log;
  installation_.platform().stallReads("STALL-i");
  DataCache::CachePointer first;
  DataCache::CachePointer second;
  std::thread reader([&] { first = registry.getDataFileCache("STALL"); });
  installation_.platform().waitForStalledReads(1);
  std::thread waiter([&] { second = registry.getDataFileCache("STALL"); });

  const auto start = std::chrono::steady_clock::now();
  bool found = false;
  EXPECT_TRUE(registry.withDataFileCache("R1", [&](DataFileCache&) { found = true; }));
  EXPECT_TRUE(found);
  EXPECT_EQ(registry.getDataFileCache("R2")->getJsessionId(), "S-R2");
  EXPECT_EQ(registry.findDataFileCache("STALL"), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  installation_.platform().releaseReads();
  reader.join();
  waiter.join();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->getJsessionId(), "S-STALL");
  EXPECT_EQ(count(log, "Trying to read data file"), 2);  // STALL once, R2
}

TEST(DataCacheStopTest, StopWakesTheScannerAtOnceOnTheSystemClock) {
  // No clock is replaced here: the scanner really sleeps for 60 s, and
  // stopping must not wait for that.
  CapturingSink log;
  {
    DataCache registry;
    registry.startScannerThread();
  }
  int stopped = 0;
  for (const std::string& line : log.lines()) {
    stopped += line.find("The 'cache scanner' has stopped.") != std::string::npos;
  }
  EXPECT_EQ(stopped, 1);
}

}  // namespace
}  // namespace quilrun
