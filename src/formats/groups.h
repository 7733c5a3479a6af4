// Renderings of a study of several groups: a text report with a table per
// group and the pool's four-fifths boundary, CSV in long format (one line per
// row and group) and JSON with everything. Numbers in CSV and JSON are
// written in the shortest form that reads back to the same double; a value
// that does not exist is an empty CSV field and a JSON null.
#pragma once

#include <string>

#include "fourfifths/groups.h"

namespace fourfifths {

// For people: the problem, each group's composite effect sizes and
// boundary, the pool's boundary, then a table per group (one line per row,
// values with three decimals) and a table of all selected.
std::string group_text(const GroupStudy& study);

// One header line (kind, sr, status, group, reference, share, cutoff,
// group_sr, reference_sr, ai, ai_highest, meets, quality,
// standardized_quality, all_quality, all_standardized_quality, all_meet),
// then one line per row and group: rows in order, the groups of a row in the
// problem's order.
std::string group_csv(const GroupStudy& study);

// One JSON object: the problem (names, basis, pool, quality, groups with
// their shares and composite effect sizes), the weights in use, the
// composite statistics, each group's boundary, the pool's, and the rows with
// every group's values.
std::string group_json(const GroupStudy& study);

// A boundary in words, e.g. "from SR 0.904 (cut-off -1.568), against White".
std::string boundary_words(const GroupStudy& study, const GroupBoundary& boundary);

}  // namespace fourfifths
