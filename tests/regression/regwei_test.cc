// regwei: standardized regression weights. Small decks are worked by hand;
// larger ones are checked against the normal equations A b = v solved by
// Gaussian elimination with partial pivoting here. Every entry of corr that
// the weights must not depend on is NaN, so reading one shows in the result.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "regression/regression.h"

namespace fourfifths {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
const double root7 = std::sqrt(7.0);

double& At(CorrMatrix& corr, int i, int j) {
  return corr[static_cast<std::size_t>((i - 1) + ldcorr * (j - 1))];
}

// corr with full(i, j) (row by row, nvar = npred + ncrit) only where regwei
// reads: the predictor block on and below its diagonal, the predictor-criterion
// block above the diagonal, the criterion block on and above its diagonal.
CorrMatrix ReadOnly(int npred, int ncrit, const std::vector<double>& full) {
  const int nvar = npred + ncrit;
  CorrMatrix corr;
  corr.fill(nan);
  for (int i = 1; i <= nvar; ++i) {
    for (int j = 1; j <= nvar; ++j) {
      const bool read =
          (i <= npred && j <= i) || (i <= npred && j > npred) || (i > npred && j >= i);
      if (read) At(corr, i, j) = full[static_cast<std::size_t>((i - 1) * nvar + (j - 1))];
    }
  }
  return corr;
}

// Solves a x = b (a row by row, order n) by Gaussian elimination with
// partial pivoting.
std::vector<double> Solve(std::vector<double> a, std::vector<double> b) {
  const std::size_t n = b.size();
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t p = c;
    for (std::size_t r = c + 1; r < n; ++r) {
      if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c])) p = r;
    }
    for (std::size_t k = 0; k < n; ++k) std::swap(a[c * n + k], a[p * n + k]);
    std::swap(b[c], b[p]);
    for (std::size_t r = c + 1; r < n; ++r) {
      const double f = a[r * n + c] / a[c * n + c];
      for (std::size_t k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (std::size_t r = n; r-- > 0;) {
    double s = b[r];
    for (std::size_t k = r + 1; k < n; ++k) s -= a[r * n + k] * x[k];
    x[r] = s / a[r * n + r];
  }
  return x;
}

struct WeightCase {
  const char* what;
  int32_t npred, ncrit;
  std::vector<double> full;
  std::vector<double> cweight;
  std::vector<double> expected;
};

TEST(RegressionRegwei, WorkedDecks) {
  const std::vector<double> r03 = {1, 0.3, 0.3, 1};
  const std::vector<double> two = {1, 0.5, 0.5, 0.5, 1, 0.5, 0.5, 0.5, 1};
  // Uncorrelated predictors, two criteria correlating 0.5, weights 2 and 1:
  // syy = 4 + 1 + 2 * 2 * 1 * 0.5 = 7; v = (2 * 0.3 + 0.6, 2 * 0 + 0.2) / sqrt(7).
  const std::vector<double> uncorrelated = {1,   0, 0.3, 0.6, 0,   1,   0,   0.2,
                                            0.3, 0, 1,   0.5, 0.6, 0.2, 0.5, 1};
  const WeightCase cases[] = {
      {"0.3, criterion weight 2", 1, 1, r03, {2}, {0.3}},
      {"0.3, criterion weight -1", 1, 1, r03, {-1}, {-0.3}},
      {"two predictors, all 0.5", 2, 1, two, {1}, {1.0 / 3, 1.0 / 3}},
      {"uncorrelated predictors", 2, 2, uncorrelated, {2, 1}, {1.2 / root7, 0.2 / root7}},
      {"predictor diagonal 2", 1, 1, {2, 0.3, 0.3, 1}, {1}, {0.15}},
      {"criterion diagonal 4", 1, 1, {1, 0.3, 0.3, 4}, {1}, {0.15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CorrMatrix corr = ReadOnly(c.npred, c.ncrit, c.full);
    int32_t npred = c.npred, ncrit = c.ncrit;
    const std::vector<double> cdelta(static_cast<std::size_t>(ncrit), nan);
    std::vector<double> pweight(10, 42.0);
    regwei(corr, c.cweight, npred, ncrit, cdelta, pweight);
    for (std::size_t j = 0; j < pweight.size(); ++j) {
      if (j < c.expected.size()) {
        EXPECT_NEAR(pweight[j], c.expected[j], 1e-15) << "pweight " << j;
      } else {
        EXPECT_EQ(pweight[j], 42.0) << "beyond npred: " << j;
      }
    }
  }
}

TEST(RegressionRegwei, PredictorBlockAboveDiagonalIsIgnored) {
  CorrMatrix corr;
  corr.fill(0.5);
  for (int i = 1; i <= 3; ++i) At(corr, i, i) = 1;
  for (const double upper : {0.5, 0.9, -0.7}) {
    At(corr, 1, 2) = upper;
    int32_t npred = 2, ncrit = 1;
    const std::vector<double> cweight = {1}, cdelta = {0};
    std::vector<double> pweight(2);
    regwei(corr, cweight, npred, ncrit, cdelta, pweight);
    EXPECT_NEAR(pweight[0], 1.0 / 3, 1e-15) << upper;
    EXPECT_NEAR(pweight[1], 1.0 / 3, 1e-15) << upper;
  }
}

// A random correlation matrix of nvar variables sharing one common factor,
// from 3 * nvar observations: positive definite, off-diagonals up to ~0.6.
std::vector<double> RandomCorrelations(int nvar, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(-1, 1);
  const int obs = 3 * nvar;
  std::vector<double> x(static_cast<std::size_t>(obs * nvar));
  for (int o = 0; o < obs; ++o) {
    const double common = u(rng);
    for (int v = 0; v < nvar; ++v) x[static_cast<std::size_t>(o * nvar + v)] = common + u(rng);
  }
  std::vector<double> mean(static_cast<std::size_t>(nvar)),
      cov(static_cast<std::size_t>(nvar * nvar));
  for (int o = 0; o < obs; ++o) {
    for (int v = 0; v < nvar; ++v) mean[v] += x[o * nvar + v] / obs;
  }
  for (int i = 0; i < nvar; ++i) {
    for (int j = 0; j < nvar; ++j) {
      for (int o = 0; o < obs; ++o) {
        cov[i * nvar + j] += (x[o * nvar + i] - mean[i]) * (x[o * nvar + j] - mean[j]);
      }
    }
  }
  std::vector<double> r(cov.size());
  for (int i = 0; i < nvar; ++i) {
    for (int j = 0; j < nvar; ++j) {
      r[i * nvar + j] =
          i == j ? 1.0 : cov[i * nvar + j] / std::sqrt(cov[i * nvar + i] * cov[j * nvar + j]);
    }
  }
  return r;
}

TEST(RegressionRegwei, LargeBatteriesSolveNormalEquations) {
  const std::pair<int32_t, int32_t> shapes[] = {{7, 1}, {7, 2}, {7, 3}, {8, 1}, {8, 2}, {9, 1}};
  std::mt19937_64 rng(20240607);
  std::uniform_real_distribution<double> weight(-1, 1);
  for (const auto& [np, nc] : shapes) {
    for (int trial = 0; trial < 5; ++trial) {
      SCOPED_TRACE(testing::Message()
                   << np << " predictors, " << nc << " criteria, trial " << trial);
      const int nvar = np + nc;
      const std::vector<double> r = RandomCorrelations(nvar, rng);
      std::vector<double> cweight(static_cast<std::size_t>(nc));
      for (double& w : cweight) w = weight(rng);

      double syy = 0;
      for (int i = 0; i < nc; ++i) {
        for (int k = 0; k < nc; ++k) syy += cweight[i] * cweight[k] * r[(np + i) * nvar + np + k];
      }
      std::vector<double> a(static_cast<std::size_t>(np * np)), v(static_cast<std::size_t>(np));
      for (int i = 0; i < np; ++i) {
        for (int j = 0; j < np; ++j) a[i * np + j] = r[i * nvar + j];
        for (int k = 0; k < nc; ++k) v[i] += r[i * nvar + np + k] * cweight[k] / std::sqrt(syy);
      }
      const std::vector<double> b = Solve(a, v);

      const CorrMatrix corr = ReadOnly(np, nc, r);
      int32_t npred = np, ncrit = nc;
      const std::vector<double> cdelta(static_cast<std::size_t>(nc), nan);
      std::vector<double> pweight(static_cast<std::size_t>(np), nan);
      RegressionCheck check;
      regwei(corr, cweight, npred, ncrit, cdelta, pweight, check);
      EXPECT_EQ(check.info, 0);
      EXPECT_NEAR(check.syy, syy, 1e-14);
      for (int j = 0; j < np; ++j) EXPECT_NEAR(pweight[j], b[j], 1e-12) << "pweight " << j;

      std::vector<double> plain(static_cast<std::size_t>(np), nan);
      regwei(corr, cweight, npred, ncrit, cdelta, plain);
      EXPECT_EQ(plain, pweight);
    }
  }
}

struct NoWeightsCase {
  const char* what;
  int32_t npred, ncrit;
  std::vector<double> full;
  std::vector<double> cweight;
  std::size_t pweight_size;
  double syy;  // NaN: not formed
  int32_t info;
};

TEST(RegressionRegwei, MissingWeightsLeavePweightUntouched) {
  const std::vector<double> r03 = {1, 0.3, 0.3, 1};
  const std::vector<double> collinear = {1, 1, 0.5, 1, 1, 0.5, 0.5, 0.5, 1};
  std::vector<double> identity11(121, 0);
  for (int i = 0; i < 11; ++i) identity11[static_cast<std::size_t>(i * 12)] = 1;
  std::vector<double> identity4(16, 0);
  for (int i = 0; i < 4; ++i) identity4[static_cast<std::size_t>(i * 5)] = 1;
  const NoWeightsCase cases[] = {
      {"no predictors", 0, 1, {1}, {1}, 10, 1, 0},
      {"criterion weights all 0", 1, 1, r03, {0}, 10, 0, 0},
      {"criterion diagonal -1", 1, 1, {1, 0.3, 0.3, -1}, {1}, 10, -1, 0},
      {"criterion variance overflows", 1, 1, {1, 0.3, 0.3, 1e308}, {10}, 10, inf, 0},
      {"predictors correlating 1", 2, 1, collinear, {1}, 10, 1, 2},
      {"both at once", 2, 1, collinear, {0}, 10, 0, 2},
      {"first predictor diagonal 0", 1, 1, {0, 0.3, 0.3, 1}, {1}, 10, 1, 1},
      {"ten predictors", 10, 1, identity11, {1}, 10, 1, 10},
      {"pweight of 2 for 3 predictors", 3, 1, identity4, {1}, 2, 1, 3},
      {"cweight of 1 for 2 criteria", 1, 2, std::vector<double>(9, 0.25), {1}, 10, nan, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CorrMatrix corr = ReadOnly(c.npred, c.ncrit, c.full);
    int32_t npred = c.npred, ncrit = c.ncrit;
    const std::vector<double> cdelta;
    const std::vector<double> untouched(c.pweight_size, 42.0);
    std::vector<double> pweight = untouched;
    RegressionCheck check{-5, -5};
    regwei(corr, c.cweight, npred, ncrit, cdelta, pweight, check);
    if (std::isnan(c.syy)) {
      EXPECT_TRUE(std::isnan(check.syy)) << check.syy;
    } else {
      EXPECT_EQ(check.syy, c.syy);
    }
    EXPECT_EQ(check.info, c.info);
    EXPECT_EQ(pweight, untouched);
    regwei(corr, c.cweight, npred, ncrit, cdelta, pweight);
    EXPECT_EQ(pweight, untouched);
  }
}

TEST(RegressionRegwei, CriteriaBeyondTwentyVariables) {
  CorrMatrix corr;
  corr.fill(0);
  int32_t npred = 5, ncrit = 16;
  const std::vector<double> cweight(16, 1.0), cdelta;
  std::vector<double> pweight(5, 42.0);
  RegressionCheck check;
  regwei(corr, cweight, npred, ncrit, cdelta, pweight, check);
  EXPECT_TRUE(std::isnan(check.syy));
  EXPECT_EQ(pweight, std::vector<double>(5, 42.0));
}

}  // namespace
}  // namespace fourfifths
