// Orthant probabilities and first moments of the standard multivariate normal
// of up to three dimensions: the core of staged selection.
#pragma once

#include <array>

namespace fourfifths {

// X standard normal of dimension k (0..3) with correlations r: the region
// X_i >= a_i for every i. Thresholds are finite; no two variables are
// perfectly correlated, except that r of exactly +-1 is allowed for k = 2.
struct Orthant {
  int k = 0;
  std::array<double, 3> a{};
  std::array<std::array<double, 3>, 3> r{};
};


// P(X >= h, Y >= k) for standard bivariate normal X, Y with correlation rho.
double bivariate_upper(double h, double k, double rho);

// P(X in the region).
double orthant_probability(const Orthant& o);

// E[Y 1{X in the region}] for a standard normal Y with correlations ry to X.
double orthant_moment(const Orthant& o, const std::array<double, 3>& ry);

}  // namespace fourfifths
