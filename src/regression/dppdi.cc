// dppdi: determinant and inverse of a symmetric positive-definite matrix from
// its packed Cholesky factor.
//
//   void dppdi(std::span<double> ap, int32_t& n, std::span<double, 2> det,
//              int32_t& job);
//
// ap holds R of A = R'R as dppfa leaves it (upper triangle by columns). The
// tens digit of job (job / 10) non-zero asks for the determinant of A as
// det[0] * 10^det[1] with 1 <= det[0] < 10 or det[0] = 0; the units digit
// (job % 10) non-zero asks for the upper triangle of A^-1 in place of R. The
// determinant comes first, while ap still holds R; det is written only when it
// is asked for. A span too short for order n is left alone, det included.
//
// Method: the packed-storage routine of the same name in Dongarra, Bunch, Moler
// and Stewart, LINPACK Users' Guide (SIAM, 1979): the determinant
// as the product of the squared diagonal of R, kept in scaled form; R^-1 in
// place column by column, then A^-1 = R^-1 (R^-1)' in place; the column
// operations are the Level-1 BLAS dscal and daxpy.
#include <cblas.h>

#include <cmath>
#include <cstddef>

#include "regression/regression.h"

namespace fourfifths {

namespace {

void determinant(std::span<const double> ap, int32_t n, std::span<double, 2> det) {
  det[0] = 1;
  det[1] = 0;
  std::size_t ii = 0;  // offset of R(i, i)
  for (int32_t i = 1; i <= n; ++i) {
    const double r2 = ap[ii] * ap[ii];
    double d = r2 * det[0];
    if (std::isinf(d) && std::isfinite(r2)) {
      // The product overflows although both factors are finite: take one
      // power of ten out first (det[0] < 10, so r2 * det[0] / 10 < r2).
      d = r2 * (det[0] / 10);
      det[1] = det[1] + 1;
    }
    det[0] = d;
    // A zero product stays zero; a non-finite one cannot be brought into
    // [1, 10). Either would keep the scaling loops below turning for ever.
    if (det[0] == 0 || !std::isfinite(det[0])) break;
    while (det[0] < 1) {
      det[0] = 10 * det[0];
      det[1] = det[1] - 1;
    }
    while (det[0] >= 10) {
      det[0] = det[0] / 10;
      det[1] = det[1] + 1;
    }
    ii += static_cast<std::size_t>(i) + 1;
  }
}

// R^-1 in place of R, column by column: the diagonal is inverted, the column
// above it scaled by minus that inverse, and its contribution passed on to the
// later columns.
void invert_factor(std::span<double> ap, int32_t n) {
  std::size_t colk = 0;  // offset of the first entry of column k
  for (int32_t k = 1; k <= n; ++k) {
    const auto above = static_cast<std::size_t>(k - 1);
    const std::size_t kk = colk + above;
    ap[kk] = 1 / ap[kk];
    cblas_dscal(k - 1, -ap[kk], ap.subspan(colk, above).data(), 1);
    std::size_t colj = colk + static_cast<std::size_t>(k);  // column j = k + 1 onwards
    for (int32_t j = k + 1; j <= n; ++j) {
      const std::size_t kj = colj + above;  // row k of column j
      const double t = ap[kj];
      ap[kj] = 0;
      const auto rows = static_cast<std::size_t>(k);
      cblas_daxpy(k, t, ap.subspan(colk, rows).data(), 1, ap.subspan(colj, rows).data(), 1);
      colj += static_cast<std::size_t>(j);
    }
    colk += static_cast<std::size_t>(k);
  }
}

// A^-1 = R^-1 (R^-1)' in place of R^-1, column by column: column j adds its
// multiples of itself into the earlier columns, then is scaled by its diagonal.
void form_inverse(std::span<double> ap, int32_t n) {
  std::size_t colj = 0;  // offset of the first entry of column j
  for (int32_t j = 1; j <= n; ++j) {
    std::size_t colk = 0;  // offset of the first entry of column k
    for (int32_t k = 1; k < j; ++k) {
      const auto rows = static_cast<std::size_t>(k);
      const double t = ap[colj + rows - 1];  // row k of column j
      cblas_daxpy(k, t, ap.subspan(colj, rows).data(), 1, ap.subspan(colk, rows).data(), 1);
      colk += rows;
    }
    const auto rows = static_cast<std::size_t>(j);
    const double t = ap[colj + rows - 1];
    cblas_dscal(j, t, ap.subspan(colj, rows).data(), 1);
    colj += rows;
  }
}

}  // namespace

void dppdi(std::span<double> ap, int32_t& n, std::span<double, 2> det, int32_t& job) {
  if (n > 0 && int64_t{n} * (n + 1) / 2 > static_cast<int64_t>(ap.size())) return;
  if (job / 10 != 0) determinant(ap, n, det);
  if (job % 10 != 0) {
    invert_factor(ap, n);
    form_inverse(ap, n);
  }
}

}  // namespace fourfifths
