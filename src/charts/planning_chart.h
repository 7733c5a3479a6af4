// The chart of what samples of applicants will show, one self-contained SVG
// document in the style of the other charts (charts.h).
#pragma once

#include <string>
#include <vector>

#include "fourfifths/observed.h"

namespace fourfifths {

// 860 x 530 user units (more for a subtitle of two lines), one panel over the total number of
// applicants (the groups in the plan's proportions): the probability that a sample shows a
// four-fifths violation (black, thick, circles), and that each test comes out
// significant at the plan's alpha: the two-proportion Z test, the Z test of
// the log impact ratio, Fisher's exact test and Lancaster's mid-P (both
// two-sided), each in its own colour, dash pattern and marker; a grey dashed
// line at alpha. The subtitle names the selection probabilities, the shares
// and alpha. The root element carries data-plot, the panel's plot area as
// "left top right bottom", and data-x and data-y, the axes' ranges as "lo hi".
// Throws std::invalid_argument when there is nothing to chart (no sizes, or a
// refused plan).
std::string planning_chart(const std::vector<SizedDistribution>& sizes);

}  // namespace fourfifths

namespace fourfifths {

// The chart of a plan of several groups, in the same frame: over the total
// number of applicants (the groups in the plan's proportions), the
// probability that a sample shows a four-fifths violation for each further
// group against the reference group (each in its own colour, dash pattern and
// marker), that some group shows one (black, thick, circles), and that some
// group shows one with every group at the reference group's probability
// (grey, dashed: the chance of a violation somewhere when the population
// shows no difference). data-plot, data-x and data-y as planning_chart()'s.
// Throws std::invalid_argument when there is nothing to chart.
std::string multi_planning_chart(const std::vector<SizedMultiDistribution>& sizes);

}  // namespace fourfifths
