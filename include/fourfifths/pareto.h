// fourfifths: the validity–adverse-impact front of predictor weightings.
//
// For one problem and one selection ratio, the Pareto front is every
// weighting of the predictors for which no other weighting has both a higher
// validity (the correlation of the predictor composite with the criterion
// composite) and a higher adverse-impact ratio at that ratio.
#pragma once

#include <string>
#include <vector>

#include "fourfifths/study.h"

namespace fourfifths {

enum class PointKind {
  max_validity,  // the most valid end of the front
  min_impact,    // the end with the least adverse impact
  four_fifths,   // the most valid weighting whose adverse-impact ratio is 0.8
  interior,      // a point between the ends
};

// One weighting on the front and the selection it gives.
struct FrontPoint {
  PointKind kind = PointKind::interior;
  double ai = 0;           // adverse-impact ratio at the front's selection ratio
  double validity = 0;     // correlation of the predictor composite with the criterion composite
  double composite_d = 0;  // effect size of the predictor composite
  double cutoff = 0;       // cut-off on the predictor composite
  double sra = 0;          // majority selection ratio
  double sri = 0;          // minority selection ratio
  // Mean criterion quality of all, the majority and the minority selected, in
  // the units of the report's M, MA and MI (quality is NaN in the majority
  // basis, which has no overall mean).
  double quality = 0;
  double quality_majority = 0;
  double quality_minority = 0;
  std::vector<double> weights;  // one per predictor, absolute values summing to 1
};

struct FrontOptions {
  double sr = 0.10;         // selection ratio of the problem's basis
  int points = 21;          // points evenly spaced in AI between the two ends
  bool nonnegative = true;  // weights may not be negative
};

struct Front {
  // Why there is no front; when not empty, nothing below is set.
  std::vector<std::string> messages;
  // What a researcher should know about the front found (for example that
  // non-negative weights cannot reach parity).
  std::vector<std::string> notes;
  Basis basis = Basis::overall;
  double sr = 0;
  bool nonnegative = true;
  std::vector<FrontPoint> points;  // from the most valid end to the least-impact end
};

// The front of a problem's predictors for its criterion composite (the
// problem's own predictor weights are not used).
Front pareto_front(const Problem& problem, const FrontOptions& options = {});

const char* name_of(PointKind kind);

}  // namespace fourfifths
