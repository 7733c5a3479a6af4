// Several groups in one pool: the reduction to the classic two-group analysis
// (bit for bit on random decks), the joint pool and the mean quality against
// numerical integration written here, the boundaries against a direct search
// over the cut-off, the pairwise convention against its pairs, and the
// messages of problems that cannot be analysed.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/groups.h"
#include "study/random_deck.h"

namespace fourfifths {
namespace {

bool same_bits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) ||
         std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

#define EXPECT_SAME(a, b) EXPECT_TRUE(same_bits(a, b)) << #a " = " << (a) << ", " #b " = " << (b)

// Illustrative values: two predictors (a test and an interview), one
// criterion, and three further groups that score lower by different amounts
// on each.
GroupProblem three_groups(Basis basis = Basis::overall, Pool pool = Pool::joint) {
  GroupProblem p;
  p.predictors = 2;
  p.criteria = 1;
  p.predictor_names = {"test", "interview"};
  p.criterion_names = {"performance"};
  p.basis = basis;
  p.pool = pool;
  p.quality = Quality::criterion;
  p.predictor_weights = {1.0, 0.5};
  p.criterion_weights = {1.0};
  p.correlations = {1.0, 0.3, 0.5, 0.3, 1.0, 0.4, 0.5, 0.4, 1.0};
  p.groups = {
      {.name = "A", .share = 60, .predictor_effects = {}, .criterion_effects = {}},
      {.name = "B", .share = 15, .predictor_effects = {-1.0, -0.2}, .criterion_effects = {-0.4}},
      {.name = "C", .share = 20, .predictor_effects = {-0.7, -0.1}, .criterion_effects = {-0.3}},
      {.name = "D", .share = 5, .predictor_effects = {-0.1, 0.1}, .criterion_effects = {0.0}}};
  p.requested_ratios = {0.15, 0.30};
  return p;
}

// Independent numerics: the normal tail above z and the mean of the tail,
// by composite Simpson's rule on [z, 12] (2 x 4000 panels; the density beyond
// 12 is below 1e-31).
double simpson(double z, const std::function<double(double)>& f) {
  if (z >= 12) return 0;
  const int n = 8000;
  const double h = (12 - std::max(z, -12.0)) / n;
  const double a = std::max(z, -12.0);
  double s = f(a) + f(12);
  for (int i = 1; i < n; ++i) s += f(a + i * h) * (i % 2 == 1 ? 4 : 2);
  return s * h / 3;
}

double phi(double u) {
  return std::exp(-u * u / 2) / std::sqrt(2 * std::acos(-1.0));
}

double tail(double z) {
  return z <= -12 ? 1.0 : simpson(z, phi);
}

// The reduction: every deck, as a problem of two groups, gives the classic
// rows bit for bit, and the classic boundary whenever the minority group
// scores lower; in either pool convention.
TEST(Groups, TwoGroupsAreTheClassicAnalysis) {
  testing::DeckGenerator generator(20261208);
  int compared = 0;
  for (int n = 0; n < 300; ++n) {
    const int flags = n % 8;
    const testing::RandomDeck deck = generator.next(flags & 1, (flags >> 1) & 1, (flags >> 2) & 1);
    const DeckReading reading = read_deck(deck.text);
    ASSERT_TRUE(reading.ok());
    const Study classic = analyse(reading.problem, {.sweep = {0.001, 0.5, 0.999}});
    for (Pool pool : {Pool::joint, Pool::pairwise}) {
      GroupProblem gp = as_group_problem(reading.problem);
      gp.pool = pool;
      const GroupStudy s = analyse(gp, {.sweep = {0.001, 0.5, 0.999}});
      ASSERT_EQ(s.messages, classic.messages);
      if (classic.rejected()) continue;
      ++compared;
      EXPECT_SAME(s.dx[1], classic.composites.dx);
      EXPECT_SAME(s.dy[1], classic.composites.dy);
      EXPECT_EQ(s.weights, classic.weights);
      const bool lower = classic.composites.dx < 0;
      if (lower) {
        EXPECT_EQ(s.boundaries[1].state == BoundaryState::found, classic.boundary.found);
        EXPECT_EQ(s.boundaries[1].search_status, classic.boundary.search.status);
        EXPECT_EQ(s.boundaries[0].state, BoundaryState::never_below);
        if (classic.boundary.found) {
          EXPECT_SAME(s.pool_boundary.sr, classic.boundary.sr);
          EXPECT_SAME(s.pool_boundary.cutoff, classic.boundary.cutoff);
        }
      }
      // The rows: the classic ones, with an added boundary row only where the
      // minority group scores higher (the classic analysis then has none).
      std::size_t c = 0;
      for (const GroupRow& row : s.rows) {
        if (row.kind == RowKind::boundary && !lower) continue;
        ASSERT_LT(c, classic.rows.size());
        const Row& r = classic.rows[c++];
        ASSERT_EQ(row.kind, r.kind);
        EXPECT_SAME(row.sr, r.sr);
        ASSERT_EQ(row.status, r.status);
        const GroupValues& a = row.groups[0];
        const GroupValues& i = row.groups[1];
        EXPECT_SAME(a.cutoff, r.cutoff);
        EXPECT_SAME(a.sr, r.sra);
        EXPECT_SAME(i.sr, r.sri);
        EXPECT_SAME(i.ai, r.ai);
        EXPECT_SAME(a.quality, r.ma);
        EXPECT_SAME(i.quality, r.mi);
        EXPECT_SAME(row.quality, r.m);
        EXPECT_SAME(row.standardized_quality, r.sm);
        EXPECT_SAME(a.standardized_quality, r.sma);
        EXPECT_SAME(i.standardized_quality, r.smi);
        if (r.status == RowStatus::ok) {
          EXPECT_EQ(i.meets, r.sri / std::max(r.sri, r.sra) >= 0.8);
        }
      }
      EXPECT_EQ(c, classic.rows.size());
    }
  }
  EXPECT_GT(compared, 400);
}

// A minority split into two groups of the same effect sizes is the same pool:
// the general equation of several groups gives the classic values to 1e-12.
TEST(Groups, SplitMinorityIsTheClassicPool) {
  for (Basis basis : {Basis::overall, Basis::majority}) {
    GroupProblem p = three_groups(basis);
    p.groups.resize(2);
    p.groups[1].share = 40;
    const Study classic = analyse(as_problem(p, 1));
    Group half = p.groups[1];
    half.name = "B2";
    p.groups[1].share = 20;
    half.share = 20;
    p.groups.push_back(half);
    const GroupStudy s = analyse(p);
    ASSERT_FALSE(s.rejected());
    ASSERT_EQ(s.rows.size(), classic.rows.size());
    EXPECT_NEAR(s.pool_boundary.sr, classic.boundary.sr, 1e-12);
    for (std::size_t k = 0; k < s.rows.size(); ++k) {
      const GroupRow& row = s.rows[k];
      const Row& r = classic.rows[k];
      ASSERT_EQ(row.status, r.status);
      if (r.status != RowStatus::ok) continue;
      // Where the pool's ratio hardly moves with the cut-off (SR 0.99999999999,
      // the cut-off near -7.5) values 1e-12 apart pin it only to 1e-12 over
      // the density there.
      EXPECT_NEAR(row.groups[0].cutoff, r.cutoff, 1e-12 + 1e-12 / phi(r.cutoff)) << r.sr;
      EXPECT_NEAR(row.groups[0].sr, r.sra, 1e-12);
      for (int g : {1, 2}) {
        EXPECT_NEAR(row.groups[g].sr, r.sri, 1e-12);
        EXPECT_NEAR(row.groups[g].ai, r.ai, 1e-12);
        EXPECT_NEAR(row.groups[g].quality, r.mi, 1e-12);
      }
      EXPECT_NEAR(row.groups[0].quality, r.ma, 1e-12);
      if (basis == Basis::overall) {
        EXPECT_NEAR(row.quality, r.m, 1e-12);
        EXPECT_NEAR(row.standardized_quality, r.sm, 1e-12);
        EXPECT_NEAR(row.groups[1].standardized_quality, r.smi, 1e-12);
      }
    }
  }
}

// The joint pool at each row against integration here: each group's share
// above the row's cut-off and the pool's selection ratio, to the search's
// tolerance (as in the classic tables, a row's group ratios are those of the
// search's last evaluation, within twice the tolerance 1e-4 |x| + 1e-6 of the
// cut-off; the normal density is below 0.4); the adverse-impact ratios; the
// mean quality of the selected, integrated above the cut-off, on the
// criterion composite E[Y | X >= x] = dy + rxy (E[X | X >= x] - dx).
TEST(Groups, JointPoolAgainstIntegration) {
  for (Quality quality : {Quality::criterion, Quality::predictor}) {
    GroupProblem p = three_groups();
    p.quality = quality;
    const GroupStudy s = analyse(p, {.sweep = {0.02, 0.33, 0.77}});
    ASSERT_FALSE(s.rejected());
    double total = 0;
    for (const Group& g : p.groups) total += g.share;
    // The composite's effect sizes by hand: weights (1, 0.5), variance 1.55.
    const double sd = std::sqrt(1.55);
    EXPECT_NEAR(s.dx[1], (-1.0 - 0.1) / sd, 1e-15);
    EXPECT_NEAR(s.dx[2], (-0.7 - 0.05) / sd, 1e-15);
    EXPECT_NEAR(s.dx[3], (-0.1 + 0.05) / sd, 1e-15);
    const double rxy = 0.7 / sd;
    for (const GroupRow& row : s.rows) {
      ASSERT_EQ(row.status, RowStatus::ok) << row.sr;
      const double x = row.groups[0].cutoff;
      const double moved = 0.4 * 2 * (1e-4 * std::fabs(x) + 1e-6) + 1e-10;
      double pooled = 0;
      std::vector<double> rates;
      for (std::size_t g = 0; g < p.groups.size(); ++g) {
        const double rate = tail(x - s.dx[g]);
        rates.push_back(rate);
        pooled += p.groups[g].share / total * rate;
        EXPECT_NEAR(row.groups[g].sr, rate, moved) << row.sr << " group " << g;
        // The selected's mean above x, over the group's reported ratio.
        const double above = simpson(x - s.dx[g], [](double u) { return u * phi(u); });
        const double mx = above / row.groups[g].sr;
        const double q = quality == Quality::criterion ? s.dy[g] + rxy * mx : s.dx[g] + mx;
        EXPECT_NEAR(row.groups[g].quality, q, 1e-7 * std::max(1.0, std::fabs(q)));
      }
      EXPECT_NEAR(pooled, row.sr, moved) << row.sr;
      const double top = *std::max_element(rates.begin(), rates.end());
      for (std::size_t g = 0; g < p.groups.size(); ++g) {
        EXPECT_NEAR(row.groups[g].ai, rates[g] / rates[0], moved / rates[0] * 2);
        EXPECT_NEAR(row.groups[g].ai_highest, rates[g] / top, moved / top * 2);
        EXPECT_EQ(row.groups[g].meets, row.groups[g].ai_highest >= 0.8);
      }
    }
  }
}

// The boundaries against a direct search written here: bisection on the
// cut-off of the integrated ratio against the highest group, the pool's
// ratio there, and the pool's boundary as the largest of the groups'.
TEST(Groups, BoundariesAgainstDirectSearch) {
  for (Basis basis : {Basis::overall, Basis::majority}) {
    const GroupProblem p = three_groups(basis);
    const GroupStudy s = analyse(p);
    ASSERT_FALSE(s.rejected());
    double total = 0;
    for (const Group& g : p.groups) total += g.share;
    // Every further group scores lower than the reference group on the composite.
    const auto highest =
        static_cast<std::size_t>(std::max_element(s.dx.begin(), s.dx.end()) - s.dx.begin());
    ASSERT_EQ(highest, 0u);
    EXPECT_EQ(s.boundaries[0].state, BoundaryState::never_below);
    double largest = 0;
    for (std::size_t g = 1; g < p.groups.size(); ++g) {
      ASSERT_EQ(s.boundaries[g].state, BoundaryState::found) << g;
      EXPECT_EQ(s.boundaries[g].against, 0);
      double lo = -8;
      double hi = 8;  // ratio near 1 at lo, below 0.8 at hi
      for (int k = 0; k < 200; ++k) {
        const double mid = (lo + hi) / 2;
        (tail(mid - s.dx[g]) / tail(mid) >= 0.8 ? lo : hi) = mid;
      }
      double sr = 0;
      for (std::size_t h = 0; h < p.groups.size(); ++h)
        sr += (basis == Basis::overall ? p.groups[h].share / total : h == 0) * tail(lo - s.dx[h]);
      EXPECT_NEAR(s.boundaries[g].cutoff, lo, 1e-4 * std::fabs(lo) + 1e-6) << g;
      EXPECT_NEAR(s.boundaries[g].sr, sr, 1e-4) << g;
      largest = std::max(largest, sr);
    }
    EXPECT_EQ(s.pool_boundary.group, 1);
    EXPECT_NEAR(s.pool_boundary.sr, largest, 1e-4);
    // Just below the pool's boundary some group fails the rule, just above
    // every group meets it; the boundary row itself is within tolerance.
    const double b = s.pool_boundary.sr;
    const GroupStudy around = analyse(p, {.sweep = {b - 0.002, b + 0.002}});
    EXPECT_FALSE(around.rows[around.rows.size() - 2].all_meet);
    EXPECT_TRUE(around.rows.back().all_meet);
  }
}

// A group that scores higher than the reference group: it is never below,
// and the reference group is measured against it.
TEST(Groups, HighestGroupIsNotTheReference) {
  GroupProblem p = three_groups();
  p.groups[3].predictor_effects = {0.6, 0.4};
  const GroupStudy s = analyse(p);
  ASSERT_FALSE(s.rejected());
  EXPECT_EQ(s.boundaries[3].state, BoundaryState::never_below);
  ASSERT_EQ(s.boundaries[0].state, BoundaryState::found);
  EXPECT_EQ(s.boundaries[0].against, 3);
  for (const GroupRow& row : s.rows) {
    EXPECT_EQ(row.groups[3].ai_highest, 1.0);
    EXPECT_GT(row.groups[3].ai, 1.0);
  }
  EXPECT_EQ(s.pool_boundary.group, 1);  // B scores lowest of all
  // In pairs, D's pair has the reference group as its lower member.
  p.pool = Pool::pairwise;
  const GroupStudy pairs = analyse(p);
  EXPECT_EQ(pairs.boundaries[3].group, 0);
  EXPECT_EQ(pairs.boundaries[3].against, 3);
  EXPECT_EQ(pairs.boundaries[1].group, 1);
  EXPECT_EQ(pairs.boundaries[1].against, 0);
}

// A group that scores only a little below the highest one: the ratio of the
// two normal tails at the top of the searched range, x = 8, is about
// exp(-8 d) (Mills' ratio), 0.88 for d = 0.016, so it meets the rule at every
// cut-off in range. A group about 12 standard deviations below meets it at
// none: even at x = -8, where the reference group is selected whole, its
// share above the cut-off is 1 - Phi(4), about 3e-5.
TEST(Groups, BoundaryOutsideTheSearchedRange) {
  GroupProblem p = three_groups();
  p.groups[3].predictor_effects = {0.02, 0.0};  // dx = 0.02 / sqrt(1.55) = 0.016
  const GroupStudy s = analyse(p);
  ASSERT_FALSE(s.rejected());
  EXPECT_EQ(s.boundaries[0].state, BoundaryState::met_in_range);
  EXPECT_EQ(s.boundaries[0].against, 3);
  EXPECT_EQ(s.pool_boundary.group, 1);
  p.groups[1].predictor_effects = {-12.0, -6.0};  // dx = -15 / sqrt(1.55), about -12
  const GroupStudy far = analyse(p);
  EXPECT_EQ(far.boundaries[1].state, BoundaryState::none_in_range);
  EXPECT_EQ(far.pool_boundary.state, BoundaryState::none_in_range);
  EXPECT_EQ(far.pool_boundary.group, 1);
}

// The pairwise convention: each further group's values are those of its own
// pair with the reference group, in their relative shares; the reference
// group has no single selection ratio. In the reference basis both
// conventions give the same values.
TEST(Groups, PairwiseConventionIsEachPairAlone) {
  const GroupStudy s = analyse(three_groups(Basis::overall, Pool::pairwise));
  ASSERT_FALSE(s.rejected());
  EXPECT_EQ(s.boundaries[0].state, BoundaryState::not_applicable);
  for (int g = 1; g <= 3; ++g) {
    const Study pair = analyse(as_problem(three_groups(), g));
    EXPECT_SAME(s.boundaries[g].sr, pair.boundary.sr);
    std::size_t c = 0;
    for (const GroupRow& row : s.rows) {
      if (row.kind == RowKind::boundary) continue;
      while (pair.rows[c].kind == RowKind::boundary) ++c;
      const Row& r = pair.rows[c++];
      EXPECT_SAME(row.groups[g].sr, r.sri);
      EXPECT_SAME(row.groups[g].sr_reference, r.sra);
      EXPECT_SAME(row.groups[g].cutoff, r.cutoff);
      EXPECT_TRUE(std::isnan(row.groups[0].sr));
    }
  }
  const GroupStudy joint = analyse(three_groups(Basis::majority, Pool::joint));
  const GroupStudy pairwise = analyse(three_groups(Basis::majority, Pool::pairwise));
  ASSERT_EQ(joint.rows.size(), pairwise.rows.size());
  for (std::size_t k = 0; k < joint.rows.size(); ++k)
    for (int g = 1; g <= 3; ++g)
      EXPECT_NEAR(joint.rows[k].groups[g].sr, pairwise.rows[k].groups[g].sr, 1e-12);
}

// Published two-group results: the example output printed in the CRAN
// documentation of the iopsych package (Jones & Goebl, version 0.90.1, help
// pages aiEst and aiPux), which follows De Corte & Lievens (2003,
// International Journal of Selection and Assessment 11, 87-95). One
// predictor with difference d between the majority and the minority, a
// minority share p of the pool, overall selection ratio SR; aiPux adds a
// criterion correlated .6 with the predictor and a difference of 1 on it,
// and prints the mean criterion score of each group's selected and of all
// selected, in majority standard deviations and on the whole pool's scale.
// NaN: not printed. Checked to 1e-4: the study computes with the classic
// model's normal-distribution functions and cut-off search, made for the
// report's three decimals (here within 2.3e-5 of the exact selection ratios
// and 6.1e-5 of the exact mean qualities), and two of the three printed
// solutions are themselves off in the sixth decimal (bisection to machine
// precision with Python's NormalDist gives 0.8234161 for the first AI and
// 0.3420770 for the third; the second agrees with the exact solution to every
// digit printed).
TEST(Groups, PublishedTwoGroupExamples) {
  const double nan = std::nan("");
  struct Case {
    const char* source;
    double d, dy, r, p, sr;
    double ai, sr_majority, sr_minority, cutoff;
    double quality_majority, quality_minority, quality;  // majority SDs
    double pool_majority, pool_minority, pool;           // the whole pool's scale
  };
  const Case cases[] = {
      {"aiEst(d = 0.15, sr = 0.25, pct_minority = 0.30)", 0.15, 0, 0.5, 0.30, 0.25, 0.823414,
       0.2639772, 0.2173625, 0.6311318, nan, nan, nan, nan, nan, nan},
      {"aiEst(d = 0.40, sr = 0.10, pct_minority = 0.15)", 0.40, 0, 0.5, 0.15, 0.10, 0.4708164,
       0.1086222, 0.0511411, 1.233889, nan, nan, nan, nan, nan, nan},
      {"aiPux(.6, dx = .8, sr = .3, pct_minority = .25)", 0.8, 1.0, 0.6, 0.25, 0.30, 0.3420737,
       0.3590524, 0.1228224, nan, 0.624605487, -0.006678063, 0.559981664, 0.8025930, 0.2232875,
       0.7432902},
  };
  const auto check = [](double actual, double printed, const char* what) {
    if (!std::isnan(printed)) {
      EXPECT_NEAR(actual, printed, 1e-4) << what;
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    GroupProblem p;
    p.predictors = 1;
    p.criteria = 1;
    p.predictor_weights = {1.0};
    p.criterion_weights = {1.0};
    p.correlations = {1.0, c.r, c.r, 1.0};
    p.groups = {{.name = "majority", .share = 1 - c.p, .predictor_effects = {}, .criterion_effects = {}},
                {.name = "minority", .share = c.p, .predictor_effects = {-c.d},
                 .criterion_effects = {-c.dy}}};
    p.requested_ratios = {c.sr};
    const GroupStudy s = analyse(p);
    ASSERT_FALSE(s.rejected());
    const auto row = std::find_if(s.rows.begin(), s.rows.end(),
                                  [](const GroupRow& r) { return r.kind == RowKind::requested; });
    ASSERT_NE(row, s.rows.end());
    const GroupValues& majority = row->groups[0];
    const GroupValues& minority = row->groups[1];
    check(minority.ai, c.ai, "AI");
    check(majority.sr, c.sr_majority, "majority SR");
    check(minority.sr, c.sr_minority, "minority SR");
    check(minority.cutoff, c.cutoff, "cut-off");
    check(majority.quality, c.quality_majority, "majority quality");
    check(minority.quality, c.quality_minority, "minority quality");
    check(row->quality, c.quality, "quality");
    check(majority.standardized_quality, c.pool_majority, "majority quality, pool scale");
    check(minority.standardized_quality, c.pool_minority, "minority quality, pool scale");
    check(row->standardized_quality, c.pool, "quality, pool scale");
  }
}

// Problems that cannot be analysed: each fault's message.
TEST(Groups, Messages) {
  struct Case {
    const char* what;
    std::function<void(GroupProblem&)> change;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"one group", [](GroupProblem& p) { p.groups.resize(1); },
       "A study needs a reference group and at least one further group"},
      {"no name", [](GroupProblem& p) { p.groups[2].name.clear(); }, "Group 3 has no name"},
      {"twice", [](GroupProblem& p) { p.groups[2].name = "B"; }, "Group name 'B' is given twice"},
      {"share", [](GroupProblem& p) { p.groups[1].share = 0; },
       "Share of group 'B' must be a positive finite number"},
      {"reference share", [](GroupProblem& p) { p.groups[0].share = -1; },
       "Share of group 'A' must be a finite number, not negative"},
      {"reference effects",
       [](GroupProblem& p) {
         p.groups[0].predictor_effects = {0.1, 0};
       },
       "The effect sizes of the reference group 'A' must be zero: every group's are differences "
       "from it"},
      {"shares too large", [](GroupProblem& p) { p.groups[1].share = p.groups[2].share = 1e308; },
       "The groups' shares add up to more than a number can hold: give them on a smaller scale"},
      {"names", [](GroupProblem& p) { p.predictor_names = {"test"}; },
       "Expected 2 predictor names, got 1"},
      {"effects of the first", [](GroupProblem& p) { p.groups[1].criterion_effects.clear(); },
       "Expected 1 criterion effect sizes, got 0"},
      {"effects of a later group", [](GroupProblem& p) { p.groups[3].predictor_effects = {1}; },
       "Group 'D': Expected 2 predictor effect sizes, got 1"},
  };
  for (const Case& c : cases) {
    GroupProblem p = three_groups();
    c.change(p);
    const std::vector<std::string> messages = validate(p);
    ASSERT_EQ(messages.size(), 1u) << c.what << ": " << (messages.empty() ? "" : messages.back());
    EXPECT_EQ(messages[0], c.message) << c.what;
    EXPECT_TRUE(analyse(p).rejected()) << c.what;
  }
  GroupProblem shares_ignored = three_groups(Basis::majority);
  shares_ignored.groups[1].share = 0;
  EXPECT_TRUE(validate(shares_ignored).empty());
}

}  // namespace
}  // namespace fourfifths
