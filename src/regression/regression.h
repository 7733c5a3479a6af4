// Regression weights: the packed positive-definite factor and inverse, and the
// standardized regression weights of the predictors for the criterion
// composite.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace fourfifths {

// The correlation matrix of all variables, stored column by column with a
// fixed leading dimension: element (i, j), 1-based, is at (i - 1) + ldcorr * (j - 1).
inline constexpr int32_t ldcorr = 20;
using CorrMatrix = std::array<double, ldcorr * ldcorr>;

// Room for the packed upper triangle of a predictor block of up to 9 predictors.
inline constexpr int32_t packed_capacity = 45;

// Cholesky factor A = R'R of the symmetric positive-definite matrix A of order
// n held packed (upper triangle by columns) in ap; R replaces A. info is 0, or
// the order of the first leading minor that is not positive definite. An ap too
// short for order n: info is the first column that does not fit, ap unchanged.
void dppfa(std::span<double> ap, int32_t& n, int32_t& info);

// From the factor of dppfa: the determinant det[0] * 10^det[1] (tens digit of
// job non-zero) and/or the inverse of A in place of R (units digit non-zero).
// An ap too short for order n is left alone, det included.
void dppdi(std::span<double> ap, int32_t& n, std::span<double, 2> det, int32_t& job);

// What the regression found, for the driver's checks of the deck.
struct RegressionCheck {
  double syy = 0;    // variance of the criterion composite (diagonal as in the deck)
  int32_t info = 0;  // dppfa status for the packed predictor block
};

// Standardized regression weights of the predictors for the criterion
// composite with weights cweight: pweight = A^-1 v. cdelta is not read. Where
// the weights do not exist (see below), pweight is left as it was.
void regwei(const CorrMatrix& corr, std::span<const double> cweight, int32_t& npred, int32_t& ncrit,
            std::span<const double> cdelta, std::span<double> pweight);

// regwei, also reporting the criterion variance and the factor's status. When
// syy is not a positive finite number or info is not 0, pweight is left as it
// was (the weights do not exist). Both are always reported. Counts beyond the
// storage are reported the same way: syy is NaN when the criteria do not fit
// cweight or corr; info is the first predictor beyond 9 or beyond pweight.
void regwei(const CorrMatrix& corr, std::span<const double> cweight, int32_t& npred, int32_t& ncrit,
            std::span<const double> cdelta, std::span<double> pweight, RegressionCheck& check);

}  // namespace fourfifths
