// The opening banner, the problem specification as given (weights, effect
// sizes, correlation matrix) and the composite statistics.
#include <array>
#include <span>

#include "report/report.h"

namespace fourfifths {
namespace {

// Authorship, affiliation and where the borrowed numerical routines come from:
// the four banner lines that belong to this distribution.
constexpr WriteLayout banner_layout =
    "('Computing adverse impact and average quality of the selected subjects'/"
    "'(with respect to either a criterion or a predictor composite)'/"
    "'of a selection using a weighted predictor combination'/"
    "'for a given overall or majority group related selection ratio'/"
    "/"
    "'Written by the fourfifths contributors'/"
    "'fourfifths project: open-source software for personnel-selection research'/"
    "/"
    "'The program uses routines from the Slatec library (see'/"
    "'https://www.netlib.org/slatec/) and a couple'/"
    "'of algorithms from StatLib (see https://lib.stat.cmu.edu/apstat/)'/"
    "/"
    "'Problem specification'/"
    "/"
    "'Number of predictors:',I3/"
    "'Number of criteria:',I3/"
    "'Computation for overall selection ratio: ',A3/"
    "'Use regression based weights: ',A3/"
    "'Expected scores on (composite) criterion: ',A3)";

std::string_view answer(bool yes) {
  return yes ? "Yes" : "No ";
}

}  // namespace

void write_problem_report(const Study& study, RecordWriter& out) {
  const Problem& p = study.problem;
  const Composites& stats = study.composites;
  const bool overall = p.basis == Basis::overall;
  const int nvar = p.predictors + p.criteria;

  out.write(banner_layout, Items()
                               .add(p.predictors)
                               .add(p.criteria)
                               .add(answer(overall))
                               .add(answer(p.regression_weights))
                               .add(answer(p.quality == Quality::criterion)));
  if (overall)
    out.write("('Ratio number of majority vs number of minority applicants:',F6.3)",
              Items().add(p.applicant_ratio));

  out.write("('Predictor weights (from predictor one to the last):')");
  out.write("(5X,10F9.5)", Items().add(study.weights));
  if (p.regression_weights) out.write("(7X,'(Regression based weights!)')");
  if (p.criteria != 0) {
    out.write("('Criterion weights (from criterion one to the last):')");
    out.write("(5X,10F7.3)", Items().add(p.criterion_weights));
  }

  out.write(
      "('Effect sizes (i.e., standardized difference between the'/"
      "'minority and the majority group) of the predictors')");
  out.write("(5X,10F7.3)", Items().add(p.predictor_effects));
  if (p.criteria != 0) {
    out.write(
        "('Effect sizes (i.e., standardized difference between the'/"
        "'minority and the majority group) of the criteria')");
    out.write("(5X,10F7.3)", Items().add(p.criterion_effects));
  }

  out.write(
      "('Correlation matrix of the predictors (first',I2,' rows and columns)'/"
      "'and the criteria (final',I2,' rows and columns)')",
      Items().add(p.predictors).add(p.criteria));
  for (int i = 0; i < nvar; ++i) {
    const auto row = std::span(p.correlations).subspan(static_cast<std::size_t>(i * nvar),
                                                       static_cast<std::size_t>(nvar));
    out.write("('   Row ',I2,10F7.3)", Items().add(i + 1).add(row));
  }

  if (p.criteria != 0) {
    out.write(
        "(/'Correlation between weighted predictor and weighted'/"
        "'criterion combinations:',F7.3/"
        "'Squared correlation:',F7.3)",
        Items().add(stats.rxy).add(stats.rxy * stats.rxy));
  }
  out.write("(/'Effect size predictor composite',F7.3)", Items().add(stats.dx));
  if (p.criteria != 0) out.write("('Effect size criterion composite',F7.3)", Items().add(stats.dy));
}

}  // namespace fourfifths
