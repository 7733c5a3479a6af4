// The BLAS calls of the WebAssembly build, on the library's portable loops.
#include "cblas.h"

#include "regression/level1.h"

extern "C" {

double cblas_ddot(int n, const double* x, int incx, const double* y, int incy) {
  return fourfifths::level1::ddot(n, x, incx, y, incy);
}

void cblas_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy) {
  fourfifths::level1::daxpy(n, alpha, x, incx, y, incy);
}

void cblas_dscal(int n, double alpha, double* x, int incx) {
  fourfifths::level1::dscal(n, alpha, x, incx);
}
}
