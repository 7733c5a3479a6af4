// fourfifths: a selection study of several applicant groups in one pool.
//
// Model: on the weighted predictor composite the reference group's applicants
// are N(0, 1) and those of every further group g are N(dx_g, 1), dx_g being
// the composite's standardized difference of g from the reference group (the
// correlation matrix is common to all groups). One cut-off on the composite
// selects the whole pool: at an overall selection ratio SR it solves
//   sum over g of share_g * P(composite_g >= cut-off) = SR   (the joint pool),
// or, in the reference basis, the cut-off is the one above which the
// proportion SR of the reference group lies.
//
// The field's Pareto tools solve each further group's cut-off in a pool of
// that group and the reference group alone, in their relative shares: the
// pairwise convention, offered so that results made that way can be
// reproduced. The two conventions agree for two groups and in the reference
// basis.
//
// A problem of two groups is the classic two-group problem: its rows are those
// of analyse(), computed by the same searches.
#pragma once

#include <string>
#include <vector>

#include "fourfifths/study.h"

namespace fourfifths {

// One applicant group.
struct Group {
  std::string name;
  // Its share of the applicant pool, or its count: only the ratios of the
  // groups' shares matter. Not read in the reference basis.
  double share = 0;
  // Standardized mean difference from the reference group, per predictor and
  // per criterion (negative: the group scores lower). The reference group's
  // may be left empty; given, they must be zero.
  std::vector<double> predictor_effects;
  std::vector<double> criterion_effects;
};

// How each group's selection ratio is found at a row's selection ratio.
enum class Pool {
  joint,     // one cut-off selects the whole pool of all groups
  pairwise,  // each further group with the reference group alone, in their relative shares
};

// A selection problem of several groups. Basis::majority here means the
// reference group's selection ratio.
struct GroupProblem {
  std::vector<std::string> predictor_names;  // one per predictor, or empty (P1, P2, ...)
  std::vector<std::string> criterion_names;  // one per criterion, or empty (C1, C2, ...)
  int predictors = 0;
  int criteria = 0;
  Basis basis = Basis::overall;
  Pool pool = Pool::joint;
  bool regression_weights = false;
  Quality quality = Quality::criterion;
  std::vector<double> predictor_weights;  // one per predictor; not read with regression weights
  std::vector<double> criterion_weights;  // one per criterion
  // Correlations of all variables, predictors first, then criteria, row by
  // row, as in Problem.
  std::vector<double> correlations;
  std::vector<Group> groups;  // the reference group first, then at least one further group
  std::vector<double> requested_ratios;
};

// One group at one row of the tables. Values that do not exist are NaN.
struct GroupValues {
  RowStatus status = RowStatus::ok;
  double cutoff = 0;        // the cut-off on the predictor composite
  double sr = 0;            // the group's selection ratio
  double sr_reference = 0;  // the reference group's selection ratio in the same pool
  double ai = 0;            // sr / sr_reference
  double ai_highest = 0;    // sr over the highest selection ratio of the pool's groups
  bool meets = false;       // ai_highest is at least 0.8: the four-fifths rule
  // Mean quality of the group's selected on the chosen composite, in
  // reference-group standard deviations (NaN with none selected), and on the
  // scale of the whole applicant pool (overall basis only).
  double quality = 0;
  double standardized_quality = 0;
};

// One selection ratio of the tables, every group at it.
struct GroupRow {
  RowKind kind = RowKind::builtin;
  double sr = 0;                     // the row's ratio: overall, or the reference group's
  RowStatus status = RowStatus::ok;  // ok when every group's values are computed
  double quality = 0;                // mean quality of all selected (joint pool, overall basis)
  double standardized_quality = 0;   // the same on the scale of the whole pool
  bool all_meet = false;             // every group reported meets the four-fifths rule
  std::vector<GroupValues> groups;   // in the order of the problem's groups
};

// Where a group, or every group, meets the four-fifths rule.
enum class BoundaryState {
  found,           // from the selection ratio sr on
  never_below,     // at every selection ratio (the group scores highest)
  met_in_range,    // at every cut-off in [-8, 8]: any boundary lies at a ratio too small to resolve
  none_in_range,   // at no cut-off in [-8, 8]
  not_applicable,  // the reference group in the pairwise convention of three or more groups
};

// The four-fifths boundary of a group: the smallest selection ratio (of the
// basis) at which the group's selection ratio is four-fifths of the highest
// one in its pool. In the pairwise convention a further group's boundary is
// its pair's (whichever of the two scores lower). The pool's boundary is the
// smallest ratio at which every group meets the rule: the largest of the
// groups' boundaries; none_in_range when a group has none in range, else
// met_in_range when a group has that state; group then names the binding group.
struct GroupBoundary {
  BoundaryState state = BoundaryState::never_below;
  // The group whose rate is four-fifths there (the pool's: the binding one;
  // pairwise: the lower of the pair, which may be the reference group).
  int group = -1;
  int against = -1;       // the group with the highest selection ratio it is measured against
  int search_status = 0;  // the zero finder's status (0 when no search ran)
  double sr = 0;          // found: the basis ratio there
  double cutoff = 0;      // found: the cut-off on the predictor composite
};

// The analysis of a problem of several groups.
struct GroupStudy {
  GroupProblem problem;               // as given
  std::vector<std::string> messages;  // why it cannot be analysed; nothing below is set then
  std::vector<double> weights;        // the predictor weights in use
  Composites composites;              // dx and dy: those of the first further group
  std::vector<double> dx;             // per group, the reference group's 0
  std::vector<double> dy;
  std::vector<GroupBoundary> boundaries;  // per group
  GroupBoundary pool_boundary;
  // The 21 built-in ratios, the pool's boundary (when found), the requested
  // ratios and the sweep, in that order.
  std::vector<GroupRow> rows;

  bool rejected() const { return !messages.empty(); }
};

// Why a problem of several groups cannot be analysed; empty when it can.
std::vector<std::string> validate(const GroupProblem& problem);

// The whole analysis. With two groups every row holds what analyse() gives
// the same problem as a Problem (see as_problem), bit for bit.
GroupStudy analyse(const GroupProblem& problem, const StudyOptions& options = {});

// The two-group problem of the reference group and group g alone, the
// applicant ratio being the ratio of their shares. Throws std::out_of_range
// when the problem has no group g.
Problem as_problem(const GroupProblem& problem, int g = 1);

// A two-group problem as a problem of groups "majority" (share the applicant
// ratio) and "minority" (share 1), variables named P1..., C1....
GroupProblem as_group_problem(const Problem& problem);

// The name of predictor i or criterion k (0-based): the given one, else P1,
// C1, ...
std::string predictor_name(const GroupProblem& problem, int i);
std::string criterion_name(const GroupProblem& problem, int k);

const char* name_of(Pool pool);
const char* name_of(BoundaryState state);

}  // namespace fourfifths
