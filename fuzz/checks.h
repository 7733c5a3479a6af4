// What must hold for any input of each fuzzer, shared by the fuzzers (clang,
// libFuzzer) and the test suite's replay of fuzz/regressions (any compiler).
// Each check runs one input through its path and returns the faults found,
// one line each; an empty list means the input ended as it must. Exceptions
// that the path documents are expected where documented; any other
// exception is caught and returned as a fault.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fourfifths::fuzz {

using Faults = std::vector<std::string>;

// The classic program over arbitrary bytes as a deck: it ends normally with
// nothing on standard error, or with an unreadable deck's diagnostic and the
// abnormal end.
Faults check_deck(std::string_view bytes);

// What the study fuzzer derives from its input besides the deck: the input
// as a whole is the deck (a deck is read only as far as its counts call for),
// and its last bytes choose the sweep, the front's selection ratio and its
// number of points.
struct StudyChoices {
  std::vector<double> sweep;  // 0 to 4 ratios strictly between 0 and 1
  bool deck_ratio = true;     // the front at the deck's first requested ratio (else 0.10), as
                              // fourfifths-study pareto does without --sr
  double front_sr = 0.10;     // otherwise this ratio
  int points = 21;            // 2 to 24
  // For a quarter of the inputs, the problem read is also given counts that
  // no deck holds (one of edge_counts as predictors or criteria) and must be
  // refused by write_deck, analyse and pareto_front as documented.
  bool edit_counts = false;
  bool edit_predictors = true;  // else the criteria
  int count = 0;
};
inline constexpr int edge_counts[] = {2147483647, -2147483647 - 1, -1, 0, 11, 1000, 65536, 2147483646};
StudyChoices study_choices(std::string_view bytes);

// The library's paths over arbitrary bytes as a deck: read_deck, the deck
// written back and read again, analyse with a sweep, the classic report, CSV,
// JSON and chart of the study and, for a deck with criteria, both fronts
// (non-negative and free weights) with their text, CSV, JSON and chart.
Faults check_study(std::string_view bytes);

// fourfifths-study's main(), compiled under another name.
using CommandMain = int (*)(int argc, char** argv);

// fourfifths-study's command line: the input is its arguments, one per line
// (after the program's name). Each argument (and what follows an '=' in it)
// goes to the ratio-list parser directly; then, unless the run would be too
// long for a fuzzer (a path outside the working directory, a very long sweep
// or front), the whole program runs in-process in a scratch directory that
// holds two decks (p.deck, with criteria, and w.deck), with p.deck on
// standard input and standard output captured. The run must end with status
// 0, 1 or 2; leave the decks as they were; after a failure leave no file
// behind and nothing on standard output; succeed only without an empty
// argument (an empty chart path, ratio list or deck is refused); after
// success leave only complete
// SVG charts and write a whole rendering (JSON that parses, CSV with a
// constant number of fields). Not thread-safe: it changes the working
// directory and standard input and output for the run.
Faults check_options(std::string_view bytes, CommandMain command);

// Building blocks, also used by the tests of the checks themselves.

// The fields of each record of a CSV text (RFC 4180 quoting); a fault when
// the text is not CSV (an unterminated quote, a last line without a line feed).
std::vector<std::vector<std::string>> csv_records(std::string_view text, Faults& faults,
                                                  std::string_view what);

// An SVG document: complete (ends with </svg>), no number in a tag that is
// not finite (nan, inf) or absurdly large for a page of 860 units.
void check_svg(std::string_view svg, Faults& faults, std::string_view what);

}  // namespace fourfifths::fuzz
