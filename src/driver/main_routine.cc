// MAIN__: one selection study from the deck on standard input to the report on
// standard output.
#include "driver/study.h"
#include "model/model.h"

namespace fourfifths {
namespace {

// The deck and the composite statistics live for the whole run.
ProblemDeck study_deck;
CompositeStatistics study_stats;

}  // namespace

void MAIN__() {
  if (!read_deck(study_deck)) stop();
  if (!compute_composites(study_deck, study_stats)) stop();
  write_problem_report(study_deck, study_stats);
  double boundary = 0;
  const bool have_boundary = find_four_fifths_boundary(study_deck, boundary);
  write_tables(study_deck, study_stats, have_boundary, boundary);
  stop();
}

RunOutcome run_deck(std::string_view deck) {
  selection = SelectionState{};
  study_deck = ProblemDeck{};
  study_stats = CompositeStatistics{};
  return run_in_memory(deck, MAIN__);
}

}  // namespace fourfifths
