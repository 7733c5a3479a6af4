// Renderings of a staged study of several groups: text with a table per
// stage, CSV in long format (one line per selection, stage and group) and
// JSON with everything. Numbers in CSV and JSON are written in the shortest
// form that reads back to the same double; a value that does not exist is an
// empty CSV field and a JSON null.
#pragma once

#include <string>

#include "fourfifths/stages.h"

namespace fourfifths {

// For people: the design, per stage its cut-off and a table of the groups
// (pass, still in, the AIs), the mean quality of the finally selected beside
// the single stage's, and the single stage's table.
std::string staged_text(const StagedStudy& study);

// One header line (selection, stage, name, rule, value, cutoff, group,
// reference, share, pass, still_in, ai, ai_highest, ai_cumulative,
// ai_cumulative_highest, quality, all_pass, all_still_in, all_quality), then
// one line per selection ("staged", then "single"), stage and group; quality
// and all_quality only on the last stage's lines.
std::string staged_csv(const StagedStudy& study);

// One JSON object: the problem (groups with shares, stages with weights by
// name and pass rule, minimum) and both selections.
std::string staged_json(const StagedStudy& study);

}  // namespace fourfifths
