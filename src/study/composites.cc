// Composite statistics: the effect sizes of the weighted predictor and
// criterion composites and the correlation between the two, from the
// problem's weights, effect sizes and correlation matrix (all variables
// standardized). Problems whose composites cannot be formed get a message
// instead.
#include <cmath>
#include <span>

#include "regression/regression.h"
#include "study/study.h"

namespace fourfifths {
namespace {

bool positive_finite(double v) {
  return std::isfinite(v) && v > 0;
}

bool all_finite(std::span<const double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// Every real value the problem supplies.
bool values_finite(const Problem& p) {
  if (p.basis == Basis::overall && !std::isfinite(p.applicant_ratio)) return false;
  if (!p.regression_weights && !all_finite(p.predictor_weights)) return false;
  return all_finite(p.criterion_weights) && all_finite(p.correlations) &&
         all_finite(p.predictor_effects) && all_finite(p.criterion_effects) &&
         all_finite(p.requested_ratios);
}

// The weighted sum of squares and cross-products of one block of standardized
// variables (the diagonal taken as 1, only entries above it read): the
// variance of the composite with weights w of the variables first..first+n-1.
double composite_variance(const Problem& p, std::span<const double> w, int first) {
  const int nvar = p.predictors + p.criteria;
  double s = 0;
  const int n = static_cast<int>(w.size());
  for (int i = 0; i < n; ++i) {
    s += w[i] * w[i];
    for (int j = i + 1; j < n; ++j)
      s += 2 * w[i] * w[j] * p.correlations[(first + i) * nvar + (first + j)];
  }
  return s;
}

// The regression weights of the predictors for the criterion composite, with
// the messages of weights that do not exist.
bool regression_weights(const Problem& p, std::vector<double>& weights,
                        std::vector<std::string>& messages) {
  const int nvar = p.predictors + p.criteria;
  CorrMatrix corr{};
  for (int i = 0; i < nvar; ++i)
    for (int j = 0; j < nvar; ++j) corr[i + ldcorr * j] = p.correlations[i * nvar + j];
  int32_t npred = p.predictors;
  int32_t ncrit = p.criteria;
  RegressionCheck fit;
  regwei(corr, p.criterion_weights, npred, ncrit, p.criterion_effects, weights, fit);
  bool ok = true;
  if (!positive_finite(fit.syy)) {
    messages.emplace_back(
        "Regression weights can not be computed because the\n"
        "variance of the weighted criterion combination is not a positive finite number");
    ok = false;
  }
  if (fit.info != 0) {
    messages.emplace_back(
        "Regression weights can not be computed because the\n"
        "predictor correlation matrix is not positive definite");
    ok = false;
  }
  return ok;
}

}  // namespace

Composites compute_composites(const Problem& p, std::vector<double>& weights,
                              std::vector<std::string>& messages) {
  Composites stats;
  if (!values_finite(p)) {
    messages.emplace_back("Every value in the deck must be a finite number");
    return stats;
  }
  weights.assign(p.predictors, 0.0);
  if (p.regression_weights) {
    if (!regression_weights(p, weights, messages)) return stats;
  } else {
    weights = p.predictor_weights;
  }

  const int np = p.predictors;
  const int nc = p.criteria;
  const int nvar = np + nc;
  const std::span<const double> w = weights;
  const std::span<const double> c = p.criterion_weights;

  for (int i = 0; i < np; ++i) stats.dx += w[i] * p.predictor_effects[i];
  for (int k = 0; k < nc; ++k) stats.dy += c[k] * p.criterion_effects[k];
  stats.sxx = composite_variance(p, w, 0);
  stats.syy = composite_variance(p, c, np);

  bool ok = true;
  if (!positive_finite(stats.sxx)) {
    messages.emplace_back(
        "Variance of the weighted predictor combination is not a positive finite number");
    ok = false;
  }
  if (nc >= 1 && !positive_finite(stats.syy)) {
    messages.emplace_back(
        "Variance of the weighted criterion combination is not a positive finite number");
    ok = false;
  }
  if (!ok) return stats;

  stats.dx = stats.dx / std::sqrt(stats.sxx);
  if (nc != 0) {
    stats.dy = stats.dy / std::sqrt(stats.syy);
    // t(k): covariance of the predictor composite with criterion k.
    for (int k = 0; k < nc; ++k) {
      double t = 0;
      for (int i = 0; i < np; ++i) t += w[i] * p.correlations[i * nvar + (np + k)];
      stats.sxy += t * c[k];
    }
    stats.rxy = stats.sxy / std::sqrt(stats.sxx * stats.syy);
  }
  // Values so extreme that a sum or product overflows leave the composites
  // without a finite effect size or correlation: no analysis can use them.
  if (!std::isfinite(stats.dx) ||
      (nc != 0 && !(std::isfinite(stats.dy) && std::isfinite(stats.rxy) &&
                    std::isfinite(stats.sxx * stats.syy)))) {
    messages.emplace_back(
        "Effect size or correlation of the weighted combinations is not a finite number");
  }
  return stats;
}

}  // namespace fourfifths
