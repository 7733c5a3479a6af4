// The chart of a study of several groups, one self-contained SVG document in
// the style of the other charts (charts.h).
#pragma once

#include <string>

#include "fourfifths/groups.h"

namespace fourfifths {

// 860 x 580 user units, one panel over the selection ratio of the study's
// basis (the pool's SR, or the reference group's) from 0 to 1: for every
// group that can fall below the four-fifths rule, its adverse-impact ratio
// against the group with the highest selection ratio (in the pairwise
// convention, against the higher of its pair), a line in its own colour, dash
// pattern and marker; the four-fifths line at AI =
// 0.8 in magenta; where each group's line reaches it (the group's boundary),
// a marker labelled with the group's name and ratio; a dashed vertical line at
// the pool's boundary, labelled "every group from SR 0.904". A legend to the
// right names each line with its group's boundary ("Black: SR 0.872";
// "throughout" for a group that meets the rule at every cut-off in range). The root element carries
// data-y08 (the y coordinate of AI = 0.8) and data-plot ("left top right
// bottom" of the panel). Throws std::invalid_argument for a rejected study.
std::string group_chart(const GroupStudy& study);

}  // namespace fourfifths
