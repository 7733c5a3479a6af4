// Composite statistics: the effect sizes of the weighted predictor and
// criterion composites and the correlation between the two, from the deck's
// weights, effect sizes and correlation matrix (all variables standardized).
// Before any report record, decks whose composites cannot be formed are
// turned away with a message.
#include <cmath>
#include <span>
#include <utility>

#include "driver/study.h"
#include "model/model.h"

namespace fourfifths {
namespace {

bool positive_finite(double v) {
  return std::isfinite(v) && v > 0;
}

bool all_finite(std::span<const double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// Every real value the deck supplied, as read.
bool deck_values_finite(const ProblemDeck& deck) {
  if (deck.ioverall == 1 && !std::isfinite(selection.apratio)) return false;
  if (deck.ireg == 0 && !all_finite(first(deck.pweight, deck.npred))) return false;
  if (!all_finite(first(deck.cweight, deck.ncrit))) return false;
  for (int32_t j = 0; j < deck.nvar; ++j)
    if (!all_finite(std::span(deck.corr).subspan(ldcorr * j, deck.nvar))) return false;
  return all_finite(first(deck.pdelta, deck.npred)) && all_finite(first(deck.cdelta, deck.ncrit)) &&
         all_finite(first(deck.reqsr, deck.nsr));
}

// The weighted sum of squares and cross-products of one block of standardized
// variables (the diagonal taken as 1, only entries above it read): the
// variance of the composite with weights w of the variables first..first+n-1.
double composite_variance(const ProblemDeck& deck, std::span<const double> w, int32_t first) {
  double s = 0;
  const int32_t n = static_cast<int32_t>(w.size());
  for (int32_t i = 0; i < n; ++i) {
    s += w[i] * w[i];
    for (int32_t j = i + 1; j < n; ++j)
      s += 2 * w[i] * w[j] * deck.corr[(first + i) + ldcorr * (first + j)];
  }
  return s;
}

}  // namespace

bool compute_composites(ProblemDeck& deck, CompositeStatistics& stats) {
  RecordWriter out;
  if (!deck_values_finite(deck)) {
    out.write("('Every value in the deck must be a finite number')");
    return false;
  }

  bool ok = true;
  if (deck.ireg == 1) {
    RegressionCheck fit;
    regwei(deck.corr, first(deck.cweight, deck.ncrit), deck.npred, deck.ncrit,
           first(deck.cdelta, deck.ncrit), first(deck.pweight, deck.npred), fit);
    if (!positive_finite(fit.syy)) {
      out.write(
          "('Regression weights can not be computed because the'/"
          "'variance of the weighted criterion combination is not a positive finite number')");
      ok = false;
    }
    if (fit.info != 0) {
      out.write(
          "('Regression weights can not be computed because the'/"
          "'predictor correlation matrix is not positive definite')");
      ok = false;
    }
    if (!ok) return false;
  }

  const int32_t p = deck.npred;
  const int32_t q = deck.ncrit;
  const auto w = first(std::as_const(deck).pweight, p);
  const auto c = first(std::as_const(deck).cweight, q);

  selection.dx = 0;
  for (int32_t i = 0; i < p; ++i) selection.dx += w[i] * deck.pdelta[i];
  stats.dy = 0;
  for (int32_t k = 0; k < q; ++k) stats.dy += c[k] * deck.cdelta[k];
  stats.sxx = composite_variance(deck, w, 0);
  stats.syy = composite_variance(deck, c, p);

  if (!positive_finite(stats.sxx)) {
    out.write("('Variance of the weighted predictor combination is not a positive finite number')");
    ok = false;
  }
  if (q >= 1 && !positive_finite(stats.syy)) {
    out.write("('Variance of the weighted criterion combination is not a positive finite number')");
    ok = false;
  }
  if (!ok) return false;

  selection.dx = selection.dx / std::sqrt(stats.sxx);
  stats.sxy = 0;
  stats.rxy = 0;
  if (q != 0) {
    stats.dy = stats.dy / std::sqrt(stats.syy);
    // t(k): covariance of the predictor composite with criterion k.
    for (int32_t k = 0; k < q; ++k) {
      double t = 0;
      for (int32_t i = 0; i < p; ++i) t += w[i] * deck.corr[i + ldcorr * (p + k)];
      stats.sxy += t * c[k];
    }
    stats.rxy = stats.sxy / std::sqrt(stats.sxx * stats.syy);
  }
  // Values of the deck so extreme that a sum or product overflows leave the
  // composites without a finite effect size or correlation: no analysis can
  // use them.
  if (!std::isfinite(selection.dx) ||
      (q != 0 && !(std::isfinite(stats.dy) && std::isfinite(stats.rxy) &&
                   std::isfinite(stats.sxx * stats.syy)))) {
    out.write("('Effect size or correlation of the weighted combinations is not a finite number')");
    return false;
  }
  return true;
}

}  // namespace fourfifths
