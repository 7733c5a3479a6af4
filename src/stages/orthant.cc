// Orthant probabilities and first moments of the standard normal in up to
// three dimensions.
//
// Two dimensions: Owen's (1956) formula for the bivariate normal in terms of
// his T function (boost::math::owens_t, Patefield and Tandy's 2000 algorithm,
// accurate to double precision):
//   Phi2(x, y; rho) = Phi(x)/2 + Phi(y)/2 - T(x, (y - rho x)/(x s))
//                     - T(y, (x - rho y)/(y s)) - beta,   s = sqrt(1 - rho^2),
// beta = 0 when xy > 0 or (xy = 0 and x + y >= 0), else 1/2; the upper orthant
// P(X >= h, Y >= k) is Phi2(-h, -k; rho).
//
// Three dimensions, first by Plackett's (1954, Biometrika 41, 351-360)
// reduction as Genz (2004, Statistics and Computing 14, 251-260) uses it:
// the pair (j, k) of the largest absolute correlation stays fixed and the
// third variable's correlations with it are scaled by t from 0 to 1. At t = 0
// the third variable i is independent of the pair, and along the way
//   dP/dr_iB = phi2(a_i, a_B; r_iB) P(X_C >= a_C | X_i = a_i, X_B = a_B),
// so that P = P(X_i >= a_i) P(X_j >= a_j, X_k >= a_k)
//           + integral over t in [0, 1] of the sum over B of r_iB dP/dr_iB,
// a smooth integrand of normal densities and one normal tail each, integrated
// by adaptive Gauss-Kronrod quadrature (31 points). About forty times cheaper
// than the conditional integration below, it is taken when the quadrature's
// error estimate is within 1e-13 of the probability and the probability does
// not arise from the cancellation of terms a thousand times larger (tiny
// probabilities, near-singular correlations); otherwise:
//
// the bivariate orthant of the other two variables given X_j = x, integrated
// against phi(x) over x >= a_j by adaptive Gauss-Kronrod quadrature
// (boost::math::quadrature::gauss_kronrod, 31 points) to a relative error of
// 1e-13. Given X_j = x, X_m is normal with mean r_mj x and variance
// 1 - r_mj^2, and the others' partial correlation is
// (r_mn - r_mj r_nj) / sqrt((1 - r_mj^2)(1 - r_nj^2)).
//
// First moments: Tallis (1961, J. R. Statist. Soc. B 23, 223-229). For Y
// jointly standard normal with X,
//   E[Y 1{X >= a}] = sum over j of ry_j phi(a_j) P(X_-j >= a_-j | X_j = a_j),
// which needs the orthant of one dimension fewer, so that three stages need
// only bivariate probabilities.
#include "model/model.h"
#include "stages/orthant.h"

#include <algorithm>
#include <boost/math/constants/constants.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/owens_t.hpp>
#include <cmath>
#include <limits>

namespace fourfifths {
namespace {

// The standard normal density.
double normal_density(double x) {
  return std::exp(-0.5 * x * x) * boost::math::constants::one_div_root_two_pi<double>();
}


// Owen's T(x, num/den), den >= 0; den = 0 is the limit a -> +-inf (or 0).
double owen_t(double x, double num, double den) {
  if (den == 0) {
    if (num == 0) return 0;
    const double half_tail = 0.5 * upper_tail(std::abs(x));
    return num > 0 ? half_tail : -half_tail;
  }
  return boost::math::owens_t(x, num / den);
}

// X given X_j = x: the other variables, standardized.
Orthant conditional(const Orthant& o, int j, double x) {
  Orthant c;
  std::array<int, 2> rest{};
  std::array<double, 3> sd{};
  for (int m = 0; m < o.k; ++m) {
    if (m == j) continue;
    rest[static_cast<std::size_t>(c.k)] = m;
    sd[static_cast<std::size_t>(m)] = std::sqrt(1 - o.r[m][j] * o.r[m][j]);
    c.a[static_cast<std::size_t>(c.k)] = (o.a[m] - o.r[m][j] * x) / sd[static_cast<std::size_t>(m)];
    ++c.k;
  }
  for (int u = 0; u < c.k; ++u) {
    c.r[u][u] = 1;
    for (int v = u + 1; v < c.k; ++v) {
      const int m = rest[static_cast<std::size_t>(u)];
      const int n = rest[static_cast<std::size_t>(v)];
      const double partial = (o.r[m][n] - o.r[m][j] * o.r[n][j]) / (sd[m] * sd[n]);
      c.r[u][v] = c.r[v][u] = std::clamp(partial, -1.0, 1.0);
    }
  }
  return c;
}

// The three-dimensional orthant by Plackett's reduction, or NaN when its
// result cannot be trusted to a relative 1e-13.
double plackett_orthant(const Orthant& o) {
  int i = 0, j = 1, k = 2;
  const double r01 = std::abs(o.r[0][1]), r02 = std::abs(o.r[0][2]), r12 = std::abs(o.r[1][2]);
  if (r01 >= r02 && r01 >= r12) {
    i = 2, j = 0, k = 1;
  } else if (r02 >= r12) {
    i = 1, j = 0, k = 2;
  }
  const double rij = o.r[i][j], rik = o.r[i][k], rjk = o.r[j][k];
  const double ai = o.a[i];
  const double base = upper_tail(ai) * bivariate_upper(o.a[j], o.a[k], rjk);
  if (rij == 0 && rik == 0) return base;
  // r_iB dP/dr_iB on the path at t: X_i and X_B at their thresholds with
  // correlation t r_iB, times X_C's tail given both (X_C's correlations are
  // t r_iC with X_i and r_jk with X_B).
  auto term = [&](double t, double rib, double ric, double ab, double ac) {
    const double s = t * rib;
    const double c1 = t * ric;
    const double det = (1 - s) * (1 + s);
    const double density = std::exp(-0.5 * (ai * ai - 2 * s * ai * ab + ab * ab) / det) /
                           (2 * boost::math::constants::pi<double>() * std::sqrt(det));
    const double b1 = (c1 - rjk * s) / det;
    const double b2 = (rjk - c1 * s) / det;
    const double mean = b1 * ai + b2 * ab;
    const double variance = 1 - b1 * c1 - b2 * rjk;
    const double tail =
        variance > 0 ? upper_tail((ac - mean) / std::sqrt(variance)) : (ac <= mean ? 1.0 : 0.0);
    return rib * density * tail;
  };
  auto f = [&](double t) {
    return term(t, rij, rik, o.a[j], o.a[k]) + term(t, rik, rij, o.a[k], o.a[j]);
  };
  double error = 0;
  const double integral =
      boost::math::quadrature::gauss_kronrod<double, 31>::integrate(f, 0.0, 1.0, 5, 1e-14, &error);
  const double p = base + integral;
  if (error <= 1e-13 * p && base + std::abs(integral) <= 1e3 * p) return p;
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace


double bivariate_upper(double h, double k, double rho) {
  if (rho >= 1) return upper_tail(std::max(h, k));
  if (rho <= -1) return std::max(0.0, upper_tail(h) + upper_tail(k) - 1);
  const double x = -h;
  const double y = -k;
  if (x == 0 && y == 0) return 0.25 + std::asin(rho) / (2 * boost::math::constants::pi<double>());
  const double s = std::sqrt((1 - rho) * (1 + rho));
  // T(x, b/(x s)) with the sign of x carried into the numerator.
  const double tx = owen_t(x, (y - rho * x) * (x < 0 ? -1 : 1), std::abs(x) * s);
  const double ty = owen_t(y, (x - rho * y) * (y < 0 ? -1 : 1), std::abs(y) * s);
  const double beta = (x * y > 0 || (x * y == 0 && x + y >= 0)) ? 0 : 0.5;
  const double p = 0.5 * (1 - upper_tail(x)) + 0.5 * (1 - upper_tail(y)) - tx - ty - beta;
  return std::clamp(p, 0.0, std::min(upper_tail(h), upper_tail(k)));
}

double orthant_probability(const Orthant& o) {
  switch (o.k) {
    case 0:
      return 1;
    case 1:
      return upper_tail(o.a[0]);
    case 2:
      return bivariate_upper(o.a[0], o.a[1], o.r[0][1]);
    default:
      break;
  }
  const double plackett = plackett_orthant(o);
  if (!std::isnan(plackett)) return std::clamp(plackett, 0.0, 1.0);
  // Integrate over the variable with the highest threshold: the shortest range.
  int j = 0;
  for (int m = 1; m < o.k; ++m)
    if (o.a[m] > o.a[j]) j = m;
  // Below -9 and beyond 10 standard deviations lies less than 1e-18 of the mass.
  const double lo = std::max(o.a[j], -9.0);
  const double hi = std::max(lo, 0.0) + 10;
  auto f = [&](double x) { return normal_density(x) * orthant_probability(conditional(o, j, x)); };
  const double p =
      boost::math::quadrature::gauss_kronrod<double, 31>::integrate(f, lo, hi, 15, 1e-13);
  return std::clamp(p, 0.0, 1.0);
}

double orthant_moment(const Orthant& o, const std::array<double, 3>& ry) {
  double m = 0;
  for (int j = 0; j < o.k; ++j)
    if (ry[j] != 0) m += ry[j] * normal_density(o.a[j]) * orthant_probability(conditional(o, j, o.a[j]));
  return m;
}

}  // namespace fourfifths
