// The stages of one selection study, in the order MAIN__ runs them. Internal
// to the driver.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "driver/driver.h"
#include "rootfind/rootfind.h"

namespace fourfifths {

// The first n entries of one of the deck's fixed-capacity lists.
template <class T, std::size_t N>
std::span<T> first(std::array<T, N>& values, int32_t n) {
  return std::span<T>(values).first(static_cast<std::size_t>(n));
}
template <class T, std::size_t N>
std::span<const T> first(const std::array<T, N>& values, int32_t n) {
  return std::span<const T>(values).first(static_cast<std::size_t>(n));
}

// Reads the count record (and the applicant-ratio record in the overall mode),
// validates it, and when it passes reads the rest of the deck. Returns false
// when the deck failed validation; its messages have been written.
bool read_deck(ProblemDeck& deck);

// Derives the regression weights when the deck asks for them and computes the
// composite statistics (dx into the selection state). Returns false, after
// writing its messages, when a value of the deck is not finite or a composite
// has no positive finite variance, so that no report can be made.
bool compute_composites(ProblemDeck& deck, CompositeStatistics& stats);

// The banner, the problem specification and the composite statistics.
void write_problem_report(const ProblemDeck& deck, const CompositeStatistics& stats);

// One cut-off search of the interval [-8, 8] with the program's tolerances
// (relative 0.0001, absolute 0.000001), the guess being the lower end.
void search_cutoff(Equation f, double& b, double& c, int32_t& iflag);

// Searches the cut-off at which the adverse-impact ratio is 0.8 and writes the
// boundary block. Returns true and the boundary's selection ratio on success.
bool find_four_fifths_boundary(const ProblemDeck& deck, double& boundary);

// The table headings and one row per built-in, boundary and requested ratio.
void write_tables(const ProblemDeck& deck, const CompositeStatistics& stats, bool have_boundary,
                  double boundary);

}  // namespace fourfifths
