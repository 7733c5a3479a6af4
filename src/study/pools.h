// Pools of applicant groups selected by one cut-off on the predictor
// composite: each member's selection ratio, the cut-off for a selection ratio
// of the pool, and the four-fifths boundary of a member against the member
// with the highest selection ratio. A pool of two groups is the classic
// selection model and is solved by its own equations (fun, fun1).
#pragma once

#include <vector>

#include "fourfifths/groups.h"
#include "study/study.h"

namespace fourfifths {

struct PoolModel {
  Basis basis = Basis::overall;
  std::vector<double> p;   // members' proportions of the pool (overall basis), the reference first
  std::vector<double> dx;  // members' effect sizes on the predictor composite (reference: 0)
  std::vector<double> dy;  // and on the criterion composite
  bool on_criterion = false;
  double rxy = 0;
  int highest = 0;        // the member with the highest selection ratio at every cut-off
  SelectionModel pair{};  // two members: the classic model of the pair
  // Tolerances of the cut-off searches, those of the classic model.
  double re = 0.0001;
  double ae = 0.000001;
};

// A pool's values at one selection ratio: per member, and of all selected.
struct PoolRow {
  RowStatus status = RowStatus::ok;
  double cutoff = 0;
  double quality = 0;
  double standardized_quality = 0;
  std::vector<GroupValues> members;
};

// The proportion of each member at or above the cut-off x, 1 - Phi(x - dx).
std::vector<double> member_ratios(const PoolModel& pool, double x);

// The cut-off at which the pool (overall basis, any number of members)
// selects the proportion sr of its applicants, to the pool's tolerances; last
// is the cut-off of the search's last evaluation. False, with status, when no
// cut-off in [-8, 8] gives sr. A caller that knows a narrower interval that
// holds the cut-off (inside [-8, 8]) may give it as [lo, hi].
bool pool_cutoff(const PoolModel& pool, double sr, double& cutoff, double& last, RowStatus& status,
                 double lo = -8, double hi = 8);

// The pool at the selection ratio sr of its basis.
PoolRow evaluate_pool(const PoolModel& pool, double sr);

// The four-fifths boundary of a member: the smallest selection ratio of the
// basis at which its selection ratio is 0.8 of the highest member's.
GroupBoundary member_boundary(const PoolModel& pool, int member);

}  // namespace fourfifths
