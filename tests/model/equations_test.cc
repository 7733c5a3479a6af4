// Tests of the selection-ratio equations fun1 and fun and their side effect on
// the shared selection state.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

#include "model/model.h"

namespace fourfifths {
namespace {

// Upper tail area of the standard normal from the C library.
double upper_tail(double z) {
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

class ModelEquations : public testing::Test {
 protected:
  SelectionState selection{};
  double fun(double& x) { return fourfifths::fun(selection, x); }
  double fun1(double& x) { return fourfifths::fun1(selection, x); }
};

// An analysis starts from a state of zeros.
const SelectionState state_at_start{};

TEST(ModelState, FiveDoublesAllZeroAtTheStart) {
  static_assert(sizeof(SelectionState) == 5 * sizeof(double));
  static_assert(offsetof(SelectionState, srtarget) == 0);
  static_assert(offsetof(SelectionState, sra) == 1 * sizeof(double));
  static_assert(offsetof(SelectionState, sri) == 2 * sizeof(double));
  static_assert(offsetof(SelectionState, dx) == 3 * sizeof(double));
  static_assert(offsetof(SelectionState, apratio) == 4 * sizeof(double));
  EXPECT_EQ(state_at_start.srtarget, 0.0);
  EXPECT_EQ(state_at_start.sra, 0.0);
  EXPECT_EQ(state_at_start.sri, 0.0);
  EXPECT_EQ(state_at_start.dx, 0.0);
  EXPECT_EQ(state_at_start.apratio, 0.0);
}

// With apratio 4, pmaj is 0.8 and pmin is 1 - 0.8 in double precision. Cut-offs
// far beyond 37 make one group's selection ratio exactly 1 and the other's 0,
// so fun returns pmaj or pmin alone.
TEST_F(ModelEquations, FunFormsGroupProportionsFromApratio) {
  selection.apratio = 4.0;
  selection.srtarget = 0.0;

  selection.dx = -80.0;  // majority all selected, minority none
  double x = -40.0;
  EXPECT_EQ(fun(x), 0.8);

  selection.dx = 80.0;  // minority all selected, majority none
  x = 40.0;
  const double pmin = fun(x);
  EXPECT_EQ(pmin, 0.19999999999999996);
  EXPECT_NE(pmin, 0.2);  // not 1 / (apratio + 1)
}

TEST_F(ModelEquations, EqualGroupsGiveRatioOne) {
  selection.dx = 0.0;
  for (double x : {-8.0, -1.5, 0.0, 0.7, 8.0}) {
    SCOPED_TRACE(x);
    double arg = x;
    EXPECT_EQ(fun1(arg), 1.0 - 0.8);
    EXPECT_EQ(selection.sri, selection.sra);
  }
}

// dx = -1 at the ends of the search interval. At 8 the majority ratio is one
// minus a lower tail that rounds to 1 - 6 * 2^-53, the minority ratio exactly 0.
TEST_F(ModelEquations, FourFifthsEquationAtTheSearchEnds) {
  selection.dx = -1.0;

  double x = 8.0;
  EXPECT_EQ(fun1(x), -0.8);
  EXPECT_EQ(selection.sra, std::ldexp(6.0, -53));
  EXPECT_EQ(selection.sri, 0.0);

  x = -8.0;
  const double value = fun1(x);
  EXPECT_NEAR(1.0 - selection.sra, upper_tail(8.0), 1.2e-16);  // within the spacing below 1
  EXPECT_LT(selection.sra, 1.0);
  EXPECT_NEAR(1.0 - selection.sri, upper_tail(7.0), 1.2e-16);
  EXPECT_NEAR(1.0 - selection.sri, 1.28e-12, 0.005e-12);
  EXPECT_NEAR(value, 0.2, 2e-12);
}

// srtarget 1 cannot be reached inside [-8, 8]: at -8 the majority ratio already
// rounds to just below 1.
TEST_F(ModelEquations, TargetOneHasNoZeroInTheSearchInterval) {
  selection.dx = -1.1 / std::sqrt(1.55);
  selection.srtarget = 1.0;
  for (double apratio : {0.5, 1.0, 4.0, 100.0}) {
    SCOPED_TRACE(apratio);
    selection.apratio = apratio;
    double lo = -8.0;
    double hi = 8.0;
    EXPECT_LT(fun(lo), 0.0);
    EXPECT_LT(fun(hi), 0.0);
  }
}

// Each evaluation leaves the group selection ratios of its own cut-off, formed
// as one minus the lower tail, and does not change its argument.
TEST_F(ModelEquations, EvaluationLeavesItsSelectionRatios) {
  selection.dx = -0.5;
  selection.apratio = 3.0;
  selection.srtarget = 0.4;

  double x = 0.3;
  const double f1 = fun1(x);
  EXPECT_EQ(x, 0.3);
  EXPECT_NEAR(selection.sra, upper_tail(0.3), 1e-15);
  EXPECT_NEAR(selection.sri, upper_tail(0.8), 1e-15);
  EXPECT_NEAR(f1, upper_tail(0.8) / upper_tail(0.3) - 0.8, 1e-14);

  x = -1.2;
  const double f = fun(x);
  EXPECT_EQ(x, -1.2);
  EXPECT_NEAR(selection.sra, upper_tail(-1.2), 1e-15);
  EXPECT_NEAR(selection.sri, upper_tail(-0.7), 1e-15);
  EXPECT_NEAR(f, 0.75 * upper_tail(-1.2) + 0.25 * upper_tail(-0.7) - 0.4, 1e-15);

  // The model's parameters are read, never written.
  EXPECT_EQ(selection.dx, -0.5);
  EXPECT_EQ(selection.apratio, 3.0);
  EXPECT_EQ(selection.srtarget, 0.4);
}

}  // namespace
}  // namespace fourfifths
