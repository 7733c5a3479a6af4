// dppfa: Cholesky factor of a symmetric positive-definite matrix in packed
// storage.
//
//   void dppfa(std::span<double> ap, int32_t& n, int32_t& info);
//
// A of order n is held as its upper triangle, column by column: A(i, j), i <= j,
// counted from 1, is ap[(i - 1) + j (j - 1) / 2]. The routine factors A = R'R
// with R upper triangular and stores R in the same places. info = 0 on success;
// info = k > 0 when the leading minor of order k is not positive definite, and
// then columns 1..k-1 hold R, column k its new entries above the diagonal and
// its diagonal as it was, and the later columns are untouched. A span too short
// for order n is reported as info = the first column that does not fit in it,
// with ap unchanged. n <= 0: nothing to factor, info = 0.
//
// Method: the column-oriented (inner-product) Cholesky factorisation of the
// packed-storage routine of the same name in Dongarra, Bunch, Moler and
// Stewart, LINPACK Users' Guide (SIAM, 1979); the inner products
// are the Level-1 BLAS ddot.
#include <cblas.h>

#include <cmath>
#include <cstddef>

#include "regression/regression.h"

namespace fourfifths {

void dppfa(std::span<double> ap, int32_t& n, int32_t& info) {
  info = 0;
  if (n <= 0) return;
  const auto size = static_cast<int64_t>(ap.size());
  if (int64_t{n} * (n + 1) / 2 > size) {  // columns 1..j take j (j + 1) / 2 entries
    int32_t j = 1;
    while (int64_t{j} * (j + 1) / 2 <= size) ++j;
    info = j;
    return;
  }

  std::size_t colj = 0;  // offset of the first entry of column j
  for (int32_t j = 1; j <= n; ++j) {
    info = j;
    double s = 0;
    std::size_t colk = 0;  // offset of the first entry of column k
    for (int32_t k = 1; k < j; ++k) {
      // R(k, j) = (A(k, j) - R(1..k-1, k) . R(1..k-1, j)) / R(k, k); the
      // entries of column j above row k are already those of R.
      const auto above = static_cast<std::size_t>(k - 1);
      const std::size_t kj = colj + above;
      double t = ap[kj] - cblas_ddot(k - 1, ap.subspan(colk, above).data(), 1,
                                     ap.subspan(colj, above).data(), 1);
      t = t / ap[colk + above];
      ap[kj] = t;
      s = s + t * t;
      colk += static_cast<std::size_t>(k);
    }
    // The pivot: A(j, j) less the squares of the new entries above it.
    const std::size_t jj = colj + static_cast<std::size_t>(j - 1);
    s = ap[jj] - s;
    if (s <= 0) return;
    ap[jj] = std::sqrt(s);
    colj += static_cast<std::size_t>(j);
  }
  info = 0;
}

}  // namespace fourfifths
