// The C interface of the three Level-1 BLAS routines that the library calls,
// for the WebAssembly build, which has no BLAS: this header stands in for the
// system's cblas.h and cblas.cc forwards each call to the portable loops of
// regression/level1.h.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

double cblas_ddot(int n, const double* x, int incx, const double* y, int incy);
void cblas_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy);
void cblas_dscal(int n, double alpha, double* x, int incx);

#ifdef __cplusplus
}
#endif
