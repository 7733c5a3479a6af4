// The fourfifths binary waiting for its deck on an open, empty standard input,
// ended by each of the four signals it handles.
#include <gtest/gtest.h>

#include <csignal>

#include "support/process.h"
#include "support/signal_cases.h"

namespace fourfifths {
namespace {

TEST(DriverSignals, EndTheRunWithTheirMessage) {
  for (const auto& c : testing::signal_cases) {
    SCOPED_TRACE(c.err);
    const auto r = testing::run_interrupted(FOURFIFTHS_BINARY, c.signal);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    if (c.status < 0) {
      EXPECT_FALSE(r.exited);
      EXPECT_EQ(r.signal, SIGABRT);
    } else {
      EXPECT_TRUE(r.exited);
      EXPECT_EQ(r.status, c.status);
    }
  }
}

}  // namespace
}  // namespace fourfifths
