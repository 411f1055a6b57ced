// The series rules window's texts without Qt: the days a rule's day filters leave, the filter
// lines the editor shows and takes back, and the name of a copy.
#include "ui/rule_rows.h"

#include <gtest/gtest.h>

namespace tivolo::ui {
namespace {

using boxdata::RuleFilter;
using boxdata::RuleFilterWhere;

TEST(RuleRowsTest, DaysFollowIncludesThenExcludes) {
  const struct {
    std::vector<RuleFilter> includes, excludes;
    std::string days;
  } cases[] = {
      {{}, {}, "every day"},
      {{{RuleFilterWhere::kDayOfWeek, "weekday"}}, {}, "Mon-Fri"},
      {{{RuleFilterWhere::kDayOfWeek, "weekend"}}, {}, "Sat, Sun"},
      {{}, {{RuleFilterWhere::kDayOfWeek, "weekend"}}, "Mon-Fri"},
      {{{RuleFilterWhere::kDayOfWeek, "0"}, {RuleFilterWhere::kDayOfWeek, "6"}}, {}, "Mon, Sun"},
      {{{RuleFilterWhere::kDayOfWeek, "weekday"}},
       {{RuleFilterWhere::kDayOfWeek, "2"}},
       "Mon, Tue, Thu, Fri"},
      // A title include does not limit the days.
      {{{RuleFilterWhere::kTitle, "5"}}, {}, "every day"},
  };
  for (const auto& c : cases) {
    boxdata::AutoTimerRule rule;
    rule.includes = c.includes;
    rule.excludes = c.excludes;
    EXPECT_EQ(RuleDaysText(rule), c.days);
  }
}

TEST(RuleRowsTest, FilterLinesGoBothWaysAndNameTheirProblem) {
  const std::vector<RuleFilter> filters = {{RuleFilterWhere::kShortDescription, "^Deel: (1|2)"},
                                           {RuleFilterWhere::kDayOfWeek, "weekend"}};
  std::string problem;
  EXPECT_EQ(ParseFilterLines(FilterLines(filters), problem), filters);
  EXPECT_EQ(problem, "");
  const auto parsed = ParseFilterLines("  title : a:b \r\n\nsubtitle: x\n", problem);
  EXPECT_EQ(parsed, (std::vector<RuleFilter>{{RuleFilterWhere::kTitle, "a:b"}}));
  EXPECT_EQ(problem.rfind("\"subtitle: x\" names no place", 0), 0u) << problem;
}

TEST(RuleRowsTest, ACopyGetsAFreeName) {
  boxdata::AutoTimerFile file = boxdata::EmptyAutoTimerFile();
  boxdata::AutoTimerRule rule;
  rule.match = "News";
  boxdata::AppendRule(file, rule);
  EXPECT_EQ(CopyName(file, "News"), "News (copy)");
  rule.name = "News (copy)";
  boxdata::AppendRule(file, rule);
  EXPECT_EQ(CopyName(file, "News"), "News (copy 2)");
}

}  // namespace
}  // namespace tivolo::ui
