// The opening banner, the problem specification as read (weights, effect
// sizes, correlation matrix) and the composite statistics.
#include <span>

#include "driver/study.h"
#include "model/model.h"

namespace fourfifths {
namespace {

// Authorship, affiliation and where the borrowed numerical routines come from:
// the four banner lines that belong to this distribution.
constexpr std::string_view banner_layout =
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

std::string_view answer(int32_t flag) {
  return flag == 1 ? "Yes" : "No ";
}

}  // namespace

void write_problem_report(const ProblemDeck& deck, const CompositeStatistics& stats) {
  RecordWriter out;

  out.write(banner_layout, Items()
                               .add(deck.npred)
                               .add(deck.ncrit)
                               .add(answer(deck.ioverall))
                               .add(answer(deck.ireg))
                               .add(answer(deck.icrit)));
  if (deck.ioverall == 1)
    out.write("('Ratio number of majority vs number of minority applicants:',F6.3)",
              Items().add(selection.apratio));

  out.write("('Predictor weights (from predictor one to the last):')");
  out.write("(5X,10F9.5)", Items().add(first(deck.pweight, deck.npred)));
  if (deck.ireg == 1) out.write("(7X,'(Regression based weights!)')");
  if (deck.ncrit != 0) {
    out.write("('Criterion weights (from criterion one to the last):')");
    out.write("(5X,10F7.3)", Items().add(first(deck.cweight, deck.ncrit)));
  }

  out.write(
      "('Effect sizes (i.e., standardized difference between the'/"
      "'minority and the majority group) of the predictors')");
  out.write("(5X,10F7.3)", Items().add(first(deck.pdelta, deck.npred)));
  if (deck.ncrit != 0) {
    out.write(
        "('Effect sizes (i.e., standardized difference between the'/"
        "'minority and the majority group) of the criteria')");
    out.write("(5X,10F7.3)", Items().add(first(deck.cdelta, deck.ncrit)));
  }

  out.write(
      "('Correlation matrix of the predictors (first',I2,' rows and columns)'/"
      "'and the criteria (final',I2,' rows and columns)')",
      Items().add(deck.npred).add(deck.ncrit));
  for (int32_t i = 0; i < deck.nvar; ++i) {
    std::array<double, max_variables> row{};
    for (int32_t j = 0; j < deck.nvar; ++j) row[j] = deck.corr[i + ldcorr * j];
    out.write("('   Row ',I2,10F7.3)", Items().add(i + 1).add(first(row, deck.nvar)));
  }

  if (deck.ncrit != 0) {
    out.write(
        "(/'Correlation between weighted predictor and weighted'/"
        "'criterion combinations:',F7.3/"
        "'Squared correlation:',F7.3)",
        Items().add(stats.rxy).add(stats.rxy * stats.rxy));
  }
  out.write("(/'Effect size predictor composite',F7.3)", Items().add(selection.dx));
  if (deck.ncrit != 0) out.write("('Effect size criterion composite',F7.3)", Items().add(stats.dy));
}

}  // namespace fourfifths
