// Root finding: the bracketing zero finder used for every cut-off search, and
// the machine constants of IEEE double arithmetic that it needs.
#pragma once

#include <cstdint>

namespace fourfifths {

// An equation in one unknown: takes the abscissa by reference, returns F(x).
using Equation = double (*)(double& x);

// Searches the bracket [b, c] for a zero of f, starting from the guess r when
// it lies strictly inside. On return b is the best approximation and c the
// other end of the final bracket. re and ae are the relative and absolute
// error tolerances. iflag: 1 zero found, 2 f(b) exactly 0, 3 possible pole,
// 4 no sign change, 5 evaluation limit (500) reached.
void dfzero(Equation f, double& b, double& c, double& r, double& re, double& ae, int32_t& iflag);

// The i-th machine constant (1 to 5) of IEEE double arithmetic; any other index
// writes one report record and stops the run.
double d1mach(int32_t& i);

}  // namespace fourfifths
