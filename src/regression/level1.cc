// The Level-1 operations of level1.h as plain loops. Each product and sum is
// formed on its own (no fused multiply-add: see the build's -ffp-contract=off)
// and the dot product adds from the first element on, which is the order of
// the reference BLAS, so that both give the same doubles.
#include "regression/level1.h"

#include <cstddef>

namespace fourfifths::level1 {
namespace {

// The offset of the first element of a vector of n with the stride inc: the
// BLAS starts a vector of negative stride at its far end.
std::ptrdiff_t start(int n, int inc) {
  return inc >= 0 ? 0 : static_cast<std::ptrdiff_t>(n - 1) * -inc;
}

}  // namespace

double ddot(int n, const double* x, int incx, const double* y, int incy) {
  double sum = 0;
  if (n <= 0) return sum;
  std::ptrdiff_t ix = start(n, incx), iy = start(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) sum += x[ix] * y[iy];
  return sum;
}

void daxpy(int n, double alpha, const double* x, int incx, double* y, int incy) {
  if (n <= 0 || alpha == 0) return;
  std::ptrdiff_t ix = start(n, incx), iy = start(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] += alpha * x[ix];
}

void dscal(int n, double alpha, double* x, int incx) {
  // The BLAS does nothing for a stride that is not positive.
  if (n <= 0 || incx <= 0) return;
  for (int i = 0; i < n; ++i) x[static_cast<std::ptrdiff_t>(i) * incx] *= alpha;
}

}  // namespace fourfifths::level1
