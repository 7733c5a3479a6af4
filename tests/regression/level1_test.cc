// The portable Level-1 operations of the WebAssembly build against the BLAS
// this build links, on the vector lengths and strides of the packed factor
// and inverse (up to the ten variables a problem may have) and beyond.
#include <cblas.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "regression/level1.h"

namespace fourfifths {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();

struct Case {
  int n, incx, incy;
  double alpha;
};

// Lengths 0 to 12 (none, one element, the orders of the problems, more than
// the BLAS unrolls), unit, wider and reversed strides, and the scalars that
// the BLAS treats apart (0, 1, -1).
std::vector<Case> cases() {
  std::vector<Case> all;
  for (int n = 0; n <= 12; ++n)
    for (const auto& [incx, incy] : {std::pair{1, 1}, {2, 1}, {1, 3}, {-1, 1}, {2, -2}})
      for (const double alpha : {0.0, 1.0, -1.0, 0.37, -2.5e3}) all.push_back({n, incx, incy, alpha});
  return all;
}

std::vector<double> random_vector(std::mt19937_64& generator, int n, int inc) {
  std::uniform_real_distribution<double> value(-3, 3);
  std::vector<double> v(static_cast<std::size_t>(1 + std::max(n - 1, 0) * std::abs(inc)));
  for (double& x : v) x = value(generator);
  return v;
}

TEST(Level1, EqualsTheBlasUpToRounding) {
  std::mt19937_64 generator(20);
  for (const Case& c : cases()) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " incx " << c.incx << " incy " << c.incy
                                    << " alpha " << c.alpha);
    const std::vector<double> x = random_vector(generator, c.n, c.incx);
    const std::vector<double> y = random_vector(generator, c.n, c.incy);

    // The dot product: the same sum, to the rounding of its terms.
    double magnitude = 0;
    for (int i = 0; i < c.n; ++i) {
      const int ix = c.incx > 0 ? i * c.incx : (c.n - 1 - i) * -c.incx;
      const int iy = c.incy > 0 ? i * c.incy : (c.n - 1 - i) * -c.incy;
      magnitude += std::abs(x[ix] * y[iy]);
    }
    EXPECT_NEAR(level1::ddot(c.n, x.data(), c.incx, y.data(), c.incy),
                cblas_ddot(c.n, x.data(), c.incx, y.data(), c.incy), 2 * c.n * eps * magnitude);

    // y += alpha x: every element, to the rounding of one product and sum.
    std::vector<double> ours = y, blas = y;
    level1::daxpy(c.n, c.alpha, x.data(), c.incx, ours.data(), c.incy);
    cblas_daxpy(c.n, c.alpha, x.data(), c.incx, blas.data(), c.incy);
    for (std::size_t i = 0; i < ours.size(); ++i)
      EXPECT_NEAR(ours[i], blas[i], 2 * eps * (std::abs(y[i]) + std::abs(c.alpha) * 3)) << "y[" << i << "]";

    // x *= alpha: one product each, so exactly the BLAS's; elements off the
    // stride (and every element for a stride that is not positive) untouched.
    ours = x;
    blas = x;
    level1::dscal(c.n, c.alpha, ours.data(), c.incx);
    cblas_dscal(c.n, c.alpha, blas.data(), c.incx);
    EXPECT_EQ(ours, blas);
  }
}

}  // namespace
}  // namespace fourfifths
