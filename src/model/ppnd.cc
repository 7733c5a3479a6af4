// ppnd: the standard normal quantile, the point z whose lower tail area is p.
//
// Method: Wichura's algorithm AS 241 (Applied Statistics 37, 1988), 16-digit
// version: a rational function in a shifted square of p - 0.5 for the central
// region |p - 0.5| <= 0.425, and rational functions in sqrt(-ln s) of the
// smaller tail s for the near tail (sqrt(-ln s) <= 5) and the far tail.
// ifault is 1, and the result 0, for p outside the open interval (0, 1).
#include <cmath>

#include "model/constants.h"
#include "model/model.h"

namespace fourfifths {

namespace {

// Horner's rule from the power-7 coefficient down.
double horner(const double (&c)[8], double r) {
  double v = c[7];
  for (int k = 6; k >= 0; --k) v = v * r + c[k];
  return v;
}

}  // namespace

double ppnd(double& p, int32_t& ifault) {
  using namespace normal;
  ifault = 0;
  const double d = p - 0.5;

  if (std::fabs(d) <= 0.425) {
    const double r = 0.180625 - d * d;
    return d * horner(central_num, r) / horner(central_den, r);
  }

  const double s = d < 0.0 ? p : 1.0 - p;  // the smaller tail
  if (!(s > 0.0)) {                        // p <= 0 or p >= 1 (or not a number)
    ifault = 1;
    return 0.0;
  }

  double r = std::sqrt(-std::log(s));
  double v;
  if (r <= 5.0) {
    r = r - 1.6;
    v = horner(near_num, r) / horner(near_den, r);
  } else {
    r = r - 5.0;
    v = horner(far_num, r) / horner(far_den, r);
  }
  return d < 0.0 ? -v : v;
}

}  // namespace fourfifths
