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
