// dfzero: a zero of a real function of one variable inside a bracket.
//
// Method: the safeguarded secant search of the SLATEC routine DFZERO (Shampine
// and Watts, after Dekker): each step takes a secant step between the two
// latest iterates, a bisection when the secant point would leave the half of
// the bracket next to the best point, or a minimal step of one tolerance when
// the secant step would be smaller than that; a bisection is forced whenever
// four steps have not shrunk the bracket eightfold. The bracket [B, C] is kept
// with F(B) the smaller in magnitude.
//
// IFLAG on return: 1 zero found to the tolerance, 2 F(B) exactly 0, 3 the
// bracket collapsed but |F(B)| grew (possible pole), 4 no sign change between
// B and C, 5 evaluation limit reached.
#include <algorithm>
#include <cmath>

#include "rootfind/rootfind.h"

namespace fourfifths {

namespace {

constexpr int32_t max_evaluations = 500;

// Sign comparison with zero counted as positive.
bool same_sign(double u, double v) {
  return (u >= 0.0) == (v >= 0.0);
}

}  // namespace

void dfzero(Equation f, double& b, double& c, double& r, double& re, double& ae, int32_t& iflag) {
  // The equation always gets a private copy of the abscissa, never b or c.
  double x;
  auto evaluate = [&](double at) {
    x = at;
    return f(x);
  };

  // Set-up.
  int32_t four = 4;
  const double er = 2.0 * d1mach(four);

  double z = r;
  if (!(r > std::min(b, c) && r < std::max(b, c))) z = c;  // r not strictly inside

  const double rw = re < er ? er : re;
  const double aw = ae >= 0.0 ? ae : 0.0;
  int32_t ic = 0;

  const double fz = evaluate(z);
  double fc = fz;
  double fb = evaluate(b);
  int32_t kount = 2;

  if (!same_sign(fz, fb)) {
    c = z;  // the bracket is b to z
  } else if (z != c) {
    fc = evaluate(c);
    kount = 3;
    if (!same_sign(fz, fc)) {  // the bracket is z to c
      b = z;
      fb = fz;
    }
  }

  double a = c;
  double fa = fc;
  double acbs = std::fabs(b - c);
  const double fx = std::max(std::fabs(fb), std::fabs(fc));

  // Iteration.
  for (;;) {
    if (std::fabs(fb) > std::fabs(fc)) {  // make b the better point
      a = b;
      fa = fb;
      b = c;
      fb = fc;
      c = a;
      fc = fa;
    }

    const double cmb = 0.5 * (c - b);
    const double acmb = std::fabs(cmb);
    const double tol = rw * std::fabs(b) + aw;

    if (acmb <= tol) break;
    if (fb == 0.0) {
      iflag = 2;
      return;
    }
    if (kount >= max_evaluations) {
      iflag = 5;
      return;
    }

    // Secant step b + p/q from the previous iterate a, with p >= 0.
    double p = (b - a) * fb;
    double q = fa - fb;
    if (p < 0.0) {
      p = -p;
      q = -q;
    }

    a = b;
    fa = fb;
    ic = ic + 1;
    bool forced_bisection = false;
    if (ic >= 4) {
      if (8.0 * acmb >= acbs) {
        forced_bisection = true;  // no eightfold shrink in four steps; ic stays
      } else {
        ic = 0;
        acbs = acmb;
      }
    }

    if (forced_bisection) {
      b = b + cmb;
    } else if (p <= std::fabs(q) * tol) {  // secant step below the tolerance
      b = cmb >= 0.0 ? b + tol : b - tol;
    } else if (p >= cmb * q) {  // secant point beyond the midpoint
      b = b + cmb;
    } else {
      b = b + p / q;
    }

    fb = evaluate(b);
    kount = kount + 1;

    if (same_sign(fb, fc)) {  // the bracket moves to the previous iterate
      c = a;
      fc = fa;
    }
  }

  // Finish: the bracket has collapsed to within the tolerance.
  if (same_sign(fb, fc)) {
    iflag = 4;
  } else if (std::fabs(fb) > fx) {
    iflag = 3;
  } else {
    iflag = 1;
  }
}

}  // namespace fourfifths
