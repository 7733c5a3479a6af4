// Tests of the bracketing zero finder dfzero: the five statuses, the set-up
// paths, the tolerances, and the two cut-off searches of the worked example.
// A counting wrapper records every abscissa at which the equation is evaluated.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "rootfind/rootfind.h"

namespace fourfifths {
namespace {

// The equations of these tests are plain functions.
using Fn = double (*)(double&);

// The equation under test and every abscissa it was evaluated at.
struct Trace {
  Fn f = nullptr;
  std::vector<double> at;
  const double* b = nullptr;  // the caller's B and C, which F must never be given
  const double* c = nullptr;
  bool aliased = false;
};
Trace trace;

double counted(double& x) {
  if (&x == trace.b || &x == trace.c) trace.aliased = true;
  trace.at.push_back(x);
  return trace.f(x);
}

struct Search {
  double b, c, r, re, ae;
  int32_t iflag = 0;
  std::vector<double> at;  // evaluation abscissas in order
};

Search search(Fn f, double b, double c, double r, double re, double ae) {
  Search s{b, c, r, re, ae, 0, {}};
  trace = Trace{f, {}, &s.b, &s.c, false};
  dfzero(counted, s.b, s.c, s.r, s.re, s.ae, s.iflag);
  EXPECT_FALSE(trace.aliased) << "F was handed B or C itself";
  EXPECT_EQ(s.r, r) << "R was written";
  EXPECT_EQ(s.re, re) << "RE was written";
  EXPECT_EQ(s.ae, ae) << "AE was written";
  s.at = trace.at;
  return s;
}

// Simple equations. Zeros are irrational where a secant step must not land on
// them exactly.
// clang-format off
double square_minus_two(double& x) { return x * x - 2.0; }
double square_minus_tenth(double& x) { return x * x - 0.1; }  // zero near 0.316
double square_minus_half(double& x) { return x * x - 0.5; }   // zero near 0.707
double cubic(double& x) { return (x - 0.3) * (x * x + 1.0); }
double identity(double& x) { return x; }
double negated(double& x) { return -x; }
double pole_at_third(double& x) { return 1.0 / (x - 1.0 / 3.0); }
double above_axis(double& x) { return x * x + 1.0; }
double unit_step(double& x) { return x >= 0.0 ? 1.0 : -1.0; }  // jumps at 0, never 0
// Negative and flattening fast towards a jump at 0.7: secant steps from the
// left stall at about 1/1000, so only forced bisections make progress.
double stalling(double& x) { return x < 0.7 ? -std::exp(-1000.0 * x) : 1.0; }
// clang-format on

// The final tolerance of a search with relative tolerance rw, absolute aw.
double tolerance(double b, double rw, double aw) {
  return rw * std::fabs(b) + aw;
}

TEST(RootfindDfzero, ZeroFoundWithinTolerance) {
  const Search s = search(square_minus_two, 0.0, 2.0, 0.0, 1e-10, 0.0);
  EXPECT_EQ(s.iflag, 1);
  const double tol = tolerance(s.b, 1e-10, 0.0);
  EXPECT_NEAR(s.b, std::sqrt(2.0), 2.0 * tol);
  EXPECT_LE(std::fabs(s.c - s.b) / 2.0, tol);
  double b = s.b, c = s.c;
  EXPECT_LE(std::fabs(square_minus_two(b)), std::fabs(square_minus_two(c)));
  EXPECT_LT(square_minus_two(b) * square_minus_two(c), 0.0);
  EXPECT_LT(s.at.size(), 20u);
}

TEST(RootfindDfzero, ExactZeroAtTheFirstEndStopsAfterTwoEvaluations) {
  // F(B) = 0 with F(C) positive (no bracket, zero counts as positive) and
  // negative (bracket B to C): either way IFLAG 2 after F(C) and F(B).
  for (Fn f : {identity, negated}) {
    const Search s = search(f, 0.0, 1.0, 0.0, 1e-4, 1e-6);
    EXPECT_EQ(s.iflag, 2);
    EXPECT_EQ(s.b, 0.0);
    EXPECT_EQ(s.c, 1.0);
    EXPECT_EQ(s.at, (std::vector<double>{1.0, 0.0}));
  }
}

TEST(RootfindDfzero, JumpWithGrowingValueIsAPossiblePole) {
  const Search s = search(pole_at_third, 0.0, 1.0, 0.0, 1e-10, 0.0);
  EXPECT_EQ(s.iflag, 3);
  EXPECT_NEAR(s.b, 1.0 / 3.0, 1e-9);
  EXPECT_LE(std::fabs(s.c - s.b) / 2.0, tolerance(s.b, 1e-10, 0.0));
}

TEST(RootfindDfzero, NoSignChangeEndsNearTheMinimum) {
  const Search s = search(above_axis, -1.0, 2.0, -1.0, 1e-6, 1e-8);
  EXPECT_EQ(s.iflag, 4);
  EXPECT_NEAR(s.b, 0.0, 1e-3);
  EXPECT_LE(std::fabs(s.c - s.b) / 2.0, tolerance(s.b, 1e-6, 1e-8));
  EXPECT_LT(s.at.size(), 500u);
}

TEST(RootfindDfzero, EvaluationLimitIsFiveHundred) {
  // The bracket around the jump at 0 can only shrink to a relative tolerance of
  // 2^-51 by reaching the bottom of the double range, far beyond 500 steps. The
  // limit counts the set-up evaluations, two or three.
  for (double r : {-1.0, -0.5}) {
    SCOPED_TRACE(r);
    const Search s = search(unit_step, -1.0, 1.0, r, 0.0, 0.0);
    EXPECT_EQ(s.iflag, 5);
    EXPECT_EQ(s.at.size(), 500u);
    EXPECT_LT(std::fabs(s.b), 1e-100);
  }
}

// An exact zero met at the 500th evaluation is reported as such: F(B) = 0 is
// looked at before the evaluation count.
TEST(RootfindDfzero, ExactZeroAtTheLastEvaluationIsAZero) {
  const Search s = search([](double& x) { return trace.at.size() == 500 ? 0.0 : unit_step(x); },
                          -1.0, 1.0, -1.0, 0.0, 0.0);
  EXPECT_EQ(s.iflag, 2);
  EXPECT_EQ(s.at.size(), 500u);
  EXPECT_EQ(s.b, s.at.back());
}

// Ties in |F| do not exchange B and C. With F = -1, +1 every secant point is the
// midpoint: from [-1, 3] the iterates are 1, 0, -0.5. With AE = 0.5 the half
// bracket at B = 0 equals TOL exactly, which ends the search; with AE = 0.3 it
// takes one more bisection.
TEST(RootfindDfzero, EqualMagnitudesKeepTheFirstEnd) {
  const struct {
    double ae;
    std::vector<double> at;
    double b, c;
  } cases[] = {
      {0.3, {3.0, -1.0, 1.0, 0.0, -0.5}, -0.5, 0.0},
      {0.5, {3.0, -1.0, 1.0, 0.0}, 0.0, -1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ae);
    const Search s = search(unit_step, -1.0, 3.0, -1.0, 0.0, c.ae);
    EXPECT_EQ(s.iflag, 1);
    EXPECT_EQ(s.at, c.at);
    EXPECT_EQ(s.b, c.b);
    EXPECT_EQ(s.c, c.c);
  }
}

// A bracket already within TOL ends the search before F(B) = 0 is looked at;
// the status then follows the signs, with zero counted as positive.
TEST(RootfindDfzero, CollapsedBracketOutranksExactZero) {
  const struct {
    Fn f;
    int32_t iflag;
  } cases[] = {
      {identity, 4},  // F(B) = 0 and F(C) > 0: no sign change
      {negated, 1},   // F(B) = 0 and F(C) < 0: sign change, |F(B)| <= FX
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iflag);
    const Search s = search(c.f, 0.0, 1e-7, 0.0, 0.0, 1e-6);
    EXPECT_EQ(s.iflag, c.iflag);
    EXPECT_EQ(s.b, 0.0);
    EXPECT_EQ(s.c, 1e-7);
    EXPECT_EQ(s.at, (std::vector<double>{1e-7, 0.0}));
  }
}

// The safeguard, traced by hand from the algorithm on [0, 1] with RE = 0 (so
// RW = 2^-51) and AE = 2^-30:
//   1, 0       set-up, bracket [0, 1]
//   3rd        bisection (the secant point is the midpoint), 0.5
//   4th        minimal step, 0.5 + TOL
//   5th        secant step, about 1/1000
//   6th        fourth step: 8 ACMB >= ACBS = 1, forced bisection of [x5, 1];
//              F > 0 there, so the bracket becomes [x5, x6]
//   7th        fifth step: 8 ACMB < 1, IC and ACBS reset; minimal step from x5
//   8th-10th   three free secant steps of 1/1000 and less
//   11th-13th  forced bisections towards x6: IC is not reset by them
//   14th       8 ACMB < ACBS: reset; minimal step from x12
TEST(RootfindDfzero, ForcedBisectionEveryStepFromTheFourth) {
  const double aw = std::ldexp(1.0, -30);
  auto tol = [aw](double b) { return std::ldexp(1.0, -51) * std::fabs(b) + aw; };
  const Search s = search(stalling, 0.0, 1.0, 0.0, 0.0, aw);
  ASSERT_GE(s.at.size(), 14u);
  const std::vector<double>& x = s.at;
  EXPECT_EQ(x[0], 1.0);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_EQ(x[2], 0.5);
  EXPECT_EQ(x[3], 0.5 + tol(0.5));
  EXPECT_NEAR(x[4] - x[3], 0.001, 1e-6);
  EXPECT_EQ(x[5], x[4] + 0.5 * (1.0 - x[4]));
  EXPECT_EQ(x[6], x[4] + tol(x[4]));
  for (int k = 7; k <= 9; ++k) {
    EXPECT_GT(x[k] - x[k - 1], 0.0) << "evaluation " << k + 1;
    EXPECT_LT(x[k] - x[k - 1], 0.0011) << "evaluation " << k + 1;
  }
  EXPECT_EQ(x[10], x[9] + 0.5 * (x[5] - x[9]));
  EXPECT_EQ(x[11], x[10] + 0.5 * (x[5] - x[10]));
  EXPECT_EQ(x[12], x[11] + 0.5 * (x[5] - x[11]));
  EXPECT_EQ(x[13], x[11] + tol(x[11]));
  EXPECT_EQ(s.iflag, 1);
  EXPECT_NEAR(s.b, 0.7, 2.0 * tol(0.7));
}

// Set-up: which points are evaluated first, and which bracket the search keeps.
TEST(RootfindDfzero, SetUpPaths) {
  const struct {
    const char* name;
    Fn f;
    double b, c, r;
    std::vector<double> first;  // the set-up evaluations, in order
    double lo, hi;              // every later evaluation lies strictly inside
    int32_t iflag;
  } cases[] = {
      {"guess inside, change between B and R",
       square_minus_tenth,
       0.0,
       1.0,
       0.5,
       {0.5, 0.0},
       0.0,
       0.5,
       1},
      {"guess inside, change between R and C",
       square_minus_half,
       0.0,
       1.0,
       0.5,
       {0.5, 0.0, 1.0},
       0.5,
       1.0,
       1},
      {"guess equal to B, change", cubic, 0.0, 1.0, 0.0, {1.0, 0.0}, 0.0, 1.0, 1},
      {"guess beyond C", cubic, 0.0, 1.0, 7.0, {1.0, 0.0}, 0.0, 1.0, 1},
      {"guess equal to C", cubic, 0.0, 1.0, 1.0, {1.0, 0.0}, 0.0, 1.0, 1},
      {"ends reversed, guess inside", cubic, 1.0, 0.0, 0.5, {0.5, 1.0, 0.0}, 0.0, 0.5, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Search s = search(c.f, c.b, c.c, c.r, 1e-8, 0.0);
    EXPECT_EQ(s.iflag, c.iflag);
    ASSERT_GT(s.at.size(), c.first.size());
    EXPECT_EQ(std::vector<double>(s.at.begin(), s.at.begin() + c.first.size()), c.first);
    for (std::size_t k = c.first.size(); k < s.at.size(); ++k) {
      EXPECT_GT(s.at[k], c.lo) << "evaluation " << k + 1;
      EXPECT_LT(s.at[k], c.hi) << "evaluation " << k + 1;
    }
  }
}

// R equal to B without a sign change: two evaluations, no third at C, then the
// iteration runs without a bracket and ends with IFLAG 4.
TEST(RootfindDfzero, GuessAtFirstEndWithoutSignChange) {
  const Search s = search(above_axis, -1.0, 2.0, -1.0, 1e-6, 1e-8);
  ASSERT_GE(s.at.size(), 3u);
  EXPECT_EQ(s.at[0], 2.0);
  EXPECT_EQ(s.at[1], -1.0);
  EXPECT_NE(s.at[2], 2.0);
  EXPECT_EQ(s.iflag, 4);
}

TEST(RootfindDfzero, NegativeAbsoluteToleranceCountsAsZero) {
  const Search zero = search(cubic, 0.0, 1.0, 0.0, 1e-9, 0.0);
  const Search negative = search(cubic, 0.0, 1.0, 0.0, 1e-9, -1.0);
  EXPECT_EQ(zero.iflag, 1);
  EXPECT_EQ(negative.iflag, zero.iflag);
  EXPECT_EQ(negative.b, zero.b);
  EXPECT_EQ(negative.c, zero.c);
  EXPECT_EQ(negative.at, zero.at);
}

TEST(RootfindDfzero, RelativeToleranceIsAtLeastTwiceEpsilon) {
  const double floor = std::ldexp(1.0, -51);
  const Search reference = search(square_minus_two, 0.0, 2.0, 0.0, floor, 0.0);
  EXPECT_EQ(reference.iflag, 1);
  EXPECT_LE(std::fabs(reference.c - reference.b) / 2.0, floor * std::fabs(reference.b));
  for (double re : {0.0, 1e-30, floor / 2.0, -1.0}) {
    SCOPED_TRACE(re);
    const Search s = search(square_minus_two, 0.0, 2.0, 0.0, re, 0.0);
    EXPECT_EQ(s.iflag, reference.iflag);
    EXPECT_EQ(s.b, reference.b);
    EXPECT_EQ(s.c, reference.c);
    EXPECT_EQ(s.at, reference.at);
  }
}

TEST(RootfindDfzero, EquationMayScribbleOnItsArgument) {
  const Search s = search(
      [](double& x) {
        const double v = x * x - 0.5;
        x = 1e9;  // must not reach B or C
        return v;
      },
      0.0, 1.0, 0.0, 1e-8, 0.0);
  EXPECT_EQ(s.iflag, 1);
  EXPECT_NEAR(s.b, std::sqrt(0.5), 1e-7);
}

// The selection state of the worked example's searches, and the two
// equations over it.
SelectionState selection{};
double fun1_worked(double& x) {
  return fun1(selection, x);
}
double fun_worked(double& x) {
  return fun(selection, x);
}

// The searches of the worked example, with the selection state of its deck:
// dx = -1.1 / sqrt(1.55), the driver's arguments B = -8, C = 8, R = B,
// RE = 0.0001, AE = 0.000001.
class RootfindWorkedExample : public testing::Test {
 protected:
  void SetUp() override {
    selection = SelectionState{};
    selection.dx = -1.1 / std::sqrt(1.55);
  }
  void TearDown() override { selection = SelectionState{}; }
};

// The four-fifths boundary by plain bisection on the C library's erfc.
double four_fifths_cut_off(double dx) {
  auto ratio = [dx](double x) {
    return std::erfc((x - dx) / std::sqrt(2.0)) / std::erfc(x / std::sqrt(2.0)) - 0.8;
  };
  double lo = -8.0, hi = 8.0;
  for (int k = 0; k < 200; ++k) {
    const double mid = 0.5 * (lo + hi);
    (ratio(mid) > 0.0 ? lo : hi) = mid;
  }
  return lo;
}

TEST_F(RootfindWorkedExample, FourFifthsSearch) {
  const Search s = search(fun1_worked, -8.0, 8.0, -8.0, 0.0001, 0.000001);
  EXPECT_EQ(s.iflag, 1);
  EXPECT_EQ(s.at.size(), 12u);
  EXPECT_EQ(s.at.back(), s.c);  // the state holds the ratios at C
  EXPECT_NEAR(s.b, -1.56841, 0.000005);
  EXPECT_NEAR(s.c, -1.56825, 0.000005);
  EXPECT_NEAR(selection.sra, 0.942, 0.0005);
  EXPECT_NEAR(selection.sri, 0.753, 0.0005);
  EXPECT_NEAR(0.8 * selection.sra + 0.2 * selection.sri, 0.904, 0.0005);

  const double tol = tolerance(s.b, 0.0001, 0.000001);
  EXPECT_LE(std::fabs(s.c - s.b) / 2.0, tol);
  double b = s.b, c = s.c;
  EXPECT_LE(std::fabs(fun1_worked(b)), std::fabs(fun1_worked(c)));
  EXPECT_NEAR(s.b, four_fifths_cut_off(selection.dx), 2.0 * tol);
}

TEST_F(RootfindWorkedExample, OverallRatioOneHasNoZero) {
  selection.apratio = 4.0;
  selection.srtarget = 1.0;
  const Search s = search(fun_worked, -8.0, 8.0, -8.0, 0.0001, 0.000001);
  EXPECT_EQ(s.iflag, 4);
  EXPECT_EQ(s.at.size(), 3u);
  EXPECT_EQ(s.b, -8.0);
  EXPECT_NEAR(s.c, -7.999199, 0.0000005);
  EXPECT_EQ(s.at, (std::vector<double>{8.0, -8.0, s.c}));
}

}  // namespace
}  // namespace fourfifths
