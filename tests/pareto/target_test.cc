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
#include "fourfifths/groups.h"
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

// With one further group the front is the two-group front, point for point.
TEST(GroupFront, TwoGroupsAreTheTwoGroupFront) {
  const struct {
    const char* name;
    Vec effects;
  } problems[] = {{"every effect negative", {-1.0, -0.23, -0.06, -0.33}},
                  {"one effect positive", {-1.0, -0.23, 0.1, -0.33}}};
#if defined(__SANITIZE_ADDRESS__)
  // Twelve fronts take a minute under the sanitizers: one ratio and fewer points check memory there.
  const std::vector<double> ratios = {0.2};
  const int points = 5;
#else
  const std::vector<double> ratios = {0.05, 0.2, 0.5};
  const int points = 11;
#endif
  for (const auto& problem : problems)
    for (bool nonnegative : {true, false})
      for (double sr : ratios) {
        SCOPED_TRACE(std::string(problem.name) + ", " + std::to_string(sr) +
                     (nonnegative ? " non-negative" : " free"));
        const GroupProblem p = battery(4, {problem.effects}, {0.8, 0.2});
        const Front two = pareto_front(as_problem(p, 1), {.sr = sr, .points = points, .nonnegative = nonnegative});
        const GroupFront several = pareto_front(p, {.sr = sr, .points = points, .nonnegative = nonnegative});
        ASSERT_TRUE(two.messages.empty());
        ASSERT_TRUE(several.messages.empty()) << several.messages.front();
        ASSERT_EQ(several.points.size(), two.points.size());
        for (std::size_t k = 0; k < two.points.size(); ++k) {
          SCOPED_TRACE(k);
          const GroupWeighting& w = several.points[k].weighting;
          EXPECT_EQ(several.points[k].kind, two.points[k].kind);
          EXPECT_NEAR(w.ai[1], two.points[k].ai, 1e-9);
          EXPECT_NEAR(w.validity, two.points[k].validity, 1e-9);
          EXPECT_LE(w.kkt_residual, 1e-9);
        }
      }
}

// Weightings sampled over the whole space, with their validity and AIs.
std::vector<std::pair<double, Vec>> samples(const Independent& ind, bool nonnegative, int count) {
  std::mt19937_64 random(777);
  std::normal_distribution<double> normal;
  std::vector<std::pair<double, Vec>> out;
  for (int k = 0; k < count; ++k) {
    Vec w(static_cast<std::size_t>(ind.np()));
    for (double& x : w) x = nonnegative ? std::fabs(normal(random)) : normal(random);
    if (k % 4 == 1) w[static_cast<std::size_t>(k / 4 % ind.np())] = 0;
    out.push_back(ind.of(w));
  }
  return out;
}

// Every point of a front of two further groups, as an independent evaluation
// sees it: its AIs, its validity, its place on the front, and no sampled
// weighting with as large a smallest AI that is more valid.
TEST(GroupFront, NoSampledWeightingBeatsAPoint) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the dense search runs in the plain build";
#endif
  const std::vector<Vec> black_hispanic = {{-1.0, -0.23, -0.06}, {-0.72, -0.1, 0.04}};
  const struct {
    const char* name;
    bool nonnegative;
    Pool pool;
    double sr;
  } cases[] = {{"joint, non-negative", true, Pool::joint, 0.2},
               {"joint, free", false, Pool::joint, 0.1},
               {"pairwise, non-negative", true, Pool::pairwise, 0.15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GroupProblem p = battery(3, black_hispanic, {0.7, 0.15, 0.15});
    p.pool = c.pool;
    const GroupFront front = pareto_front(p, {.sr = c.sr, .points = 9, .nonnegative = c.nonnegative});
    ASSERT_TRUE(front.messages.empty()) << front.messages.front();
    const Independent ind{p, c.sr};
    const auto sampled = samples(ind, c.nonnegative, 100000);
    const GroupWeighting& first = front.points.front().weighting;
    const GroupWeighting& last = front.points.back().weighting;
    int interior = 0;
    for (std::size_t k = 0; k < front.points.size(); ++k) {
      SCOPED_TRACE(k);
      const GroupWeighting& w = front.points[k].weighting;
      const auto [v, ai] = ind.of(w.weights);
      EXPECT_NEAR(v, w.validity, 1e-9);
      for (std::size_t g = 0; g < ai.size(); ++g) EXPECT_NEAR(ai[g], w.ai[g + 1], 1e-9);
      const double smallest = *std::min_element(ai.begin(), ai.end());
      EXPECT_LE(w.kkt_residual, 1e-9);
      if (front.points[k].kind == PointKind::interior) {
        ++interior;
        EXPECT_NEAR(smallest, first.min_ai + (last.min_ai - first.min_ai) * interior / 8, 1e-9);
      }
      if (k > 0) {
        EXPECT_LE(w.validity, front.points[k - 1].weighting.validity + 1e-12);
      }
      double beaten = -2;
      for (const auto& [sv, sai] : sampled)
        if (*std::min_element(sai.begin(), sai.end()) >= smallest) beaten = std::max(beaten, sv);
      EXPECT_LE(beaten, w.validity + 1e-9);
    }
    EXPECT_EQ(interior, 7);
    const auto target = std::find_if(front.points.begin(), front.points.end(), [](const GroupFrontPoint& q) {
      return q.kind == PointKind::four_fifths;
    });
    ASSERT_NE(target, front.points.end());
    EXPECT_EQ(target->weighting.weights, front.headline.best.weights);
    EXPECT_GE(target->weighting.min_ai, 0.8 - 1e-9);
  }
}

// The surface of two further groups: every cell reached exactly when some
// sampled weighting meets both targets (or nearly), its point meeting them and
// beaten by none.
TEST(GroupSurface, NoSampledWeightingBeatsACell) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the dense search runs in the plain build";
#endif
  // Each group's AI is largest on a predictor of its own: the targets compete.
  GroupProblem p = battery(3, {{-1.0, -0.23, -0.06}, {-0.3, -0.1, -0.9}}, {0.7, 0.15, 0.15});
  const double sr = 0.2;
  const GroupSurface surface = pareto_surface(p, {.sr = sr, .points = 5, .nonnegative = true});
  ASSERT_TRUE(surface.messages.empty()) << surface.messages.front();
  const Independent ind{p, sr};
  const auto sampled = samples(ind, true, 100000);
  for (int g = 0; g < 2; ++g) {
    ASSERT_EQ(surface.axes[g].size(), 5u);
    EXPECT_NEAR(surface.axes[g].front(), surface.most_valid.ai[static_cast<std::size_t>(g + 1)], 1e-12);
  }
  int reached = 0;
  for (const SurfacePoint& cell : surface.points) {
    SCOPED_TRACE(std::to_string(cell.targets[0]) + " " + std::to_string(cell.targets[1]));
    double beaten = -2;
    double nearest = 0;  // the largest smallest share of the targets a sample reaches
    for (const auto& [sv, sai] : sampled) {
      nearest = std::max(nearest, std::min(sai[0] / cell.targets[0], sai[1] / cell.targets[1]));
      if (sai[0] >= cell.targets[0] && sai[1] >= cell.targets[1]) beaten = std::max(beaten, sv);
    }
    if (!cell.reached) {
      EXPECT_EQ(beaten, -2);
      continue;
    }
    ++reached;
    EXPECT_GT(nearest, 1 - 1e-2);
    const auto [v, ai] = ind.of(cell.weighting.weights);
    EXPECT_NEAR(v, cell.weighting.validity, 1e-9);
    EXPECT_GE(ai[0], cell.targets[0] * (1 - 1e-9));
    EXPECT_GE(ai[1], cell.targets[1] * (1 - 1e-9));
    EXPECT_LE(cell.weighting.kkt_residual, 1e-9);
    EXPECT_LE(beaten, v + 1e-9);
  }
  EXPECT_GT(reached, 5);
  EXPECT_LT(reached, 25);
}

// One predictor has the weightings +1 and, with free weights, -1: the front
// is those, never the same weighting repeated at the targets in between.
TEST(GroupFront, OnePredictorHasItsSignsAlone) {
  GroupProblem p;
  p.predictors = 1;
  p.criteria = 1;
  p.criterion_weights = {1};
  p.correlations = {1, 0.5, 0.5, 1};
  p.groups = {{.name = "A", .share = 60, .predictor_effects = {}, .criterion_effects = {}},
              {.name = "B", .share = 20, .predictor_effects = {-0.2}, .criterion_effects = {-0.1}},
              {.name = "C", .share = 20, .predictor_effects = {-0.1}, .criterion_effects = {-0.1}}};
  const Independent ind{p, 0.3};
  const Vec at_plus = ind.of({1.0}).second;
  ASSERT_LT(*std::min_element(at_plus.begin(), at_plus.end()), 0.8);  // B's AI at +1: the target needs -1
  const struct {
    bool nonnegative;
    std::vector<PointKind> kinds;
    Vec validities;
  } cases[] = {{true, {PointKind::max_validity}, {0.5}},
               {false, {PointKind::max_validity, PointKind::four_fifths, PointKind::min_impact}, {0.5, -0.5, -0.5}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nonnegative);
    const GroupFront front = pareto_front(p, {.sr = 0.3, .points = 11, .nonnegative = c.nonnegative});
    ASSERT_TRUE(front.messages.empty());
    ASSERT_EQ(front.points.size(), c.kinds.size());
    for (std::size_t k = 0; k < c.kinds.size(); ++k) {
      EXPECT_EQ(front.points[k].kind, c.kinds[k]);
      EXPECT_NEAR(front.points[k].weighting.validity, c.validities[k], 1e-12);
      const Vec ai = ind.of(front.points[k].weighting.weights).second;
      EXPECT_NEAR(front.points[k].weighting.min_ai, *std::min_element(ai.begin(), ai.end()), 1e-9);
    }
    EXPECT_EQ(front.headline.reached, !c.nonnegative);
  }
}

TEST(GroupFront, RefusesWhatItCannotAnswer) {
  const GroupProblem two = battery(3, {{-1.0, -0.23, -0.06}}, {0.8, 0.2});
  const GroupProblem three = battery(3, {{-1.0, -0.23, -0.06}, {-0.72, -0.1, 0.04}}, {0.7, 0.15, 0.15});
  const struct {
    bool surface;
    const GroupProblem& problem;
    int points;
    const char* message;
  } cases[] = {{false, three, 1, "The front needs at least 2 points, got 1"},
               {false, three, max_front_points + 1, "The front holds at most 10000 points, got 10001"},
               {true, two, 5, "The surface takes exactly two further groups, got 1"},
               {true, three, 102, "The surface takes 2 to 101 points per group, got 102"}};
  for (const auto& c : cases) {
    const std::vector<std::string> messages =
        c.surface ? pareto_surface(c.problem, {.points = c.points}).messages
                  : pareto_front(c.problem, {.points = c.points}).messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], c.message);
  }
}

// A published three-objective front (validity and two AIs): the example of
// the rMOST package (Song and Kim, version 1.0.1 on CRAN; its tests' problem
// "1C_2AI", solutions printed to three decimals): the predictor correlations
// and validities of Bobko and Roth, SR 0.15, Black applicants 1/8 and
// Hispanic applicants 1/6 of the pool, d against White applicants
// (.39, .72, -.09, .39, .04) and (.17, .79, .08, .04, -.14). Its AI puts
// each group alone with the majority in the group's own share: the pairwise
// pool of White 35, Black 5 and Hispanic 7 (shares 1/8 and 1/6 in the pairs).
// Each published weighting gives the validity and AIs printed beside it; the
// most valid weighting at the same two AIs is the published one at the front's
// most valid end, and beats the other five (normal-boundary-intersection
// points need not be Pareto optimal) by 0.009 to 0.019 in validity with both
// AIs as large, as the independent evaluation confirms.
TEST(MostValidMeeting, PublishedThreeObjectiveFrontReproducedAndImprovedOn) {
  GroupProblem p;
  p.predictors = 5;
  p.criteria = 1;
  p.criterion_weights = {1};
  p.correlations = {1,   .37, .51, .16, .25, .32, .37, 1,   .03, .31, .02, .52, .51, .03, 1,   .13, .34, .22,
                    .16, .31, .13, 1,   -.02, .48, .25, .02, .34, -.02, 1, .20, .32, .52, .22, .48, .20, 1};
  p.pool = Pool::pairwise;
  p.requested_ratios = {0.15};
  p.groups = {{.name = "White", .share = 35, .predictor_effects = {}, .criterion_effects = {}},
              {.name = "Black", .share = 5, .predictor_effects = {-.39, -.72, .09, -.39, -.04},
               .criterion_effects = {0}},
              {.name = "Hispanic", .share = 7, .predictor_effects = {-.17, -.79, -.08, -.04, .14},
               .criterion_effects = {0}}};
  const struct {
    double validity, ai_black, ai_hispanic;
    Vec weights;
  } published[] = {{0.652, 0.355, 0.483, {0.025, 0.328, 0.164, 0.333, 0.151}},
                   {0.520, 0.629, 0.687, {0, 0.151, 0.450, 0.280, 0.119}},
                   {0.489, 0.684, 0.714, {0, 0.131, 0.501, 0.262, 0.106}},
                   {0.458, 0.738, 0.740, {0, 0.112, 0.551, 0.244, 0.093}},
                   {0.426, 0.794, 0.768, {0, 0.092, 0.601, 0.226, 0.081}},
                   {0.395, 0.849, 0.794, {0, 0.072, 0.651, 0.208, 0.068}}};
  const Independent ind{p, 0.15};
  for (const auto& q : published) {
    SCOPED_TRACE(q.validity);
    // Their convention reproduced: weights and values rounded to 0.001.
    p.predictor_weights = q.weights;
    const GroupStudy study = analyse(p);
    ASSERT_TRUE(study.messages.empty());
    const GroupRow& row = study.rows.back();
    ASSERT_EQ(row.kind, RowKind::requested);
    EXPECT_NEAR(study.composites.rxy, q.validity, 1e-3);
    EXPECT_NEAR(row.groups[1].ai, q.ai_black, 1e-3);
    EXPECT_NEAR(row.groups[2].ai, q.ai_hispanic, 1e-3);

    const GroupTarget t = most_valid_meeting(p, {.sr = 0.15, .targets = {q.ai_black, q.ai_hispanic}});
    ASSERT_TRUE(t.messages.empty());
    ASSERT_TRUE(t.reached);
    EXPECT_LE(t.best.kkt_residual, 1e-9);
    const auto [v, ai] = ind.of(t.best.weights);
    EXPECT_NEAR(v, t.best.validity, 1e-9);
    EXPECT_GE(ai[0], q.ai_black - 1e-9);
    EXPECT_GE(ai[1], q.ai_hispanic - 1e-9);
    if (q.ai_black < 0.5) {
      EXPECT_NEAR(v, q.validity, 1e-3);
    } else {
      EXPECT_GT(v, q.validity + 0.009);
      EXPECT_LT(v, q.validity + 0.02);
    }
  }
}

// Targets of their own out of reach: the answer is the weighting whose
// smallest ratio of AI to target is the largest, which no sampled weighting
// beats, and the group furthest below its target binds.
TEST(MostValidMeeting, OwnTargetsOutOfReach) {
  const GroupProblem p = battery(3, {{-1.0, -0.8, -0.9}, {-0.72, -0.1, 0.04}}, {0.7, 0.15, 0.15});
  const Vec targets = {0.8, 0.3};
  const GroupTarget t = most_valid_meeting(p, {.sr = 0.1, .targets = targets});
  ASSERT_TRUE(t.messages.empty());
  EXPECT_FALSE(t.reached);
  EXPECT_EQ(t.best.binding, std::vector<int>{1});
  EXPECT_LE(t.best.kkt_residual, 1e-9);
  const Independent ind{p, 0.1};
  const auto margin = [&](const Vec& ai) { return std::min(ai[0] / targets[0], ai[1] / targets[1]); };
  const double answer = margin(ind.of(t.best.weights).second);
  EXPECT_LT(answer, 1);
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform;
  double sampled = 0;
  for (int k = 0; k < 20000; ++k)
    sampled = std::max(sampled, margin(ind.of({uniform(random), uniform(random), uniform(random)}).second));
  EXPECT_LE(sampled, answer + 1e-9);
  EXPECT_GT(sampled, answer - 5e-3);
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
    Vec targets;
    const char* message;
  } cases[] = {{0, 4, {}, "The AI target must lie in (0, 1], got 0"},
               {1.2, 4, {}, "The AI target must lie in (0, 1], got 1.2"},
               {0.8, 0, {}, "The search needs at least 1 start, got 0"},
               {0.8, 4, {0.8, 0.8}, "One AI target per further group: 1 groups, got 2 targets"},
               {0.8, 4, {-0.1}, "The AI target of group 'group1' must lie in (0, 1], got -0.1"}};
  for (const auto& c : cases) {
    const GroupTarget t =
        most_valid_meeting(p, {.sr = 0.1, .target = c.target, .starts = c.starts, .targets = c.targets});
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
