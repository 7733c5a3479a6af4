// upper_tail: the upper tail area of the standard normal distribution.
//
//   double upper_tail(double x);
//
// 1 - Phi(x) = erfc(x / sqrt 2) / 2, from the C library's complementary error
// function, which keeps its relative accuracy (a few units in the last place)
// into the far upper tail, where one minus a lower tail area is all rounding:
// at x = 7, 1 - Phi(x) is 1.3e-12, and one minus the lower tail is right to
// only about 1e-4 of that.
#include <cmath>
#include <numbers>

#include "model/model.h"

namespace fourfifths {

double upper_tail(double x) {
  return 0.5 * std::erfc(x / std::numbers::sqrt2);
}

}  // namespace fourfifths
