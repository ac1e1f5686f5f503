#include "functions/TextFilter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace quilrun
