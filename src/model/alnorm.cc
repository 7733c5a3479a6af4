// alnorm: one tail area of the standard normal distribution, the upper one when
// the flag is set, the lower one otherwise.
//
// No approximation of its own: it takes the tail areas of normp (Hart 5666) and
// discards the density.
#include "model/model.h"

namespace fourfifths {

double alnorm(double& x, int32_t& upper) {
  double p;
  double q;
  double pdf;
  normp(x, p, q, pdf);
  return upper != 0 ? q : p;
}

}  // namespace fourfifths
