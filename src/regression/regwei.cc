// regwei: standardized regression weights of the predictors for a weighted
// composite of criteria, from the correlation matrix of all variables.
//
//   void regwei(corr, cweight, npred, ncrit, cdelta, pweight);
//   void regwei(corr, cweight, npred, ncrit, cdelta, pweight, check);
//
// With A the predictor intercorrelations (taken from the lower triangle of the
// predictor block) and v the correlations of the predictors with the criterion
// composite sum_k cweight(k) y_k, the weights are pweight = A^-1 v: the
// predictor weights whose composite correlates most with the criterion
// composite. Diagonal entries are used as they stand in the deck. cdelta is not
// read.
//
// Method: the normal equations of least squares in correlation form; A is
// factored and inverted in packed storage by dppfa and dppdi (Cholesky).
//
// The variance syy of the criterion composite and the status of the factor are
// reported through check. When syy is not a positive finite number, or the
// predictor block is not positive definite, the weights do not exist: pweight
// is left as it was, and neither a division by zero nor the square root of a
// negative number is attempted.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "regression/regression.h"

namespace fourfifths {

namespace {

// The largest predictor block whose packed upper triangle fits the work vector.
constexpr int32_t max_predictors = 9;
static_assert(max_predictors * (max_predictors + 1) / 2 <= packed_capacity);

// Leading dimension of the unpacked inverse.
constexpr int32_t ldwork = 10;

// corr(i, j), counted from 1.
double element(const CorrMatrix& corr, int32_t i, int32_t j) {
  return corr[static_cast<std::size_t>((i - 1) + ldcorr * (j - 1))];
}

}  // namespace

void regwei(const CorrMatrix& corr, std::span<const double> cweight, int32_t& npred, int32_t& ncrit,
            std::span<const double> cdelta, std::span<double> pweight, RegressionCheck& check) {
  (void)cdelta;
  const int32_t np = std::max(npred, int32_t{0});
  const int32_t nc = std::max(ncrit, int32_t{0});

  // Variance of the criterion composite, term by term in this order.
  // Criteria beyond the weights given or beyond the 20 variables of corr leave
  // it undefined.
  double syy = 0;
  if (static_cast<std::size_t>(nc) > cweight.size() || int64_t{np} + nc > ldcorr) {
    syy = std::numeric_limits<double>::quiet_NaN();
  } else {
    for (int32_t i = 1; i <= nc; ++i) {
      const double wi = cweight[static_cast<std::size_t>(i - 1)];
      syy = syy + wi * wi * element(corr, np + i, np + i);
      for (int32_t k = i + 1; k <= nc; ++k) {
        const double wk = cweight[static_cast<std::size_t>(k - 1)];
        syy = syy + (wi + wi) * wk * element(corr, np + i, np + k);
      }
    }
  }
  check.syy = syy;

  // Pack A(i, j) = corr(j, i), i <= j, and factor it once. A block
  // larger than the work vector or than pweight is reported like a failing
  // factor, at the first predictor that does not fit.
  std::array<double, packed_capacity> packed{};
  const int32_t fits = pweight.size() < static_cast<std::size_t>(max_predictors)
                           ? static_cast<int32_t>(pweight.size())
                           : max_predictors;
  if (np > fits) {
    check.info = fits + 1;
  } else {
    std::size_t m = 0;
    for (int32_t j = 1; j <= np; ++j) {
      for (int32_t i = 1; i <= j; ++i) packed[m++] = element(corr, j, i);
    }
    int32_t info = 0;
    dppfa(packed, npred, info);
    check.info = info;
  }

  if (!(std::isfinite(syy) && syy > 0) || check.info != 0) return;

  // Correlation of each predictor with the criterion composite; it divides by
  // sqrt(syy), so it waits until syy is known to be positive.
  std::array<double, ldwork> v{};
  const double sdy = std::sqrt(syy);
  for (int32_t j = 1; j <= np; ++j) {
    double r = 0;
    for (int32_t k = 1; k <= nc; ++k) {
      r = r + element(corr, j, np + k) * cweight[static_cast<std::size_t>(k - 1)];
    }
    v[static_cast<std::size_t>(j - 1)] = r / sdy;
  }

  // The inverse of A in place of its factor.
  std::array<double, 2> det{};  // not asked for
  int32_t job = 1;
  dppdi(packed, npred, det, job);

  // Unpack into a full symmetric matrix, lower triangle first.
  std::array<double, ldwork * ldwork> inverse{};
  auto at = [&inverse](int32_t i, int32_t j) -> double& {
    return inverse[static_cast<std::size_t>((i - 1) + ldwork * (j - 1))];
  };
  std::size_t m = 0;
  for (int32_t j = 1; j <= np; ++j) {
    for (int32_t i = 1; i <= j; ++i) at(j, i) = packed[m++];
  }
  for (int32_t j = 1; j < np; ++j) {
    for (int32_t i = j + 1; i <= np; ++i) at(j, i) = at(i, j);
  }

  // pweight = A^-1 v, summed over k in order.
  for (int32_t j = 1; j <= np; ++j) {
    double w = 0;
    for (int32_t k = 1; k <= np; ++k) w = w + at(j, k) * v[static_cast<std::size_t>(k - 1)];
    pweight[static_cast<std::size_t>(j - 1)] = w;
  }
}

void regwei(const CorrMatrix& corr, std::span<const double> cweight, int32_t& npred, int32_t& ncrit,
            std::span<const double> cdelta, std::span<double> pweight) {
  RegressionCheck check;
  regwei(corr, cweight, npred, ncrit, cdelta, pweight, check);
}

}  // namespace fourfifths
