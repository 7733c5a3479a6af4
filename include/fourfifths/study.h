// fourfifths: one selection problem and its analysis as data.
//
// Model: on the weighted predictor composite the majority applicants are
// N(0, 1) and the minority applicants N(dx, 1), dx being the composite's
// standardized minority-minus-majority difference; everybody at or above one
// common cut-off is selected. For each selection ratio the analysis finds the
// cut-off, each group's selection ratio, the adverse-impact ratio and the
// mean quality of those selected.
//
// Everything here is plain data and pure functions: analyses on any number of
// threads never see each other.
#pragma once

#include <string>
#include <vector>

namespace fourfifths {

// At most this many predictors and criteria together.
inline constexpr int max_variables = 10;

// What a row's selection ratio counts: both groups together (the applicant
// mix matters), or the majority group alone.
enum class Basis { overall, majority };

// The composite on which the mean quality of those selected is measured.
enum class Quality { criterion, predictor };

// One selection problem, as a researcher describes it.
struct Problem {
  int predictors = 0;  // number of predictors (npred)
  int criteria = 0;    // number of criteria (ncrit), 0 for none
  Basis basis = Basis::overall;
  double applicant_ratio = 0;       // majority applicants per minority applicant (overall basis)
  bool regression_weights = false;  // derive the predictor weights by regression on the criteria
  Quality quality = Quality::criterion;
  std::vector<double> predictor_weights;  // one per predictor; not read with regression weights
  std::vector<double> criterion_weights;  // one per criterion
  // Correlations of all variables, predictors first, then criteria, row by
  // row: (predictors + criteria)^2 values. The composites use the entries
  // above the diagonal and take the diagonal as 1; regression weights use the
  // lower triangle of the predictor block and the diagonals as given.
  std::vector<double> correlations;
  std::vector<double> predictor_effects;  // standardized difference, minority minus majority
  std::vector<double> criterion_effects;  // the same for each criterion
  std::vector<double> requested_ratios;   // selection ratios of interest, in order
};

// The messages for a problem that cannot be analysed, in order, worded as the
// classic report words them; empty when the problem can be analysed. The same
// messages, for the same values, as the classic program prints.
std::vector<std::string> validate(const Problem& problem);

// Whether the correlations the analysis reads are those of some set of
// standardized variables; one message per fault, empty when they are. The
// matrix the analysis uses is the symmetric one formed from the entries above
// the diagonal, with 1 on the diagonal; with regression weights the diagonal
// and the predictors' correlations below the diagonal are read as well. The
// messages name:
//   - each entry read that is not a number between -1 and 1 (row and column
//     counted from 1, and its value);
//   - with regression weights, each diagonal entry that is not 1 and each
//     predictor correlation whose two triangles differ, by more than 1e-12;
//   - a matrix that is not positive semidefinite: its smallest eigenvalue,
//     when below -1e-12, and the variables that weigh most in its eigenvector.
// A problem whose counts or list lengths validate() rejects gets no message
// here. validate() and analyse() do not run this check (the classic report
// reads the matrix as its deck gives it); the newer front ends do, and so can
// any caller of analyse(). pareto_front() runs it itself.
std::vector<std::string> check_correlations(const Problem& problem);

// Statistics of the weighted predictor (x) and criterion (y) composites.
struct Composites {
  double sxx = 0;  // variance of the predictor composite
  double syy = 0;  // variance of the criterion composite (0 without criteria)
  double sxy = 0;  // their covariance
  double rxy = 0;  // their correlation (0 without criteria)
  double dx = 0;   // effect size of the predictor composite
  double dy = 0;   // effect size of the criterion composite (0 without criteria)
};

// One cut-off search of [-8, 8] as it ended: the zero finder's status (1:
// found; 2: exact zero at b; 3: possible pole; 4: no change of sign; 5: too
// many evaluations), its two ends, and the group selection ratios of its last
// evaluation.
struct Search {
  int status = 0;
  double b = 0;
  double c = 0;
  double sra = 0;
  double sri = 0;
};

// The four-fifths boundary: the selection ratio (of the basis) at which the
// adverse-impact ratio is 0.8. With the minority group scoring lower it is
// the smallest ratio that meets the four-fifths rule.
struct Boundary {
  bool found = false;  // false when the search found no such cut-off in [-8, 8]
  Search search;
  double sr = 0;      // the boundary's selection ratio (overall or majority)
  double sra = 0;     // majority selection ratio there
  double sri = 0;     // minority selection ratio there
  double cutoff = 0;  // the cut-off on the predictor composite
};

enum class RowKind { builtin, boundary, requested, sweep };

enum class RowStatus {
  ok,                  // the row's values are computed
  no_cutoff,           // overall basis: no cut-off in [-8, 8] gives the ratio (see search)
  ratio_out_of_range,  // majority basis: the ratio is not strictly between 0 and 1
};

// One selection ratio of the tables. Values that do not exist are NaN: every
// value of a row that is not ok; MI, DIF, SMI and SDIF when no minority
// applicant is selected; M, SM, SMA, SMI and SDIF in the majority basis.
// Quality is in standard deviations of the majority group on the chosen
// composite; the S values are on the scale of the whole applicant pool.
struct Row {
  RowKind kind = RowKind::builtin;
  double sr = 0;  // the row's selection ratio (overall, or majority)
  RowStatus status = RowStatus::ok;
  Search search;  // overall basis: the cut-off search
  double cutoff = 0;
  double sra = 0;  // majority selection ratio
  double sri = 0;  // minority selection ratio
  double ai = 0;   // adverse-impact ratio sri / sra
  double m = 0;    // mean quality of all selected (overall basis)
  double ma = 0;   // of the selected majority applicants
  double mi = 0;   // of the selected minority applicants
  double dif = 0;  // ma - mi
  double sm = 0;   // m, ma, mi and their difference, globally standardized
  double sma = 0;
  double smi = 0;
  double sdif = 0;
};

// The analysis of one problem.
struct Study {
  Problem problem;  // as given
  // Why the problem cannot be analysed (see validate); when not empty,
  // nothing below is set.
  std::vector<std::string> messages;
  std::vector<double> weights;  // the predictor weights used: derived when regression_weights
  Composites composites;
  Boundary boundary;
  // The 21 built-in ratios, the boundary (when found), the requested ratios
  // and the sweep, in that order.
  std::vector<Row> rows;

  bool rejected() const { return !messages.empty(); }
};

// Further ratios to analyse beyond the built-in and requested ones.
struct StudyOptions {
  std::vector<double> sweep;  // rows of kind sweep, in this order
};

// The whole analysis of one problem: the same searches, in the same order,
// with the same evaluations as the classic report.
Study analyse(const Problem& problem, const StudyOptions& options = {});

// One message for each row of a study that has a value that is not a finite
// number where the model defines one (see Row); empty when there is none. The
// newer front ends refuse such a study rather than print it.
std::vector<std::string> check_rows(const Study& study);

// The names of kinds and statuses as every front end writes them.
const char* name_of(RowKind kind);
const char* name_of(RowStatus status);
const char* name_of(Basis basis);
const char* name_of(Quality quality);

}  // namespace fourfifths
