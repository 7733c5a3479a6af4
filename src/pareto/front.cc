// The validity–adverse-impact front of one problem at one selection ratio.
//
// At a fixed selection ratio and applicant mix the adverse-impact ratio is a
// strictly increasing function of the composite's effect size d, so the front
// of validity against adverse impact is the front of validity against d: for
// each d between that of the most valid weighting and parity (or the least
// impact non-negative weights allow), the most valid weighting whose
// composite has that d (pareto/faces.cc). The front is sampled at ratios
// evenly spaced in AI; each AI is turned into its d in closed form: with AI =
// A and selection ratio s, the majority ratio is SRA = s / (pmaj + pmin A)
// overall (SRA = s in the majority basis) and SRI = A SRA, so the cut-off is
// x = Φ⁻¹(1 - SRA) and d = x - Φ⁻¹(1 - SRI). Each point's selection follows
// from the study's own row computation, with a cut-off search to machine
// precision and upper tails formed as such, so that tiny selection ratios keep
// their relative accuracy.
//
// Every point so found is Pareto optimal while its validity is not negative:
// for weightings w1 and w2 of unit composite variance the mixture (1 - t) w1
// + t w2 has a standard deviation of at most 1, so its validity is at least
// min(v1, v2) when that is not negative; mixing the most valid weighting with
// any w2 runs through every d in between, so no weighting with less impact
// than a point is more valid than it. Below validity 0 one can be (non-negative
// weights ending at a predictor that correlates negatively with the
// criterion): such points are left out, with a note.
//
// When the most valid composite favours the minority group (d > 0) the front
// runs the other way, down to parity; inside the search the effect sizes are
// then reversed, so that it always runs from a negative d up towards 0.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "fourfifths/pareto.h"
#include "model/model.h"
#include "pareto/pareto.h"
#include "regression/regression.h"
#include "study/study.h"

namespace fourfifths {
namespace {

using pareto::cutoff_absolute_tolerance;
using pareto::Faces;
using pareto::number;
using pareto::Predictors;
using pareto::Weighting;

constexpr double four_fifths = 0.8;

// An AI this far below 0.8 is 0.8 (the four-fifths point is found to 1e-9
// in AI, its rounding far less).
constexpr double four_fifths_rounding = 1e-12;

// Composite effect sizes this close are the same (and this close to 0, parity).
constexpr double same_end = 1e-12;

// A point's weights give the composite effect size it was sought at to this
// much (relative, absolute below 1); the closed form reaches it to rounding.
constexpr double effect_tolerance = 1e-9;

std::string decimal(double v) {
  return number(v != 0 && std::fabs(v) < 0.0005 ? "%.3g" : "%.3f", v);
}

// The problem as validate() sees it for a front: no predictor weights of its
// own (a unit weight on the first predictor stands in, so that the composites
// always exist), no requested ratios, quality not asked of the criteria (a
// front without criteria gets its own message).
Problem as_checked(const Problem& problem) {
  Problem p = problem;
  p.regression_weights = false;
  p.quality = Quality::predictor;
  p.requested_ratios.clear();
  const bool counted = p.predictors >= 1 && p.predictors <= max_variables;
  p.predictor_weights.assign(counted ? static_cast<std::size_t>(p.predictors) : 0, 0.0);
  if (counted) p.predictor_weights[0] = 1;
  return p;
}

// The predictors' correlations (above the diagonal, the diagonal taken as 1),
// their correlations with the criterion composite and their effect sizes.
Predictors predictors_of(const Problem& p, double criterion_variance) {
  Predictors out;
  out.count = p.predictors;
  const int np = p.predictors;
  const int nvar = np + p.criteria;
  auto corr = [&](int i, int j) { return p.correlations[static_cast<std::size_t>(i * nvar + j)]; };
  const double sdy = std::sqrt(criterion_variance);
  double largest = 0;
  for (int i = 0; i < np; ++i) largest = std::max(largest, std::fabs(p.predictor_effects[i]));
  if (largest > 1) out.scale = std::ldexp(1.0, std::ilogb(largest));
  for (int i = 0; i < np; ++i) {
    for (int j = 0; j < np; ++j)
      out.r[i * pareto::max_predictors + j] = i == j ? 1.0 : i < j ? corr(i, j) : corr(j, i);
    double s = 0;
    for (int k = 0; k < p.criteria; ++k) s += p.criterion_weights[k] * corr(i, np + k);
    out.validity[i] = s / sdy;
    out.effect[i] = p.predictor_effects[i] / out.scale;
  }
  return out;
}

// Whether the predictors' correlation matrix has a Cholesky factor.
bool positive_definite(const Predictors& p) {
  std::array<double, packed_capacity> packed{};
  std::size_t m = 0;
  for (int j = 0; j < p.count; ++j)
    for (int i = 0; i <= j; ++i) packed[m++] = p.at(i, j);
  int32_t n = p.count;
  int32_t info = 0;
  dppfa(packed, n, info);
  return info == 0;
}

// Everything that keeps a problem and options from having a front.
std::vector<std::string> problem_messages(const Problem& problem, const FrontOptions& options,
                                          Composites& composites, Predictors& predictors) {
  const Problem checked = as_checked(problem);
  std::vector<std::string> messages = validate(checked);
  if (messages.empty() && problem.criteria == 0)
    messages.emplace_back(
        "The front needs at least one criterion: validity is the correlation with the criterion "
        "composite");
  // The front reads every correlation above the diagonal.
  if (messages.empty()) messages = check_correlations(checked);
  if (messages.empty()) {
    std::vector<double> weights;
    composites = compute_composites(checked, weights, messages);
    predictors = predictors_of(problem, composites.syy);
    if (!positive_definite(predictors)) {
      messages.emplace_back("The predictor correlation matrix is not positive definite");
    } else {
      bool any = false;
      for (int i = 0; i < predictors.count; ++i) any = any || predictors.validity[i] != 0;
      if (!any)
        messages.emplace_back(
            "No predictor correlates with the criterion composite: every weighting has validity 0");
    }
  }
  if (!(options.sr > 0 && options.sr < 1))
    messages.push_back("The selection ratio of the front must lie strictly between 0 and 1, got " +
                       number("%g", options.sr));
  if (options.points < 2)
    messages.push_back("The front needs at least 2 points, got " + std::to_string(options.points));
  if (options.sample_size < 0)
    messages.push_back(
        "The validation sample size must be positive (0 for population values), got " +
        std::to_string(options.sample_size));
  if (options.predictors_screened < 0 ||
      (options.predictors_screened > 0 && options.predictors_screened < problem.predictors))
    messages.push_back("The predictors screened must be at least the front's " +
                       std::to_string(problem.predictors) + " predictors, got " +
                       std::to_string(options.predictors_screened));
  if (options.sample_size > 0 && problem.basis != Basis::overall)
    messages.emplace_back(
        "Shrinkage on the front needs the overall basis: the correlation with group membership "
        "depends on the applicant mix");
  if (options.sample_size > 0 && options.predictors_screened >= 0) {
    const bool screened = options.predictors_screened > 0;
    const long long k = screened ? options.predictors_screened : problem.predictors;
    if (k >= 1 && options.sample_size < 2 * k + 3)
      messages.push_back(
          "A validation sample of " + std::to_string(options.sample_size) + " is too small for " +
          std::to_string(k) + (screened ? " predictors screened" : " predictors") +
          ": the shrinkage formulas need at least 2K + 3 = " + std::to_string(2 * k + 3));
  }
  if (options.points > max_front_points)
    messages.push_back("The front holds at most " + std::to_string(max_front_points) +
                       " points, got " + std::to_string(options.points));
  return messages;
}

// The effect size of the composite whose adverse-impact ratio at the
// selection ratio sr is ai (NaN when no composite has it).
double effect_size_at(const SelectionModel& model, double sr, double ai) {
  double sra = model.basis == Basis::overall ? sr / (model.pmaj + model.pmin * ai) : sr;
  double sri = ai * sra;
  // The cut-offs as quantiles of the upper tails: minus those of lower tails
  // of the same size, which keep their accuracy however small the tail.
  int32_t fault = 0;
  int32_t fault_minority = 0;
  const double x = -ppnd(sra, fault);
  const double xi = -ppnd(sri, fault_minority);
  if (fault != 0 || fault_minority != 0) return std::numeric_limits<double>::quiet_NaN();
  return x - xi;
}

// Turns weightings into points of the front: the composite's statistics from
// the weights themselves, and the selection at the front's ratio.
class Points {
 public:
  Points(const Predictors& predictors, const SelectionModel& model, double sr)
      : predictors_(predictors), model_(model), sr_(sr) {
    model_.on_criterion = true;
    model_.re = 0;
    model_.ae = cutoff_absolute_tolerance;
    model_.exact_zero_is_cutoff = true;
    model_.upper_tails = true;
  }

  // False when no cut-off gives the selection ratio.
  bool make(const Weighting& w, PointKind kind, FrontPoint& point) const {
    const Predictors& p = predictors_;
    double variance = 0;
    double validity = 0;
    double effect = 0;
    double total = 0;
    for (int i = 0; i < p.count; ++i) {
      for (int j = 0; j < p.count; ++j) variance += w.weights[i] * p.at(i, j) * w.weights[j];
      validity += w.weights[i] * p.validity[i];
      effect += w.weights[i] * p.effect[i];
      total += std::fabs(w.weights[i]);
    }
    const double sd = std::sqrt(variance);
    point.kind = kind;
    point.validity = validity / sd;
    point.composite_d = effect / sd * p.scale;
    point.weights.resize(static_cast<std::size_t>(p.count));
    for (int i = 0; i < p.count; ++i) point.weights[i] = w.weights[i] / total;

    SelectionModel model = model_;
    model.dx = point.composite_d;
    model.rxy = point.validity;
    const Row row = evaluate_row(model, RowKind::sweep, sr_);
    if (row.status != RowStatus::ok) return false;
    point.ai = row.ai;
    point.cutoff = row.cutoff;
    point.sra = row.sra;
    point.sri = row.sri;
    point.quality = row.m;
    point.quality_majority = row.ma;
    point.quality_minority = row.mi;
    return true;
  }

  double effect_size_at(double ai) const { return fourfifths::effect_size_at(model_, sr_, ai); }

  const SelectionModel& model() const { return model_; }

 private:
  const Predictors& predictors_;  // with the effect sizes as given
  SelectionModel model_;
  double sr_;
};

// Leaves out the points that another point of the front dominates to the
// last bit (as valid or more with as little impact or less, and better in
// one), which rounding makes happen where the validities of neighbouring
// weightings agree to every digit (effect sizes far beyond any test's, or a
// ratio so near 1 that every weighting gives AI 1). Impact is the distance
// from parity on the front's side of it; AIs within a few units in the last
// place of each other are equally near parity, since at such a ratio the
// order of their last bits is rounding, not the weightings. When one end
// dominates the other, the front is that one weighting. Returns how many
// points between the ends were left out.
int drop_dominated(Front& front, double sign) {
  std::vector<FrontPoint>& points = front.points;
  auto impact = [sign](const FrontPoint& p) { return -sign * p.ai; };
  auto no_farther = [&](const FrontPoint& q, const FrontPoint& p) {
    return impact(q) <= impact(p) ||
           std::fabs(q.ai - p.ai) <= 16 * std::numeric_limits<double>::epsilon() *
                                         std::max(std::fabs(q.ai), std::fabs(p.ai));
  };
  auto dominates = [&](const FrontPoint& q, const FrontPoint& p) {
    return q.validity >= p.validity && no_farther(q, p) && (q.validity > p.validity || impact(q) < impact(p));
  };
  const FrontPoint first = points.front(), last = points.back();
  if (dominates(first, last) || dominates(last, first)) {
    FrontPoint only = dominates(first, last) ? first : last;
    only.kind = PointKind::max_validity;
    points.assign(1, only);
    front.notes.emplace_back(
        "To the precision of a double, one weighting is both the most valid and of the least "
        "adverse impact: the front is this one weighting");
    return 0;
  }
  int dropped = 0;
  std::vector<FrontPoint> kept;
  for (const FrontPoint& p : points) {
    const bool end = &p == &points.front() || &p == &points.back();
    const bool beaten = !end && std::any_of(points.begin(), points.end(),
                                            [&](const FrontPoint& q) { return dominates(q, p); });
    if (beaten) {
      ++dropped;
    } else {
      kept.push_back(p);
    }
  }
  points = std::move(kept);
  return dropped;
}

// The front of a problem that has one, or the message why the search failed.
void trace(const Predictors& predictors, const Points& points, const FrontOptions& options,
           Front& front) {
  const bool nonnegative = options.nonnegative;
  Faces faces(predictors, nonnegative);
  const Weighting top = faces.most_valid();
  FrontPoint first;
  if (!top.found || !points.make(top, PointKind::max_validity, first)) {
    front.messages.push_back("No cut-off on the most valid composite gives the selection ratio " +
                             number("%g", options.sr));
    return;
  }
  front.points.push_back(first);

  if (predictors.count == 1) {
    front.notes.emplace_back("With one predictor there is only one weighting");
    return;
  }
  const double scale = predictors.scale;
  if (std::fabs(top.effect) * scale <= same_end) {
    front.notes.emplace_back(
        "The most valid weighting has no adverse impact (its composite effect size is 0): the "
        "front "
        "is this one weighting");
    return;
  }
  // From here on the front runs from a negative effect size e up to parity.
  const double sign = top.effect > 0 ? -1 : 1;
  if (sign < 0) {
    faces.reverse_effects();
    front.notes.emplace_back("The most valid composite favours the minority group (AI " +
                             decimal(first.ai) +
                             " above 1): the front runs from there down to parity");
  }
  const double e0 = sign * top.effect;

  // The least-impact end: parity, or with non-negative weights and every
  // effect size on one side the predictor whose effect size is nearest 0
  // (any mixture has a larger |d|: |w'δ| >= min|δi| sum wi >= min|δi| sqrt(w'Rw)).
  double e_end = 0;
  int nearest = -1;
  if (nonnegative) {
    for (int i = 0; i < predictors.count; ++i)
      if (nearest < 0 || faces.predictors().effect[i] > faces.predictors().effect[nearest])
        nearest = i;
    if (faces.predictors().effect[nearest] < 0) {
      e_end = faces.predictors().effect[nearest];
    } else {
      nearest = -1;
    }
  }
  if ((e_end - e0) * scale <= same_end) {
    front.notes.emplace_back(
        "The most valid weighting is also the one with the least adverse impact that non-negative "
        "weights allow: the front is this one weighting");
    return;
  }
  Weighting end;
  if (nearest >= 0) {
    end.found = true;
    end.validity = predictors.validity[nearest];
    end.effect = e_end;
    end.weights[nearest] = 1;
  } else {
    end = faces.most_valid_at(e_end);
  }
  FrontPoint last;
  if (!end.found || !points.make(end, PointKind::min_impact, last)) {
    front.messages.push_back("No cut-off on the least-impact composite gives the selection ratio " +
                             number("%g", options.sr));
    return;
  }
  if (nearest >= 0)
    front.notes.push_back(
        std::string("Non-negative weights cannot reach parity: every predictor's effect size is ") +
        (sign > 0 ? "negative" : "positive") + ", and the least adverse impact is predictor " +
        std::to_string(nearest + 1) + "'s alone (AI " + decimal(last.ai) + ")");

  // The interior, evenly spaced in AI, and the four-fifths point.
  const double a0 = first.ai;
  const double a1 = last.ai;
  const bool reaches_four_fifths = sign > 0 && a0 < four_fifths && four_fifths < a1;
  int outdone = 0;
  int hint = top.face;  // the face of the latest point
  auto add = [&](double ai, PointKind kind) {
    const double d = points.effect_size_at(ai);
    const double e = sign * d / scale;
    const Weighting w = faces.most_valid_at(e, hint);
    hint = w.face;
    FrontPoint point;
    if (!w.found || !points.make(w, kind, point)) {
      front.messages.push_back("No weighting found on the front at AI " + decimal(ai));
      return false;
    }
    if (!(std::fabs(point.composite_d - d) <= effect_tolerance * std::max(1.0, std::fabs(d)))) {
      front.messages.push_back("The front cannot be traced in double precision at AI " +
                               decimal(ai) + ": its composite effect size is " + number("%.6g", d) +
                               ", and the nearest the weights " + "can come is " +
                               number("%.6g", point.composite_d) +
                               " (the predictors' effect sizes are too far apart)");
      return false;
    }
    if (nonnegative && w.validity < 0 &&
        (last.validity >= point.validity || faces.outdone(e, e_end, w.validity))) {
      if (kind != PointKind::four_fifths) {
        ++outdone;
        return true;
      }
      // The weighting at AI 0.8 is dominated: the most valid weighting that
      // meets the rule has less impact, the most valid of the faces' peaks
      // beyond it or the least-impact end.
      const Weighting beyond = faces.most_valid_between(e, e_end);
      const bool end_better = !beyond.found || !(beyond.validity > last.validity);
      if (end_better) {
        point = last;
        point.kind = PointKind::four_fifths;
      } else if (!points.make(beyond, kind, point)) {
        front.messages.push_back("No weighting found on the front at AI " + decimal(ai));
        return false;
      }
    }
    front.points.push_back(point);
    return true;
  };
  bool four_fifths_added = false;
  const int n = options.points;
  for (int k = 1; k < n - 1; ++k) {
    const double ai = a0 + (a1 - a0) * k / (n - 1);
    if (reaches_four_fifths && !four_fifths_added && ai >= four_fifths) {
      if (!add(four_fifths, PointKind::four_fifths)) return;
      four_fifths_added = true;
    }
    if (!add(ai, PointKind::interior)) return;
  }
  if (reaches_four_fifths && !four_fifths_added && !add(four_fifths, PointKind::four_fifths))
    return;
  // In order of AI from the most valid end (a four-fifths point that stands
  // in for a dominated one may lie beyond interior points).
  std::stable_sort(
      front.points.begin() + 1, front.points.end(),
      [&](const FrontPoint& x, const FrontPoint& y) { return sign * x.ai < sign * y.ai; });
  front.points.push_back(last);
  if (const int rounded = drop_dominated(front, sign); rounded > 0)
    front.notes.push_back(std::to_string(rounded) +
                          " of the evenly spaced points are left out: to the precision of a double "
                          "they are no more valid than a weighting with less adverse impact");
  if (outdone > 0)
    front.notes.push_back(
        std::to_string(outdone) +
        " of the evenly spaced points are left out: their weightings have negative "
        "validity, and weightings with less adverse impact are more valid");
}

// Whether every value of a point that the model defines is a finite number:
// all but the mean quality of all selected in the majority basis and that of
// the minority when none of them is selected (and the shrunk values when the
// front has them).
bool finite_where_defined(const FrontPoint& p, Basis basis, bool shrunk) {
  bool finite = std::isfinite(p.ai) && std::isfinite(p.validity) && std::isfinite(p.composite_d) &&
                std::isfinite(p.cutoff) && std::isfinite(p.sra) && std::isfinite(p.sri) &&
                std::isfinite(p.quality_majority) &&
                (basis == Basis::majority || std::isfinite(p.quality)) &&
                (p.sri == 0 || std::isfinite(p.quality_minority)) &&
                (!shrunk || (std::isfinite(p.shrunk_validity) && std::isfinite(p.shrunk_ai)));
  for (double w : p.weights) finite = finite && std::isfinite(w);
  return finite;
}

// The front's four-fifths row: the most valid weighting that meets the rule
// (AI at least 0.8), once, and a note when that is an end or when no
// weighting meets it. Along the front validity falls as AI rises towards
// parity, so it is the first point that meets the rule; an end that meets
// it is repeated as a row of kind four_fifths, beside itself.
void mark_four_fifths(Front& front) {
  std::vector<FrontPoint>& points = front.points;
  auto kind_is = [](PointKind kind) {
    return [kind](const FrontPoint& p) { return p.kind == kind; };
  };
  if (std::any_of(points.begin(), points.end(), kind_is(PointKind::four_fifths))) return;
  const auto meets = std::find_if(points.begin(), points.end(), [](const FrontPoint& p) {
    return p.ai >= four_fifths - four_fifths_rounding;
  });
  if (meets == points.end()) {
    front.notes.push_back(
        "No weighting on the front meets the four-fifths rule at this ratio: the least-impact end "
        "has AI " +
        decimal(points.back().ai));
    return;
  }
  if (meets == points.begin())
    front.notes.push_back(
        "The most valid weighting already meets the four-fifths rule at this ratio (AI " +
        decimal(meets->ai) + ")");
  FrontPoint row = *meets;
  row.kind = PointKind::four_fifths;
  const bool last = meets + 1 == points.end() && meets != points.begin();
  points.insert(last ? meets : meets + 1, row);
}

}  // namespace

Front pareto_front(const Problem& problem, const FrontOptions& options) {
  Front front;
  Composites composites;
  Predictors predictors;
  front.messages = problem_messages(problem, options, composites, predictors);
  if (!front.messages.empty()) return front;

  front.basis = problem.basis;
  front.sr = options.sr;
  front.nonnegative = options.nonnegative;
  front.sample_size = options.sample_size;
  front.predictors_screened =
      options.sample_size > 0
          ? (options.predictors_screened > 0 ? options.predictors_screened : problem.predictors)
          : 0;
  const Points points(predictors, selection_model(as_checked(problem), composites), options.sr);
  trace(predictors, points, options, front);
  if (front.messages.empty()) mark_four_fifths(front);
  if (front.messages.empty() && front.sample_size > 0 &&
      !pareto::shrink_front(front, predictors, points.model(), front.sample_size,
                            front.predictors_screened))
    front.messages.emplace_back(
        "No cut-off gives the selection ratio for a shrunk composite of the front");
  if (front.messages.empty()) {
    for (const FrontPoint& point : front.points)
      if (!finite_where_defined(point, front.basis, front.sample_size > 0)) {
        front.messages.push_back("The front's point at AI " + decimal(point.ai) + " (" +
                                 name_of(point.kind) +
                                 ") has a value that is not a finite number; no front is given");
        break;
      }
  }
  if (!front.messages.empty()) {
    const std::vector<std::string> messages = std::move(front.messages);
    front = Front{};
    front.messages = messages;
  }
  return front;
}

namespace pareto {

std::string number(const char* format, double v) {
  char text[40];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::vector<std::string> front_problem(const Problem& problem, const FrontOptions& options,
                                       Composites& composites, Predictors& predictors) {
  return problem_messages(problem, options, composites, predictors);
}

}  // namespace pareto

const char* name_of(PointKind kind) {
  switch (kind) {
    case PointKind::max_validity:
      return "max_validity";
    case PointKind::min_impact:
      return "min_impact";
    case PointKind::four_fifths:
      return "four_fifths";
    case PointKind::interior:
      return "interior";
  }
  return "?";
}

}  // namespace fourfifths
