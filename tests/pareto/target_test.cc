// The most valid weighting that gives every group an AI of at least the
// target: each answer checked against an independent evaluation (normal tails
// from erfc, the pool's cut-off by bisection) and against a dense search over
// all weightings of small problems, which no weighting it finds may beat; the
// two-group case against the two-group front; the largest smallest AI when
// no weighting reaches the target; the messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fourfifths/groupfront.h"
#include "fourfifths/pareto.h"

namespace fourfifths {
namespace {

using Vec = std::vector<double>;

double upper(double z) {
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

// A weighting's validity and every group's AI against the reference group,
// computed from the problem's numbers alone.
struct Independent {
  const GroupProblem& p;
  double sr;

  int np() const { return p.predictors; }
  double corr(int i, int j) const {
    const int nv = p.predictors + p.criteria;
    return p.correlations[static_cast<std::size_t>(i * nv + j)];
  }
  // The pool's cut-off: sum of p_h Q(x - d_h) = sr, by bisection.
  static double cutoff(const Vec& share, const Vec& d, double sr) {
    double lo = -12;
    double hi = 12;
    for (int k = 0; k < 64; ++k) {
      const double mid = (lo + hi) / 2;
      double s = 0;
      for (std::size_t h = 0; h < d.size(); ++h) s += share[h] * upper(mid - d[h]);
      (s > sr ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
  }
  // Validity, then the AI of each further group.
  std::pair<double, Vec> of(const Vec& w) const {
    double var = 0;
    double cov = 0;
    for (int i = 0; i < np(); ++i) {
      for (int j = 0; j < np(); ++j) var += w[i] * w[j] * (i == j ? 1 : corr(std::min(i, j), std::max(i, j)));
      cov += w[i] * corr(i, np());  // one criterion
    }
    const double sd = std::sqrt(var);
    Vec d = {0};
    for (std::size_t g = 1; g < p.groups.size(); ++g) {
      double e = 0;
      for (int i = 0; i < np(); ++i) e += w[i] * p.groups[g].predictor_effects[i];
      d.push_back(e / sd);
    }
    Vec ai;
    double total = 0;
    for (const Group& g : p.groups) total += g.share;
    if (p.basis == Basis::majority) {
      double lo = -12, hi = 12;
      for (int k = 0; k < 64; ++k) ((upper((lo + hi) / 2) > sr) ? lo : hi) = (lo + hi) / 2;
      for (std::size_t g = 1; g < d.size(); ++g) ai.push_back(upper(lo - d[g]) / upper(lo));
    } else if (p.pool == Pool::joint) {
      Vec share;
      for (const Group& g : p.groups) share.push_back(g.share / total);
      const double x = cutoff(share, d, sr);
      for (std::size_t g = 1; g < d.size(); ++g) ai.push_back(upper(x - d[g]) / upper(x));
    } else {
      for (std::size_t g = 1; g < d.size(); ++g) {
        const double pair = p.groups[0].share + p.groups[g].share;
        const double x = cutoff({p.groups[0].share / pair, p.groups[g].share / pair}, {0, d[g]}, sr);
        ai.push_back(upper(x - d[g]) / upper(x));
      }
    }
    return {cov / sd, ai};
  }
};

// Predictor correlations and validities in the manner of the meta-analytic
// matrix of Bobko, Roth and Potosky (1999): cognitive ability, a structured
// interview, conscientiousness and biodata; the groups' effect sizes are
// illustrative.
GroupProblem battery(int np, std::vector<Vec> effects, Vec shares) {
  const double r[5][5] = {{1, .31, .00, .37, .30},
                          {.31, 1, .12, .16, .30},
                          {.00, .12, 1, .51, .18},
                          {.37, .16, .51, 1, .28},
                          {.30, .30, .18, .28, 1}};
  const int idx[5] = {0, 1, 2, 3, 4};
  GroupProblem p;
  p.predictors = np;
  p.criteria = 1;
  p.criterion_weights = {1};
  const int nv = np + 1;
  for (int i = 0; i < nv; ++i)
    for (int j = 0; j < nv; ++j) {
      const int a = i < np ? idx[i] : 4;
      const int b = j < np ? idx[j] : 4;
      p.correlations.push_back(r[a][b]);
    }
  p.predictor_weights.assign(static_cast<std::size_t>(np), 1.0);
  p.groups.push_back({.name = "reference", .share = shares[0], .predictor_effects = {}, .criterion_effects = {}});
  for (std::size_t g = 0; g < effects.size(); ++g)
    p.groups.push_back({.name = "group" + std::to_string(g + 1),
                        .share = shares[g + 1],
                        .predictor_effects = effects[g],
                        .criterion_effects = {-0.3}});
  return p;
}

// The best validity among sampled weightings with every AI at least target,
// and the largest smallest AI among them.
struct Dense {
  double validity = -2;
  double min_ai = 0;
};

Dense dense_search(const Independent& ind, bool nonnegative, double target, int samples) {
  std::mt19937_64 random(12345);
  std::normal_distribution<double> normal;
  Dense best;
  const int np = ind.np();
  for (int k = 0; k < samples; ++k) {
    Vec w(static_cast<std::size_t>(np));
    for (double& x : w) x = nonnegative ? std::fabs(normal(random)) : normal(random);
    // A quarter of the samples on a face: one weight zero.
    if (k % 4 == 1) w[static_cast<std::size_t>(k / 4 % np)] = 0;
    const auto [v, ai] = ind.of(w);
    const double smallest = *std::min_element(ai.begin(), ai.end());
    best.min_ai = std::max(best.min_ai, smallest);
    if (smallest >= target) best.validity = std::max(best.validity, v);
  }
  return best;
}

struct Case {
  const char* name;
  int np;
  std::vector<Vec> effects;
  Vec shares;
  bool nonnegative;
  Pool pool;
  Basis basis;
  double sr;
  double target;
  bool reached;
  // The search may end without a certified point (the known limit below).
  bool may_fail = false;
};

TEST(MostValidMeeting, BeatsNoWeightingOfADenseSearch) {
#if defined(__SANITIZE_ADDRESS__)
  // 200 000 evaluations a case check numerics, not memory: the plain build runs them.
  GTEST_SKIP() << "the dense search runs in the plain build";
#endif
  const Vec two = {0.7, 0.15, 0.15};
  const std::vector<Vec> black_hispanic = {{-1.0, -0.23, -0.06}, {-0.72, -0.1, 0.04}};
  const Case cases[] = {
      {"joint, non-negative", 3, black_hispanic, two, true, Pool::joint, Basis::overall, 0.2, 0.8, true},
      {"joint, free", 3, black_hispanic, two, false, Pool::joint, Basis::overall, 0.2, 0.8, true},
      {"pairwise", 3, black_hispanic, two, true, Pool::pairwise, Basis::overall, 0.1, 0.8, true},
      {"reference basis", 3, black_hispanic, two, true, Pool::joint, Basis::majority, 0.3, 0.8, true},
      {"a group favoured by the interview", 3, {{-1.0, -0.23, -0.06}, {-0.3, 0.4, -0.5}}, two, true,
       Pool::joint, Basis::overall, 0.15, 0.75, true},
      {"four predictors, three groups", 4,
       {{-1.0, -0.23, -0.06, -0.33}, {-0.72, -0.1, 0.04, -0.2}, {-0.2, -0.3, -0.6, 0.1}},
       {0.6, 0.15, 0.15, 0.1}, true, Pool::joint, Basis::overall, 0.25, 0.7, true, true},
      {"four predictors, three groups, out of reach", 4,
       {{-1.0, -0.23, -0.06, -0.33}, {-0.72, -0.1, 0.04, -0.2}, {-0.2, -0.3, -0.6, 0.1}},
       {0.6, 0.15, 0.15, 0.1}, true, Pool::joint, Basis::overall, 0.25, 0.8, false},
      {"out of reach", 3, {{-1.0, -0.8, -0.9}, {-0.72, -0.1, 0.04}}, two, true, Pool::joint,
       Basis::overall, 0.1, 0.8, false},
      {"out of reach, pairwise", 3, {{-1.0, -0.8, -0.9}, {-0.9, -1.1, -0.7}}, two, true,
       Pool::pairwise, Basis::overall, 0.1, 0.8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GroupProblem p = battery(c.np, c.effects, c.shares);
    p.pool = c.pool;
    p.basis = c.basis;
    const GroupTarget t = most_valid_meeting(
        p, {.sr = c.sr, .target = c.target, .nonnegative = c.nonnegative, .starts = 24, .seed = 1});
    if (c.may_fail && !t.messages.empty()) {
      // Known limit: a feasible region so thin (the target 0.7 just below
      // the largest smallest AI, 0.729) that the active-set search cycles;
      // the failure is reported, never a wrong answer.
      EXPECT_EQ(t.messages[0],
                "No most valid weighting meeting the target could be certified (first-order "
                "conditions to 1e-9)");
      continue;
    }
    ASSERT_TRUE(t.messages.empty()) << t.messages.front();
    EXPECT_EQ(t.reached, c.reached);
    const Independent ind{p, c.sr};
    // The returned point as the independent evaluation sees it.
    const auto [v, ai] = ind.of(t.best.weights);
    EXPECT_NEAR(v, t.best.validity, 1e-9);
    for (std::size_t g = 0; g < ai.size(); ++g) EXPECT_NEAR(ai[g], t.best.ai[g + 1], 1e-9);
    const double smallest = *std::min_element(ai.begin(), ai.end());
    EXPECT_LE(t.best.kkt_residual, 1e-9);
    if (c.nonnegative) {
      for (double w : t.best.weights) EXPECT_GE(w, 0);
    }
    const Dense dense = dense_search(ind, c.nonnegative, c.target, 200000);
    if (c.reached) {
      EXPECT_GE(smallest, c.target - 1e-9);
      EXPECT_LE(dense.validity, t.best.validity + 1e-9);
      EXPECT_GT(dense.validity, t.best.validity - 5e-3);  // the search comes close: the check bites
      EXPECT_LE(t.best.validity, t.most_valid.validity);
    } else {
      EXPECT_LT(smallest, c.target);
      EXPECT_LE(dense.min_ai, t.best.min_ai + 1e-9);
      EXPECT_GT(dense.min_ai, t.best.min_ai - 5e-3);
      ASSERT_FALSE(t.best.binding.empty());
      for (int g : t.best.binding) EXPECT_NEAR(ai[static_cast<std::size_t>(g - 1)], smallest, 1e-9);
    }
  }
}

// With one further group the answer is the two-group front's four-fifths point.
TEST(MostValidMeeting, TwoGroupsAreTheFrontsFourFifthsPoint) {
  for (bool nonnegative : {true, false})
    for (double sr : {0.05, 0.2, 0.5}) {
      SCOPED_TRACE(std::to_string(sr) + (nonnegative ? " non-negative" : " free"));
      const GroupProblem p = battery(4, {{-1.0, -0.23, -0.06, -0.33}}, {0.8, 0.2});
      const Front front = pareto_front(as_problem(p, 1), {.sr = sr, .points = 11, .nonnegative = nonnegative});
      ASSERT_TRUE(front.messages.empty());
      const auto point = std::find_if(front.points.begin(), front.points.end(),
                                      [](const FrontPoint& q) { return q.kind == PointKind::four_fifths; });
      ASSERT_NE(point, front.points.end());
      const GroupTarget t = most_valid_meeting(p, {.sr = sr, .target = 0.8, .nonnegative = nonnegative});
      ASSERT_TRUE(t.messages.empty());
      ASSERT_TRUE(t.reached);
      EXPECT_NEAR(t.best.validity, point->validity, 1e-9);
      EXPECT_NEAR(t.best.ai[1], point->ai, 1e-9);
      for (std::size_t i = 0; i < point->weights.size(); ++i)
        EXPECT_NEAR(t.best.weights[i], point->weights[i], 1e-7);
    }
}

TEST(MostValidMeeting, MostValidWeightingThatMeetsTheTargetIsTheAnswer) {
  // Small effect sizes: the regression weights already give every AI above 0.8.
  const GroupProblem p = battery(3, {{-0.1, -0.05, 0.0}, {0.1, -0.1, 0.0}}, {0.7, 0.15, 0.15});
  const GroupTarget t = most_valid_meeting(p, {.sr = 0.3, .target = 0.8, .nonnegative = false});
  ASSERT_TRUE(t.messages.empty());
  EXPECT_TRUE(t.reached);
  EXPECT_TRUE(t.best.binding.empty());
  EXPECT_EQ(t.best.weights, t.most_valid.weights);
  EXPECT_LE(t.best.kkt_residual, 1e-9);
}

TEST(MostValidMeeting, RefusesWhatItCannotAnswer) {
  GroupProblem p = battery(3, {{-1.0, -0.23, -0.06}}, {0.8, 0.2});
  const struct {
    double target;
    int starts;
    const char* message;
  } cases[] = {{0, 4, "The AI target must lie in (0, 1], got 0"},
               {1.2, 4, "The AI target must lie in (0, 1], got 1.2"},
               {0.8, 0, "The search needs at least 1 start, got 0"}};
  for (const auto& c : cases) {
    const GroupTarget t = most_valid_meeting(p, {.sr = 0.1, .target = c.target, .starts = c.starts});
    ASSERT_EQ(t.messages.size(), 1u);
    EXPECT_EQ(t.messages[0], c.message);
  }
  p.criteria = 0;
  p.criterion_weights.clear();
  p.correlations.resize(9);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) p.correlations[static_cast<std::size_t>(i * 3 + j)] = i == j ? 1 : 0.2;
  p.groups[1].criterion_effects.clear();
  const GroupTarget t = most_valid_meeting(p);
  ASSERT_FALSE(t.messages.empty());
}

}  // namespace
}  // namespace fourfifths
