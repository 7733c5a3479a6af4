// The comparison of one group with the reference group, shared by the table
// of observed impact and by the distribution over samples, which meets the
// same tables many times over.
#pragma once

#include <vector>

#include "fourfifths/observed.h"

namespace fourfifths {

// Fisher's exact test and Lancaster's mid-P of one table.
struct Exact {
  double one_sided = 0, two_sided = 0, mid_one_sided = 0, mid_two_sided = 0;
};

// Those of every table with s selected in all, the group having n applicants
// and the reference group m: given s, the group's selected are
// hypergeometric. One-sided in the direction of fewer selected; two-sided
// over the tables no more probable than the observed one (a relative
// tolerance of 1e-7 keeps ties that rounding would split). by_selected[i]
// is the table with low + i selected in the group.
struct ExactTable {
  long low = 0;
  std::vector<Exact> by_selected;
};
ExactTable fisher_table(long n, long m, long s);

// The one table with x of the group's n selected, as fisher_table() gives it,
// without the others' sums.
Exact fisher_exact(long n, long m, long s, long x);

// The hypergeometric probabilities of the group's selected, low (set here)
// to min(n, s): the mode's from Boost.Math, the others by the recurrence of
// neighbouring terms, exact but for a rounding per step.
std::vector<double> hypergeometric_terms(long n, long m, long s, long& low);

// The four-fifths rule on counts: x of n selected in the group against y of
// m in the reference group, x/n at least 0.8 y/m, compared in whole numbers
// (5 x m >= 4 y n) so that a ratio of exactly four-fifths meets the rule
// whatever the rounding of the rates' quotient (1/25 against 5/100 gives
// 0.7999999999999999). With no one of the reference group selected there is
// no ratio and no evidence of adverse impact. Counts up to 1e7 keep the
// products below 2^63.
bool meets_four_fifths(long x, long n, long y, long m);

// The normal deviate of a two-sided test at level alpha.
double critical_z(double alpha);

// Fills the Z tests, the exact tests (from exact), the interval and the
// flip-flop check of row (its counts, rate, ratio and verdict set) against a
// reference group with y of m selected.
void compare(ObservedRow& row, long y, long m, double z_crit, ImpactInterval interval, const Exact& exact);

}  // namespace fourfifths
