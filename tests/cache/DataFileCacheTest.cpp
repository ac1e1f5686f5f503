#include "cache/DataFileCache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/CapturingSink.h"
#include "support/FakeClock.h"
#include "support/Installation.h"

namespace quilrun {
namespace {

class DataFileCacheTest : public ::testing::Test {
 protected:
  // The data share is determined (and its properties.xml error logged) first.
  DataFileCacheTest() { QuillonUtils::getDataShare(); }
  ~DataFileCacheTest() override { logLevel.store(3); }

  FakeClock clock_{5000};
  Installation installation_;
};

struct SessionCase {
  const char* name;
  const char* content;  // null: no data file
  const char* sessionId;
  const char* url;
  const char* logged;  // a message that must be logged, or null
  bool complete = true;  // read and parsed
};

TEST_F(DataFileCacheTest, ReadsTheSessionFromTheDataFile) {
  const char* const local = DataFileCache::kDefaultWebserviceURL;
  const SessionCase cases[] = {
      {"both", "<r><jsessionId>S1</jsessionId><webserviceURL>http://erp:1/svcgw</webserviceURL></r>",
       "S1", "http://erp:1/svcgw", nullptr},
      {"nested, no URL", "<a><b><c><jsessionId>Deep</jsessionId></c></b></a>", "Deep", local,
       "[ERROR  ], [DataFileCache::readExtraData         ], ["},
      {"first of two, untrimmed",
       "<r><x><jsessionId> A </jsessionId></x><jsessionId>B</jsessionId>"
       "<webserviceURL><![CDATA[http://u]]></webserviceURL></r>",
       " A ", "http://u", nullptr},
      {"empty session text", "<r><jsessionId/><webserviceURL>http://u</webserviceURL></r>", "0",
       "http://u", "Data file does not contain 'jsessionId' value"},
      {"missing URL", "<r><jsessionId>S</jsessionId></r>", "S", local,
       "Data file does not contain 'webserviceURL' value"},
      {"malformed", "<r><jsessionId>S</jsessionId>", "0", local, "' could not be parsed: ", false},
      {"missing file", nullptr, "0", local, "' could not be parsed: File was not found\n", false},
  };
  for (const SessionCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.content != nullptr) installation_.writeDataFile(c.name, c.content);
    CapturingSink log;
    DataFileCache cache(c.name);
    EXPECT_EQ(cache.getDataFileName(), c.name);
    EXPECT_EQ(cache.getJsessionId(), c.sessionId);
    EXPECT_EQ(cache.getWebserviceURL(), c.url);
    EXPECT_EQ(cache.getSession().isComplete(), c.complete);
    if (c.logged != nullptr) {
      EXPECT_NE(log.text().find(c.logged), std::string::npos) << log.text();
    } else {
      EXPECT_EQ(log.text(), "");
    }
  }
}

// A data file that cannot be read at all is logged with the system's reason,
// in the line of a file that cannot be parsed, and leaves the defaults.
TEST_F(DataFileCacheTest, NamesWhyADataFileCannotBeRead) {
  struct Case {
    const char* name;
    FileRead::Status status;  // Ok: the real file system
    const char* reason;
  };
  const Case cases[] = {
      {"folder", FileRead::Status::Ok, "Is a directory"},
      {"denied", FileRead::Status::PermissionDenied, "Permission denied"},
      {"broken disk", FileRead::Status::IoError, "Error reading from file/stream: Input/output error"},
  };
  std::filesystem::create_directory(installation_.share() / "Talmxmlfiles" / "folder-i");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    installation_.platform().failReads(c.status, "Input/output error");
    CapturingSink log;
    DataFileCache cache(c.name);
    EXPECT_NE(log.text().find(std::string("' could not be parsed: ") + c.reason + "\n"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(log.lines().size(), 1u) << log.text();
    EXPECT_EQ(cache.getJsessionId(), "0");
    EXPECT_EQ(cache.getWebserviceURL(), DataFileCache::kDefaultWebserviceURL);
    EXPECT_FALSE(cache.getSession().isComplete());
  }
}

TEST_F(DataFileCacheTest, DataFilePathAndTheEmptyAndMissingName) {
  EXPECT_EQ(DataFileCache::dataFilePath("\\\\fileserver\\reports", '\\', "R1"),
            "\\\\fileserver\\reports\\Talmxmlfiles\\R1-i");
  EXPECT_EQ(DataFileCache::dataFilePath("/mnt/reports", '/', "R1"), "/mnt/reports/Talmxmlfiles/R1-i");

  logLevel.store(5);
  {
    CapturingSink log;
    DataFileCache cache("");
    EXPECT_NE(log.text().find("Trying to read data file '" + installation_.share().string() +
                              withNativeSeparators("/Talmxmlfiles/-i'")),
              std::string::npos)
        << log.text();
    EXPECT_EQ(cache.getJsessionId(), "0");
  }
  CapturingSink log;
  DataFileCache cache(nullptr);
  EXPECT_EQ(log.text(), "");
  EXPECT_FALSE(cache.hasDataFileName());
  EXPECT_EQ(cache.getJsessionId(), "");
  EXPECT_EQ(cache.getWebserviceURL(), "");
}

TEST_F(DataFileCacheTest, StoresExpireWhenIdleAndStartAgainAtTheNextAdd) {
  DataFileCache cache(nullptr);
  cache.addText(1, "one");
  clock_.advance(299);
  EXPECT_EQ(cache.findText(1), "one");
  clock_.advance(299);
  EXPECT_EQ(cache.findText(1), "one");
  clock_.advance(301);
  EXPECT_EQ(cache.findText(1), std::nullopt);
  cache.addText(2, "two");
  EXPECT_EQ(cache.getTexts(), (TextMap{{2, "two"}}));

  cache.setProperties(StringMap{{"Language", "DE"}});
  clock_.advance(100000000);
  EXPECT_EQ(cache.findProperty("Language"), "DE");
}

TEST_F(DataFileCacheTest, AddingAKeyAgainKeepsTheFirstValue) {
  DataFileCache cache(nullptr);
  cache.addText(7, "first");
  cache.addText(7, "second");
  EXPECT_EQ(cache.findText(7), "first");
  cache.addMessage("M1", "first");
  cache.addMessage("M1", "second");
  EXPECT_EQ(cache.findMessage("M1"), "first");
  EXPECT_EQ(cache.findMessage("m1"), std::nullopt);

  ImageData first;
  first.setGuid("G");
  first.setUrl("http://first");
  ImageData second = first;
  second.setUrl("http://second");
  cache.addApplicationImage(first);
  cache.addApplicationImage(second);
  EXPECT_EQ(cache.findApplicationImage("G"), "http://first");
  EXPECT_EQ(cache.getApplicationImages()->size(), 2u);
}

TEST_F(DataFileCacheTest, ImageStoresFindByTheirKeysOnly) {
  DataFileCache cache(nullptr);
  ImageData sensitivity;
  sensitivity.setHeight(10);
  sensitivity.setWidth(20);
  sensitivity.setUrl("http://s");
  cache.addSensitivityImage(sensitivity);
  ImageData enumImage;
  enumImage.setDomain("Status");
  enumImage.setValue(3);
  enumImage.setUrl("http://e");
  cache.addEnumImage(enumImage);
  ImageData file;
  file.setPackage("pk");
  file.setModule("mo");
  file.setName("a.pdf");
  file.setUrl("http://f");
  cache.addAdditionalFile(file);

  EXPECT_EQ(cache.findSensitivityImage(10, 20), "http://s");
  EXPECT_EQ(cache.findSensitivityImage(20, 10), std::nullopt);
  EXPECT_EQ(cache.findEnumImage("Status", 3), "http://e");
  EXPECT_EQ(cache.findEnumImage("Status", 4), std::nullopt);
  EXPECT_EQ(cache.findEnumImage("status", 3), std::nullopt);
  EXPECT_EQ(cache.findAdditionalFile("pk", "mo", "a.pdf"), "http://f");
  EXPECT_EQ(cache.findAdditionalFile("pkm", "o", "a.pdf"), std::nullopt);
  EXPECT_EQ(cache.findAdditionalFile("pk", "moa.pdf", ""), std::nullopt);
  EXPECT_EQ(cache.findApplicationImage("G"), std::nullopt);
  // Each store is its own: an enum image is not a sensitivity image.
  EXPECT_EQ(cache.findSensitivityImage(0, 0), std::nullopt);
  EXPECT_EQ(cache.getCompanyLogo(), std::nullopt);
  cache.setCompanyLogo("http://logo");
  EXPECT_EQ(cache.getCompanyLogo(), "http://logo");
}

TEST_F(DataFileCacheTest, DisplayFormatSetsTheFlagOnlyOnAMatch) {
  DataFileCache cache(nullptr);
  bool decimalPoint = true;
  EXPECT_EQ(cache.findDisplayFormat("A", "EUR", decimalPoint), std::nullopt);
  FormatData format;
  format.setCode("A");
  format.setCurrency("EUR");
  format.setDecimalPoint(false);
  format.setDisplayFormat("ZZZ9D99");
  cache.addCurrencyFormat(format);
  EXPECT_EQ(cache.findDisplayFormat("A", "USD", decimalPoint), std::nullopt);
  EXPECT_TRUE(decimalPoint);
  EXPECT_EQ(cache.findDisplayFormat("A", "EUR", decimalPoint), "ZZZ9D99");
  EXPECT_FALSE(decimalPoint);
}

LabelData variant(const char* code, int length, int height, const char* text) {
  LabelData label;
  label.setCode(code);
  label.setLength(length);
  label.setHeight(height);
  label.setText(text);
  return label;
}

struct LabelCase {
  const char* name;
  std::vector<LabelData> variants;
  const char* code;
  int length;
  int height;
  const char* expected;  // null: nothing fits
};

TEST_F(DataFileCacheTest, FindLabelChoosesTheBestFittingVariant) {
  const LabelCase cases[] = {
      {"longest text that fits",
       {variant("L", 5, 1, "Qty"), variant("L", 10, 1, "Quantity"), variant("L", 20, 1, "Quantity ordered")},
       "L", 10, 1, "Quantity"},
      {"equal score: the higher wins, height 1 first",
       {variant("L", 9, 1, "abcd"), variant("L", 9, 2, "abcdef")}, "L", 9, 2, "abcdef"},
      {"equal score: the higher wins, height 2 first",
       {variant("L", 9, 2, "abcdef"), variant("L", 9, 1, "abcd")}, "L", 9, 2, "abcdef"},
      {"equal score and height: the earlier stays",
       {variant("L", 9, 1, "abcd"), variant("L", 8, 1, "wxyz")}, "L", 9, 1, "abcd"},
      {"score counts two per line",
       {variant("L", 9, 1, "abcd"), variant("L", 9, 3, "abcdefg")}, "L", 9, 3, "abcd"},
      {"too long", {variant("L", 11, 1, "abcdefghijk")}, "L", 10, 1, nullptr},
      {"too high", {variant("L", 5, 2, "ab")}, "L", 5, 1, nullptr},
      {"other code", {variant("L", 5, 1, "ab")}, "l", 5, 1, nullptr},
      {"limits are inclusive", {variant("L", 5, 2, "ab")}, "L", 5, 2, "ab"},
  };
  for (const LabelCase& c : cases) {
    SCOPED_TRACE(c.name);
    DataFileCache cache(nullptr);
    cache.addLabelVariants(c.variants);
    const std::optional<std::string> found = cache.findLabel(c.code, c.length, c.height);
    if (c.expected == nullptr) {
      EXPECT_EQ(found, std::nullopt);
    } else {
      EXPECT_EQ(found, c.expected);
    }
  }
}

TEST_F(DataFileCacheTest, VariantsAskedForAgainAreKeptOnce) {
  DataFileCache cache(nullptr);
  const std::vector<LabelData> variants = {variant("L", 30, 1, "A rather long label text"),
                                           variant("L", 20, 2, "Two\nlines")};
  cache.addLabelVariants(variants);
  ASSERT_EQ(cache.findLabel("L", 10, 1), std::nullopt);
  for (int i = 0; i < 100; ++i) {
    cache.addLabelVariants(variants);
    ASSERT_EQ(cache.findLabel("L", 10, 1), std::nullopt);
  }
  EXPECT_EQ(cache.getLabels()->size(), 2u);
  // A new variant still counts, after the ones already held.
  cache.addLabelVariants({variant("L", 10, 1, "Short")});
  EXPECT_EQ(cache.findLabel("L", 10, 1), "Short");
  EXPECT_EQ(cache.getLabels()->size(), 3u);
}

TEST_F(DataFileCacheTest, StoreOperationsRecordUseAndSessionGettersDoNot) {
  DataFileCache cache(nullptr);
  clock_.advance(100);
  cache.markAsOld();
  cache.getJsessionId();
  cache.getWebserviceURL();
  cache.getRequestHold();
  EXPECT_EQ(cache.getLastUsed(), 5000);
  EXPECT_TRUE(cache.isMarkedAsOld());
  EXPECT_EQ(cache.findMessage("none"), std::nullopt);
  EXPECT_EQ(cache.getLastUsed(), 5100);
  EXPECT_FALSE(cache.isMarkedAsOld());
}

}  // namespace
}  // namespace quilrun
