// The three Level-1 BLAS routines of the library's regression weights, in
// their C interface, for the R package only: R provides the Fortran BLAS
// (R_ext/BLAS.h) and, when built with its own BLAS, no cblas_* functions.
// This header stands in for the system's cblas.h, and cblas.cpp forwards
// each call to R's BLAS. Hidden, so that the package's calls never bind to
// another library's functions of the same names.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("hidden"))) double cblas_ddot(int n, const double* x, int incx,
                                                         const double* y, int incy);
__attribute__((visibility("hidden"))) void cblas_daxpy(int n, double alpha, const double* x,
                                                        int incx, double* y, int incy);
__attribute__((visibility("hidden"))) void cblas_dscal(int n, double alpha, double* x, int incx);

#ifdef __cplusplus
}
#endif
