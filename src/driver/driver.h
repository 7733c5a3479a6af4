// Selection study driver: reads and validates the problem deck, computes the
// composite statistics, finds the four-fifths boundary and writes the
// selection-ratio tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "records/records.h"
#include "regression/regression.h"

namespace fourfifths {

// Fixed capacities: at most 10 variables in all, and every requested-ratio
// count that the 3-column count field can carry.
inline constexpr int32_t max_variables = 10;
inline constexpr int32_t max_requested = 999;

// Everything the deck gives, and the values derived from it at once. The
// applicant ratio itself lives in the selection state.
struct ProblemDeck {
  int32_t npred;     // number of predictors
  int32_t ncrit;     // number of criteria (0: none)
  int32_t ioverall;  // 1: analyses per overall selection ratio; else per majority ratio
  int32_t ireg;      // 0: predictor weights read; 1: regression-based weights
  int32_t icrit;     // 1: quality on the criterion composite; 0: on the predictor composite
  int32_t nsr;       // number of requested selection ratios
  int32_t nvar;      // npred + ncrit
  double pmaj;       // proportion of majority applicants (overall mode)
  double pmin;       // proportion of minority applicants (overall mode)
  std::array<double, max_variables> pweight;  // predictor weights
  std::array<double, max_variables> cweight;  // criterion weights
  std::array<double, max_variables> pdelta;   // predictor effect sizes (minority - majority)
  std::array<double, max_variables> cdelta;   // criterion effect sizes
  CorrMatrix corr;                            // predictors first, then criteria
  std::array<double, max_requested> reqsr;    // requested selection ratios
};

// Statistics of the two composites that the boundary and the tables rest on.
// dx itself lives in the selection state.
struct CompositeStatistics {
  double dy;   // effect size of the criterion composite (ncrit >= 1)
  double rxy;  // correlation of the predictor and criterion composites (ncrit >= 1)
  double sxx;  // variance of the predictor composite
  double syy;  // variance of the criterion composite (0 without criteria)
  double sxy;  // covariance of the two composites
};

// Validates the counts and flags of the count record; writes a message record
// for each fault found. ierr: 0 the deck passes, 1 it fails. nsr is not examined.
void check(int32_t& npred, int32_t& ncrit, int32_t& nvar, int32_t& ireg, int32_t& icrit,
           int32_t& nsr, int32_t& ierr);

// The main routine: one whole run from the deck on unit 5 to the report on unit 6.
void MAIN__();

// One whole run inside this process over an in-memory deck: the selection
// state and the deck start from zero, as at program start.
RunOutcome run_deck(std::string_view deck);

}  // namespace fourfifths
