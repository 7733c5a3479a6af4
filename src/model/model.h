// Normal selection model: the standard normal distribution functions and the
// two equations in the cut-off that the analyses solve, with the selection
// state they share with the driver.
//
// Model: on the predictor composite the majority group is N(0, 1) and the
// minority group N(dx, 1); everybody at or above one common cut-off is selected.
#pragma once

#include <cstdint>

namespace fourfifths {

// The selection state that an analysis shares with the equations: the model's
// parameters and the group selection ratios of the latest evaluation. Each
// analysis owns one, all members zero at its start, in this order.
struct SelectionState {
  double srtarget;  // target selection ratio of the current table row
  double sra;       // majority-group selection ratio at the latest cut-off
  double sri;       // minority-group selection ratio at the latest cut-off
  double dx;        // effect size of the predictor composite
  double apratio;   // majority applicants per minority applicant
};

// Lower tail p, upper tail q and density pdf of the standard normal at z.
void normp(double& z, double& p, double& q, double& pdf);

// One tail area of the standard normal at x: the upper one when upper is
// non-zero, the lower one otherwise.
double alnorm(double& x, int32_t& upper);

// The standard normal quantile: the z whose lower tail area is p. ifault is 0
// on success and 1 (result 0) when p lies outside the open interval (0, 1).
double ppnd(double& p, int32_t& ifault);

// Adverse-impact ratio at the cut-off x minus 0.8; leaves sra and sri for x
// in the state.
double fun1(SelectionState& state, double& x);

// Overall selection ratio at the cut-off x minus srtarget; leaves sra and sri
// for x in the state.
double fun(SelectionState& state, double& x);

// The upper tail area 1 - Phi(x) of the standard normal, formed as an upper
// tail (from erfc), so that it keeps its relative accuracy however small.
double upper_tail(double x);

// As fun, with each group's selection ratio from upper_tail rather than as one
// minus a lower tail area: for the newer analyses, whose selection ratios may
// be far below the machine epsilon.
double fun_upper(SelectionState& state, double& x);

}  // namespace fourfifths
