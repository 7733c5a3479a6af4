// fourfifths: adverse impact observed in one selection, from counts.
//
// For each applicant group the number of applicants and the number selected;
// each group is compared with a reference group (a named one, or the group
// with the highest selection rate, the first of several tied). Per group: the
// selection rate, the impact ratio (its rate over the reference group's), the
// four-fifths verdict, significance tests of the difference from the
// reference group, a confidence interval for the impact ratio, the shortfall
// against the pooled rate and the flip-flop check.
//
// Methods:
//  - Z_D, the two-proportion Z test with the pooled rate of the two groups.
//  - Z_IR, the Z test of the log impact ratio (Morris & Lobsenz, 2000,
//    Personnel Psychology 53, 89-111): ln(IR) over its standard error under
//    the null hypothesis, sqrt((1 - P) / (P * N * q * (1 - q))), P the pooled
//    rate of the two groups, N their applicants, q the group's share of them.
//  - Fisher's exact test conditional on the margins (the group's selected
//    are hypergeometric given the two groups' total selected): one-sided, in
//    the direction of adverse impact (as few or fewer selected), and
//    two-sided (the tables no more probable than the observed one);
//    Lancaster's mid-P of both (half the probability of the tables as
//    probable as the observed one left out).
//  - Intervals for the impact ratio at confidence 1 - alpha: the log
//    interval (Katz, Baptista, Azen & Pike, 1978, Biometrics 34, 469-474),
//    and the adjusted log interval (Pettigrew, Gart & Thomas, 1986, 0.5
//    added to every selected and applicant count; Fagerland, Lydersen &
//    Laake, 2015, Statistical Methods in Medical Research 24, 224-254, find
//    its coverage close to the nominal level in small samples, where the
//    Katz interval has none when a group has no one selected).
//  - Shortfall: the group's applicants times the pooled rate of all groups,
//    less its selected (negative: above parity).
//  - Flip-flop (Roth, Bobko & Switzer, 2006, Journal of Applied Psychology
//    91, 507-522): whether one more, or one fewer, selected in the group,
//    the reference group's counts as they are, would change the four-fifths
//    verdict.
// The Z tests' p-values are two-sided. Values that do not exist (every test
// of the reference group with itself, a ratio over a rate of zero) are NaN.
#pragma once

#include <string>
#include <vector>

namespace fourfifths {

// One group's counts. They are reals so that a count that is not a whole
// number can be named in a message rather than silently rounded.
struct ObservedGroup {
  std::string name;
  double applicants = 0;
  double selected = 0;
};

enum class ImpactInterval {
  katz,          // the log interval
  adjusted_log,  // the log interval with 0.5 added to each count
};

struct ObservedOptions {
  std::string reference;  // the reference group's name; empty: the highest selection rate
  double alpha = 0.05;    // level of the tests' verdicts; the interval's confidence is 1 - alpha
  ImpactInterval interval = ImpactInterval::adjusted_log;
};

// The largest count accepted: the exact tests sum over the selected.
inline constexpr double max_observed_count = 1e7;

struct ObservedRow {
  std::string name;
  long applicants = 0;
  long selected = 0;
  bool reference = false;
  double rate = 0;          // selected / applicants
  double impact_ratio = 0;  // rate over the reference group's rate
  bool meets = false;       // impact ratio at least 0.8 (the reference group meets it)
  double z_difference = 0, p_difference = 0;  // Z_D, two-sided p
  double z_log_ratio = 0, p_log_ratio = 0;    // Z_IR, two-sided p
  double fisher_one_sided = 0, fisher_two_sided = 0;
  double mid_p_one_sided = 0, mid_p_two_sided = 0;
  double interval_lower = 0, interval_upper = 0;  // for the impact ratio
  double shortfall = 0;
  double ratio_one_more = 0, ratio_one_fewer = 0;  // NaN where the count cannot move
  bool flip_flop = false;
};

struct ObservedImpact {
  std::vector<std::string> messages;  // why the counts were rejected; empty when accepted
  std::vector<ObservedRow> rows;      // in the order of the groups
  int reference = 0;                  // index of the reference group
  double pooled_rate = 0;             // all selected over all applicants
  double alpha = 0.05;
  ImpactInterval interval = ImpactInterval::adjusted_log;
};

// At least two groups; counts whole numbers, applicants at least one,
// selected from 0 to applicants; names distinct and not empty; alpha strictly
// between 0 and 1; a named reference group among the groups.
ObservedImpact observed_impact(const std::vector<ObservedGroup>& groups,
                               const ObservedOptions& options = {});

// A planned selection of two groups: the applicants of each, and the
// probability that an applicant of each is selected (for instance the
// groups' selection ratios from a study at one overall ratio).
struct SamplePlan {
  long reference_applicants = 0;
  long group_applicants = 0;
  double reference_probability = 0;
  double group_probability = 0;
  double alpha = 0.05;  // level at which each test is counted significant
};

// One impact ratio a sample can show, and its probability.
struct RatioProbability {
  double ratio = 0;
  double probability = 0;
};

// What samples of the planned size will show. Model: every applicant is
// selected or not independently with the probability of the group, so the
// two groups' selected counts are independent binomials (the total selected
// varies from sample to sample); the distribution is exact, by enumeration
// of every pair of counts. The group is compared with the reference group
// (not with the higher of the two rates). A test is significant when its
// p-value is at most alpha; a sample in which a test does not exist (a
// ratio or Z over a rate or pooled variance of zero) is not significant.
struct SampleDistribution {
  std::vector<std::string> messages;  // why the plan was rejected; empty when accepted
  double p_violation = 0;   // P(the impact ratio is below 0.8)
  double p_no_ratio = 0;    // P(no one of the reference group is selected)
  double p_flip_flop = 0;   // P(a violation that one more selection would undo)
  double p_z_difference = 0, p_z_log_ratio = 0;  // P(significant)
  double p_fisher_one_sided = 0, p_fisher_two_sided = 0;
  double p_mid_p_one_sided = 0, p_mid_p_two_sided = 0;
  double expected_shortfall = 0;  // of the group against the pooled rate of the two
  std::vector<RatioProbability> ratios;  // the impact ratios that occur, ascending
};

// The largest number of applicants of a plan: the enumeration visits
// (reference + 1) * (group + 1) samples.
inline constexpr long max_plan_applicants = 2000;

// Applicants at least 1 in each group and at most max_plan_applicants in
// all, probabilities from 0 to 1, alpha strictly between 0 and 1.
SampleDistribution sample_distribution(const SamplePlan& plan);

// What samples of each size up to the plan's show, the groups in the plan's
// proportions: at most `sizes` totals of applicants evenly spaced from 2 to
// the plan's total (always ending there), each group's applicants the total
// times its share, rounded and at least 1. Each entry's plan is the one its
// distribution was computed for. A plan that is refused gives one entry, the
// plan with its distribution's messages.
struct SizedDistribution {
  SamplePlan plan;
  SampleDistribution distribution;
};
std::vector<SizedDistribution> distributions_by_size(const SamplePlan& plan, int sizes = 30);

// A planned selection of several groups, the reference group first: the
// applicants of each and the probability that an applicant of each is
// selected (for instance the groups' selection ratios from a study at one
// overall ratio). Model: as for two groups, every applicant is selected or
// not independently with the probability of the group, so the groups'
// selected counts are independent binomials. Each further group is compared
// with the reference group.
struct GroupPlan {
  std::string name;
  long applicants = 0;
  double probability = 0;
};
struct MultiPlan {
  std::vector<GroupPlan> groups;  // the reference group first
  double alpha = 0.05;
};

// The probability that at least one further group shows a flag: a
// four-fifths violation, or each test significant (as SampleDistribution
// counts them).
struct AnyGroupProbabilities {
  double p_violation = 0;
  double p_z_difference = 0, p_z_log_ratio = 0;
  double p_fisher_one_sided = 0, p_fisher_two_sided = 0;
  double p_mid_p_one_sided = 0, p_mid_p_two_sided = 0;
};

// What samples of a plan of several groups show. Per further group, its
// distribution against the reference group, exactly the two-group one. For
// the whole plan, exactly: given the reference group's selected count y the
// further groups' counts are independent, so
//   P(some group flagged) = sum_y P(Y = y) [1 - prod_g P(group g not flagged | y)].
// at_parity is the same with every group at the reference group's
// probability: how often the plan flags some group although the groups do
// not differ in the population, the multiple-testing view of a plan (with k
// groups tested at level alpha, up to about k alpha for the tests).
// The reference group is the first one in every sample. Taking instead the
// group with the highest rate of each sample would make every comparison
// depend on all groups' counts at once; the groups would no longer be
// independent given one count, and exact enumeration would cost the product
// of all groups' applicants, so it is not offered.
struct MultiDistribution {
  std::vector<std::string> messages;   // why the plan was rejected; empty when accepted
  std::vector<SampleDistribution> groups;  // the further groups' in the plan's order (groups[0]: the plan's second)
  AnyGroupProbabilities any;
  AnyGroupProbabilities at_parity;
};

// Two or more groups with distinct, non-empty names; applicants at least 1
// in each group and at most max_plan_applicants in all, probabilities from 0
// to 1, alpha strictly between 0 and 1.
MultiDistribution multi_sample_distribution(const MultiPlan& plan);

// As distributions_by_size(), for several groups: at most `sizes` totals
// from the number of groups to the plan's total, each group's applicants the
// total times its share, rounded and at least 1.
struct SizedMultiDistribution {
  MultiPlan plan;
  MultiDistribution distribution;
};
std::vector<SizedMultiDistribution> multi_distributions_by_size(const MultiPlan& plan, int sizes = 30);

const char* interval_name(ImpactInterval interval);

}  // namespace fourfifths
