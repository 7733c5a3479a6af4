// The three Level-1 BLAS operations of the packed factor and inverse (dot
// product, y += a x, x *= a) written out portably, for builds that have no
// BLAS to link: the WebAssembly page forwards its cblas_ddot, cblas_daxpy and
// cblas_dscal here (web/cblas.cc). Strides may be negative, as in the BLAS:
// the vector then runs from its last element to its first.
#pragma once

namespace fourfifths::level1 {

// The sum of x[i] y[i] over n elements, added in order from the first.
double ddot(int n, const double* x, int incx, const double* y, int incy);

// y[i] += alpha x[i] over n elements.
void daxpy(int n, double alpha, const double* x, int incx, double* y, int incy);

// x[i] *= alpha over n elements.
void dscal(int n, double alpha, double* x, int incx);

}  // namespace fourfifths::level1
