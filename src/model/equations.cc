// The selection-ratio equations in the cut-off x on the predictor composite,
// and the selection state they share with the driver.
//
// Model: majority scores N(0, 1), minority scores N(dx, 1), everybody at or
// above x selected. Then SRA = 1 - Phi(x) and SRI = 1 - Phi(x - dx), each
// formed as one minus the lower tail area from alnorm. Both equations leave
// SRA and SRI of their latest evaluation in the selection state, where the
// callers read them after a search.
#include "model/model.h"

namespace fourfifths {

SelectionState selection{};

namespace {

// Stores the majority and then the minority selection ratio at the cut-off x.
void store_selection_ratios(double& x) {
  int32_t upper = 0;
  selection.sra = 1.0 - alnorm(x, upper);
  double shifted = x - selection.dx;
  selection.sri = 1.0 - alnorm(shifted, upper);
}

}  // namespace

// Adverse-impact ratio SRI / SRA at the cut-off x, minus 0.8 (the four-fifths
// rule); its zero is the four-fifths boundary.
double fun1(double& x) {
  store_selection_ratios(x);
  return selection.sri / selection.sra - 0.8;
}

// Overall selection ratio of both applicant groups at the cut-off x, minus the
// target srtarget. The group proportions are recomputed from apratio exactly as
// the driver forms them, pmin from the rounded pmaj.
double fun(double& x) {
  const double pmaj = selection.apratio / (selection.apratio + 1.0);
  const double pmin = 1.0 - pmaj;
  store_selection_ratios(x);
  return pmaj * selection.sra + pmin * selection.sri - selection.srtarget;
}

}  // namespace fourfifths
