// The C interface of the Level-1 BLAS that the library calls, forwarded to
// the Fortran BLAS that R links the package with ($(BLAS_LIBS) in Makevars).
#include "cblas.h"

#include <R_ext/BLAS.h>

extern "C" {

double cblas_ddot(int n, const double* x, int incx, const double* y, int incy) {
  return F77_CALL(ddot)(&n, x, &incx, y, &incy);
}

void cblas_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy) {
  F77_CALL(daxpy)(&n, &alpha, x, &incx, y, &incy);
}

void cblas_dscal(int n, double alpha, double* x, int incx) {
  F77_CALL(dscal)(&n, &alpha, x, &incx);
}
}
