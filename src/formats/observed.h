// Renderings of an observed-impact table: text for people, CSV with one line
// per group and JSON with everything. Numbers in CSV and JSON are written in
// the shortest form that reads back to the same double; a value that does not
// exist (the reference group's tests, an interval that cannot be formed) is
// an empty CSV field and a JSON null.
#pragma once

#include <string>

#include "fourfifths/observed.h"

namespace fourfifths {

// The reference group, the pooled rate and the methods, then one line per
// group: counts, rate, impact ratio and verdict, the tests' p-values, the
// interval, the shortfall and the flip-flop check.
std::string observed_text(const ObservedImpact& impact);

// One header line (group, reference, applicants, selected, rate,
// impact_ratio, meets, z_difference, p_difference, z_log_ratio, p_log_ratio,
// fisher_one_sided, fisher_two_sided, mid_p_one_sided, mid_p_two_sided,
// interval_lower, interval_upper, shortfall, ratio_one_more,
// ratio_one_fewer, flip_flop), then one line per group.
std::string observed_csv(const ObservedImpact& impact);

// One JSON object: reference, pooled_rate, alpha, interval, confidence and
// the groups with the CSV's fields.
std::string observed_json(const ObservedImpact& impact);

}  // namespace fourfifths

namespace fourfifths {

// The distribution over samples of a planned selection for people: the plan,
// the probabilities of a violation and of each test's significance, the
// expected shortfall, then the impact ratios that occur with their
// probabilities and cumulative probabilities.
std::string sample_text(const SamplePlan& plan, const SampleDistribution& d);

// One header line (reference_applicants, group_applicants,
// reference_probability, group_probability, alpha, p_violation, p_no_ratio,
// p_flip_flop, p_z_difference, p_z_log_ratio, p_fisher_one_sided,
// p_fisher_two_sided, p_mid_p_one_sided, p_mid_p_two_sided,
// expected_shortfall) and one line of values.
std::string sample_csv(const SamplePlan& plan, const SampleDistribution& d);

// One JSON object: the plan, the CSV's values and ratios (a list of
// {ratio, probability}).
std::string sample_json(const SamplePlan& plan, const SampleDistribution& d);

}  // namespace fourfifths

namespace fourfifths {

// A plan of several groups for people: the groups with their applicants,
// probabilities and population impact ratios, then the probability of each
// flag per further group, for some group, and for some group at parity (every
// group at the reference group's probability); the expected shortfall per
// group.
std::string multi_sample_text(const MultiPlan& plan, const MultiDistribution& d);

// Long form, one line per further group and two for the whole plan: kind
// (group, any or any_at_parity), group, applicants, probability, alpha,
// p_violation, p_no_ratio, p_flip_flop, p_z_difference, p_z_log_ratio,
// p_fisher_one_sided, p_fisher_two_sided, p_mid_p_one_sided,
// p_mid_p_two_sided, expected_shortfall; a value a line does not have
// (the whole plan's group, applicants and probability, its p_no_ratio,
// p_flip_flop and shortfall) is empty.
std::string multi_sample_csv(const MultiPlan& plan, const MultiDistribution& d);

// One JSON object: alpha, the reference group {group, applicants,
// probability}, groups (each further group with the CSV's values and its
// ratios), any and any_at_parity (the flags' probabilities).
std::string multi_sample_json(const MultiPlan& plan, const MultiDistribution& d);

}  // namespace fourfifths
