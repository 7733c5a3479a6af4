// normp: lower tail area, upper tail area and density of the standard normal
// distribution at one point.
//
// Method: Hart's algorithm 5666 (Computer Approximations, 1968), a rational
// function of degree 6 over degree 7 times exp(-z^2/2) for the tail area below
// |z| = cutoff, and the continued fraction of the Mills ratio from cutoff on.
// Only the smaller tail is approximated; the other is one minus it. Beyond
// |z| = 37 the tails are taken as the exact limits 0 and 1.
#include <cmath>

#include "model/constants.h"
#include "model/model.h"

namespace fourfifths {

void normp(double& z, double& p, double& q, double& pdf) {
  using namespace normal;
  const double y = std::fabs(z);

  if (y > 37.0) {  // both tails exact to double precision; 37 itself is computed
    pdf = 0.0;
    if (z > 0.0) {
      p = 1.0;
      q = 0.0;
    } else {
      p = 0.0;
      q = 1.0;
    }
    return;
  }

  const double e = std::exp(-(y * y) * 0.5);
  pdf = e / root2pi;

  // Tail area beyond y.
  double t;
  if (y < cutoff) {
    const double num = (((((p6 * y + p5) * y + p4) * y + p3) * y + p2) * y + p1) * y + p0;
    const double den =
        ((((((q7 * y + q6) * y + q5) * y + q4) * y + q3) * y + q2) * y + q1) * y + q0;
    t = e * num / den;
  } else {
    t = pdf / (y + 1.0 / (y + 2.0 / (y + 3.0 / (y + 4.0 / (y + 0.65)))));
  }

  if (z < 0.0) {
    p = t;
    q = 1.0 - p;
  } else {  // z >= 0, negative zero included
    q = t;
    p = 1.0 - q;
  }
}

}  // namespace fourfifths
