// dppfa and dppdi: packed Cholesky factor, determinant and inverse. Expected
// factors are either hand-worked or the R from which the test builds A = R'R;
// inverses are checked by multiplying back to the identity.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "regression/regression.h"

namespace fourfifths {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr double inf = std::numeric_limits<double>::infinity();

// Position of A(i, j), i <= j, counted from 1, in packed storage.
std::size_t Packed(int i, int j) {
  return static_cast<std::size_t>((i - 1) + j * (j - 1) / 2);
}

// A(i, j) of the full symmetric matrix held packed.
double Sym(const std::vector<double>& ap, int i, int j) {
  return i <= j ? ap[Packed(i, j)] : ap[Packed(j, i)];
}

// A = R'R in packed storage, from the packed upper triangular R.
std::vector<double> Gram(int n, const std::vector<double>& r) {
  std::vector<double> a(r.size());
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= j; ++i) {
      double sum = 0;
      for (int k = 1; k <= i; ++k) sum += r[Packed(k, i)] * r[Packed(k, j)];
      a[Packed(i, j)] = sum;
    }
  }
  return a;
}

// Entry by entry, to within a few units of rounding of the expected value.
void ExpectAllClose(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], 8 * eps * std::max(1.0, std::fabs(expected[i])))
        << "entry " << i;
  }
}

const std::vector<double> r3 = {2, 1, 3, -1, 0.5, 1.5};          // det(R'R) = 81
const std::vector<double> r4 = {1, 2, 1, 0, -1, 2, 1, 2, 1, 1};  // det(R'R) = 4

struct FactorCase {
  const char* what;
  int32_t n;
  std::vector<double> a;
  std::vector<double> r;
};

TEST(RegressionDppfa, FactorsInPackedColumnOrder) {
  const FactorCase cases[] = {
      {"order 1", 1, {4}, {2}},
      {"correlation 0.5", 2, {1, 0.5, 1}, {1, 0.5, std::sqrt(0.75)}},
      {"diagonal: A(1,1), A(2,2), A(3,3) at 1, 3, 6", 3, {4, 0, 9, 0, 0, 16}, {2, 0, 3, 0, 0, 4}},
      {"only A(1,3) off the diagonal, at 4",
       3,
       {1, 0, 1, 0.5, 0, 1},
       {1, 0, 1, 0.5, 0, std::sqrt(0.75)}},
      {"order 3 from R", 3, Gram(3, r3), r3},
      {"order 4 from R", 4, Gram(4, r4), r4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> ap = c.a;
    int32_t n = c.n;
    int32_t info = -1;
    dppfa(ap, n, info);
    EXPECT_EQ(info, 0);
    ExpectAllClose(ap, c.r);
  }
}

struct FailCase {
  const char* what;
  int32_t n;
  std::vector<double> a;
  int32_t info;
  std::vector<double> after;
};

TEST(RegressionDppfa, ReportsFirstMinorNotPositiveDefinite) {
  const FailCase cases[] = {
      {"off-diagonal 1", 2, {1, 1, 1}, 2, {1, 1, 1}},
      {"off-diagonal 1.5", 2, {1, 1.5, 1}, 2, {1, 1.5, 1}},
      {"first diagonal 0", 2, {0, 0.5, 1}, 1, {0, 0.5, 1}},
      {"first diagonal negative", 2, {-1, 0.5, 1}, 1, {-1, 0.5, 1}},
      // R(1,2) = 2 / 2 replaces A(1,2); A(2,2) stays; column 3 is untouched.
      {"stops at column 2", 3, {4, 2, 1, 7, 8, 9}, 2, {2, 1, 1, 7, 8, 9}},
      {"order 0", 0, {}, 0, {}},
      {"order 3 in 3 entries", 3, {1, 0, 1}, 3, {1, 0, 1}},
      {"order 2 in no entries", 2, {}, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> ap = c.a;  // sized exactly: a read beyond it is caught
    int32_t n = c.n;
    int32_t info = -1;
    dppfa(ap, n, info);
    EXPECT_EQ(info, c.info);
    EXPECT_EQ(ap, c.after);
  }
}

struct InverseCase {
  const char* what;
  int32_t n;
  std::vector<double> a;
  int32_t job;
  std::optional<std::array<double, 2>> det;  // none: det must not be written
  std::vector<double> ap;                    // expected ap afterwards
};

TEST(RegressionDppdi, DeterminantAndInverseByJobDigits) {
  const std::vector<double> r2 = {1, 0.5, std::sqrt(0.75)};
  const std::vector<double> inv2 = {4.0 / 3, -2.0 / 3, 4.0 / 3};
  const InverseCase cases[] = {
      {"order 1, job 11", 1, {4}, 11, {{4, 0}}, {0.25}},
      {"correlation 0.5, job 11", 2, {1, 0.5, 1}, 11, {{7.5, -1}}, inv2},
      {"job 10 leaves R", 2, {1, 0.5, 1}, 10, {{7.5, -1}}, r2},
      {"job 1 leaves det", 2, {1, 0.5, 1}, 1, std::nullopt, inv2},
      {"job 0 does nothing", 2, {1, 0.5, 1}, 0, std::nullopt, r2},
      {"identity", 3, {1, 0, 1, 0, 0, 1}, 11, {{1, 0}}, {1, 0, 1, 0, 0, 1}},
      {"2.5e-30", 1, {2.5e-30}, 10, {{2.5, -30}}, {std::sqrt(2.5e-30)}},
      {"product beyond the largest double",
       2,
       {9e307, 0, 9e307},
       10,
       {{8.1, 615}},
       {std::sqrt(9e307), 0, std::sqrt(9e307)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> ap = c.a;
    int32_t n = c.n;
    int32_t info = -1;
    dppfa(ap, n, info);
    ASSERT_EQ(info, 0);
    std::array<double, 2> det = {-7, 99};
    int32_t job = c.job;
    dppdi(ap, n, det, job);
    const std::array<double, 2> want = c.det.value_or(std::array<double, 2>{-7, 99});
    // Scaling into [1, 10) takes up to ~300 roundings (2.5e-30, 8.1e615).
    EXPECT_NEAR(det[0], want[0], 1e-13 * std::fabs(want[0]));
    EXPECT_EQ(det[1], want[1]);
    ExpectAllClose(ap, c.ap);
  }
}

TEST(RegressionDppdi, InverseTimesMatrixIsIdentity) {
  const struct {
    int32_t n;
    std::vector<double> r;
    double det0, det1;
  } cases[] = {{3, r3, 8.1, 1}, {4, r4, 4, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    const std::vector<double> a = Gram(c.n, c.r);
    std::vector<double> ap = a;
    int32_t n = c.n;
    int32_t info = -1;
    dppfa(ap, n, info);
    ASSERT_EQ(info, 0);
    std::array<double, 2> det{};
    int32_t job = 11;
    dppdi(ap, n, det, job);
    EXPECT_NEAR(det[0], c.det0, 16 * eps * c.det0);
    EXPECT_EQ(det[1], c.det1);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = 1; j <= c.n; ++j) {
        double sum = 0;
        for (int k = 1; k <= c.n; ++k) sum += Sym(a, i, k) * Sym(ap, k, j);
        EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-13) << "(" << i << ", " << j << ")";
      }
    }
  }
}

// Factors that dppfa never returns: the determinant must still end.
TEST(RegressionDppdi, DeterminantEndsOnZeroOrInfiniteProduct) {
  const struct {
    const char* what;
    int32_t n;
    std::vector<double> r;
    double det0, det1;
  } cases[] = {
      {"zero diagonal first", 2, {0, 0, 5}, 0, 0},
      {"infinite diagonal", 1, {inf}, inf, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> ap = c.r;
    int32_t n = c.n;
    std::array<double, 2> det{};
    int32_t job = 10;
    dppdi(ap, n, det, job);
    EXPECT_EQ(det[0], c.det0);
    EXPECT_EQ(det[1], c.det1);
    EXPECT_EQ(ap, c.r);
  }
}

TEST(RegressionDppdi, SpanTooShortIsLeftAlone) {
  std::vector<double> ap = {1, 0, 1};  // order 3 needs 6
  int32_t n = 3;
  std::array<double, 2> det = {-7, 99};
  int32_t job = 11;
  dppdi(ap, n, det, job);
  EXPECT_EQ(ap, (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(det, (std::array<double, 2>{-7, 99}));
}

}  // namespace
}  // namespace fourfifths
