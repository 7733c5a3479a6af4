// The chart of a staged study, one self-contained SVG document in the style
// of the other charts (charts.h).
#pragma once

#include <string>

#include "fourfifths/stages.h"

namespace fourfifths {

// 860 x 860 user units, two panels over the stages (0: all applicants, then
// stage 1, 2, ...; the x-axis title names the stages):
//   - top, the funnel: each group's share of its applicants still in after
//     each stage, a line per group in its own colour, dash pattern and marker;
//   - bottom: each group's cumulative adverse-impact ratio against the highest
//     group after each stage, with the four-fifths line at AI = 0.8 in
//     magenta, and hollow markers at the last stage for the single stage on
//     the last stage's composite at the same overall selection ratio.
// The root element carries data-y08 (the y coordinate of AI = 0.8 in the
// bottom panel). Throws std::invalid_argument for a rejected study.
std::string stage_chart(const StagedStudy& study);

}  // namespace fourfifths
