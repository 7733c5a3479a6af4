// Selection study: validation of a problem, the composite statistics, the
// four-fifths boundary and one row per selection ratio, as data. The public
// interface is include/fourfifths/study.h; this header adds what the deck
// reader, the report and the Pareto front share with the analysis.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fourfifths/study.h"

namespace fourfifths {

// The count record of a deck (and the applicant ratio that follows it in the
// overall basis), as the deck gives it: counts and flags not yet known to be
// usable.
struct CountRecord {
  int32_t npred = 0;     // number of predictors
  int32_t ncrit = 0;     // number of criteria
  int32_t ioverall = 0;  // 1: per overall selection ratio; anything else: per majority ratio
  int32_t ireg = 0;      // 0: weights given; 1: regression weights
  int32_t icrit = 0;     // 1: quality on the criterion composite; 0: on the predictor composite
  int32_t nsr = 0;       // number of requested selection ratios
  double apratio = 0;    // majority per minority applicant (ioverall = 1)
};

// Validates the counts and flags of the count record against the fixed
// capacities and the flags that need criteria. ierr: 0 the counts pass, 1
// they fail; each fault found appends its message. nsr is not examined.
void check(int32_t& npred, int32_t& ncrit, int32_t& nvar, int32_t& ireg, int32_t& icrit,
           int32_t& nsr, int32_t& ierr, std::vector<std::string>& messages);

// Every message for a count record, in the classic order: check's, then the
// counts and flags that no analysis can use. Empty when the record passes.
std::vector<std::string> count_messages(const CountRecord& counts);

// The built-in selection ratios: 0.01, 0.05 to 0.95 in steps of 0.05, and a
// ratio just short of 1.
inline constexpr std::array<double, 21> sr1 = {
    0.01, 0.05, 0.10, 0.15, 0.20, 0.25, 0.30, 0.35, 0.40, 0.45,       0.50,
    0.55, 0.60, 0.65, 0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 0.99999999999};

// What the computation of one row needs to know of an analysis.
struct SelectionModel {
  Basis basis = Basis::overall;
  double apratio = 0;  // overall basis: majority per minority applicant
  double pmaj = 0;     // overall basis: proportions of majority and minority applicants
  double pmin = 0;
  double dx = 0;  // effect size of the predictor composite
  bool on_criterion = false;  // quality on the criterion composite (else the predictor's)
  double dy = 0;              // effect size of the criterion composite
  double rxy = 0;             // correlation of the two composites
  // Tolerances of the cut-off searches: relative and absolute.
  double re = 0.0001;
  double ae = 0.000001;
  // Upper tails as such (upper_tail, and the quantile of an upper tail as
  // minus that of the lower tail of the same size) rather than as one minus a
  // lower tail area, as the classic tables form them: selection ratios far
  // below the machine epsilon keep their relative accuracy.
  bool upper_tails = false;
  // Whether a search that lands exactly on the zero (status 2) has found its
  // cut-off. The classic tables print such a row as one without a cut-off;
  // searches to machine precision land there often.
  bool exact_zero_is_cutoff = false;
};

// The model of a problem whose composites are known. pmaj and pmin are formed
// from the applicant ratio, pmin from the rounded pmaj.
SelectionModel selection_model(const Problem& problem, const Composites& composites);

// The four-fifths boundary of the model: one search of [-8, 8] for the cut-off
// at which the adverse-impact ratio is 0.8.
Boundary find_boundary(const SelectionModel& model);

// One row: the cut-off for the ratio sr of the model's basis, the group
// selection ratios there, the adverse-impact ratio and the mean quality.
Row evaluate_row(const SelectionModel& model, RowKind kind, double sr);

// The composite statistics of a problem that has passed the count and shape
// checks; appends the messages of a problem whose composites cannot be formed
// (a value not finite, regression weights that do not exist, a composite
// without a positive finite variance, statistics that overflow). weights
// receives the predictor weights in use.
Composites compute_composites(const Problem& problem, std::vector<double>& weights,
                              std::vector<std::string>& messages);

}  // namespace fourfifths
