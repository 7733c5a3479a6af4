// Renderings of a study and of a front for scripts and spreadsheets: CSV with
// one line per row and JSON with everything, both with the field names of the
// library (kind, sr, status, cutoff, sra, sri, ai, m, ma, mi, dif, sm, sma,
// smi, sdif; sxx, syy, sxy, rxy, dx, dy). Numbers are written in the shortest
// form that reads back to the same double; a value that does not exist is an
// empty CSV field and a JSON null.
#pragma once

#include <cstddef>
#include <string>

#include "fourfifths/pareto.h"
#include "fourfifths/study.h"

namespace fourfifths {

// The shortest decimal form of a double that reads back to the same double
// (empty for a value that is not finite).
std::string shortest(double value);

// A value with the given decimals right-aligned in a column of the given
// width (0: as wide as it needs), "-" where it does not exist; and a text
// left-aligned in a column, padded with blanks.
std::string fixed_column(double value, int width, int decimals = 3);
std::string padded(const std::string& text, std::size_t width);

// One header line, then one line per row of the study (built-in, boundary,
// requested and sweep rows, in that order).
std::string study_csv(const Study& study);

// One JSON object: the problem as given, the composite statistics, the
// predictor weights in use, the four-fifths boundary and the rows.
std::string study_json(const Study& study);

// The front as a table for people: a heading with the ratio and the notes,
// then one line per point, values with three decimals (for a front fitted in
// a validation sample, AI* and validity* beside AI and validity).
std::string front_text(const Front& front);

// One header line (kind, ai, validity, composite_d, cutoff, sra, sri,
// quality, quality_majority, quality_minority, for a front fitted in a
// validation sample shrunk_validity and shrunk_ai, w1 ... wN), then one line
// per point.
std::string front_csv(const Front& front);

// One JSON object: the basis, the ratio, whether weights are non-negative,
// the sample size and predictors screened of a front fitted in a sample, the
// notes and the points (the CSV's fields, and the weights as a list).
std::string front_json(const Front& front);

}  // namespace fourfifths
