// Reading the problem deck: the count record, the applicant ratio, validation,
// then weights, correlations, effect sizes and requested selection ratios.
#include <span>

#include "driver/study.h"
#include "model/model.h"

namespace fourfifths {
namespace {

// Further tests of the count record beyond check's capacity limits: counts and
// flags that no analysis can use. Each fault writes one message record.
bool counts_are_usable(const ProblemDeck& deck) {
  RecordWriter out;
  bool ok = true;
  auto reject = [&](std::string_view layout) {
    out.write(layout);
    ok = false;
  };
  if (deck.npred < 1) reject("('Number of predictors must be at least 1')");
  if (deck.ncrit < 0) reject("('Number of criteria can not be negative')");
  if (deck.nsr < 0) reject("('Number of requested selection ratios can not be negative')");
  if (deck.ireg != 0 && deck.ireg != 1)
    reject("('Flag for regression based weights must be 0 or 1')");
  if (deck.icrit != 0 && deck.icrit != 1)
    reject("('Flag for expected criterion scores must be 0 or 1')");
  if (deck.ioverall == 1 && selection.apratio < 0)
    reject("('Ratio of majority to minority applicants can not be negative')");
  return ok;
}

}  // namespace

bool read_deck(ProblemDeck& deck) {
  RecordReader in;
  in.read("(6I3)", Targets()
                       .add(deck.npred)
                       .add(deck.ncrit)
                       .add(deck.ioverall)
                       .add(deck.ireg)
                       .add(deck.icrit)
                       .add(deck.nsr));
  if (deck.ioverall == 1) {
    in.read("(10F7.3)", Targets().add(selection.apratio));
    deck.pmaj = selection.apratio / (selection.apratio + 1);
    deck.pmin = 1 - deck.pmaj;
  }
  deck.nvar = deck.npred + deck.ncrit;

  int32_t ierr = 0;
  check(deck.npred, deck.ncrit, deck.nvar, deck.ireg, deck.icrit, deck.nsr, ierr);
  const bool usable = counts_are_usable(deck);
  if (ierr == 1 || !usable) return false;

  if (deck.ireg == 0) in.read("(6F7.3)", Targets().add(first(deck.pweight, deck.npred)));
  if (deck.ncrit != 0) in.read("(10F7.3)", Targets().add(first(deck.cweight, deck.ncrit)));
  for (int32_t i = 0; i < deck.nvar; ++i) {
    // One record per matrix row; the matrix itself is stored column by column.
    std::array<double, max_variables> row{};
    in.read("(10F7.3)", Targets().add(first(row, deck.nvar)));
    for (int32_t j = 0; j < deck.nvar; ++j) deck.corr[i + ldcorr * j] = row[j];
  }
  in.read("(10F7.3)", Targets().add(first(deck.pdelta, deck.npred)));
  if (deck.ncrit != 0) in.read("(10F7.3)", Targets().add(first(deck.cdelta, deck.ncrit)));
  if (deck.nsr > 0) in.read("(10F7.3)", Targets().add(first(deck.reqsr, deck.nsr)));
  return true;
}

}  // namespace fourfifths
