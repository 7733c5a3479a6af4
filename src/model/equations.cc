// The selection-ratio equations in the cut-off x on the predictor composite,
// over the selection state of one analysis.
//
// Model: majority scores N(0, 1), minority scores N(dx, 1), everybody at or
// above x selected. Then SRA = 1 - Phi(x) and SRI = 1 - Phi(x - dx), each
// formed as one minus the lower tail area from alnorm. Both equations leave
// SRA and SRI of their latest evaluation in the selection state, where the
// callers read them after a search.
#include "model/model.h"

namespace fourfifths {

namespace {

// Stores the majority and then the minority selection ratio at the cut-off x.
void store_selection_ratios(SelectionState& s, double& x) {
  int32_t upper = 0;
  s.sra = 1.0 - alnorm(x, upper);
  double shifted = x - s.dx;
  s.sri = 1.0 - alnorm(shifted, upper);
}

}  // namespace

// Adverse-impact ratio SRI / SRA at the cut-off x, minus 0.8 (the four-fifths
// rule); its zero is the four-fifths boundary.
double fun1(SelectionState& s, double& x) {
  store_selection_ratios(s, x);
  return s.sri / s.sra - 0.8;
}

// Overall selection ratio of both applicant groups at the cut-off x, minus the
// target srtarget. The group proportions are recomputed from apratio exactly as
// the analysis forms them, pmin from the rounded pmaj.
double fun(SelectionState& s, double& x) {
  const double pmaj = s.apratio / (s.apratio + 1.0);
  const double pmin = 1.0 - pmaj;
  store_selection_ratios(s, x);
  return pmaj * s.sra + pmin * s.sri - s.srtarget;
}

double fun_upper(SelectionState& s, double& x) {
  const double pmaj = s.apratio / (s.apratio + 1.0);
  const double pmin = 1.0 - pmaj;
  s.sra = upper_tail(x);
  s.sri = upper_tail(x - s.dx);
  return pmaj * s.sra + pmin * s.sri - s.srtarget;
}

}  // namespace fourfifths
