// Tests of d1mach: the five machine constants of IEEE double arithmetic and the
// report record and normal stop for an index out of bounds.
#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "records/records.h"
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
  int32_t four = 4;
  EXPECT_EQ(d1mach(four), 2.220446049250313e-16);
}

TEST(RootfindD1mach, IndexOutOfBoundsWritesOneRecordAndStops) {
  const struct {
    void (*main_routine)();
    const char* out;
  } cases[] = {
      // The run ends at the first bad index: the call with 0 is never made.
      {[] {
         int32_t six = 6;
         d1mach(six);
         int32_t zero = 0;
         d1mach(zero);
       },
       " D1MACH - I OUT OF BOUNDS         6\n"},
      {[] {
         int32_t zero = 0;
         d1mach(zero);
       },
       " D1MACH - I OUT OF BOUNDS         0\n"},
      {[] {
         int32_t minus = -12;
         d1mach(minus);
       },
       " D1MACH - I OUT OF BOUNDS       -12\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    const RunOutcome outcome = run_in_memory("", c.main_routine);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.out.size(), 36u);
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(outcome.aborted);
    EXPECT_EQ(outcome.status, 0);
  }
}

}  // namespace
}  // namespace fourfifths
