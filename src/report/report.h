// The classic report: a study rendered as fixed-column records, and the
// classic program's whole run over a deck. The public interface is
// include/fourfifths/report.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/report.h"
#include "records/records.h"

namespace fourfifths {

// The messages of a rejected problem or deck, one record per line.
void write_messages(const std::vector<std::string>& messages, RecordWriter& out);

// The report of a study (its messages when it was rejected), and its three
// parts: the banner with the problem and the composite statistics, the
// four-fifths boundary block, and the tables.
void write_report(const Study& study, RecordWriter& out);
void write_problem_report(const Study& study, RecordWriter& out);
void write_boundary(const Study& study, RecordWriter& out);
void write_tables(const Study& study, RecordWriter& out);

// The classic program over a deck: reads it, then writes the messages of a
// deck that is rejected, or its report. Returns the error of a deck that
// cannot be read; nothing has then been written beyond count messages, and
// the program ends with the error's diagnostic.
std::optional<DeckError> run_classic(LineSource& deck, RecordSink& out);

// The same over a deck held in memory, with how the program would end: its
// standard output, its standard error, and whether it aborts.
struct ClassicOutcome {
  std::string out;
  std::string err;
  bool aborted = false;
};
ClassicOutcome run_classic(std::string_view deck);

}  // namespace fourfifths
