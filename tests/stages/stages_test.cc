// Staged selection: the orthant probabilities and Tallis moments against
// Simpson integration written here, staged studies against Monte Carlo from
// the raw predictor and criterion scores (a fixed seed, tolerances from the
// standard error), the reductions to a single stage, and the messages of
// designs that cannot be analysed.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fourfifths/stages.h"
#include "stages/orthant.h"

namespace fourfifths {
namespace {

double tail(double x) {
  return 0.5 * std::erfc(x / std::sqrt(2.0));
}

double pdf(double x) {
  return std::exp(-0.5 * x * x) / std::sqrt(2 * M_PI);
}

// Composite Simpson rule of n (even) panels.
double simpson(const std::function<double(double)>& f, double lo, double hi, int n) {
  const double h = (hi - lo) / n;
  double s = f(lo) + f(hi);
  for (int i = 1; i < n; ++i) s += (i % 2 ? 4 : 2) * f(lo + i * h);
  return s * h / 3;
}

double upper_end(double a) {
  return std::max(a, 0.0) + 12;
}

// ---- Orthants ----------------------------------------------------------------

struct OrthantCase {
  std::vector<double> a;
  double r12, r13, r23;
  std::vector<double> ry;  // correlations of Y with X1..Xk
};

// The bivariate standard normal density.
double pdf2(double x, double y, double r) {
  const double s = 1 - r * r;
  return std::exp(-(x * x - 2 * r * x * y + y * y) / (2 * s)) / (2 * M_PI * std::sqrt(s));
}

// P(X >= a) and E[Y 1{X >= a}] by Simpson integration: two dimensions as one
// integral over X1 of the conditional tail of X2; three as a double integral
// over X1, X2 of the conditional tail of X3 (and Y's conditional mean on it).
void integrate(const OrthantCase& c, double& p, double& moment) {
  const double a1 = std::max(c.a[0], -11.0);
  if (c.a.size() == 2) {
    const double s = std::sqrt(1 - c.r12 * c.r12);
    p = simpson([&](double x) { return pdf(x) * tail((c.a[1] - c.r12 * x) / s); }, a1, upper_end(a1),
                4000);
    // E[Y 1] = int int pdf2 (b1 x1 + b2 x2), b the regression of Y on X.
    const double b1 = (c.ry[0] - c.r12 * c.ry[1]) / (1 - c.r12 * c.r12);
    const double b2 = (c.ry[1] - c.r12 * c.ry[0]) / (1 - c.r12 * c.r12);
    const double a2 = std::max(c.a[1], -11.0);
    moment = simpson(
        [&](double x1) {
          return simpson([&](double x2) { return pdf2(x1, x2, c.r12) * (b1 * x1 + b2 * x2); }, a2,
                         upper_end(a2), 1200);
        },
        a1, upper_end(a1), 1200);
    return;
  }
  // X3 and Y given X1 = x1, X2 = x2: regressions on (X1, X2).
  const double det = 1 - c.r12 * c.r12;
  auto coef = [&](double u1, double u2, double& b1, double& b2) {
    b1 = (u1 - c.r12 * u2) / det;
    b2 = (u2 - c.r12 * u1) / det;
  };
  double g1, g2, h1, h2;
  coef(c.r13, c.r23, g1, g2);      // X3 on X1, X2
  coef(c.ry[0], c.ry[1], h1, h2);  // Y on X1, X2
  const double v3 = 1 - (g1 * c.r13 + g2 * c.r23);
  const double cy3 = c.ry[2] - (h1 * c.r13 + h2 * c.r23);  // cov(Y, X3 | X1, X2)
  const double s3 = std::sqrt(v3);
  const double a2 = std::max(c.a[1], -11.0);
  double pm = 0;
  p = simpson(
      [&](double x1) {
        return simpson(
            [&](double x2) {
              return pdf2(x1, x2, c.r12) * tail((c.a[2] - g1 * x1 - g2 * x2) / s3);
            },
            a2, upper_end(a2), 1000);
      },
      a1, upper_end(a1), 1000);
  pm = simpson(
      [&](double x1) {
        return simpson(
            [&](double x2) {
              const double t = (c.a[2] - g1 * x1 - g2 * x2) / s3;
              const double my = h1 * x1 + h2 * x2;
              return pdf2(x1, x2, c.r12) * (my * tail(t) + cy3 / s3 * pdf(t));
            },
            a2, upper_end(a2), 1000);
      },
      a1, upper_end(a1), 1000);
  moment = pm;
}

TEST(Orthant, AgreesWithIntegrationInTwoAndThreeDimensions) {
  const std::vector<OrthantCase> cases = {
      {{0.0, 0.0}, 0.5, 0, 0, {0.4, 0.3}},
      {{0.3, -0.7}, 0.6, 0, 0, {0.5, 0.2}},
      {{-1.2, 1.5}, -0.4, 0, 0, {0.3, 0.6}},
      {{2.0, 2.5}, 0.9, 0, 0, {0.2, 0.4}},
      {{0.0, 1.0}, 0.3, 0, 0, {0.1, -0.2}},
      {{-3.0, -2.0}, 0.0, 0, 0, {0.5, 0.5}},
      {{0.2, -0.4, 0.6}, 0.5, 0.3, 0.4, {0.4, 0.3, 0.5}},
      {{-1.0, 0.0, 1.2}, 0.7, 0.6, 0.8, {0.3, 0.5, 0.4}},
      {{1.5, 0.5, -0.5}, -0.2, 0.4, 0.1, {0.2, 0.1, 0.3}},
      {{0.0, 0.0, 0.0}, 0.6, 0.6, 0.6, {0.5, 0.4, 0.3}},
  };
  for (const OrthantCase& c : cases) {
    Orthant o;
    o.k = static_cast<int>(c.a.size());
    std::array<double, 3> ry{};
    for (int i = 0; i < o.k; ++i) {
      o.a[i] = c.a[i];
      o.r[i][i] = 1;
      ry[i] = c.ry[i];
    }
    o.r[0][1] = o.r[1][0] = c.r12;
    o.r[0][2] = o.r[2][0] = c.r13;
    o.r[1][2] = o.r[2][1] = c.r23;
    double p, m;
    integrate(c, p, m);
    // Simpson's error at these steps is below 1e-9 for these smooth integrands.
    EXPECT_NEAR(orthant_probability(o), p, 1e-9) << o.k << " dimensions, a0 " << c.a[0];
    EXPECT_NEAR(orthant_moment(o, ry), m, 1e-8) << o.k << " dimensions, a0 " << c.a[0];
  }
}

TEST(Orthant, BivariateEdgesHaveTheirClosedForms) {
  // Sheppard: P(X >= 0, Y >= 0) = 1/4 + asin(rho) / (2 pi); independence; rho = +-1.
  for (double rho : {-0.9, -0.3, 0.0, 0.45, 0.99})
    EXPECT_NEAR(bivariate_upper(0, 0, rho), 0.25 + std::asin(rho) / (2 * M_PI), 1e-15);
  EXPECT_NEAR(bivariate_upper(0.7, -1.1, 0), tail(0.7) * tail(-1.1), 1e-15);
  EXPECT_NEAR(bivariate_upper(0.0, -1.1, 0), 0.5 * tail(-1.1), 1e-15);
  EXPECT_NEAR(bivariate_upper(0.7, 0.2, 1), tail(0.7), 1e-15);
  EXPECT_NEAR(bivariate_upper(-0.7, -0.2, -1), tail(-0.7) - tail(0.2), 1e-15);
  EXPECT_EQ(bivariate_upper(0.7, 0.2, -1), 0);
}

// At zero thresholds the trivariate orthant has a closed form (Steck 1958):
// P(X >= 0) = 1/8 + (asin r12 + asin r13 + asin r23) / (4 pi). Positive,
// mixed, strongly negative and nearly singular correlations, so that both the
// reduction and the conditional integration it falls back on are met.
TEST(Orthant, TrivariateAtZeroIsSteckClosedForm) {
  const std::vector<std::array<double, 3>> correlations = {
      {0.5, 0.5, 0.5},   {0.9, 0.8, 0.75},   {-0.4, 0.3, 0.2},   {0.1, -0.2, 0.05},
      {-0.45, -0.45, -0.05}, {0.99, 0.98, 0.97}, {0.7, -0.6, -0.3}, {-0.49, -0.49, -0.02}};
  for (const auto& r : correlations) {
    Orthant o;
    o.k = 3;
    o.r = {{{1, r[0], r[1]}, {r[0], 1, r[2]}, {r[1], r[2], 1}}};
    const double exact = 0.125 + (std::asin(r[0]) + std::asin(r[1]) + std::asin(r[2])) / (4 * M_PI);
    EXPECT_NEAR(orthant_probability(o), exact, 1e-13) << r[0] << " " << r[1] << " " << r[2];
  }
}

// ---- Staged studies ----------------------------------------------------------

// Three predictors and one criterion; groups A (reference), B and C.
GroupProblem pool(int groups) {
  GroupProblem p;
  p.predictors = 3;
  p.criteria = 1;
  p.predictor_names = {"cognitive", "biodata", "interview"};
  p.criterion_names = {"performance"};
  p.criterion_weights = {1};
  p.correlations = {1.0, 0.3, 0.25, 0.5,  //
                    0.3, 1.0, 0.2,  0.35,  //
                    0.25, 0.2, 1.0, 0.4,  //
                    0.5, 0.35, 0.4, 1.0};
  p.groups = {{"A", 0.6, {}, {}},
              {"B", 0.25, {-1.0, -0.3, -0.5}, {-0.45}},
              {"C", 0.15, {-0.6, 0.2, -0.2}, {-0.3}}};
  p.groups.resize(static_cast<std::size_t>(groups));
  return p;
}

StagedProblem design(int groups, int stages) {
  StagedProblem s;
  s.groups = pool(groups);
  s.stages = {{"screen", {0.2, 1.0, 0.0}, PassRule::entrants, 0.5},
              {"test", {1.0, 0.0, 0.3}, PassRule::entrants, 0.6},
              {"interview", {0.5, 0.3, 1.0}, PassRule::cumulative, 0.1}};
  s.stages.resize(static_cast<std::size_t>(stages));
  if (stages == 2) s.stages[1] = {"test", {1.0, 0.0, 0.3}, PassRule::cumulative, 0.15};
  return s;
}

// Monte Carlo from the raw scores: each group's predictors and criterion
// drawn N(effects, R) through the Cholesky factor, each stage composite and
// the criterion composite standardized by its within-group deviation, the
// study's cut-offs applied in turn.
void check_by_simulation(const StagedProblem& problem, const StagedStudy& study) {
  const GroupProblem& gp = problem.groups;
  const int nv = gp.predictors + gp.criteria;
  std::vector<double> L(static_cast<std::size_t>(nv * nv), 0.0);
  for (int i = 0; i < nv; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = gp.correlations[i * nv + j];
      for (int k = 0; k < j; ++k) s -= L[i * nv + k] * L[j * nv + k];
      L[i * nv + j] = i == j ? std::sqrt(s) : s / L[j * nv + j];
    }
  auto sd_of = [&](const std::vector<double>& w, int first) {
    double v = 0;
    for (std::size_t i = 0; i < w.size(); ++i)
      for (std::size_t j = 0; j < w.size(); ++j)
        v += w[i] * w[j] * gp.correlations[(first + i) * nv + first + j];
    return std::sqrt(v);
  };
  const std::size_t k = problem.stages.size();
  std::mt19937_64 rng(20261208);
  std::normal_distribution<double> z;
  const int n = 400000;
  for (std::size_t g = 0; g < gp.groups.size(); ++g) {
    const Group& group = gp.groups[g];
    std::vector<double> mean(static_cast<std::size_t>(nv), 0.0);
    for (int i = 0; i < gp.predictors && !group.predictor_effects.empty(); ++i)
      mean[i] = group.predictor_effects[i];
    if (!group.criterion_effects.empty()) mean[gp.predictors] = group.criterion_effects[0];
    std::vector<long> in(k, 0);
    double ysum = 0, ysq = 0;
    std::vector<double> u(static_cast<std::size_t>(nv)), x(static_cast<std::size_t>(nv));
    for (int a = 0; a < n; ++a) {
      for (auto& e : u) e = z(rng);
      for (int i = 0; i < nv; ++i) {
        x[i] = mean[i];
        for (int j = 0; j <= i; ++j) x[i] += L[i * nv + j] * u[j];
      }
      bool still = true;
      for (std::size_t s = 0; s < k && still; ++s) {
        const std::vector<double>& w = problem.stages[s].weights;
        double c = 0;
        for (std::size_t i = 0; i < w.size(); ++i) c += w[i] * x[i];
        still = c / sd_of(w, 0) >= study.staged.stages[s].cutoff;
        if (still) ++in[s];
      }
      if (still) {
        const double y = x[gp.predictors] / sd_of(gp.criterion_weights, gp.predictors);
        ysum += y;
        ysq += y * y;
      }
    }
    for (std::size_t s = 0; s < k; ++s) {
      const double share = static_cast<double>(in[s]) / n;
      const double se = std::sqrt(share * (1 - share) / n);
      EXPECT_NEAR(study.staged.stages[s].groups[g].cumulative, share, 4.5 * se)
          << "group " << g << " stage " << s;
    }
    const double m = ysum / static_cast<double>(in[k - 1]);
    const double se = std::sqrt((ysq / static_cast<double>(in[k - 1]) - m * m) / static_cast<double>(in[k - 1]));
    EXPECT_NEAR(study.staged.quality[g], m, 4.5 * se) << "group " << g;
  }
}

TEST(Staged, AgreesWithSimulationOfTheRawScores) {
  for (auto [groups, stages] : {std::pair{2, 2}, {3, 2}, {2, 3}, {3, 3}}) {
    const StagedProblem problem = design(groups, stages);
    const StagedStudy study = analyse(problem);
    ASSERT_FALSE(study.rejected()) << study.messages[0];
    SCOPED_TRACE(std::to_string(groups) + " groups, " + std::to_string(stages) + " stages");
    check_by_simulation(problem, study);
  }
}

TEST(Staged, CutOffsMeetTheirRulesOnThePool) {
  const StagedProblem problem = design(3, 3);
  const StagedStudy study = analyse(problem);
  ASSERT_FALSE(study.rejected());
  const std::vector<double> p = {0.6, 0.25, 0.15};
  double before = 1;
  for (std::size_t s = 0; s < 3; ++s) {
    const StageValues& v = study.staged.stages[s];
    double pool = 0, top = 0;
    for (std::size_t g = 0; g < 3; ++g) {
      pool += p[g] * v.groups[g].cumulative;
      top = std::max(top, v.groups[g].pass);
    }
    const Stage& rule = problem.stages[s];
    EXPECT_NEAR(pool, rule.rule == PassRule::entrants ? rule.value * before : rule.value, 1e-12);
    for (std::size_t g = 0; g < 3; ++g) {
      EXPECT_NEAR(v.groups[g].ai, v.groups[g].pass / v.groups[0].pass, 1e-15);
      EXPECT_NEAR(v.groups[g].ai_highest, v.groups[g].pass / top, 1e-15);
    }
    before = pool;
  }
  // The single stage selects as many in all.
  EXPECT_NEAR(study.single.stages[0].cumulative, 0.1, 1e-12);
}

TEST(Staged, OneStagePassingEveryoneIsTheSingleStageStudy) {
  for (int groups : {2, 3}) {
    // The reference basis puts the cut-off where the reference group's ratio
    // is 0.3 exactly, so the groups study's values are those at that cut-off.
    GroupProblem single = pool(groups);
    single.basis = Basis::majority;
    single.predictor_weights = {1.0, 0.0, 0.3};
    single.requested_ratios = {0.3};
    const GroupStudy expected = analyse(single);
    ASSERT_FALSE(expected.rejected());
    const GroupRow& row = expected.rows.back();

    StagedProblem problem;
    problem.groups = pool(groups);
    problem.stages = {{"everyone", {0.2, 1.0, 0.0}, PassRule::entrants, 1.0},
                      {"test", {1.0, 0.0, 0.3}, PassRule::cutoff, row.groups[0].cutoff}};
    const StagedStudy study = analyse(problem);
    ASSERT_FALSE(study.rejected()) << study.messages[0];
    double selected = 0, quality = 0;
    for (std::size_t g = 0; g < row.groups.size(); ++g) {
      const StageGroup& first = study.staged.stages[0].groups[g];
      const StageGroup& last = study.staged.stages[1].groups[g];
      const GroupValues& v = row.groups[g];
      EXPECT_EQ(first.cumulative, 1);
      EXPECT_NEAR(last.cumulative, v.sr, 1e-12 * v.sr);
      EXPECT_NEAR(last.ai_cumulative, v.ai, 1e-12);
      EXPECT_NEAR(last.ai_cumulative_highest, v.ai_highest, 1e-12);
      EXPECT_NEAR(study.staged.quality[g], v.quality, 1e-12);
      selected += problem.groups.groups[g].share * v.sr;
      quality += problem.groups.groups[g].share * v.sr * v.quality;
    }
    EXPECT_NEAR(study.staged.quality_all, quality / selected, 1e-12);
    // The single stage beside it is the same selection.
    for (std::size_t g = 0; g < row.groups.size(); ++g)
      EXPECT_NEAR(study.single.stages[0].groups[g].cumulative, row.groups[g].sr, 1e-12);
  }
}

TEST(Staged, TwoStagesOnOneCompositeAreOneAtTheStricterCutOff) {
  const std::vector<double> w = {1.0, 0.0, 0.3};
  const std::vector<double> twice = {2.0, 0.0, 0.6};  // the same composite, standardized
  for (int groups : {2, 3}) {
    StagedProblem two;
    two.groups = pool(groups);
    two.stages = {{"first", w, PassRule::entrants, 0.5}, {"second", twice, PassRule::entrants, 0.4}};
    StagedProblem one = two;
    one.stages = {{"only", w, PassRule::cumulative, 0.2}};
    const StagedStudy a = analyse(two);
    const StagedStudy b = analyse(one);
    ASSERT_FALSE(a.rejected() || b.rejected());
    EXPECT_NEAR(a.staged.stages[1].cutoff, b.staged.stages[0].cutoff, 1e-12);
    for (std::size_t g = 0; g < static_cast<std::size_t>(groups); ++g) {
      EXPECT_NEAR(a.staged.stages[1].groups[g].cumulative, b.staged.stages[0].groups[g].cumulative,
                  1e-12);
      EXPECT_NEAR(a.staged.quality[g], b.staged.quality[g], 1e-12);
    }
    // A given cut-off below the first stage's changes nothing.
    two.stages[1] = {"second", twice, PassRule::cutoff, a.staged.stages[0].cutoff - 0.5};
    const StagedStudy c = analyse(two);
    ASSERT_FALSE(c.rejected());
    EXPECT_EQ(c.staged.stages[1].pass, 1);
  }
}

TEST(Staged, DesignsThatCannotBeAnalysedAreNamedByStage) {
  struct Case {
    std::function<void(StagedProblem&)> change;
    std::string message;
  };
  const std::vector<Case> cases = {
      {[](StagedProblem& p) { p.stages.push_back({"fourth", {1, 1, 1}, PassRule::entrants, 0.5}); },
       "A staged study has at most 3 stages: the probabilities of more are not computed exactly "
       "(Stage 4 'fourth' and on)"},
      {[](StagedProblem& p) { p.stages.clear(); }, "A staged study needs at least one stage"},
      {[](StagedProblem& p) { p.stages[1].value = 0; },
       "Stage 2 'test': the share of its entrants who pass must lie in (0, 1], not 0"},
      {[](StagedProblem& p) { p.stages[2].value = 1.5; },
       "Stage 3 'interview': the share of all applicants still in after it must lie in (0, 1], not 1.5"},
      {[](StagedProblem& p) { p.stages[1].weights = {0, 0, 0}; },
       "Stage 2 'test': Variance of the weighted predictor combination is not a positive finite "
       "number"},
      {[](StagedProblem& p) { p.stages[0].weights = {1, 0}; },
       "Stage 1 'screen': expected 3 weights, got 2"},
      {[](StagedProblem& p) { p.stages[2].value = 0.4; },
       "Stage 3 'interview': keeps 0.4 of all applicants, more than the 0.3 still in before it"},
      {[](StagedProblem& p) { p.stages[0] = {"screen", {0.2, 1.0, 0.0}, PassRule::cutoff, 45}; },
       "Stage 1 'screen': its cut-off 45 leaves nobody"},
      {[](StagedProblem& p) { p.minimum = 0.2; },
       "Stage 3 'interview': leaves 0.1 of all applicants, fewer than the minimum 0.2"},
      {[](StagedProblem& p) { p.stages[1].weights = {-0.2, -1.0, 0.0}; },
       "Stage 2 'test': its composite is the reverse of Stage 1 'screen''s, so the two hurdles "
       "select from opposite ends of one score"},
      {[](StagedProblem& p) { p.stages[1].name = "screen"; }, "Stage name 'screen' is given twice"},
      {[](StagedProblem& p) { p.groups.basis = Basis::majority; },
       "A staged study solves its cut-offs on the pool of all groups: give the groups' shares (the "
       "overall basis)"},
  };
  for (const Case& c : cases) {
    StagedProblem problem = design(3, 3);
    c.change(problem);
    const StagedStudy study = analyse(problem);
    ASSERT_TRUE(study.rejected()) << c.message;
    EXPECT_EQ(study.messages[0], c.message);
    EXPECT_TRUE(study.staged.stages.empty() && study.single.stages.empty());
  }
}

}  // namespace
}  // namespace fourfifths
