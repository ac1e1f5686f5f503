#include "diagnostics/LogRecord.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/FakeClock.h"

namespace quilrun {
namespace {

// Restores the process-wide threshold after each test.
class LogRecordTest : public ::testing::Test {
 protected:
  void TearDown() override { logLevel.store(3); }
  FakeClock clock_;
};

struct LineCase {
  int type;
  int verbosity;
  int level;
  const char* function;
  int line;
  const char* expected;  // the whole line; "" when nothing may be written
};

TEST_F(LogRecordTest, WritesTheExactLine) {
  const std::string name37 = "ThirtySevenCharacterClass::methodName";
  const std::string name38 = "ThirtyEightCharacterClass::methodNames";
  ASSERT_EQ(name37.size(), 37u);
  const LineCase cases[] = {
      {2, 4, 4, "QuillonUtils::getConfigProperty", 57,
       "[2017-03-01 09:15:02.123], [INFO   ], [QuillonUtils::getConfigProperty      ], [   57]: "
       "msg\n"},
      {2, 4, 3, "QuillonUtils::getConfigProperty", 57, ""},
      {2, 4, 5, "F::g", 57,
       "[2017-03-01 09:15:02.123], [INFO   ], [F::g                                 ], [   57]: "
       "msg\n"},
      {1, 5, 5, "F::g", 7,
       "[2017-03-01 09:15:02.123], [DEBUG  ], [F::g                                 ], [    7]: "
       "msg\n"},
      {4, 2, 3, "F::g", 12345,
       "[2017-03-01 09:15:02.123], [WARNING], [F::g                                 ], [12345]: "
       "msg\n"},
      {5, 1, 1, "F::g", 123456,
       "[2017-03-01 09:15:02.123], [ERROR  ], [F::g                                 ], [123456]: "
       "msg\n"},
      {6, 1, 3, "DllMain", -1,
       "[2017-03-01 09:15:02.123], [FATAL  ], [DllMain                              ], [   -1]: "
       "msg\n"},
      {3, 3, 3, "F::g", 1,
       "[2017-03-01 09:15:02.123], [       ], [F::g                                 ], [    1]: "
       "msg\n"},
      {0, 3, 3, "F::g", 1,
       "[2017-03-01 09:15:02.123], [       ], [F::g                                 ], [    1]: "
       "msg\n"},
      {99, 3, 3, "", 1,
       "[2017-03-01 09:15:02.123], [       ], [                                     ], [    1]: "
       "msg\n"},
      {2, 3, 3, name37.c_str(), 1,
       "[2017-03-01 09:15:02.123], [INFO   ], [ThirtySevenCharacterClass::methodName], [    1]: "
       "msg\n"},
      {2, 3, 3, name38.c_str(), 1,
       "[2017-03-01 09:15:02.123], [INFO   ], [ThirtyEightCharacterClass::methodNames], [    1]: "
       "msg\n"},
      {5, 1, 0, "F::g", 1, ""},
      {5, 1, -1, "F::g", 1, ""},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " type " + std::to_string(c.type) + " level " +
                 std::to_string(c.level));
    logLevel.store(c.level);
    std::ostringstream out;
    LogRecord(__FILE__, c.line, c.function, c.verbosity, c.type, &out) << "msg" << std::endl;
    EXPECT_EQ(out.str(), c.expected);
  }
}

TEST_F(LogRecordTest, LongFunctionNameIsPrintedWhole) {
  const std::string name(300, 'n');
  std::ostringstream out;
  LogRecord(__FILE__, 9, name.c_str(), 3, 2, &out) << "tail" << std::endl;
  EXPECT_EQ(out.str(), "[2017-03-01 09:15:02.123], [INFO   ], [" + name + "], [    9]: tail\n");
}

TEST_F(LogRecordTest, FormatsInsertedValuesLikeAStream) {
  std::ostringstream expected;
  expected << "s" << std::string("t") << 'c' << -42 << 9000000000LL << 7u << 1234.5 << 0.1
           << 1e20 << 2.0 << true;
  std::ostringstream out;
  const char* none = nullptr;
  LogRecord(__FILE__, 1, "F::g", 3, 2, &out)
      << "s" << std::string("t") << 'c' << -42 << 9000000000LL << 7u << 1234.5 << 0.1 << 1e20
      << 2.0 << true << none << std::endl;
  const std::string line = out.str();
  EXPECT_EQ(line.substr(line.find("]: ") + 3), expected.str() + "\n");
}

TEST_F(LogRecordTest, StatementBelowTheThresholdReadsNoClockAndEvaluatesNothing) {
  logLevel.store(3);
  int evaluated = 0;
  auto expensive = [&evaluated] {
    ++evaluated;
    return std::string("x");
  };
  QLOG("F::g", 4, LogType::Info) << expensive() << std::endl;
  EXPECT_EQ(evaluated, 0);
  EXPECT_EQ(clock_.reads(), 0);

  std::ostringstream out;
  LogRecord(__FILE__, 1, "F::g", 4, LogType::Info, &out) << "x" << 5 << 1.5 << std::endl;
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(clock_.reads(), 0);
}

TEST_F(LogRecordTest, MultiLineValueContinuesTheLine) {
  std::ostringstream out;
  LogRecord(__FILE__, 1, "F::g", 3, 2, &out) << "a\nb" << std::endl;
  EXPECT_EQ(out.str(),
            "[2017-03-01 09:15:02.123], [INFO   ], [F::g                                 ], [    "
            "1]: a\nb\n");
}

TEST_F(LogRecordTest, StatementWithoutEndOfLineIsWrittenWhenItEnds) {
  std::ostringstream out;
  { LogRecord(__FILE__, 1, "F::g", 3, 2, &out) << "unfinished"; }
  EXPECT_EQ(out.str(),
            "[2017-03-01 09:15:02.123], [INFO   ], [F::g                                 ], [    "
            "1]: unfinished\n");
}

}  // namespace
}  // namespace quilrun
