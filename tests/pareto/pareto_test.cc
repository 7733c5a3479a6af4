// The validity–adverse-impact front: the published example's most valid end,
// the front against independent computations (the free arc's closed form, a
// grid over all non-negative weightings, the optimality conditions of the most
// valid weighting at each effect size), the four-fifths point, and the
// messages of problems without a front. The independent arithmetic here is
// Gaussian elimination, normal tails from erfc and bisection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"
#include "study/random_deck.h"

namespace fourfifths {
namespace {

using Vec = std::vector<double>;

// x with a x = b for a positive-definite a (n x n, row by row): Gauss-Jordan
// elimination, which needs no pivoting there.
Vec solve(Vec a, Vec b) {
  const std::size_t n = b.size();
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = a[i * n + k] / a[k * n + k];
      for (std::size_t j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  for (std::size_t i = 0; i < n; ++i) b[i] /= a[i * n + i];
  return b;
}

double dot(const Vec& x, const Vec& y) {
  double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
  return s;
}

// The predictors of a problem: R, their correlations r with the criterion
// composite and their effect sizes.
struct Battery {
  Vec R, r, delta;
  Vec times(const Vec& w) const {
    const std::size_t n = w.size();
    Vec y(n);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) y[i] += R[i * n + j] * w[j];
    return y;
  }
  // Validity and composite effect size of the weights w.
  std::pair<double, double> of(const Vec& w) const {
    const double sd = std::sqrt(dot(w, times(w)));
    return {dot(w, r) / sd, dot(w, delta) / sd};
  }
};

Battery battery_of(const Problem& p) {
  const int np = p.predictors;
  const int nv = np + p.criteria;
  Battery b;
  double syy = 0;
  for (int k = 0; k < p.criteria; ++k)
    for (int l = 0; l < p.criteria; ++l)
      syy +=
          p.criterion_weights[k] * p.criterion_weights[l] * p.correlations[(np + k) * nv + np + l];
  for (int i = 0; i < np; ++i) {
    for (int j = 0; j < np; ++j) b.R.push_back(p.correlations[i * nv + j]);
    double s = 0;
    for (int k = 0; k < p.criteria; ++k)
      s += p.criterion_weights[k] * p.correlations[i * nv + np + k];
    b.r.push_back(s / std::sqrt(syy));
    b.delta.push_back(p.predictor_effects[i]);
  }
  return b;
}

// One criterion, four majority applicants to each minority applicant.
Problem problem_of(const Battery& b) {
  const int np = static_cast<int>(b.r.size());
  Problem p;
  p.predictors = np;
  p.criteria = 1;
  p.applicant_ratio = 4;
  p.regression_weights = true;
  p.criterion_weights = {1.0};
  for (int i = 0; i <= np; ++i)
    for (int j = 0; j <= np; ++j)
      p.correlations.push_back(i == j    ? 1.0
                               : i == np ? b.r[j]
                               : j == np ? b.r[i]
                                         : b.R[i * np + j]);
  p.predictor_effects = b.delta;
  p.criterion_effects = {-0.3};
  return p;
}

// Adverse-impact ratio of a composite with effect size d at the overall
// selection ratio sr, majority share pmaj: the cut-off by bisection.
double adverse_impact(double d, double sr, double pmaj) {
  auto tail = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
  double lo = -8, hi = 8;
  for (int k = 0; k < 200; ++k) {
    const double x = (lo + hi) / 2;
    (pmaj * tail(x) + (1 - pmaj) * tail(x - d) > sr ? lo : hi) = x;
  }
  return tail(lo - d) / tail(lo);
}

bool noted(const Front& front, const char* words) {
  return std::any_of(front.notes.begin(), front.notes.end(), [&](const std::string& note) {
    return note.find(words) != std::string::npos;
  });
}

std::string file_text(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// De Corte, Lievens & Sackett (2007): cognitive ability, structured interview,
// conscientiousness and biodata for task performance, one minority applicant
// to three majority applicants, overall selection ratio 0.10.
TEST(ParetoFront, PublishedExample) {
  const DeckReading deck = read_deck(file_text(FOURFIFTHS_PARETO_DECK));
  ASSERT_TRUE(deck.ok());
  const Front front = pareto_front(deck.problem, {.sr = 0.10});
  ASSERT_TRUE(front.messages.empty()) << front.messages[0];

  // The published most valid end: the regression weighting.
  const FrontPoint& top = front.points.front();
  EXPECT_EQ(top.kind, PointKind::max_validity);
  EXPECT_NEAR(top.validity, 0.434, 5e-4);
  EXPECT_NEAR(top.ai, 0.226, 5e-4);
  const Vec published = {0.325, 0.319, 0.101, 0.255};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(top.weights[i], published[i], 5e-4);
  // The same end computed here.
  const Battery b = battery_of(deck.problem);
  Vec w = solve(b.R, b.r);
  const double sum = w[0] + w[1] + w[2] + w[3];
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(top.weights[i], w[i] / sum, 1e-12);
  const auto [validity, d] = b.of(w);
  EXPECT_NEAR(top.validity, validity, 1e-12);
  EXPECT_NEAR(top.ai, adverse_impact(d, 0.10, 0.75), 1e-10);

  // Every effect size is negative: the least impact non-negative weights
  // allow is that of the predictor nearest parity, conscientiousness, alone.
  const FrontPoint& end = front.points.back();
  EXPECT_EQ(end.kind, PointKind::min_impact);
  EXPECT_EQ(end.weights, (Vec{0, 0, 1, 0}));
  EXPECT_NEAR(end.validity, 0.18, 1e-12);
  EXPECT_NEAR(end.ai, adverse_impact(-0.09, 0.10, 0.75), 1e-10);
  EXPECT_TRUE(noted(front, "cannot reach parity"));
}

// Small problems against every non-negative weighting on a grid: no
// weighting with less impact than a front point is more valid, and some come
// within the grid's resolution of it. The first front is not concave: from
// the most valid end (validity .51, d -1.08) it reaches d = -1 at the first
// predictor alone, then drops to validity .38 and continues through mixtures
// of both up to the second predictor alone (d = -.5); no weighted sum of
// validity and impact finds those mixtures.
TEST(ParetoFront, NonNegativeAgainstEveryWeighting) {
  std::vector<Battery> cases = {
      {{1, 0, 0, 1}, {0.5, 0.1}, {-1.0, -0.5}},
      {{1, 0.3, 0.2, 0.3, 1, 0.1, 0.2, 0.1, 1}, {0.5, 0.3, 0.2}, {-1.0, -0.2, 0.3}},
      {{1, 0.5, 0.4, 0.5, 1, 0.2, 0.4, 0.2, 1}, {0.5, 0.4, 0.25}, {-1.0, -0.6, -0.2}},
  };
  testing::DeckGenerator generator(77);
  while (cases.size() < 12) {
    const Problem p = read_deck(generator.next(1, 1, 1).text).problem;
    if (p.predictors == 2 || p.predictors == 3) cases.push_back(battery_of(p));
  }
  for (const Battery& b : cases) {
    SCOPED_TRACE(::testing::PrintToString(b.delta));
    const Front front = pareto_front(problem_of(b), {.sr = 0.2, .points = 41});
    ASSERT_TRUE(front.messages.empty());
    const int n = static_cast<int>(b.r.size());
    std::vector<std::pair<double, double>> grid;  // (effect size, validity)
    const int steps = n == 2 ? 20000 : 400;
    for (int i = 0; i <= steps; ++i)
      for (int j = n == 2 ? steps - i : 0; i + j <= steps; ++j) {
        Vec w = {double(i), double(j)};
        if (n == 3) w.push_back(double(steps - i - j));
        const auto [v, d] = b.of(w);
        grid.emplace_back(d, v);
      }
    for (std::size_t k = 0; k < front.points.size(); ++k) {
      const FrontPoint& point = front.points[k];
      EXPECT_TRUE(
          std::all_of(point.weights.begin(), point.weights.end(), [](double x) { return x >= 0; }));
      const auto [v, d] = b.of(point.weights);
      EXPECT_NEAR(v, point.validity, 1e-12);
      EXPECT_NEAR(d, point.composite_d, 1e-12);
      // The most valid grid weighting from d to the least-impact end.
      const double end = front.points.back().composite_d;
      double best = -2;
      for (const auto& [gd, gv] : grid)
        if ((gd - d) * (end - gd) >= 0) best = std::max(best, gv);
      EXPECT_LE(best, v + 1e-12) << "point " << k;
      if (k + 1 < front.points.size()) {
        EXPECT_GE(best, v - 4.0 / steps) << "point " << k;
      }
    }
  }
}

// The conditions every most valid weighting at its effect size meets, with
// multipliers k and m fitted over the predictors it weights: r - k δ - 2m Rw
// is 0 there and nowhere positive. Where m > 0 these are also the optimality
// conditions of the convex program min w'Rw s.t. (r - k δ)'w = 1, w >= 0.
void expect_optimal(const Battery& b, const FrontPoint& point) {
  const Vec& w = point.weights;
  const Vec rw = b.times(w);
  double s[3] = {0, 0, 0}, t[2] = {0, 0};  // normal equations for (k, m)
  int support = 0;
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (w[i] == 0) continue;
    ++support;
    const double x = b.delta[i], y = 2 * rw[i];
    s[0] += x * x, s[1] += x * y, s[2] += y * y, t[0] += x * b.r[i], t[1] += y * b.r[i];
  }
  if (support < 2) return;
  const double det = s[0] * s[2] - s[1] * s[1];
  const double k = (t[0] * s[2] - t[1] * s[1]) / det;
  const double m = (s[0] * t[1] - s[1] * t[0]) / det;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const double g = b.r[i] - k * b.delta[i] - 2 * m * rw[i];
    if (w[i] > 0)
      EXPECT_NEAR(g, 0, 1e-12) << "predictor " << i;
    else
      EXPECT_LE(g, 1e-12) << "predictor " << i;
  }
}

// Random problems from common-factor models, in both bases, with non-negative
// and free weights: the order of the points, AI evenly spaced between the
// ends, one four-fifths row whenever a point meets the rule, the most valid
// that does (exactly at 0.8 where the front crosses it), a note when none
// does, the
// non-negative points optimal, the free points on the closed-form arc of the
// weightings R⁻¹(r - λδ): v = d b/c + sqrt((1 - d²/c)(a - b²/c)), a = r'R⁻¹r,
// b = r'R⁻¹δ, c = δ'R⁻¹δ (the largest validity at d, reached only there).
TEST(ParetoFront, RandomProblems) {
  testing::DeckGenerator generator(2007);
  const double ratios[] = {0.05, 0.1, 0.3, 0.5, 0.8};
  int four_fifths_points = 0;
  for (int k = 0; k < 300; ++k) {
    const Problem problem = read_deck(generator.next(k % 2, 1, 1).text).problem;
    const Battery b = battery_of(problem);
    const Vec xd = solve(b.R, b.delta);
    const double a = dot(b.r, solve(b.R, b.r)), bb = dot(b.r, xd), c = dot(b.delta, xd);
    for (bool nonnegative : {true, false}) {
      SCOPED_TRACE("problem " + std::to_string(k) + (nonnegative ? " non-negative" : " free"));
      const Front front = pareto_front(problem, {.sr = ratios[k % 5], .nonnegative = nonnegative});
      ASSERT_TRUE(front.messages.empty()) << front.messages[0];
      const std::vector<FrontPoint>& points = front.points;
      // A front of one weighting (with its four-fifths row when it meets the rule).
      if (std::count_if(points.begin(), points.end(), [](const FrontPoint& p) {
            return p.kind != PointKind::four_fifths;
          }) == 1)
        continue;
      ASSERT_EQ(points.back().kind, PointKind::min_impact);
      const double a0 = points.front().ai, a1 = points.back().ai;
      const bool crosses = a0 < 0.8 && 0.8 < a1;
      const bool meets = std::max(a0, a1) >= 0.8;
      int four_fifths_rows = 0;
      int grid = 0;  // the last interior point's place among the evenly spaced AI
      for (std::size_t i = 0; i < points.size(); ++i) {
        const FrontPoint& p = points[i];
        if (i > 0) {
          EXPECT_LE(p.validity, points[i - 1].validity + 1e-12);
          EXPECT_GE((p.ai - points[i - 1].ai) * (a1 - a0), 0);
        }
        EXPECT_EQ(std::isnan(p.quality), problem.basis == Basis::majority);
        if (p.kind == PointKind::interior) {
          const int at = static_cast<int>(std::lround((p.ai - a0) / (a1 - a0) * 20));
          EXPECT_GT(at, grid);
          EXPECT_NEAR(p.ai, a0 + (a1 - a0) * at / 20, 1e-9 * std::max(1.0, p.ai));
          grid = at;
        }
        if (p.kind == PointKind::four_fifths) {
          ++four_fifths_rows;
          ++four_fifths_points;
          EXPECT_GE(p.ai, 0.8 - 1e-9);
          if (crosses && p.validity >= 0) {
            EXPECT_NEAR(p.ai, 0.8, 1e-9);
          }
          for (const FrontPoint& q : points) {
            if (q.ai >= 0.8) {
              EXPECT_LE(q.validity, p.validity + 1e-12);
            }
          }
        }
        if (nonnegative) {
          expect_optimal(b, p);
        } else {
          // The arc's validity at the weights' own d: the weights are the
          // arc's (its most valid weighting at d).
          const auto [v, d] = b.of(p.weights);
          EXPECT_NEAR(v, d * bb / c + std::sqrt((1 - d * d / c) * (a - bb * bb / c)), 1e-10);
        }
      }
      // Points whose validity is negative and below that of a weighting with
      // less impact are left out (with a note).
      EXPECT_LE(grid, 19);
      EXPECT_EQ(four_fifths_rows, meets ? 1 : 0);
      EXPECT_EQ(!meets, noted(front, "No weighting on the front meets the four-fifths rule"));
      const bool all = points.size() == 21u + (meets ? 1 : 0);
      EXPECT_EQ(all, !noted(front, "left out"));
      const std::size_t before_end =
          points.size() - (points[points.size() - 2].kind == PointKind::four_fifths &&
                                   points[points.size() - 2].ai == a1
                               ? 3
                               : 2);
      EXPECT_TRUE(all || points[before_end].validity < 0);
      EXPECT_TRUE(nonnegative || std::fabs(a1 - 1) < 1e-12);
    }
  }
  EXPECT_GT(four_fifths_points, 100);
}

// Problems and options without a front get only their messages; the
// problem's own predictor weights play no part.
TEST(ParetoFront, Messages) {
  const Battery b{{1, 0.3, 0.3, 1}, {0.5, 0.4}, {-1.0, -0.2}};
  const struct {
    const char* name;
    void (*change)(Problem&, FrontOptions&);
    std::vector<std::string> messages;
  } cases[] = {
      {"regression weights", [](Problem&, FrontOptions&) {}, {}},
      {"weights of its own, all zero",
       [](Problem& p, FrontOptions&) {
         p.regression_weights = false;
         p.predictor_weights = {0, 0};
       },
       {}},
      {"too many variables",
       [](Problem& p, FrontOptions&) { p.predictors = 10; },
       {"Too many predictors and criteria"}},
      {"lists that do not match",
       [](Problem& p, FrontOptions&) { p.predictor_effects.pop_back(); },
       {"Expected 2 predictor effect sizes, got 1"}},
      {"no criterion",
       [](Problem& p, FrontOptions&) {
         p.criteria = 0;
         p.regression_weights = false;
         p.predictor_weights = {1, 1};
         p.criterion_weights.clear();
         p.criterion_effects.clear();
         p.correlations = {1, 0.3, 0.3, 1};
       },
       {"The front needs at least one criterion: validity is the correlation with the criterion "
        "composite"}},
      {"predictors not positive definite",
       [](Problem& p, FrontOptions&) {
         p.correlations[1] = p.correlations[3] = 1.0;
         p.correlations[5] = p.correlations[7] = 0.5;  // as the first predictor's
       },
       {"The predictor correlation matrix is not positive definite"}},
      {"no validity",
       [](Problem& p, FrontOptions&) {
         for (int i : {2, 5, 6, 7}) p.correlations[i] = 0;
       },
       {"No predictor correlates with the criterion composite: every weighting has validity 0"}},
      {"ratio and points",
       [](Problem&, FrontOptions& o) {
         o.sr = 1;
         o.points = 1;
       },
       {"The selection ratio of the front must lie strictly between 0 and 1, got 1",
        "The front needs at least 2 points, got 1"}},
      {"ratio not a number",
       [](Problem&, FrontOptions& o) { o.sr = NAN; },
       {"The selection ratio of the front must lie strictly between 0 and 1, got nan"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Problem problem = problem_of(b);
    FrontOptions options;
    c.change(problem, options);
    const Front front = pareto_front(problem, options);
    EXPECT_EQ(front.messages, c.messages);
    EXPECT_EQ(front.points.empty(), !c.messages.empty());
    if (!c.messages.empty()) {
      EXPECT_TRUE(front.notes.empty());
    }
  }
}

bool finite(const FrontPoint& p) {
  bool ok = std::isfinite(p.ai) && std::isfinite(p.validity) && std::isfinite(p.composite_d) &&
            std::isfinite(p.cutoff) && std::isfinite(p.sra) && std::isfinite(p.sri) &&
            std::isfinite(p.quality_majority);
  for (double w : p.weights) ok = ok && std::isfinite(w);
  return ok;
}

// A predictor with an effect size as large as a double holds beside one with
// none: every point is finite, the front reaches parity, each point's AI is
// that of its composite's effect size (bisection with erfc tails), and away
// from the most valid end the weighting is the second predictor with just
// enough of the first (validity 0.4, predictor 2's).
TEST(ParetoFront, EffectSizesOfAnySize) {
  for (double d1 : {1e30, -1e30, 1e200, -1e308}) {
    for (bool nonnegative : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "d1 " << d1 << (nonnegative ? " non-negative" : " free"));
      const Battery b{{1, 0.3, 0.3, 1}, {0.5, 0.4}, {d1, 0}};
      const Front front =
          pareto_front(problem_of(b), {.sr = 0.5, .points = 4, .nonnegative = nonnegative});
      ASSERT_TRUE(front.messages.empty()) << front.messages[0];
      ASSERT_GE(front.points.size(), 3u);
      for (const FrontPoint& p : front.points) {
        EXPECT_TRUE(finite(p));
        EXPECT_NEAR(p.ai, adverse_impact(p.composite_d, 0.5, 0.8), 1e-9);
        if (p.kind != PointKind::max_validity && p.kind != PointKind::four_fifths) {
          EXPECT_NEAR(p.validity, 0.4, 1e-12);
        }
      }
      EXPECT_EQ(front.points.back().kind, PointKind::min_impact);
      EXPECT_NEAR(front.points.back().ai, 1, 1e-12);
    }
  }
  // Effect sizes that no weights tell apart in double precision: a message,
  // never a front that misses its own AIs.
  const Front front = pareto_front(problem_of({{1, 0.3, 0.3, 1}, {0.5, 0.4}, {1e30, 5e29}}),
                                   {.sr = 0.5, .points = 4, .nonnegative = false});
  EXPECT_FALSE(front.messages.empty());
  EXPECT_TRUE(front.points.empty());
}

// Selection ratios far below the machine epsilon keep their relative accuracy.
// One predictor of effect size -1; expected values from mpmath at 40 digits
// (upper tails as erfc(x / sqrt 2) / 2, cut-offs by findroot): majority basis
// at SR 1e-12, SRI 4.698683750316240e-16; overall basis with three majority
// applicants to one minority applicant, SRA 1.333116112513671e-12 and SRI
// 6.516624589856405e-16. Then fronts of two predictors at ratios down to
// 1e-14 against bisection with erfc tails.
TEST(ParetoFront, TinySelectionRatios) {
  Problem one = problem_of({{1}, {0.5}, {-1}});
  one.basis = Basis::majority;
  Front front = pareto_front(one, {.sr = 1e-12});
  ASSERT_TRUE(front.messages.empty());
  EXPECT_NEAR(front.points[0].sri / 4.698683750316240e-16, 1, 1e-11);
  EXPECT_NEAR(front.points[0].ai / 4.698683750316240e-4, 1, 1e-11);
  one.basis = Basis::overall;
  one.applicant_ratio = 3;
  front = pareto_front(one, {.sr = 1e-12});
  ASSERT_TRUE(front.messages.empty());
  EXPECT_NEAR(front.points[0].sra / 1.333116112513671e-12, 1, 1e-11);
  EXPECT_NEAR(front.points[0].sri / 6.516624589856405e-16, 1, 1e-11);

  const Battery b{{1, 0.3, 0.3, 1}, {0.5, 0.4}, {-1.0, -0.2}};
  for (double sr : {1e-6, 1e-10, 1e-14}) {
    SCOPED_TRACE(sr);
    front = pareto_front(problem_of(b), {.sr = sr, .points = 6});
    ASSERT_TRUE(front.messages.empty()) << front.messages[0];
    for (const FrontPoint& p : front.points) {
      EXPECT_GT(p.ai, 0);
      EXPECT_NEAR(p.ai / adverse_impact(p.composite_d, sr, 0.8), 1, 1e-9);
    }
  }
}

// Effect sizes of -7 to -9.9 at SR 0.1: every AI on the front is below 1e-14,
// and each is still that of its composite; the least-impact end is the third
// predictor alone.
TEST(ParetoFront, AdverseImpactNearZeroAllAlong) {
  Problem p;
  p.predictors = 4;
  p.criteria = 1;
  p.applicant_ratio = 3;
  p.predictor_weights = {1, 1, 1, 1};
  p.criterion_weights = {1};
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      p.correlations.push_back(i == j ? 1.0 : i == 4 ? (j == 0 ? 0.5 : 0.3)
                                            : j == 4 ? (i == 0 ? 0.5 : 0.3)
                                                     : 0.25);
  p.predictor_effects = {-9, -8.5, -7, -9.9};
  p.criterion_effects = {-0.3};
  const Front front = pareto_front(p, {.sr = 0.1, .points = 8});
  ASSERT_TRUE(front.messages.empty()) << front.messages[0];
  ASSERT_EQ(front.points.size(), 8u);
  for (std::size_t k = 1; k < front.points.size(); ++k)
    EXPECT_GT(front.points[k].ai, front.points[k - 1].ai);
  for (const FrontPoint& point : front.points)
    EXPECT_NEAR(point.ai / adverse_impact(point.composite_d, 0.1, 0.75), 1, 1e-9);
  EXPECT_DOUBLE_EQ(front.points.back().composite_d, -7);
}

// Fronts at their edges, each against a brute-force grid over the mixtures
// of two uncorrelated predictors (non-negative weights, overall SR 0.5, four
// majority applicants to each minority applicant): exactly one four-fifths
// row when some weighting meets the rule, the most valid such; a note when
// none does; no point dominated, even weakly, by another.
TEST(ParetoFront, FourFifthsRowAndDominance) {
  const struct {
    const char* name;
    Battery battery;
    std::size_t weightings;  // distinct weightings on the front
  } cases[] = {
      // AI 0.83 at the most valid end already.
      {"most valid already meets the rule", {{1, 0, 0, 1}, {0.5, 0.1}, {-0.02, -1}}, 0},
      // Negative validities: the weighting at AI 0.8 is less valid than the
      // least-impact end, which stands in as the four-fifths row.
      {"dominated at AI 0.8", {{1, 0, 0, 1}, {-0.1, -0.3}, {-1, -0.1}}, 0},
      // Equally valid ends: the one with more impact is (weakly) dominated.
      {"equally valid ends", {{1, 0, 0, 1}, {-0.3, -0.3}, {-1, -0.5}}, 1},
      {"one predictor below the rule", {{1}, {0.5}, {-1}}, 1},
      {"one predictor meeting the rule", {{1}, {0.5}, {-0.1}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Battery& b = c.battery;
    const Front front = pareto_front(problem_of(b), {.sr = 0.5, .points = 11});
    EXPECT_TRUE(front.messages.empty()) << front.messages[0];
    if (!front.messages.empty()) continue;
    const std::vector<FrontPoint>& points = front.points;

    // The most valid weighting with AI >= 0.8, over a grid of mixtures.
    double best = -2;
    const int steps = b.r.size() == 1 ? 0 : 20000;
    for (int i = 0; i <= steps; ++i) {
      const Vec w = b.r.size() == 1 ? Vec{1} : Vec{1.0 * i / steps, 1.0 - 1.0 * i / steps};
      const auto [v, d] = b.of(w);
      if (adverse_impact(d, 0.5, 0.8) >= 0.8) best = std::max(best, v);
    }
    const auto rows = std::count_if(points.begin(), points.end(), [](const FrontPoint& p) {
      return p.kind == PointKind::four_fifths;
    });
    if (best > -2) {
      EXPECT_EQ(rows, 1);
      if (rows == 0) continue;
      const FrontPoint& row = *std::find_if(points.begin(), points.end(), [](const FrontPoint& p) {
        return p.kind == PointKind::four_fifths;
      });
      EXPECT_GE(row.ai, 0.8 - 1e-9);
      EXPECT_NEAR(row.validity, best, 1e-6);
    } else {
      EXPECT_EQ(rows, 0);
      EXPECT_TRUE(noted(front, "No weighting on the front meets the four-fifths rule"));
    }
    for (const FrontPoint& p : points)
      for (const FrontPoint& q : points) {
        const bool same = p.weights == q.weights;
        EXPECT_FALSE(!same && q.validity >= p.validity - 1e-12 &&
                     std::fabs(q.ai - 1) < std::fabs(p.ai - 1) - 1e-12)
            << name_of(p.kind) << " at AI " << p.ai << " dominated by " << name_of(q.kind)
            << " at AI " << q.ai;
      }
    if (c.weightings == 1) {
      EXPECT_EQ(std::count_if(points.begin(), points.end(),
                              [](const FrontPoint& p) { return p.kind != PointKind::four_fifths; }),
                1);
    }
  }
}

}  // namespace
}  // namespace fourfifths
