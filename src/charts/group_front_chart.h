// The chart of the front of several groups, one self-contained SVG document
// in the style of the other charts (charts.h).
#pragma once

#include <string>

#include "fourfifths/groupfront.h"

namespace fourfifths {

// 860 x 860 user units, two panels over the smallest AI of the further groups
// at the front's selection ratio:
//   - top: the validity of each weighting on the front, a black line with
//     circles from the most valid end to the least-impact end; a vertical line
//     at the target AI in magenta, labelled "four-fifths rule" (or "target AI
//     0.75" for another target); the ends labelled "most valid" and "least
//     impact" with their validity and smallest AI; the target point marked
//     and labelled with its validity;
//   - bottom: each further group's AI along the front, a line per group in
//     its own colour, dash pattern and marker, named in a legend, with the
//     target line again (horizontal: the AI every group must reach).
// The title names the ratio, the subtitle the headline; the front's notes are
// printed below the panels. The root element carries data-xtarget (the x
// coordinate of the target) and data-plot ("left top right bottom" of the top
// panel). Throws std::invalid_argument for a front with messages or without
// points.
std::string group_front_chart(const GroupFront& front);

}  // namespace fourfifths
