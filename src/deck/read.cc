// Reading a problem deck: the count record, the applicant ratio, validation of
// the counts, then weights, correlations, effect sizes and requested
// selection ratios, each list in its own records.
#include <array>
#include <span>

#include "deck/deck.h"
#include "study/study.h"

namespace fourfifths {
namespace {

// What each read of the deck takes, for the messages about a deck that
// cannot be read.
std::string record_name(const char* what, int row = 0) {
  std::string name = what;
  if (row > 0) name += " " + std::to_string(row);
  return name;
}

DeckError deck_error(const ReadFailure& f, const std::string& record, int lines_taken) {
  DeckError e;
  e.line = f.line;
  e.first_column = f.first_column;
  e.last_column = f.last_column;
  e.found = f.found;
  e.diagnostic = diagnostic_text(f.code, f.where, unit_stdin, f.layout, true) + " IO\n";
  if (f.code == err_out_of_space) {
    e.message = "line " + std::to_string(f.line) + ": runs on past " +
                std::to_string(max_line_length) + " characters without a line feed (before the " +
                record + ")";
    return e;
  }
  std::string where = "line " + std::to_string(f.line);
  if (f.first_column > 0)
    where += ", columns " + std::to_string(f.first_column) + "-" + std::to_string(f.last_column);
  where += " (" + record + "): ";
  if (f.code == err_unexpected_char) {
    e.message = where + "\"" + f.found + "\" is not a number";
  } else if (f.line > lines_taken) {
    e.message = where + "the deck ends before this record";
  } else {
    e.message = where + "the deck's last line ends, without a line feed, before this field";
  }
  return e;
}

}  // namespace

DeckReading read_deck(LineSource& lines) {
  DeckReading deck;
  Problem& p = deck.problem;
  RecordReader in(lines);
  auto read = [&](ReadLayout layout, const Targets& targets, const std::string& record) {
    if (in.read(layout, targets)) return true;
    deck.error = deck_error(in.failure(), record, in.lines_taken());
    return false;
  };

  CountRecord counts;
  if (!read("(6I3)",
            Targets()
                .add(counts.npred)
                .add(counts.ncrit)
                .add(counts.ioverall)
                .add(counts.ireg)
                .add(counts.icrit)
                .add(counts.nsr),
            "counts")) {
    return deck;
  }
  if (counts.ioverall == 1 &&
      !read("(10F7.3)", Targets().add(counts.apratio), "applicant ratio")) {
    return deck;
  }
  p.predictors = counts.npred;
  p.criteria = counts.ncrit;
  p.basis = counts.ioverall == 1 ? Basis::overall : Basis::majority;
  p.applicant_ratio = counts.ioverall == 1 ? counts.apratio : 0;
  p.regression_weights = counts.ireg == 1;
  p.quality = counts.icrit == 1 ? Quality::criterion : Quality::predictor;
  deck.messages = count_messages(counts);
  if (!deck.messages.empty()) return deck;

  const auto np = static_cast<std::size_t>(counts.npred);
  const auto nc = static_cast<std::size_t>(counts.ncrit);
  const std::size_t nvar = np + nc;
  if (counts.ireg == 0) {
    p.predictor_weights.assign(np, 0.0);
    if (!read("(6F7.3)", Targets().add(std::span(p.predictor_weights)), "predictor weights"))
      return deck;
  }
  p.criterion_weights.assign(nc, 0.0);
  if (nc != 0 &&
      !read("(10F7.3)", Targets().add(std::span(p.criterion_weights)), "criterion weights"))
    return deck;
  p.correlations.assign(nvar * nvar, 0.0);
  for (std::size_t i = 0; i < nvar; ++i) {
    const std::span row = std::span(p.correlations).subspan(i * nvar, nvar);
    if (!read("(10F7.3)", Targets().add(row),
              record_name("correlation matrix row", static_cast<int>(i) + 1)))
      return deck;
  }
  p.predictor_effects.assign(np, 0.0);
  if (!read("(10F7.3)", Targets().add(std::span(p.predictor_effects)), "predictor effect sizes"))
    return deck;
  p.criterion_effects.assign(nc, 0.0);
  if (nc != 0 && !read("(10F7.3)", Targets().add(std::span(p.criterion_effects)),
                       "criterion effect sizes"))
    return deck;
  p.requested_ratios.assign(static_cast<std::size_t>(counts.nsr), 0.0);
  if (counts.nsr > 0 && !read("(10F7.3)", Targets().add(std::span(p.requested_ratios)),
                              "requested selection ratios"))
    return deck;
  return deck;
}

DeckReading read_deck(std::string_view text) {
  TextLines lines(text);
  return read_deck(lines);
}

}  // namespace fourfifths
