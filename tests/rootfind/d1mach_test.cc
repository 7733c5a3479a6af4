// Tests of d1mach: the five machine constants of IEEE double arithmetic, and
// no constant for any other index.
#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "rootfind/rootfind.h"

namespace fourfifths {
namespace {

TEST(RootfindD1mach, MachineConstants) {
  using limits = std::numeric_limits<double>;
  const struct {
    int32_t i;
    double expected;
  } cases[] = {
      {1, limits::min()},         // 2^-1022
      {2, limits::max()},         // (2 - 2^-52) 2^1023
      {3, std::ldexp(1.0, -53)},  // smallest relative spacing
      {4, limits::epsilon()},     // 2^-52
      {5, 0.30102999566398119521 /* log10 2 */},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.i);
    int32_t i = c.i;
    EXPECT_EQ(d1mach(i), c.expected);
    EXPECT_EQ(i, c.i);
  }
}

TEST(RootfindD1mach, NoConstantOutOfBounds) {
  for (int32_t i : {0, 6, -12}) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(std::isnan(d1mach(i)));
  }
}

}  // namespace
}  // namespace fourfifths
