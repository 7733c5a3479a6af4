// Renderings of the front and the surface of several groups: a text report
// with the headline (the most valid weighting that meets the target for every
// group, or how close the best comes), CSV in long format and JSON with
// everything. Numbers in CSV and JSON are written in the shortest form that
// reads back to the same double; a value that does not exist is an empty CSV
// field and a JSON null.
#pragma once

#include <string>

#include "fourfifths/groupfront.h"

namespace fourfifths {

// The headline in one sentence, e.g. "The most valid weighting with every
// group's AI at least 0.8 has validity 0.412 (binding: Black)".
std::string headline_words(const GroupFront& front);

// For people: the problem, the headline, the notes, then one line per point
// (kind, smallest AI, validity, each further group's AI, each predictor's
// weight; three decimals).
std::string group_front_text(const GroupFront& front);

// One header line (point, kind, group, reference, ai, sr, composite_d,
// min_ai, validity, binding, multiplier, kkt_residual, w1 ... wN), then one
// line per point and group, the groups of a point in the problem's order.
std::string group_front_csv(const GroupFront& front);

// One JSON object: the problem (groups and predictors by name, basis, pool),
// the ratio, the target, the headline, the notes and the points with every
// group's values.
std::string group_front_json(const GroupFront& front);

// For people: a grid of the most valid validity meeting both targets, the
// first further group's targets down, the second's across ("-" where no
// weighting meets both).
std::string surface_text(const GroupSurface& surface);

// One header line (cell, group, target, reached, ai, sr, composite_d,
// validity, kkt_residual, w1 ... wN), then one line per cell and further
// group; a cell no weighting reaches has its targets and nothing else.
std::string surface_csv(const GroupSurface& surface);

// One JSON object: the problem, the ratio, the axes, the most valid
// weighting, the notes and the cells.
std::string surface_json(const GroupSurface& surface);

}  // namespace fourfifths
