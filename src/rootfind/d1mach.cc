// d1mach: machine constants of IEEE double-precision arithmetic, in the table
// order of the PORT/SLATEC machine-constant routine of that name.
//
//   1  smallest positive normalised magnitude  2^-1022
//   2  largest finite magnitude                (2 - 2^-52) 2^1023
//   3  smallest relative spacing               2^-53
//   4  largest relative spacing (epsilon)      2^-52
//   5  log10(2)
//
// Any other index names no constant and gives NaN: a library routine never
// ends the process it runs in.
#include <limits>

#include "rootfind/rootfind.h"

namespace fourfifths {

double d1mach(int32_t& i) {
  static constexpr double table[5] = {2.2250738585072014e-308, 1.7976931348623157e+308,
                                      1.1102230246251565e-16, 2.220446049250313e-16,
                                      0.3010299956639812};
  if (i < 1 || i > 5) return std::numeric_limits<double>::quiet_NaN();
  return table[i - 1];
}

}  // namespace fourfifths
