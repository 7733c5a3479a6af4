// Observed adverse impact: published worked examples, cases whose answers
// follow by hand, and the messages for counts that cannot be. Every number
// against an independent computation: observed_test.py.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fourfifths/observed.h"

namespace fourfifths {
namespace {

// Fisher's tea-tasting experiment (Fisher, 1935, The Design of Experiments,
// section 2): eight cups, four of each kind, the lady right about three of
// each four. As a selection: 1 of 4 selected in the group, 3 of 4 in the
// reference group; the tables as extreme or more have probability 17/70, the
// two-sided test 34/70; the observed table alone 16/70, so mid-P 9/70.
TEST(ObservedImpact, FishersTeaTasting) {
  const ObservedImpact impact = observed_impact({{"ref", 4, 3}, {"group", 4, 1}});
  ASSERT_TRUE(impact.messages.empty());
  const ObservedRow& row = impact.rows[1];
  EXPECT_NEAR(row.fisher_one_sided, 17.0 / 70, 1e-12);
  EXPECT_NEAR(row.fisher_two_sided, 34.0 / 70, 1e-12);
  EXPECT_NEAR(row.mid_p_one_sided, 9.0 / 70, 1e-12);
  EXPECT_NEAR(row.mid_p_two_sided, 18.0 / 70, 1e-12);
  EXPECT_NEAR(row.impact_ratio, 1.0 / 3, 1e-15);
}

// Rates, ratios, verdicts, shortfalls and flip-flops that follow by hand.
TEST(ObservedImpact, HandComputedCases) {
  struct Case {
    std::vector<ObservedGroup> groups;
    std::string reference;
    int reference_index;
    double ratio;  // of the second group
    bool meets, flip_flop;
    double shortfall;  // of the second group
  };
  const std::vector<Case> cases = {
      // 40 % against 66.7 %: 0.6, no single selection changes it; pooled
      // 92/150, so 30 * 92/150 - 12 = 6.4 short.
      {{{"A", 120, 80}, {"B", 30, 12}}, "", 0, 0.6, false, false, 6.4},
      // 0.8 exactly meets the rule; one fewer (0.7) would not.
      {{{"men", 20, 10}, {"women", 20, 8}}, "men", 0, 0.8, true, true, 1},
      // 0.75: one more selected (0.8) would meet it.
      {{{"men", 20, 10}, {"women", 40, 15}}, "", 0, 0.75, false, true, 40 * 25.0 / 60 - 15},
      // The highest rate is the second group's: it is the reference.
      {{{"a", 50, 10}, {"b", 10, 5}}, "", 1, 1, true, false, 10 * 15.0 / 60 - 5},
      // A named reference with the lower rate: a ratio above one.
      {{{"a", 50, 10}, {"b", 10, 5}}, "a", 0, 2.5, true, false, 10 * 15.0 / 60 - 5},
  };
  for (const Case& c : cases) {
    ObservedOptions options;
    options.reference = c.reference;
    const ObservedImpact impact = observed_impact(c.groups, options);
    ASSERT_TRUE(impact.messages.empty());
    SCOPED_TRACE(c.groups[1].name + " against " + c.groups[impact.reference].name);
    EXPECT_EQ(impact.reference, c.reference_index);
    const ObservedRow& row = impact.rows[1];
    EXPECT_NEAR(row.impact_ratio, c.ratio, 1e-12);
    EXPECT_EQ(row.meets, c.meets);
    EXPECT_EQ(row.flip_flop, c.flip_flop);
    EXPECT_NEAR(row.shortfall, c.shortfall, 1e-12);
    EXPECT_TRUE(impact.rows[impact.reference].reference);
    EXPECT_TRUE(std::isnan(impact.rows[impact.reference].p_difference));
  }
}

// With no one selected in a group the Katz interval and Z_IR do not exist;
// the adjusted log interval does, and its lower end is above zero.
TEST(ObservedImpact, NoneSelected) {
  ObservedOptions katz;
  katz.interval = ImpactInterval::katz;
  const ObservedRow none = observed_impact({{"ref", 30, 15}, {"g", 10, 0}}, katz).rows[1];
  EXPECT_TRUE(std::isnan(none.interval_lower) && std::isnan(none.z_log_ratio));
  EXPECT_FALSE(std::isnan(none.z_difference));
  const ObservedRow adjusted = observed_impact({{"ref", 30, 15}, {"g", 10, 0}}).rows[1];
  EXPECT_GT(adjusted.interval_lower, 0);
  EXPECT_TRUE(std::isfinite(adjusted.interval_upper));
}

TEST(ObservedImpact, CountsThatCannotBe) {
  struct Case {
    std::vector<ObservedGroup> groups;
    std::string reference;
    double alpha;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{{"A", 10, 11}, {"B", 5, 1}}, "", 0.05, "group 'A': 11 selected of only 10 applicants"},
      {{{"A", 10, 1}, {"B", -5, 1}}, "", 0.05, "group 'B': applicants -5 is negative"},
      {{{"A", 10, 1}, {"B", 5, -1}}, "", 0.05, "group 'B': selected -1 is negative"},
      {{{"A", 10, 1.5}, {"B", 5, 1}}, "", 0.05, "group 'A': selected 1.5 is not a whole number"},
      {{{"A", 0, 0}, {"B", 5, 1}}, "", 0.05, "group 'A': no applicants"},
      {{{"A", NAN, 0}, {"B", 5, 1}}, "", 0.05, "group 'A': applicants is not a number"},
      {{{"A", 1e8, 0}, {"B", 5, 1}}, "", 0.05, "group 'A': applicants 100000000 is more than 10000000"},
      {{{"A", 10, 1}, {"A", 5, 1}}, "", 0.05, "group 'A': named twice"},
      {{{"", 10, 1}, {"B", 5, 1}}, "", 0.05, "group 1: no name"},
      {{{"A", 10, 1}}, "", 0.05, "at least two groups are needed, 1 given"},
      {{{"A", 10, 1}, {"B", 5, 1}}, "C", 0.05, "reference group 'C' is not among the groups"},
      {{{"A", 10, 1}, {"B", 5, 1}}, "", 1.0, "alpha 1 is not strictly between 0 and 1"},
  };
  for (const Case& c : cases) {
    ObservedOptions options;
    options.reference = c.reference;
    options.alpha = c.alpha;
    const ObservedImpact impact = observed_impact(c.groups, options);
    ASSERT_EQ(impact.messages.size(), 1u) << c.message;
    EXPECT_EQ(impact.messages[0], c.message);
    EXPECT_TRUE(impact.rows.empty());
  }
}

}  // namespace
}  // namespace fourfifths
