// What a front fitted in a validation sample can be expected to give on new
// applicants.
//
// The weights of a front found from a sample's correlations and effect sizes
// are fitted to that sample: on new applicants their validity is lower, and
// the diversity they bought is smaller. Song, Tang, Newman & Wee (2023,
// Journal of Applied Psychology 108(9)) approximate the whole trade-off curve
// from its two ends. The most valid weighting is a regression of the
// criterion on the K predictors screened, so its validity shrinks as
// Browne's (1975) formula says; the weighting most favourable to the
// minority is a regression of group membership on them, so its correlation
// with membership shrinks likewise (towards more impact, by the amount its
// size shrinks). A point in between keeps its place between the ends:
// validity and correlation with membership are each interpolated linearly,
// at the point's own fraction of the way between the ends. Neither end is
// fitted to the other's objective, so the most valid end keeps its
// correlation with membership and the most favourable end its validity.
//
// Our front stops at parity (or the least impact non-negative weights allow),
// short of the most favourable weighting, which is found here as the most
// "valid" weighting for the effect sizes in the favourable direction. The
// correlation with membership of a composite of effect size d, with pmin
// minority applicants, is the point-biserial d √(pq) / √(1 + d² pq), and
// back d = r / √((1 - r²) pq); the shrunk d gives the AI at the front's
// ratio by the model's own row.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fourfifths/pareto.h"
#include "pareto/pareto.h"
#include "study/study.h"

namespace fourfifths {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Validity and effect size (in the favourable direction, unscaled) of a
// weighting of the predictors.
struct End {
  double validity = 0;
  double effect = 0;
};

End end_of(const pareto::Predictors& p, const pareto::Vector& w, double sign) {
  double variance = 0, validity = 0, effect = 0;
  for (int i = 0; i < p.count; ++i) {
    for (int j = 0; j < p.count; ++j) variance += w[i] * p.at(i, j) * w[j];
    validity += w[i] * p.validity[i];
    effect += w[i] * p.effect[i];
  }
  const double sd = std::sqrt(variance);
  return {validity / sd, sign * effect / sd * p.scale};
}

// The weighting most favourable to the minority: the largest composite
// effect size in the favourable direction (sign times the minority's minus
// the majority's), free or non-negative.
End most_favourable(const pareto::Predictors& predictors, bool nonnegative, double sign) {
  pareto::Predictors favourable = predictors;
  int best = 0;
  bool any_positive = false;
  bool any_nonzero = false;
  for (int i = 0; i < predictors.count; ++i) {
    // The effect sizes take the validities' place (and the validities theirs,
    // so that the faces' validity is not a multiple of their effect size).
    favourable.validity[i] = sign * predictors.effect[i];
    favourable.effect[i] = predictors.validity[i];
    any_positive = any_positive || favourable.validity[i] > 0;
    any_nonzero = any_nonzero || favourable.validity[i] != 0;
    if (favourable.validity[i] > favourable.validity[best]) best = i;
  }
  pareto::Vector w{};
  if (!any_nonzero || (nonnegative && !any_positive)) {
    // Every non-negative mixture is less favourable than the best predictor
    // alone (or, without effect sizes, every weighting is as favourable).
    w[best] = 1;
  } else {
    const pareto::Weighting top = pareto::Faces(favourable, nonnegative).most_valid();
    w = top.weights;
  }
  return end_of(predictors, w, sign);
}

double membership_correlation(double d, double pq) {
  return d * std::sqrt(pq) / std::sqrt(1 + d * d * pq);
}

double effect_of_correlation(double r, double pq) {
  return r / std::sqrt((1 - r * r) * pq);
}

// Where x lies between the ends a (0) and b (1); 0 when they coincide.
double fraction(double x, double a, double b) {
  return std::fabs(b - a) > 1e-12 * std::max(1.0, std::fabs(a)) ? (x - a) / (b - a) : 0;
}

}  // namespace

double cross_validated_r2(int n, int k, double r2) {
  if (k < 1 || n < 2 * static_cast<long long>(k) + 3 || !(r2 >= 0 && r2 <= 1)) return nan;
  const double N = n;
  const double K = k;
  const double e = 1 - r2;
  // Claudy (1978): the population ρ², never above the sample's R². With few
  // predictors the approximation can exceed R² (one predictor, N = 102 and
  // R² = .2304 give .2344), and from there Browne's formula would promise new
  // applicants more validity than the sample showed.
  const double rho2 =
      std::clamp(1 - (N - 4) / (N - K - 1) * e * (1 + 2 * e / (N - K + 1)), 0.0, r2);
  // Browne (1975): ρ⁴, less the bias of squaring the estimate.
  const double rho4 =
      std::max(0.0, rho2 * rho2 - 2 * K * (1 - rho2) * (1 - rho2) / ((N - 1) * (N - K + 1)));
  return ((N - K - 3) * rho4 + rho2) / ((N - 2 * K - 2) * rho2 + K);
}

namespace pareto {

bool shrink_front(Front& front, const Predictors& predictors, const SelectionModel& model, int n,
                  int k) {
  if (front.points.empty()) return true;
  const FrontPoint& first = front.points.front();
  // The favourable direction: towards parity from the most valid end.
  const double sign = first.composite_d > 0 ? -1 : 1;
  const double pq = model.pmaj * model.pmin;
  const End top{first.validity, sign * first.composite_d};
  const End far = most_favourable(predictors, front.nonnegative, sign);

  const double top_validity = std::sqrt(cross_validated_r2(n, k, top.validity * top.validity));
  const double u_top = membership_correlation(top.effect, pq);
  const double u_far = membership_correlation(far.effect, pq);
  const double u_far_shrunk =
      u_far - (std::fabs(u_far) - std::sqrt(cross_validated_r2(n, k, u_far * u_far)));

  for (FrontPoint& point : front.points) {
    const double tv = fraction(point.validity, top.validity, far.validity);
    point.shrunk_validity = top_validity + tv * (far.validity - top_validity);
    const double u = membership_correlation(sign * point.composite_d, pq);
    // From the most favourable end (0) to the most valid (1).
    const double tu = std::fabs(u_top - u_far) > 1e-12 ? (u - u_far) / (u_top - u_far) : 1;
    const double shrunk_u = u_far_shrunk + tu * (u_top - u_far_shrunk);
    SelectionModel m = model;
    m.dx = sign * effect_of_correlation(shrunk_u, pq);
    m.rxy = point.shrunk_validity;
    const Row row = evaluate_row(m, RowKind::sweep, front.sr);
    if (row.status != RowStatus::ok || !std::isfinite(row.ai)) return false;
    point.shrunk_ai = row.ai;
  }
  return true;
}

}  // namespace pareto
}  // namespace fourfifths
