// The report template's syntax: what parses into which fields, and the
// message a report developer gets for a template that does not.
#include "ReportTemplate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostError.h"

namespace {

using reporthost::ExitCode;
using reporthost::HostError;
using reporthost::ReportTemplate;
using Kind = ReportTemplate::Expression::Kind;

TEST(ReportTemplateTest, FieldsHoldCallsWithTheDataFileImplied) {
  const ReportTemplate report(
      "Head {{ tt_getLabel(\"tdsls.orno\", 18, 1) | >18 }}|"
      "{{tt_filterTextLinewise(tt_getText(1002), \"a\\\"b\\\\c\\n\", null) | trim }}"
      "{{ tt_getCompanyLogo() }}",
      "t");
  const std::vector<ReportTemplate::Segment>& segments = report.segments();
  ASSERT_EQ(segments.size(), 5u);
  EXPECT_EQ(segments[0].literal, "Head ");

  const ReportTemplate::Segment& label = segments[1];
  ASSERT_TRUE(label.isField);
  EXPECT_STREQ(label.expression.entry->name, "tt_getLabel");
  EXPECT_TRUE(label.expression.takesDataFile);
  ASSERT_EQ(label.expression.arguments.size(), 3u);
  EXPECT_EQ(label.expression.arguments[0].text, "tdsls.orno");
  EXPECT_EQ(label.expression.arguments[1].kind, Kind::Number);
  EXPECT_EQ(label.width, 18u);
  EXPECT_TRUE(label.alignRight);
  EXPECT_FALSE(label.trim);

  EXPECT_EQ(segments[2].literal, "|");

  const ReportTemplate::Segment& filter = segments[3];
  EXPECT_FALSE(filter.expression.takesDataFile);  // a filter takes a text, not a data file
  EXPECT_TRUE(filter.trim);
  EXPECT_EQ(filter.width, 0u);
  ASSERT_EQ(filter.expression.arguments.size(), 3u);
  EXPECT_EQ(filter.expression.arguments[0].kind, Kind::Call);
  EXPECT_STREQ(filter.expression.arguments[0].entry->name, "tt_getText");
  EXPECT_EQ(filter.expression.arguments[1].text, "a\"b\\c\n");
  EXPECT_EQ(filter.expression.arguments[2].kind, Kind::Null);

  EXPECT_TRUE(segments[4].expression.arguments.empty());
  EXPECT_EQ(report.calledExports(),
            (std::vector<std::string>{"tt_getLabel", "tt_filterTextLinewise", "tt_getText",
                                      "tt_getCompanyLogo"}));
}

TEST(ReportTemplateTest, CommentsGoWithTheirLineBreakAndBracesCanBeWrittenAsText) {
  const ReportTemplate report("{{# a comment\n over lines }}\nA{{ \"{{\" }}B{{# x }}C\n", "t");
  std::string rendered;
  for (const ReportTemplate::Segment& segment : report.segments()) {
    rendered += segment.isField ? "<" + segment.expression.text + ">" : segment.literal;
  }
  EXPECT_EQ(rendered, "A<{{>BC\n");
}

TEST(ReportTemplateTest, MalformedTemplatesNameTheirPlace) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"ab\n {{ tt_getCompanyLogo()", "t:2:24: expected }} to end the field"},
      {"{{ tt_getCompanyLogo() ", "t:1:24: expected }} to end the field"},
      {"{{ tt_nothing() }}", "t:1:14: unknown function 'tt_nothing'"},
      {"{{ tt_getLabel(\"a\", 1) }}",
       "t:1:23: tt_getLabel takes 3 arguments: labelCode (text), length (int), height (int); "
       "got 2"},
      {"{{ tt_getCompanyLogo(1) }}", "t:1:24: tt_getCompanyLogo takes 0 arguments; got 1"},
      {"{{ tt_getLabel(\"a\", \"1\", 1) }}",
       "t:1:28: tt_getLabel argument length is a number (int), not a text"},
      {"{{ tt_getLabel(\"a\", 1.5, 1) }}",
       "t:1:28: tt_getLabel argument length: '1.5' is not an int"},
      {"{{ tt_formatCompany(99999999999) }}",
       "t:1:33: tt_formatCompany argument company: '99999999999' is out of range for an int"},
      {"{{ \"a\\qb\" }}", "t:1:7: unknown escape \\q (use \\\" \\\\ \\n or \\t)"},
      {"{{ \"open }}", "t:1:12: text without its closing \""},
      {"{{ tt_getCompanyLogo() | wide }}",
       "t:1:26: expected trim or a width of 1 to 4 digits after |"},
      {"{{ tt_getCompanyLogo(, ) }}", "t:1:22: expected a call, a text or a number"},
      {"{{ tt_getCompanyLogo }}", "t:1:22: expected ( after the function name"},
      {"{{", "t:1:3: the template ends inside a field"},
      {"{{# never closed", "t:1:3: comment without its closing }}"},
  };
  for (const Case& c : cases) {
    try {
      ReportTemplate report(c.text, "t");
      ADD_FAILURE() << "parsed: " << c.text;
    } catch (const HostError& error) {
      EXPECT_EQ(error.exitCode(), ExitCode::Usage);
      EXPECT_EQ(std::string(error.what()), c.message) << c.text;
    }
  }
}

}  // namespace
