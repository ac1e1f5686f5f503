#ifndef QUILRUN_TESTS_E2E_INSTALLEDRUN_H
#define QUILRUN_TESTS_E2E_INSTALLEDRUN_H

#include <gtest/gtest.h>

#include <string>

#include "support/HostInstallation.h"

namespace quilrun {

// Tests that make several calls in one process run twice: in the test
// program, which builds an installation with erp-sim and runs the same test
// in a copy of itself from the installation's platform/bin (so the library
// finds its files from that executable), and in that copy, which makes the
// calls.
class InstalledRun {
 public:
  // True in the copy that runs inside the installation and makes the calls.
  static bool inside() { return !installedRoot().empty(); }

  // Runs the current test in the copy, with logLevel configured, and expects
  // the copy to pass.
  static void expectPassesInside(int logLevel = 1) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const ProcessOutcome outcome =
        runTestInside(std::string(test->test_suite_name()) + "." + test->name(), logLevel,
                      QUILRUN_LIBRARY, QUILRUN_ERP_SIM, QUILRUN_DEMO_FIXTURES);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("[  PASSED  ] 1 test"), std::string::npos) << outcome.out;
  }
};

}  // namespace quilrun

#endif
