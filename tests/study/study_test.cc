// The analysis as data: the worked example's numbers at full precision, the
// messages of problems that cannot be analysed, and analyses on many threads
// at once.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/study.h"
#include "study/random_deck.h"

namespace fourfifths {
namespace {

// The worked example: two predictors (weights 1 and 0.5, effect sizes -1 and
// -0.2, correlated 0.3), one criterion (effect size -0.5, correlated 0.5 and
// 0.4 with them), four majority applicants to each minority applicant.
Problem worked_example(Basis basis) {
  Problem p;
  p.predictors = 2;
  p.criteria = 1;
  p.basis = basis;
  p.applicant_ratio = basis == Basis::overall ? 4.0 : 0.0;
  p.quality = Quality::criterion;
  p.predictor_weights = {1.0, 0.5};
  p.criterion_weights = {1.0};
  p.correlations = {1.0, 0.3, 0.5, 0.3, 1.0, 0.4, 0.5, 0.4, 1.0};
  p.predictor_effects = {-1.0, -0.2};
  p.criterion_effects = {-0.5};
  p.requested_ratios = {0.15, 0.30};
  return p;
}

const Row& row_at(const Study& study, RowKind kind, double sr) {
  for (const Row& row : study.rows)
    if (row.kind == kind && row.sr == sr) return row;
  throw std::runtime_error("no such row");
}

// The worked example's values, computed by hand from the model (the
// composites exactly; the row at SR 0.50 to the digits given, the cut-off
// search's tolerance being 1e-4 relative).
TEST(Study, WorkedExampleOverall) {
  const Study s = analyse(worked_example(Basis::overall));
  ASSERT_FALSE(s.rejected());
  EXPECT_DOUBLE_EQ(s.composites.sxx, 1.55);
  EXPECT_DOUBLE_EQ(s.composites.syy, 1.0);
  EXPECT_DOUBLE_EQ(s.composites.sxy, 0.7);
  EXPECT_DOUBLE_EQ(s.composites.dx, -1.1 / std::sqrt(1.55));
  EXPECT_DOUBLE_EQ(s.composites.dy, -0.5);
  EXPECT_DOUBLE_EQ(s.composites.rxy, 0.7 / std::sqrt(1.55));

  ASSERT_TRUE(s.boundary.found);
  EXPECT_EQ(s.boundary.search.status, 1);
  EXPECT_NEAR(s.boundary.cutoff, -1.5684, 0.0002);
  EXPECT_NEAR(s.boundary.sr, 0.904, 0.0005);
  EXPECT_NEAR(s.boundary.sri / s.boundary.sra, 0.8, 1e-4);

  ASSERT_EQ(s.rows.size(), 21u + 1 + 2);
  const Row& r = row_at(s, RowKind::builtin, 0.50);
  EXPECT_EQ(r.status, RowStatus::ok);
  const double tol = 2e-5;
  EXPECT_NEAR(r.cutoff, -0.16589, tol);
  EXPECT_NEAR(r.sra, 0.565878, tol);
  EXPECT_NEAR(r.sri, 0.236486, tol);
  EXPECT_NEAR(r.ai, 0.41791, tol);
  EXPECT_NEAR(r.ma, 0.39097, tol);
  EXPECT_NEAR(r.mi, 0.233163, tol);
  EXPECT_NEAR(r.dif, 0.157807, tol);
  EXPECT_NEAR(r.m, 0.376042, tol);
  EXPECT_NEAR(r.sm, 0.466798, tol);
  EXPECT_NEAR(r.sma, 0.481436, tol);
  EXPECT_NEAR(r.smi, 0.326693, tol);
  EXPECT_NEAR(r.sdif, 0.154742, tol);
  // A requested ratio equal to a built-in one repeats its row exactly.
  const Row& again = row_at(s, RowKind::requested, 0.15);
  const Row& builtin = row_at(s, RowKind::builtin, 0.15);
  EXPECT_EQ(std::bit_cast<uint64_t>(again.m), std::bit_cast<uint64_t>(builtin.m));
  EXPECT_EQ(again.cutoff, builtin.cutoff);
}

TEST(Study, WorkedExampleMajority) {
  const Study s = analyse(worked_example(Basis::majority));
  const Row& r = row_at(s, RowKind::builtin, 0.50);
  EXPECT_EQ(r.cutoff, 0.0);
  EXPECT_DOUBLE_EQ(r.sra, 0.5);
  EXPECT_NEAR(r.sri, 0.188472, 1e-6);
  EXPECT_NEAR(r.ai, 0.376944, 1e-6);
  EXPECT_NEAR(r.ma, 0.448613, 1e-6);
  EXPECT_NEAR(r.mi, 0.305528, 1e-6);
  EXPECT_NEAR(r.dif, 0.143086, 1e-6);
  // The majority basis has no overall mean or standardized values.
  EXPECT_TRUE(std::isnan(r.m) && std::isnan(r.sm) && std::isnan(r.sdif));
  EXPECT_NEAR(s.boundary.sr, 0.942, 0.0005);
}

// Rows without a value: no cut-off for an overall ratio of 1, a majority
// ratio out of range, and no minority applicant selected.
TEST(Study, RowsWithoutValues) {
  Problem p = worked_example(Basis::overall);
  p.requested_ratios = {1.0};
  const Row none = analyse(p).rows.back();
  EXPECT_EQ(none.status, RowStatus::no_cutoff);
  EXPECT_EQ(none.search.status, 4);
  EXPECT_TRUE(std::isnan(none.ai));

  p = worked_example(Basis::majority);
  p.requested_ratios = {1.5, 1e-9};
  p.predictor_effects = {-6.0, -6.0};
  const Study s = analyse(p);
  EXPECT_EQ(s.rows[s.rows.size() - 2].status, RowStatus::ratio_out_of_range);
  const Row& tiny = s.rows.back();
  EXPECT_EQ(tiny.status, RowStatus::ok);
  EXPECT_EQ(tiny.sri, 0.0);
  EXPECT_TRUE(std::isnan(tiny.mi) && std::isnan(tiny.dif));
  EXPECT_FALSE(std::isnan(tiny.ma));
}

// Problems that cannot be analysed: the classic program's messages, in its
// order, and the messages of lists that do not match their counts.
TEST(Study, Validation) {
  const struct {
    const char* name;
    void (*change)(Problem&);
    std::vector<std::string> messages;
  } cases[] = {
      {"valid", [](Problem&) {}, {}},
      {"no criteria for regression and quality",
       [](Problem& p) {
         p.criteria = 0;
         p.regression_weights = true;
         p.criterion_weights.clear();
         p.criterion_effects.clear();
       },
       {"Regression weights can not be computed because no\ncriteria are specified",
        "Average criterion quality can not be computed because\nno criteria are specified"}},
      {"too many variables, negative applicant ratio",
       [](Problem& p) {
         p.predictors = 11;
         p.applicant_ratio = -1;
       },
       {"Too many predictors and criteria",
        "Ratio of majority to minority applicants can not be negative"}},
      {"lists that do not match",
       [](Problem& p) {
         p.predictor_weights.pop_back();
         p.correlations.resize(4);
       },
       {"Expected 2 predictor weights, got 1",
        "Expected 9 correlations (predictors and criteria squared), got 4"}},
      {"value not finite", [](Problem& p) { p.requested_ratios[1] = INFINITY; },
       {"Every value in the deck must be a finite number"}},
      {"all predictor weights zero", [](Problem& p) { p.predictor_weights = {0, 0}; },
       {"Variance of the weighted predictor combination is not a positive finite number"}},
      {"regression on a singular block",
       [](Problem& p) {
         p.regression_weights = true;
         p.correlations[1] = p.correlations[3] = 1.0;
       },
       {"Regression weights can not be computed because the\n"
        "predictor correlation matrix is not positive definite"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Problem p = worked_example(Basis::overall);
    c.change(p);
    EXPECT_EQ(validate(p), c.messages);
    const Study s = analyse(p);
    EXPECT_EQ(s.messages, c.messages);
    EXPECT_EQ(s.rows.empty(), !c.messages.empty());
  }
}

bool same_bits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

bool same_study(const Study& a, const Study& b) {
  if (a.messages != b.messages || a.rows.size() != b.rows.size()) return false;
  const Composites& x = a.composites;
  const Composites& y = b.composites;
  if (!same_bits(x.dx, y.dx) || !same_bits(x.dy, y.dy) || !same_bits(x.rxy, y.rxy)) return false;
  if (a.boundary.found != b.boundary.found || !same_bits(a.boundary.sr, b.boundary.sr)) return false;
  for (std::size_t k = 0; k < a.rows.size(); ++k) {
    const Row& r = a.rows[k];
    const Row& s = b.rows[k];
    for (auto [u, v] : {std::pair{r.cutoff, s.cutoff}, {r.sra, s.sra}, {r.sri, s.sri}, {r.ai, s.ai},
                        {r.m, s.m}, {r.ma, s.ma}, {r.mi, s.mi}, {r.sdif, s.sdif}})
      if (!same_bits(u, v)) return false;
  }
  return true;
}

// Analyses share nothing: four threads analysing random problems at once get,
// bit for bit, what one thread gets analysing them one after another.
TEST(Study, ThreadsShareNothing) {
  testing::DeckGenerator generator(4242);
  std::vector<Problem> problems;
  for (int k = 0; k < 160; ++k) {
    const testing::RandomDeck d = generator.next(k % 2, k / 2 % 2, k / 4 % 2);
    const DeckReading deck = read_deck(d.text);
    ASSERT_TRUE(deck.ok()) << d.text;
    problems.push_back(deck.problem);
  }
  std::vector<Study> alone;
  for (const Problem& p : problems) alone.push_back(analyse(p, {.sweep = {0.33, 0.66}}));

  constexpr int threads = 4;
  std::vector<std::vector<Study>> together(threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    together[t].resize(problems.size());
    workers.emplace_back([&, t] {
      // Each thread takes every problem, from a different starting point.
      for (std::size_t k = 0; k < problems.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(t) * 40) % problems.size();
        together[t][i] = analyse(problems[i], {.sweep = {0.33, 0.66}});
      }
    });
  }
  for (std::thread& w : workers) w.join();
  for (int t = 0; t < threads; ++t)
    for (std::size_t i = 0; i < problems.size(); ++i)
      EXPECT_TRUE(same_study(together[t][i], alone[i])) << "thread " << t << ", problem " << i;
}

}  // namespace
}  // namespace fourfifths
