// The four-fifths boundary and the rows of the selection-ratio tables: for a
// selection ratio, the cut-off, both groups' selection ratios, the
// adverse-impact ratio and the mean quality of those selected.
//
// Mean quality above a cut-off x of a standard normal group is phi(x) / (1 -
// Phi(x)) (the mean of the truncated normal); on the criterion composite it is
// scaled by rxy, the slope of the criterion composite on the predictor
// composite. The minority group is shifted by dx on the predictor composite
// and by dy on the criterion composite.
#include <cmath>
#include <limits>
#include <numbers>

#include "model/model.h"
#include "rootfind/rootfind.h"
#include "study/study.h"

namespace fourfifths {
namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

// The square root of 2 pi of the tables' own density.
constexpr double sqrt2pi = 2.506628274631;

double density(double x) {
  return std::exp(-(x * x) * 0.5) / sqrt2pi;
}

// The normal density to the last place, for the analyses with upper tails.
double exact_density(double x) {
  return std::exp(-(x * x) * 0.5) * (0.5 * std::numbers::inv_sqrtpi * std::numbers::sqrt2);
}

// One cut-off search of [-8, 8] on the equation over the state, the guess
// being the lower end.
template <class Equation_>
Search search_cutoff(const SelectionModel& model, SelectionState& state, Equation_ equation) {
  Search s;
  s.b = -8;
  s.c = 8;
  double r = s.b;
  double re = model.re;
  double ae = model.ae;
  auto f = [&](double& x) { return equation(state, x); };
  dfzero(f, s.b, s.c, r, re, ae, s.status);
  s.sra = state.sra;
  s.sri = state.sri;
  return s;
}

SelectionState fresh_state(const SelectionModel& model) {
  SelectionState state{};
  state.dx = model.dx;
  state.apratio = model.apratio;
  return state;
}

Row row_without_values(RowKind kind, double sr, RowStatus status) {
  Row row;
  row.kind = kind;
  row.sr = sr;
  row.status = status;
  row.cutoff = row.sra = row.sri = row.ai = undefined;
  row.m = row.ma = row.mi = row.dif = undefined;
  row.sm = row.sma = row.smi = row.sdif = undefined;
  return row;
}

}  // namespace

SelectionModel selection_model(const Problem& problem, const Composites& composites) {
  SelectionModel model;
  model.basis = problem.basis;
  if (problem.basis == Basis::overall) {
    model.apratio = problem.applicant_ratio;
    model.pmaj = model.apratio / (model.apratio + 1);
    model.pmin = 1 - model.pmaj;
  }
  model.dx = composites.dx;
  model.on_criterion = problem.quality == Quality::criterion;
  model.dy = composites.dy;
  model.rxy = composites.rxy;
  return model;
}

Boundary find_boundary(const SelectionModel& model) {
  SelectionState state = fresh_state(model);
  Boundary boundary;
  boundary.search = search_cutoff(model, state, fun1);
  if (boundary.search.status != 1) return boundary;
  // The group ratios are those of the search's last evaluation, within twice
  // the search tolerance of the returned cut-off.
  boundary.found = true;
  boundary.cutoff = boundary.search.b;
  boundary.sra = state.sra;
  boundary.sri = state.sri;
  boundary.sr = model.basis == Basis::overall ? model.pmaj * state.sra + model.pmin * state.sri
                                              : state.sra;
  return boundary;
}

Row evaluate_row(const SelectionModel& model, RowKind kind, double sr) {
  SelectionState state = fresh_state(model);
  state.srtarget = sr;
  const bool overall = model.basis == Basis::overall;

  double xcut = 0;
  Search search;
  if (overall) {
    search = model.upper_tails ? search_cutoff(model, state, fun_upper)
                               : search_cutoff(model, state, fun);
    const bool found = search.status == 1 || (model.exact_zero_is_cutoff && search.status == 2);
    if (!found) {
      Row row = row_without_values(kind, sr, RowStatus::no_cutoff);
      row.search = search;
      return row;
    }
    xcut = search.b;
  } else {
    // The cut-off above which the proportion sr of the majority group lies.
    state.srtarget = 1 - state.srtarget;
    const bool in_range = model.upper_tails ? sr > 0 && sr < 1
                                            : state.srtarget > 0 && state.srtarget < 1;
    if (!in_range)
      return row_without_values(kind, sr, RowStatus::ratio_out_of_range);
    int32_t ifault = 0;
    int32_t lower = 0;
    if (model.upper_tails) {
      double tail = sr;
      xcut = -ppnd(tail, ifault);
      state.sra = upper_tail(xcut);
      state.sri = upper_tail(xcut - state.dx);
    } else {
      xcut = ppnd(state.srtarget, ifault);
      state.sra = 1 - alnorm(xcut, lower);
      double xi = xcut - state.dx;
      state.sri = 1 - alnorm(xi, lower);
    }
  }

  Row row;
  row.kind = kind;
  row.sr = sr;
  row.search = search;
  row.cutoff = xcut;
  const double sra = row.sra = state.sra;
  const double sri = row.sri = state.sri;
  const double dx = model.dx;
  const double rxy = model.rxy;

  row.ai = sri / sra;
  const auto phi = model.upper_tails ? exact_density : density;
  const double phia = phi(xcut);
  row.ma = model.on_criterion ? rxy * phia / sra : phia / sra;
  const double phii = phi(xcut - dx);
  // With no minority applicant selected their mean quality does not exist.
  row.mi = undefined;
  if (sri != 0) row.mi = model.on_criterion ? rxy * phii / sri + model.dy : phii / sri + dx;
  row.dif = row.ma - row.mi;

  if (!overall) {
    row.m = row.sm = row.sma = row.smi = row.sdif = undefined;
    return row;
  }
  const double srtarget = state.srtarget;
  const double pmaj = model.pmaj;
  const double pmin = model.pmin;
  row.m = sri != 0 ? (pmaj * sra * row.ma + sri * pmin * row.mi) / srtarget
                   : pmaj * sra * row.ma / srtarget;
  // Mean and standard deviation of the whole applicant population on the
  // chosen composite, both groups mixed in their proportions.
  const double d = model.on_criterion ? model.dy : dx;
  const double mean = pmin * d;
  const double sd = std::sqrt(pmaj * pmin * d * d + 1);
  row.sm = (row.m - mean) / sd;
  row.sma = (row.ma - mean) / sd;
  row.smi = (row.mi - mean) / sd;
  row.sdif = row.sma - row.smi;
  return row;
}

}  // namespace fourfifths
