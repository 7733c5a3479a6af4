// fourfifths: the most valid predictor weighting that protects every group.
//
// For a problem of several groups (fourfifths/groups.h) and one selection
// ratio, each weighting w of the predictors gives a composite with a validity
// (its correlation with the criterion composite) and, per further group g, an
// adverse-impact ratio AI_g: the group's selection ratio over the reference
// group's in the same pool, GroupValues::ai (the joint pool by default, or
// the pair of g and the reference group in the pairwise convention). The
// four-fifths rule for every group asks AI_g >= 0.8 for each g against the
// reference group; a group that scores above the reference group has AI_g
// above 1 and is never the one that binds.
//
// Unlike the two-group front this is not a convex problem: every returned
// weighting is a certified first-order (KKT) point, found from many starts;
// see the README for what is and is not guaranteed.
#pragma once

#include <string>
#include <vector>

#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"

namespace fourfifths {

// A weighting and the selection it gives at the problem's ratio.
struct GroupWeighting {
  double validity = 0;            // correlation of the composite with the criterion composite
  double min_ai = 0;              // the smallest AI over the further groups
  std::vector<double> ai;         // per group against the reference group (the reference's 1)
  std::vector<double> sr;         // per group, its selection ratio
  std::vector<double> composite_d;  // per group, its composite effect size (the reference's 0)
  std::vector<double> weights;    // one per predictor, absolute values summing to 1
  // The groups whose AI is the smallest (to 1e-9), or, for the most valid
  // weighting under a target, those whose AI sits at the target and holds
  // validity down (positive multiplier).
  std::vector<int> binding;
  // The certificate: by how much the AI target is missed (0 when met), the
  // largest violation of the first-order conditions (stationarity of the
  // Lagrangian over the free weights, the sign of every multiplier and of the
  // gradient at every zero weight), and the multipliers of the groups' AIs
  // (in log AI) at the point.
  double violation = 0;
  double kkt_residual = 0;
  std::vector<double> multipliers;
};

struct GroupTargetOptions {
  double sr = 0.10;         // selection ratio of the problem's basis
  double target = 0.8;      // every further group's AI at least this (0 < target <= 1)
  bool nonnegative = true;  // weights may not be negative
  int starts = 24;          // local searches from the most promising of many sampled weightings
  unsigned seed = 1;        // of the sampled starting weightings (results do not depend on the clock)
  // A target of its own for each further group, in the problem's order, each
  // in (0, 1], in place of target (a point of a three-objective front, say);
  // empty: target for every group.
  std::vector<double> targets = {};
};

// The answer to "the most valid weighting with every group's AI at least the
// target".
struct GroupTarget {
  std::vector<std::string> messages;  // why there is no answer; nothing below is set then
  std::vector<std::string> notes;     // what a researcher should know about the answer
  Pool pool = Pool::joint;
  Basis basis = Basis::overall;
  double sr = 0;
  double target = 0;             // the common target, or the smallest of the groups' own
  std::vector<double> targets;   // per further group, the AI it must reach
  bool nonnegative = true;
  // Whether some weighting meets the target for every group.
  bool reached = false;
  // The most valid weighting of all (the regression weights, or their
  // non-negative counterpart), whatever its AIs.
  GroupWeighting most_valid;
  // reached: the most valid weighting whose every AI is at least the target.
  // Otherwise: the weighting whose smallest AI is the largest any weighting
  // reaches, its binding groups those at that smallest AI (with targets of
  // their own: the weighting whose smallest ratio of AI to target is the
  // largest, its binding groups those at that ratio).
  GroupWeighting best;
};

// The headline of a problem of several groups at one selection ratio. The
// problem's own predictor weights, quality and requested ratios are not used;
// it needs at least one criterion. Thread-safe.
GroupTarget most_valid_meeting(const GroupProblem& problem, const GroupTargetOptions& options = {});

struct GroupFrontOptions {
  double sr = 0.10;         // selection ratio of the problem's basis
  int points = 21;          // points evenly spaced in smallest AI (2 to max_front_points)
  double target = 0.8;      // the AI every group must reach at the front's target point
  bool nonnegative = true;  // weights may not be negative
  int starts = 24;          // as in GroupTargetOptions, for every point
  unsigned seed = 1;
};

// One weighting of the front of several groups.
struct GroupFrontPoint {
  // max_validity, min_impact (the largest smallest AI, at most parity),
  // four_fifths (the most valid weighting with every AI at least the
  // front's target), interior.
  PointKind kind = PointKind::interior;
  GroupWeighting weighting;
};

// The front of validity against the smallest AI over the further groups.
struct GroupFront {
  GroupProblem problem;               // as given: the names of groups and predictors
  std::vector<std::string> messages;  // why there is no front; nothing below is set then
  std::vector<std::string> notes;
  Pool pool = Pool::joint;
  Basis basis = Basis::overall;
  double sr = 0;
  double target = 0;
  bool nonnegative = true;
  // The headline at the front's target: most_valid_meeting's answer.
  GroupTarget headline;
  // From the most valid weighting to the largest smallest AI (at most 1):
  // each point the most valid weighting whose every AI is at least its
  // smallest AI, the interior evenly spaced in smallest AI, and the target
  // point among them when some weighting reaches the target (an end that
  // meets it repeated as that point).
  std::vector<GroupFrontPoint> points;
};

// The front of a problem of several groups at one selection ratio. Every
// point is a certified first-order point like most_valid_meeting's answer; a
// point that cannot be certified is left out, with a note. With one further
// group its points are pareto_front()'s at the same AIs. Thread-safe.
GroupFront pareto_front(const GroupProblem& problem, const GroupFrontOptions& options = {});

// One cell of the surface: the most valid weighting with the first further
// group's AI at least targets[0] and the second's at least targets[1].
struct SurfacePoint {
  double targets[2] = {0, 0};
  bool reached = false;   // some weighting meets both targets
  GroupWeighting weighting;  // reached: that weighting; not set otherwise
};

// The surface of validity over the two AIs of a problem of exactly two
// further groups: a grid of points per group's axis, from the group's AI at
// the most valid weighting to the largest AI any weighting gives it (at most
// parity), evenly spaced.
struct GroupSurface {
  GroupProblem problem;  // as given
  std::vector<std::string> messages;
  std::vector<std::string> notes;
  Pool pool = Pool::joint;
  Basis basis = Basis::overall;
  double sr = 0;
  bool nonnegative = true;
  GroupWeighting most_valid;
  std::vector<double> axes[2];       // the targets of each further group
  std::vector<SurfacePoint> points;  // row by row: the first group's target, then the second's
};

// The most points per axis of a surface.
inline constexpr int max_surface_points = 101;

// options.points per axis (2 to max_surface_points); options.target unused.
GroupSurface pareto_surface(const GroupProblem& problem, const GroupFrontOptions& options = {});

}  // namespace fourfifths
