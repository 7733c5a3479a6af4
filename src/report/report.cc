// The classic report of a study, and the classic program's run over a deck:
// the deck's messages when it is rejected, else the banner, the problem, the
// composite statistics, the four-fifths boundary and the tables.
#include "report/report.h"

#include <string_view>

#include "deck/deck.h"

namespace fourfifths {

void write_messages(const std::vector<std::string>& messages, RecordWriter& out) {
  for (const std::string& message : messages) {
    std::string_view rest = message;
    for (std::size_t feed; (feed = rest.find('\n')) != std::string_view::npos;) {
      out.write_line(rest.substr(0, feed));
      rest.remove_prefix(feed + 1);
    }
    out.write_line(rest);
  }
}

void write_report(const Study& study, RecordWriter& out) {
  if (study.rejected()) {
    write_messages(study.messages, out);
    return;
  }
  write_problem_report(study, out);
  write_boundary(study, out);
  write_tables(study, out);
}

std::string report(const Study& study) {
  std::string text;
  StringSink sink(text);
  RecordWriter out(sink);
  write_report(study, out);
  return text;
}

std::optional<DeckError> run_classic(LineSource& lines, RecordSink& sink) {
  DeckReading deck = read_deck(lines);
  if (deck.error) return deck.error;
  RecordWriter out(sink);
  if (!deck.messages.empty()) {
    write_messages(deck.messages, out);
    return std::nullopt;
  }
  write_report(analyse(deck.problem), out);
  return std::nullopt;
}

ClassicOutcome run_classic(std::string_view deck) {
  ClassicOutcome outcome;
  TextLines lines(deck);
  StringSink sink(outcome.out);
  if (const std::optional<DeckError> error = run_classic(lines, sink)) {
    outcome.err = error->diagnostic;
    outcome.aborted = true;
  }
  return outcome;
}

}  // namespace fourfifths
