// fourfifths: staged (multiple-hurdle) selection of several applicant groups.
//
// Model: stages 1..k each select on their own weighted composite of the
// predictors. Within every group the stage composites and the quality
// composite are jointly normal with unit variances (each composite is
// standardized within groups, as the single-stage composite is), with the
// correlations that the weights and the common correlation matrix give; group
// g's means are its effect sizes carried through the weights, the reference
// group's are 0. Stage s keeps those of its entrants at or above its cut-off
// c_s, one cut-off for every group, so that the share of group g still in
// after stage s is
//   P(X_1 >= c_1 - d_1g, ..., X_s >= c_s - d_sg)
// for standard normal X with the stages' correlations. Each cut-off is solved
// on the pool of the stage's entrants, all groups in their shares.
//
// The probabilities are exact (to about 1e-12): Owen's T for two stages, the
// bivariate integrated over one stage by adaptive Gauss-Kronrod quadrature for
// three. The mean quality of the finally selected follows Tallis's moments of
// the truncated multivariate normal. Designs of more than three stages are
// refused. No Monte Carlo anywhere.
#pragma once

#include <string>
#include <vector>

#include "fourfifths/groups.h"

namespace fourfifths {

// At most this many stages are computed.
inline constexpr int max_stages = 3;

// How a stage's cut-off is given.
enum class PassRule {
  entrants,    // value: the share of the stage's entrants (all groups) who pass, in (0, 1]
  cumulative,  // value: the share of all applicants still in after the stage, in (0, 1]
  cutoff,      // value: the cut-off itself, on the stage composite in reference-group SDs
};

struct Stage {
  std::string name;
  std::vector<double> weights;  // one per predictor
  PassRule rule = PassRule::entrants;
  double value = 1;
};

// A staged design over a problem of groups. Of the groups problem it reads the
// names, counts, correlations, groups (their shares and effect sizes),
// criterion weights and the quality composite; not its predictor weights or
// ratios. Quality::predictor measures quality on the last stage's composite.
struct StagedProblem {
  GroupProblem groups;
  std::vector<Stage> stages;  // 1..max_stages, in the order applicants meet them
  // The smallest share of all applicants that every stage must leave in.
  double minimum = 0;
};

// One group after one stage. Values that do not exist (a group of which
// nobody entered the stage) are NaN.
struct StageGroup {
  double pass = 0;        // share of the group's entrants who pass the stage
  double cumulative = 0;  // share of the group's applicants still in after it
  double ai = 0;          // pass over the reference group's pass
  double ai_highest = 0;  // pass over the highest group's pass at this stage
  double ai_cumulative = 0;          // cumulative over the reference group's
  double ai_cumulative_highest = 0;  // cumulative over the highest group's
};

// One stage of a selection.
struct StageValues {
  std::string name;
  double cutoff = 0;      // on the stage composite; -inf when it passes everyone
  double pass = 0;        // share of the pool's entrants who pass
  double cumulative = 0;  // share of all applicants still in after it
  std::vector<StageGroup> groups;  // in the order of the problem's groups
};

// A selection through one or more stages.
struct Selection {
  std::vector<StageValues> stages;
  // Mean quality of each group's finally selected (reference-group SDs on the
  // quality composite), and of all of them.
  std::vector<double> quality;
  double quality_all = 0;
};

struct StagedStudy {
  StagedProblem problem;              // as given
  std::vector<std::string> messages;  // why it cannot be analysed; nothing below is set then
  Selection staged;
  // One stage on the last stage's composite at the staged design's overall
  // selection ratio: what the hurdles cost or buy.
  Selection single;

  bool rejected() const { return !messages.empty(); }
};

// The whole analysis, or the messages (each naming its stage) of a design that
// cannot be analysed.
StagedStudy analyse(const StagedProblem& problem);

const char* name_of(PassRule rule);

}  // namespace fourfifths
