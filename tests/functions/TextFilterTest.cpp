#include "functions/TextFilter.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "support/CapturingSink.h"

namespace quilrun {
namespace {

const char* const kFilterError = "Error when filtering text lines: ";

struct LinewiseCase {
  const char* name;
  const char* text;
  const char* pattern;
  const char* format;
  const char* expected;
};

TEST(TextFilterTest, Linewise) {
  const LinewiseCase cases[] = {
      {"whole lines only", "abc\nabcd\naXc", "a.c", nullptr, "abc\naXc\n"},
      {"closing LF adds no line", "abc\n", "a.c", nullptr, "abc\n"},
      {"empty lines are lines", "\n\nx\n\n", "", nullptr, "\n\n\n"},
      {"CR stays in the line", "ab\r\ncd\r\n", "..\r", nullptr, "ab\r\ncd\r\n"},
      {"CR is part of the matched line", "ab\r\n", "ab", nullptr, ""},
      {"empty format means no rewriting", "key=value", "(\\w+)=(\\w+)", "", "key=value\n"},
      {"groups swapped", "key=value", "(\\w+)=(\\w+)", "\\2 is \\1", "value is key\n"},
      {"whole match", "abc", "a(b)c", "<\\0>", "<abc>\n"},
      {"escaped backslash", "key=value", "(\\w+)=(\\w+)", "\\\\1", "\\1\n"},
      {"escaped backslash before reference", "k=v", "(\\w+)=(\\w+)", "\\\\\\1", "\\k\n"},
      {"two escaped backslashes", "k=v", "(\\w+)=(\\w+)", "a\\\\\\\\b", "a\\\\b\n"},
      {"lone trailing backslash", "k=v", "(\\w+)=(\\w+)", "\\1\\", "k\\\n"},
      {"reference beyond the groups stays", "k=v", "(\\w+)=(\\w+)", "\\5|\\1", "\\5|k\n"},
      {"backslash before a letter stays", "k=v", "(\\w+)=(\\w+)", "\\n\\1", "\\nk\n"},
      {"\\12 is group 1 then 2 with two groups", "k=v", "(\\w+)=(\\w+)", "\\12", "k2\n"},
      {"\\12 is group 12 with twelve groups", "abcdefghijkl",
       "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "\\12\\1\\10", "laj\n"},
      {"\\01 is the whole line then 1", "k=v", "(\\w+)=(\\w+)", "\\01", "k=v1\n"},
      {"unset group is empty", "b", "(a)?(b)", "[\\1][\\2]", "[][b]\n"},
      {"group text is inserted verbatim", "x\\1=y", "(.*)=(.*)", "\\2:\\1", "y:x\\1\n"},
      {"group text with \\0 is not expanded", "a\\0", "(.*)", "\\1", "a\\0\n"},
      {"group text keeps EE B8 80", "a\xEE\xB8\x80z", "(.*)", "[\\1]", "[a\xEE\xB8\x80z]\n"},
      {"format keeps EE B8 80", "k", "(k)", "\xEE\xB8\x80\\1", "\xEE\xB8\x80k\n"},
      {"no line matches", "abc\ndef", "x+", nullptr, ""},
      {"empty text", "", ".*", nullptr, ""},
      {"null text", nullptr, ".*", nullptr, ""},
      {"alternation must cover the line", "ab", "a|ab", nullptr, "ab\n"},
      {"dollar only at the end", "ab", "ab$", nullptr, "ab\n"},
      {"backreference to an unset group matches empty", "b", "(a)?\\1b", nullptr, "b\n"},
      {"case-sensitive", "ABC\nabc", "abc", nullptr, "abc\n"},
  };
  for (const LinewiseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextFilter::linewise(c.text, c.pattern, c.format), c.expected);
  }
}

struct BlockwiseCase {
  const char* name;
  const char* text;
  const char* keepStart;
  const char* keepEnd;
  const char* dropStart;
  const char* dropEnd;
  bool keepOutside;
  const char* expected;
};

TEST(TextFilterTest, Blockwise) {
  const BlockwiseCase cases[] = {
      {"keep block only", "a\nBEGIN\nb\nEND\nc", "BEGIN", "END", nullptr, nullptr, false, "b\n"},
      {"keep block and outside", "a\nBEGIN\nb\nEND\nc", "BEGIN", "END", nullptr, nullptr, true,
       "a\nb\nc\n"},
      {"drop block with one marker", "a\nX\nb\nX\nc", nullptr, nullptr, "X", nullptr, true,
       "a\nc\n"},
      {"empty pattern: empty lines toggle keep blocks", "a\n\nb\n\nc\n\nd", "", nullptr, nullptr,
       nullptr, false, "b\nd\n"},
      {"keep end ignored without keep start", "a\nEND\nb", nullptr, "END", nullptr, nullptr, true,
       "a\nEND\nb\n"},
      {"no nesting in keep blocks", "K\nD\nx\nE\ny\nK", "K", nullptr, "D", "E", false,
       "D\nx\nE\ny\n"},
      {"no nesting in drop blocks", "D\nK\nx\nE\ny", "K", nullptr, "D", "E", true, "y\n"},
      {"open block ends with the text", "a\nBEGIN\nb\nc", "BEGIN", "END", nullptr, nullptr, false,
       "b\nc\n"},
      {"keep start tested before drop start", "M\na\nM\nb", "M", nullptr, "M", nullptr, false,
       "a\n"},
      {"markers match whole lines", "xBEGIN\nBEGIN\nb\nEND", "BEGIN", "END", nullptr, nullptr,
       false, "b\n"},
      {"no patterns at all", "a\nb", nullptr, nullptr, nullptr, nullptr, true, "a\nb\n"},
      {"no patterns, outside dropped", "a\nb", nullptr, nullptr, nullptr, nullptr, false, ""},
      {"empty text", "", "B", "E", "D", nullptr, true, ""},
      {"null text", nullptr, "B", "E", "D", nullptr, true, ""},
  };
  for (const BlockwiseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextFilter::blockwise(c.text, c.keepStart, c.keepEnd, c.dropStart, c.dropEnd,
                                    c.keepOutside),
              c.expected);
  }
}

TEST(TextFilterTest, InvalidPatternIsLoggedAndGivesTheEmptyText) {
  struct Case {
    const char* name;
    std::string (*run)();
    const char* function;
  };
  const Case cases[] = {
      {"linewise (", [] { return TextFilter::linewise("a\nb", "(", nullptr); },
       "TextFilter::filterLinewise"},
      {"linewise null pattern", [] { return TextFilter::linewise("a\nb", nullptr, nullptr); },
       "TextFilter::filterLinewise"},
      {"keep start (",
       [] { return TextFilter::blockwise("a\nb", "(", nullptr, nullptr, nullptr, true); },
       "TextFilter::filterBlockwise"},
      {"keep end (", [] { return TextFilter::blockwise("a\nb", "a", "(", nullptr, nullptr, true); },
       "TextFilter::filterBlockwise"},
      {"drop start [", [] { return TextFilter::blockwise("a\nb", nullptr, nullptr, "[", nullptr, true); },
       "TextFilter::filterBlockwise"},
      {"drop end (", [] { return TextFilter::blockwise("a\nb", nullptr, nullptr, "a", "(", true); },
       "TextFilter::filterBlockwise"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapturingSink log;
    EXPECT_EQ(c.run(), "");
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[ERROR  ], [" + std::string(c.function)), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find(std::string("]: ") + kFilterError), std::string::npos) << lines[0];
  }
}

TEST(TextFilterTest, MillionCharacterLine) {
  const std::string line(1000000, 'q');
  const std::string text = "short\n" + line + "\nend";
  EXPECT_EQ(TextFilter::linewise(text.c_str(), ".*", nullptr), text + "\n");
  EXPECT_EQ(TextFilter::linewise(text.c_str(), "(.*)", "\\1"), text + "\n");
  EXPECT_EQ(TextFilter::linewise(text.c_str(), "q+", nullptr), line + "\n");
  EXPECT_EQ(TextFilter::blockwise(text.c_str(), "short", "end", nullptr, nullptr, false),
            line + "\n");
}

TEST(TextFilterTest, RunawayMatchIsLoggedAndEndsTheFiltering) {
  // Nested quantifiers on a line that almost matches: exponential backtracking.
  const std::string hard(40, 'a');
  const std::string text = "ab\n" + hard + "\nab\n";
  {
    CapturingSink log;
    EXPECT_EQ(TextFilter::linewise(text.c_str(), "(a+)+[^a]", nullptr), "ab\n");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.text().find(kFilterError), std::string::npos);
    EXPECT_NE(log.text().find("limit"), std::string::npos) << log.text();
  }
  {
    CapturingSink log;
    EXPECT_EQ(TextFilter::blockwise(text.c_str(), "(a+)+[^a]", nullptr, nullptr, nullptr, true), "");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.text().find("TextFilter::filterBlockwise"), std::string::npos);
  }
}

TEST(TextFilterTest, DeepGroupRepetitionOnAHugeLineFailsCleanly) {
  // Each repetition of a capturing group needs backtracking memory; on a long
  // line that hits a bound, which must be reported, not crash the process.
  const std::string text(1000000, 'q');
  CapturingSink log;
  const std::string output = TextFilter::linewise(text.c_str(), "(q|r)*", nullptr);
  EXPECT_TRUE(output.empty() || output == text + "\n");
  if (output.empty()) {
    EXPECT_NE(log.text().find(kFilterError), std::string::npos);
  }
}

// Calls a filter into a buffer of every size from 0 to the output's length + 2
// inside a larger guarded area, and checks that nothing past the size changed
// and that the result is the output cut to size - 1.
void checkEveryBufferSize(const std::string& full,
                          void (*filter)(char* result, int resultSize)) {
  const int length = static_cast<int>(full.size());
  for (int size = 0; size <= length + 2; ++size) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::vector<char> area(static_cast<size_t>(size) + 16, '#');
    filter(area.data(), size);
    for (size_t i = static_cast<size_t>(size); i < area.size(); ++i) {
      ASSERT_EQ(area[i], '#') << "byte " << i << " written";
    }
    if (size == 0) continue;
    const size_t kept = std::min(static_cast<size_t>(size) - 1, full.size());
    ASSERT_EQ(std::memchr(area.data(), '\0', static_cast<size_t>(size)),
              area.data() + kept);
    EXPECT_EQ(std::string(area.data()), full.substr(0, kept));
  }
}

TEST(TextFilterTest, NeverWritesPastTheResultSize) {
  checkEveryBufferSize("value is key\nv is k\n", [](char* result, int size) {
    TextFilter::filterLinewise("\\2 is \\1", "key=value\nnone\nk=v", result, size, "(\\w+)=(\\w+)");
  });
  checkEveryBufferSize("b\nd\n", [](char* result, int size) {
    TextFilter::filterBlockwise("a\nK\nb\nK\nc\nK\nd", result, size, "K", nullptr, nullptr, nullptr,
                                false);
  });
}

TEST(TextFilterTest, NullPointersGiveAnEmptyResult) {
  char result[8] = "garbage";
  TextFilter::filterLinewise(nullptr, nullptr, result, sizeof result, "a");
  EXPECT_STREQ(result, "");
  std::strcpy(result, "garbage");
  TextFilter::filterBlockwise(nullptr, result, sizeof result, nullptr, nullptr, nullptr, nullptr,
                              true);
  EXPECT_STREQ(result, "");
  // A null buffer, or a negative size, receives nothing and does not crash.
  TextFilter::filterLinewise(nullptr, "abc", nullptr, 100, ".*");
  TextFilter::filterBlockwise("abc", result, -1, nullptr, nullptr, nullptr, nullptr, true);
  EXPECT_STREQ(result, "");
}

// Patterns are byte patterns: a pattern cannot switch UTF mode on, and none
// reads past the end of a text that stops in the middle of a UTF-8 sequence,
// even when an unreadable page follows it (as a text cut at a buffer's size
// may be placed).
TEST(TextFilterTest, NoPatternReadsATextAsUtf8) {
  struct Case {
    std::string text;
    const char* pattern;
    std::string expected;
    bool refused;  // the pattern itself is an error
  };
  const std::string ff(100, '\xff');
  const Case cases[] = {
      {ff, "(*UTF)\\X", "", true},
      {ff, "(*UTF)\\X*", "", true},
      {ff, "\\X*", ff + "\n", false},
      {"a\xf4", "(*UTF)\\X", "", true},
      {"a\xf4", "\\X", "", false},
      {"a\xf4", "a\\X", "a\xf4\n", false},
      {"ok \xf0\x9f", "\\X*", "ok \xf0\x9f\n", false},
      {"ok \xf0\x9f", "(*UTF)(*UCP)\\X*", "", true},
      {"ok \xf0\x9f", "(*UCP)\\w+ \\X+", "ok \xf0\x9f\n", false},
  };
#ifndef _WIN32
  // Two pages, the second unreadable: each text ends right before it.
  const long page = ::sysconf(_SC_PAGESIZE);
  char* area = static_cast<char*>(::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(area, MAP_FAILED);
  ASSERT_EQ(::mprotect(area + page, page, PROT_NONE), 0);
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + std::to_string(c.text.size()) + " bytes");
    std::string copy = c.text;
    const char* text = copy.c_str();
#ifndef _WIN32
    char* placed = area + page - (c.text.size() + 1);
    std::memcpy(placed, c.text.c_str(), c.text.size() + 1);
    text = placed;
#endif
    CapturingSink log;
    EXPECT_EQ(TextFilter::linewise(text, c.pattern, nullptr), c.expected);
    EXPECT_EQ(TextFilter::blockwise(text, c.pattern, nullptr, nullptr, nullptr, false), "");
    if (c.refused) {
      EXPECT_NE(log.text().find("Error when filtering text lines: using UTF is disabled"),
                std::string::npos)
          << log.text();
    } else {
      EXPECT_EQ(log.text(), "");
    }
  }
#ifndef _WIN32
  ::munmap(area, 2 * page);
#endif
}

// (*NO_JIT), and any pattern the JIT does not take, is run by the
// interpreter under the same limits.
TEST(TextFilterTest, PatternsWithoutJitCodeMatchToo) {
  CapturingSink log;
  EXPECT_EQ(TextFilter::linewise("a\nb\na", "(*NO_JIT)a", nullptr), "a\na\n");
  EXPECT_EQ(TextFilter::linewise("k=v", "(*NO_JIT)(\\w+)=(\\w+)", "\\2=\\1"), "v=k\n");
  EXPECT_EQ(TextFilter::blockwise("a\nB\nb\nE", "(*NO_JIT)B", "E", nullptr, nullptr, false),
            "b\n");
  EXPECT_EQ(log.text(), "");
  // The match limit holds for the interpreter too.
  const std::string hard = "ab\n" + std::string(40, 'a') + "\nab";
  EXPECT_EQ(TextFilter::linewise(hard.c_str(), "(*NO_JIT)(a+)+[^a]", nullptr), "ab\n");
  EXPECT_NE(log.text().find("Error when filtering text lines: match limit exceeded"),
            std::string::npos)
      << log.text();
}

// A clock that moves on by a step every time it is read: the time a filter
// call takes is then counted in its clock readings.
class SteppingClock final : public Clock {
 public:
  explicit SteppingClock(std::int64_t stepMilliseconds)
      : step_(stepMilliseconds), previous_(Clock::replace(this)) {}
  ~SteppingClock() override { Clock::replace(previous_); }

  std::int64_t nowSeconds() override { return nowMilliseconds() / 1000; }
  UtcTime nowUtc() override { return UtcTime(); }
  std::int64_t nowMilliseconds() override { return now_.fetch_add(step_) + step_; }
  bool sleepFor(std::int64_t, const std::atomic<bool>& interrupted) override {
    return interrupted.load();
  }
  void wakeSleepers() override {}
  int readings() const { return static_cast<int>(now_.load() / step_); }

 private:
  const std::int64_t step_;
  std::atomic<std::int64_t> now_{0};
  Clock* previous_;
};

// Lines that each make the pattern search millions of ways add up: the call
// stops when its time is up, with one line naming the pattern and the line
// reached, and keeps what it had. Ordinary lines read the clock only every
// 64 lines.
TEST(TextFilterTest, AFilterCallStopsWhenItsTimeIsUp) {
  std::string text = "aab\nx\n";
  for (int i = 0; i < 2000; ++i) text += std::string(22, 'a') + "b\n";
  std::string hardLines;
  for (int i = 0; i < 10; ++i) hardLines += std::string(22, 'a') + "b\n";
  struct Case {
    const char* name;
    std::string (*run)(const std::string&);
    const char* function;
    std::string kept;
  };
  const Case cases[] = {
      {"linewise", [](const std::string& t) { return TextFilter::linewise(t.c_str(), "(a|a)+$|x", nullptr); },
       "TextFilter::filterLinewise", "x\n"},
      {"blockwise",
       [](const std::string& t) {
         return TextFilter::blockwise(t.c_str(), "(a|a)+$", nullptr, nullptr, nullptr, true);
       },
       "TextFilter::filterBlockwise", "aab\nx\n" + hardLines},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The first reading starts the call; the eleventh expensive line, the
    // text's thirteenth, ends the second.
    SteppingClock clock(100);
    CapturingSink log;
    EXPECT_EQ(c.run(text), c.kept);
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u) << log.text();
    EXPECT_NE(lines[0].find(std::string("[ERROR  ], [") + c.function), std::string::npos);
    EXPECT_NE(lines[0].find(std::string("]: ") + kFilterError +
                            "the filter ran out of time (1000 ms) at line 13 with pattern '"),
              std::string::npos)
        << lines[0];
  }
  // 640 cheap lines: the start and ten readings, well within the time.
  std::string cheap;
  for (int i = 0; i < 640; ++i) cheap += "line\n";
  SteppingClock clock(1);
  EXPECT_EQ(TextFilter::linewise(cheap.c_str(), "line", nullptr), cheap);
  EXPECT_EQ(clock.readings(), 11);
}

// At ordinary speed a large text is filtered whole: the time allowed grows
// with the text.
TEST(TextFilterTest, ALargeTextIsNotCut) {
  std::string text;
  std::string expected;
  while (text.size() < 8 * 1024 * 1024) {
    text += "key_" + std::to_string(text.size()) + "=value\n";
    expected += "value\n";
  }
  CapturingSink log;
  EXPECT_EQ(TextFilter::linewise(text.c_str(), "(\\w+)=(\\w+)", "\\2"), expected);
  EXPECT_EQ(log.text(), "");
}

}  // namespace
}  // namespace quilrun
