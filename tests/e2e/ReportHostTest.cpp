// End-to-end: report-host loads the built library in a child process and
// calls its exports the way the report server does, so these tests see the
// library only through its exported C functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/HostInstallation.h"
#include "support/TempFolder.h"

namespace {

using quilrun::TempFolder;

using Outcome = quilrun::ProcessOutcome;

// Runs program with args with folder as its working directory.
Outcome runIn(const TempFolder& folder, const std::string& program,
              const std::vector<std::string>& args) {
  quilrun::ProcessOptions options;
  options.workDir = folder.path().string();
  return quilrun::runProgram(program, args, options);
}

class ReportHostTest : public ::testing::Test {
 protected:
  // report-host with the given words after the program name.
  Outcome host(const std::vector<std::string>& args) {
    return runIn(folder_, QUILRUN_REPORT_HOST, args);
  }

  // report-host --lib <the built library> [--size N] call FUNCTION ARG...
  Outcome call(const std::vector<std::string>& functionAndArgs, const std::string& size = "") {
    std::vector<std::string> args{"--lib", QUILRUN_LIBRARY};
    if (!size.empty()) args.insert(args.end(), {"--size", size});
    args.push_back("call");
    args.insert(args.end(), functionAndArgs.begin(), functionAndArgs.end());
    return host(args);
  }

  TempFolder folder_;
};

void expectPrinted(const Outcome& outcome, const std::string& expected) {
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.out, expected);
  EXPECT_EQ(outcome.err, "");
}

TEST_F(ReportHostTest, LinewiseFilterPrintsKeptAndRewrittenLines) {
  struct Case {
    const char* text;
    const char* pattern;
    const char* format;
    const char* printed;  // report-host adds one newline to the result
  };
  const Case cases[] = {
      {"abc\nabcd\naXc", "a.c", "", "abc\naXc\n\n"},
      {"key=value", R"((\w+)=(\w+))", R"(\2 is \1)", "value is key\n\n"},
      // @null reaches the library as a null pointer, read as the empty text;
      // passed through as the word itself it would match and be printed.
      {"@null", ".*", "", "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " on " + c.text);
    expectPrinted(call({"tt_filterTextLinewise", c.text, c.pattern, c.format}), c.printed);
  }
}

TEST_F(ReportHostTest, BlockwiseFilterPassesKeepOutsideAsIntPointer) {
  const std::string text = "a\nBEGIN\nb\nEND\nc";
  const std::pair<const char*, const char*> cases[] = {
      {"0", "b\n\n"},
      {"7", "a\nb\nc\n\n"},  // any non-zero value keeps the lines outside
  };
  for (const auto& [keepOutside, printed] : cases) {
    SCOPED_TRACE(std::string("keepOutside ") + keepOutside);
    expectPrinted(call({"tt_filterTextBlockwise", text, "BEGIN", "END", "@null", "@null",
                        keepOutside}),
                  printed);
  }
}

TEST_F(ReportHostTest, ResultIsCutToTheBufferSize) {
  const std::pair<const char*, const char*> cases[] = {
      {"4", "abc\n"},  // three bytes and the terminator
      {"1", "\n"},     // room for the terminator only
      {"0", "\n"},     // no buffer at all: nothing written, nothing printed
  };
  for (const auto& [size, printed] : cases) {
    SCOPED_TRACE(std::string("--size ") + size);
    expectPrinted(call({"tt_filterTextLinewise", "abc\nabcd\naXc", "a.c", ""}, size), printed);
  }
}

TEST_F(ReportHostTest, FindsTheLibraryBesideItself) {
  expectPrinted(host({"call", "tt_filterTextLinewise", "x\ny", "y", "@null"}), "y\n\n");
}

TEST_F(ReportHostTest, BadCommandLinesFailWithOneLineOnStderr) {
  struct Case {
    std::vector<std::string> args;
    const char* mentioned;  // stderr must name what was wrong
  };
  const Case cases[] = {
      {{"call", "tt_noSuchFunction", "x"}, "tt_noSuchFunction"},
      {{"call", "tt_filterTextLinewise", "abc", "a.c"}, "takes 3 arguments"},
      {{"call", "tt_filterTextBlockwise", "t", "B", "E", "@null", "@null", "yes"}, "'yes'"},
      {{"call", "tt_filterTextBlockwise", "t", "B", "E", "@null", "@null", "1x"}, "'1x'"},
      {{"call", "tt_filterTextBlockwise", "t", "B", "E", "@null", "@null", "4294967296"},
       "out of range"},
      {{"--size", "-1", "call", "tt_filterTextLinewise", "a", "a", ""}, "--size"},
      {{"draw"}, "unknown command"},
      {{}, "no command"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + ' ';
    SCOPED_TRACE(joined);
    const Outcome outcome = host(c.args);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(c.mentioned), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
  }
}

TEST_F(ReportHostTest, UnloadableLibraryFailsWithLoadExitCode) {
  const std::string missing = (folder_.path() / "libnothere.so").string();
  const Outcome outcome = host({"--lib", missing, "call", "tt_filterTextLinewise", "a", "a", ""});
  EXPECT_EQ(outcome.exitCode, 3);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("libnothere.so"), std::string::npos) << outcome.err;
}

// Only tt_ functions may leave the library, so that the report server sees
// nothing of its internals; the filters are there from the start.
TEST_F(ReportHostTest, LibraryExportsOnlyTtFunctions) {
  const Outcome outcome = runIn(folder_, QUILRUN_NM, {"-D", "--defined-only", QUILRUN_LIBRARY});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  std::vector<std::string> names;
  std::istringstream lines(outcome.out);
  for (std::string line; std::getline(lines, line);) {
    // "<address> <type> <name>", the name possibly with "@version".
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    names.push_back(name.substr(0, name.find('@')));
  }
  for (const std::string& name : names) {
    EXPECT_EQ(name.rfind("tt_", 0), 0u) << "unexpected export " << name;
  }
  for (const char* filter : {"tt_filterTextLinewise", "tt_filterTextBlockwise"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), filter), names.end()) << filter;
  }
}

}  // namespace
