// fourfifths: the validity–adverse-impact front of predictor weightings.
//
// For one problem and one selection ratio, the Pareto front is every
// weighting of the predictors for which no other weighting has both a higher
// validity (the correlation of the predictor composite with the criterion
// composite) and a higher adverse-impact ratio at that ratio.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "fourfifths/study.h"

namespace fourfifths {

enum class PointKind {
  max_validity,  // the most valid end of the front
  min_impact,    // the end with the least adverse impact
  four_fifths,   // the most valid weighting that meets the four-fifths rule (AI at least 0.8)
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
  // When the front's correlations come from a validation sample
  // (FrontOptions::sample_size): the validity and AI the weighting can be
  // expected to show on new applicants. NaN otherwise.
  double shrunk_validity = std::numeric_limits<double>::quiet_NaN();
  double shrunk_ai = std::numeric_limits<double>::quiet_NaN();
};

// The most points a front is asked for.
inline constexpr int max_front_points = 10000;

struct FrontOptions {
  double sr = 0.10;  // selection ratio of the problem's basis
  int points = 21;   // points evenly spaced in AI between the two ends (2 to max_front_points)
  bool nonnegative = true;  // weights may not be negative
  // The size of the validation sample whose correlations and effect sizes
  // the problem holds; 0 for population values (no shrinkage). At least 2K + 3
  // for K predictors screened.
  int sample_size = 0;
  // The number of predictors screened for the front in that sample (0: the
  // problem's own predictors); never fewer than the problem's.
  int predictors_screened = 0;
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
  int sample_size = 0;             // 0: a population front, without the shrunk values
  int predictors_screened = 0;     // the K of the shrinkage formulas (when sample_size > 0)
  std::vector<FrontPoint> points;  // from the most valid end to the least-impact end
};

// The front of a problem's predictors for its criterion composite (the
// problem's own predictor weights are not used; the correlations are read as
// the composites read them, above the diagonal with the diagonal taken as 1,
// and a matrix that check_correlations() refuses gets its messages).
//
// The front runs from the most valid weighting (the regression weights, or
// their non-negative counterpart) to the least adverse impact: parity (AI 1),
// or with non-negative weights and every effect size on one side, the
// predictor whose effect size is nearest 0, alone (with a note). Each point is
// the most valid weighting whose composite has the point's effect size, and
// the points are evenly spaced in AI between the ends, with the four-fifths
// point inserted where the front crosses 0.8. Whenever some weighting meets
// the four-fifths rule the front has exactly one point of kind four_fifths,
// the most valid such (an end that meets it is repeated as that point);
// otherwise a note says that none does. When the most valid composite
// favours the minority group (AI above 1) the front runs down to parity
// instead; when the most valid weighting is already the least-impact one, the
// front is that one point. Points whose weightings have negative validity and
// are less valid than a weighting with less impact are left out (with a
// note).
//
// With a sample size, each point also gets the validity and AI expected on
// cross-validation: the Pareto shrinkage formula of Song, Tang, Newman & Wee
// (2023), Browne's (1975) expected cross-validated squared multiple
// correlation at the ends of the whole trade-off (the most valid and the most
// minority-favouring weightings), interpolated linearly between them; the
// shrunk correlation with group membership gives the composite's effect size
// and from it the AI at the same ratio. It needs the overall basis (the
// applicant mix). Thread-safe: fronts computed at once share nothing.
Front pareto_front(const Problem& problem, const FrontOptions& options = {});

const char* name_of(PointKind kind);

// The squared correlation that weights fitted in a sample of n to k
// predictors can be expected to reach on new applicants, from the sample's
// squared multiple correlation r2: Browne's (1975) formula,
// ((n - k - 3) ρ⁴ + ρ²) / ((n - 2k - 2) ρ² + k), with the population ρ²
// estimated by Claudy's (1978) formula and ρ⁴ by Browne's, each at least 0.
// Needs n >= 2k + 3 and k >= 1 (NaN otherwise).
double cross_validated_r2(int n, int k, double r2);

}  // namespace fourfifths
