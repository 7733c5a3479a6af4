// Fronts traced in a validation sample: Browne's expected cross-validated
// squared correlation against values computed in R from the published
// formulas, and the shrunk front against a Monte Carlo of what weights
// fitted in samples of the population actually give on it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "fourfifths/pareto.h"

namespace fourfifths {
namespace {

using Vec = std::vector<double>;

// Browne's (1975) formula with Claudy's (1978) estimate of ρ² and Browne's of
// ρ⁴, evaluated in R 4.2 (`((N-k-3)*r4 + r2) / ((N-2k-2)*r2 + k)`).
TEST(Shrinkage, CrossValidatedSquaredCorrelation) {
  struct Case {
    int n, k;
    double r2, expected;
  };
  const Case cases[] = {
      {100, 4, 0.3, 0.260399108847456},
      {40, 5, 0.6084, 0.528202726242286},
      {150, 4, 0.19, 0.158987543983378},
      {21, 9, 0.5, 0.0183066361556064},
      // Claudy's estimate above R² (one predictor) is taken as R²: Python,
      // the same formulas with ρ² = min(estimate, R²).
      {50, 1, 0.09, 0.08395019455252918},
      {11, 4, 0.7, 0.459233441470668},
      {1000, 9, 0.2, 0.18751163171014},
      {60, 4, 0.01, 0},  // ρ² estimated below 0: none left
      {30, 3, 1, 1},     // a perfect fit stays one
  };
  for (const Case& c : cases)
    EXPECT_NEAR(cross_validated_r2(c.n, c.k, c.r2), c.expected, 1e-13)
        << "n " << c.n << ", k " << c.k << ", R² " << c.r2;
  // New applicants are never promised more than the sample showed, however
  // small the sample the predictors allow.
  for (int k = 1; k <= 3; ++k)
    for (int n = 2 * k + 3; n <= 200; n += 7)
      for (double r2 : {0.01, 0.09, 0.2304, 0.5, 0.9})
        EXPECT_LE(cross_validated_r2(n, k, r2), r2) << "n " << n << ", k " << k << ", R² " << r2;
  // Too small a sample for the predictors, or no correlation at all.
  for (const Case& c : {Case{12, 5, 0.5, 0}, Case{0, 0, 0.5, 0}, Case{30, 3, 1.5, 0}})
    EXPECT_TRUE(std::isnan(cross_validated_r2(c.n, c.k, c.r2))) << c.n << " " << c.k;
}

// The population: De Corte, Lievens & Sackett's (2007) four predictors and
// task performance (within-group correlations), effect sizes minority minus
// majority, a quarter of the applicants from the minority.
constexpr int nv = 5;
const Vec population_r = {1,   .24, 0,   .19, .30, .24, 1,   .12, .16, .30, 0,   .12, 1,
                          .51, .18, .19, .16, .51, 1,   .28, .30, .30, .18, .28, 1};
const Vec population_d = {-1, -.23, -.09, -.33, 0};
constexpr double minority_share = 0.25;
constexpr double sr = 0.10;

Problem problem_of(const Vec& r, const Vec& d) {
  Problem p;
  p.predictors = nv - 1;
  p.criteria = 1;
  p.applicant_ratio = (1 - minority_share) / minority_share;
  p.criterion_weights = {1.0};
  p.correlations = r;
  p.predictor_effects.assign(d.begin(), d.end() - 1);
  p.criterion_effects = {d.back()};
  return p;
}

// Lower Cholesky factor of a positive-definite nv x nv matrix.
Vec cholesky(const Vec& a) {
  Vec l(nv * nv, 0.0);
  for (int i = 0; i < nv; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = a[i * nv + j];
      for (int k = 0; k < j; ++k) s -= l[i * nv + k] * l[j * nv + k];
      l[i * nv + j] = i == j ? std::sqrt(s) : s / l[j * nv + j];
    }
  return l;
}

// The sample's pooled within-group correlations and its effect sizes, from n
// applicants drawn from the population.
Problem sample_problem(int n, const Vec& l, std::mt19937_64& rng) {
  std::normal_distribution<double> normal;
  std::bernoulli_distribution minority(minority_share);
  double count[2] = {0, 0};
  Vec sum(2 * nv, 0.0), cross(2 * nv * nv, 0.0);
  for (int a = 0; a < n; ++a) {
    const int g = minority(rng) ? 1 : 0;
    Vec z(nv), x(nv, 0.0);
    for (double& v : z) v = normal(rng);
    for (int i = 0; i < nv; ++i) {
      for (int k = 0; k <= i; ++k) x[i] += l[i * nv + k] * z[k];
      x[i] += g * population_d[i];
    }
    ++count[g];
    for (int i = 0; i < nv; ++i) {
      sum[g * nv + i] += x[i];
      for (int j = 0; j < nv; ++j) cross[(g * nv + i) * nv + j] += x[i] * x[j];
    }
  }
  Vec cov(nv * nv, 0.0);
  for (int g = 0; g < 2; ++g)
    for (int i = 0; i < nv; ++i)
      for (int j = 0; j < nv; ++j)
        cov[i * nv + j] +=
            cross[(g * nv + i) * nv + j] - sum[g * nv + i] * sum[g * nv + j] / count[g];
  Vec r(nv * nv), d(nv);
  for (int i = 0; i < nv; ++i) {
    for (int j = 0; j < nv; ++j)
      r[i * nv + j] = cov[i * nv + j] / std::sqrt(cov[i * nv + i] * cov[j * nv + j]);
    const double sd = std::sqrt(cov[i * nv + i] / (n - 2));
    d[i] = (sum[nv + i] / count[1] - sum[i] / count[0]) / sd;
  }
  return problem_of(r, d);
}

// Validity and effect size of weights on the population.
std::pair<double, double> on_population(const Vec& w) {
  double var = 0, v = 0, e = 0;
  for (int i = 0; i < nv - 1; ++i) {
    for (int j = 0; j < nv - 1; ++j) var += w[i] * population_r[i * nv + j] * w[j];
    v += w[i] * population_r[i * nv + nv - 1];
    e += w[i] * population_d[i];
  }
  return {v / std::sqrt(var), e / std::sqrt(var)};
}

// AI of a composite with effect size d at the overall ratio sr: the cut-off
// by bisection on normal tails from erfc.
double adverse_impact(double d) {
  auto tail = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
  double lo = -8, hi = 8;
  for (int k = 0; k < 200; ++k) {
    const double x = (lo + hi) / 2;
    ((1 - minority_share) * tail(x) + minority_share * tail(x - d) > sr ? lo : hi) = x;
  }
  return tail(lo - d) / tail(lo);
}

struct Mean {
  double n = 0, sum = 0, sum2 = 0;
  void add(double x) { ++n, sum += x, sum2 += x * x; }
  double mean() const { return sum / n; }
  double se() const { return std::sqrt((sum2 / n - mean() * mean()) / (n - 1)); }
};

// Two predictors whose effect sizes differ in sign, correlated .2, validities
// .5 and .2, effect sizes -.8 and +.3: the least-impact end is parity, and the
// weighting most favourable to the minority, the far end of the trade-off,
// lies beyond it (found here on a fine grid of directions, free or
// non-negative). The least-impact end's shrunk values recomputed from the
// formulas: validity and correlation with membership interpolated between the
// most valid end (its validity shrunk) and the far end (its correlation with
// membership shrunk).
TEST(Shrinkage, FarEndBeyondParity) {
  const double r12 = 0.2, v[2] = {0.5, 0.2}, d[2] = {-0.8, 0.3};
  Problem p;
  p.predictors = 2;
  p.criteria = 1;
  p.applicant_ratio = (1 - minority_share) / minority_share;
  p.criterion_weights = {1.0};
  p.correlations = {1, r12, v[0], r12, 1, v[1], v[0], v[1], 1};
  p.predictor_effects = {d[0], d[1]};
  p.criterion_effects = {0};
  constexpr int n = 100;
  const double pq = minority_share * (1 - minority_share);
  auto membership = [&](double e) { return e * std::sqrt(pq) / std::sqrt(1 + e * e * pq); };
  for (const bool nonnegative : {false, true}) {
    SCOPED_TRACE(nonnegative ? "non-negative" : "free");
    const Front front = pareto_front(p, {.sr = sr, .nonnegative = nonnegative, .sample_size = n});
    ASSERT_TRUE(front.messages.empty()) << front.messages[0];
    // The far end: the largest composite effect size over the directions.
    double far_v = 0, far_d = -1e9;
    for (int k = 0; k <= 200000; ++k) {
      const double angle = (nonnegative ? 0.5 : 2.0) * std::numbers::pi * k / 200000;
      const double w1 = std::cos(angle), w2 = std::sin(angle);
      const double sd = std::sqrt(w1 * w1 + w2 * w2 + 2 * r12 * w1 * w2);
      if ((w1 * d[0] + w2 * d[1]) / sd > far_d) {
        far_d = (w1 * d[0] + w2 * d[1]) / sd;
        far_v = (w1 * v[0] + w2 * v[1]) / sd;
      }
    }
    const FrontPoint& top = front.points.front();
    const FrontPoint& end = front.points.back();
    ASSERT_NEAR(end.ai, 1, 1e-9);
    const double top_v = std::sqrt(cross_validated_r2(n, 2, top.validity * top.validity));
    EXPECT_NEAR(top.shrunk_validity, top_v, 1e-12);
    EXPECT_NEAR(top.shrunk_ai, top.ai, 1e-9);
    const double t = (end.validity - top.validity) / (far_v - top.validity);
    EXPECT_NEAR(end.shrunk_validity, top_v + t * (far_v - top_v), 1e-6);
    const double u0 = membership(top.composite_d), uf = membership(far_d);
    const double uf_shrunk = uf - (std::fabs(uf) - std::sqrt(cross_validated_r2(n, 2, uf * uf)));
    const double u = uf_shrunk + (membership(end.composite_d) - uf) / (u0 - uf) * (u0 - uf_shrunk);
    EXPECT_NEAR(end.shrunk_ai, adverse_impact(u / std::sqrt((1 - u * u) * pq)), 1e-6);
    EXPECT_LT(end.shrunk_ai, 0.99);
  }
}

// Samples too small for the predictors, and what the formulas cannot do.
TEST(Shrinkage, Refusals) {
  Problem majority = problem_of(population_r, population_d);
  majority.basis = Basis::majority;
  struct Case {
    Problem problem;
    int n, k;
    const char* message;
  };
  const Case cases[] = {
      {problem_of(population_r, population_d), 10, 0,
       "A validation sample of 10 is too small for 4 predictors: the shrinkage formulas need at "
       "least 2K + 3 = 11"},
      {problem_of(population_r, population_d), 20, 9,
       "A validation sample of 20 is too small for 9 predictors screened: the shrinkage formulas "
       "need at least 2K + 3 = 21"},
      {problem_of(population_r, population_d), 100, 3,
       "The predictors screened must be at least the front's 4 predictors, got 3"},
      {problem_of(population_r, population_d), -5, 0,
       "The validation sample size must be positive (0 for population values), got -5"},
      {majority, 100, 0, "Shrinkage on the front needs the overall basis"},
  };
  for (const Case& c : cases) {
    const Front front = pareto_front(c.problem, {.sample_size = c.n, .predictors_screened = c.k});
    ASSERT_EQ(front.messages.size(), 1u) << c.message;
    EXPECT_EQ(front.messages[0].rfind(c.message, 0), 0u) << front.messages[0];
  }
  // The smallest sample allowed has its front; without a sample, no shrunk values.
  const Front smallest = pareto_front(problem_of(population_r, population_d), {.sample_size = 11});
  ASSERT_TRUE(smallest.messages.empty()) << smallest.messages[0];
  EXPECT_TRUE(std::isfinite(smallest.points.front().shrunk_ai));
  const Front population = pareto_front(problem_of(population_r, population_d));
  ASSERT_TRUE(population.messages.empty());
  for (const FrontPoint& p : population.points)
    EXPECT_TRUE(std::isnan(p.shrunk_validity) && std::isnan(p.shrunk_ai));
}

// Samples of 150 applicants from the population: each sample's own front
// (free weights and non-negative), shrunk by the formulas, against its
// weights evaluated on the population. At the most valid end, a regression,
// Browne's formula is the expected cross-validated validity: the two means
// agree within three standard errors of their paired difference. Elsewhere
// the interpolation between the ends is an approximation: there the validity
// agrees within .03 (the samples show .014 at most), and the AI is lowered
// towards what the samples' weights give, short of it by .11 at most (it
// recovers from half to all of the drop the samples show).
TEST(Shrinkage, AgainstWeightsFittedInSamples) {
  const Vec l = cholesky(population_r);
  constexpr int n = 150;
  constexpr int samples = 3000;
  for (const bool nonnegative : {false, true}) {
    std::mt19937_64 rng(20261208);
    const PointKind kinds[] = {PointKind::max_validity, PointKind::four_fifths,
                               PointKind::min_impact};
    Mean validity_gap[3], ai_gap[3], sample_ai[3], population_ai[3], shrunk_ai[3];
    for (int s = 0; s < samples; ++s) {
      const Front front = pareto_front(sample_problem(n, l, rng),
                                       {.sr = sr, .nonnegative = nonnegative, .sample_size = n});
      ASSERT_TRUE(front.messages.empty()) << front.messages[0];
      for (int k = 0; k < 3; ++k)
        for (const FrontPoint& p : front.points)
          if (p.kind == kinds[k]) {
            const auto [v, d] = on_population(p.weights);
            validity_gap[k].add(v - p.shrunk_validity);
            const double ai = adverse_impact(d);
            ai_gap[k].add(ai - p.shrunk_ai);
            sample_ai[k].add(p.ai);
            population_ai[k].add(ai);
            shrunk_ai[k].add(p.shrunk_ai);
            break;
          }
    }
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(std::string(nonnegative ? "non-negative, " : "free, ") + name_of(kinds[k]));
      ASSERT_GT(validity_gap[k].n, samples / 2);
      if (k == 0) {
        EXPECT_LE(std::fabs(validity_gap[k].mean()), 3 * validity_gap[k].se());
      }
      EXPECT_LE(std::fabs(validity_gap[k].mean()), 0.03);
      // Fitting overstates the AI: the formula lowers it, towards what the
      // samples' weights show on the population.
      EXPECT_LE(shrunk_ai[k].mean(), sample_ai[k].mean());
      EXPECT_LE(std::fabs(ai_gap[k].mean()), 0.11);
    }
  }
}

}  // namespace
}  // namespace fourfifths
