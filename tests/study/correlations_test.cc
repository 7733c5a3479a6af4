// The correlation check: matrices that no variables can have, named entry by
// entry, and matrices the analysis reads as correlations of real variables
// left alone. The eigenvalues expected are in closed form or from mpmath's
// eigsy at 40 digits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "fourfifths/pareto.h"
#include "fourfifths/study.h"

namespace fourfifths {
namespace {

// Two predictors and a criterion, the worked example's weights and effect
// sizes, and the correlations given (row by row).
Problem with_correlations(std::vector<double> correlations, bool regression = false) {
  Problem p;
  p.predictors = 2;
  p.criteria = 1;
  p.applicant_ratio = 4;
  p.regression_weights = regression;
  p.predictor_weights = {1.0, 0.5};
  p.criterion_weights = {1.0};
  p.correlations = std::move(correlations);
  p.predictor_effects = {-1.0, -0.2};
  p.criterion_effects = {-0.5};
  return p;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CheckCorrelations, Faults) {
  const struct {
    const char* name;
    Problem problem;
    std::vector<std::vector<std::string>> messages;  // parts each message must contain
  } cases[] = {
      {"a correlation matrix", with_correlations({1, .3, .5, .3, 1, .4, .5, .4, 1}, true), {}},
      // Two identical predictors: singular, eigenvalue 0 up to rounding.
      {"singular but a correlation matrix", with_correlations({1, 1, .5, 1, 1, .5, .5, .5, 1}), {}},
      // Without regression weights neither the diagonal nor the entries
      // below it are read.
      {"unread diagonal and lower triangle",
       with_correlations({2, .3, .5, 7, 4, .4, -3, .4, 9}),
       {}},
      {"entry beyond 1",
       with_correlations({1, 1.5, .5, 1.5, 1, .4, .5, .4, 1}),
       {{"(1, 2)", "1.5"}, {"not positive semidefinite"}}},
      {"entry below -1 read by regression only",
       with_correlations({1, .3, .5, -1.25, 1, .4, .5, .4, 1}, true),
       {{"(2, 1)", "-1.25"}, {"(1, 2) = 0.3", "(2, 1) = -1.25", "differ"}}},
      {"diagonal read by regression",
       with_correlations({1, .3, .5, .3, .9, .4, .5, .4, 1.1}, true),
       {{"(2, 2)", "0.9"}, {"(3, 3)", "1.1"}}},
      // Eigenvalues 1.9, 1.9 and -0.8, the last along (1, 1, -1)/sqrt(3).
      {"not positive semidefinite",
       with_correlations({1, -.9, .9, -.9, 1, .9, .9, .9, 1}),
       {{"-0.8", "predictor 1 (+0.58)", "predictor 2 (+0.58)", "criterion 1 (-0.58)"}}},
      // The front of validity 35.36: smallest eigenvalue
      // -0.00139433398585878, eigenvector (0.713, -0.700, -0.039).
      {"nearly collinear predictors, criterion correlations apart",
       with_correlations({1, .999999, .35, .999999, 1, .30, .35, .30, 1}),
       {{"-0.00139433", "predictor 1 (+0.71), predictor 2 (-0.70)"}}},
      {"not a number",
       with_correlations({1, NAN, .5, .3, 1, .4, .5, .4, 1}),
       {{"(1, 2)", "nan"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> messages = check_correlations(c.problem);
    ASSERT_EQ(messages.size(), c.messages.size()) << (messages.empty() ? "" : messages[0]);
    for (std::size_t k = 0; k < messages.size(); ++k)
      for (const std::string& part : c.messages[k])
        EXPECT_TRUE(contains(messages[k], part)) << messages[k] << "\nlacks: " << part;
  }
}

// Problems whose counts or lists validate() rejects are its to report.
TEST(CheckCorrelations, LeavesMalformedProblemsToValidate) {
  Problem p = with_correlations({1, .3, .5, .3, 1, .4});
  EXPECT_TRUE(check_correlations(p).empty());
  EXPECT_FALSE(validate(p).empty());
  p = with_correlations({1, 1.5, .5, 1.5, 1, .4, .5, .4, 1});
  p.predictors = 11;
  EXPECT_TRUE(check_correlations(p).empty());
}

// The front refuses the matrix instead of a validity far above 1, and the
// analysis itself still reads the matrix as the deck gives it.
TEST(CheckCorrelations, FrontRefusesWhatTheAnalysisReads) {
  const Problem p = with_correlations({1, .999999, .35, .999999, 1, .30, .35, .30, 1}, true);
  const Front front = pareto_front(p, {.nonnegative = false});
  ASSERT_EQ(front.messages.size(), 1u);
  EXPECT_TRUE(contains(front.messages[0], "not positive semidefinite"));
  EXPECT_TRUE(front.points.empty());
  EXPECT_FALSE(analyse(p).rejected());
}

// Rows whose values the model defines must hold finite numbers; those it
// leaves undefined (no minority applicant selected, rows without a cut-off)
// may hold NaN.
TEST(CheckRows, ValuesTheModelDefines) {
  Problem p = with_correlations({1, .3, .5, .3, 1, .4, .5, .4, 1});
  const Study study = analyse(p);
  ASSERT_FALSE(study.rejected());
  EXPECT_TRUE(check_rows(study).empty());
  const struct {
    const char* name;
    void (*change)(Row&);
    bool refused;
  } cases[] = {
      {"AI not a number", [](Row& r) { r.ai = NAN; }, true},
      {"SM infinite", [](Row& r) { r.sm = INFINITY; }, true},
      {"no minority selected", [](Row& r) { r.sri = 0; r.mi = r.dif = r.smi = r.sdif = NAN; }, false},
      {"no cut-off", [](Row& r) { r.status = RowStatus::no_cutoff; r.cutoff = NAN; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Study changed = study;
    c.change(changed.rows[3]);
    const std::vector<std::string> messages = check_rows(changed);
    EXPECT_EQ(messages.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_TRUE(contains(messages[0], "selection ratio 0.15 (builtin)")) << messages[0];
    }
  }
}

}  // namespace
}  // namespace fourfifths
