// The fourfifths binary in a real process: ended by each of the four signals
// it handles while it waits for its deck, and when its standard output
// refuses the report or stops taking it.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "report/report.h"
#include "support/process.h"
#include "support/signal_cases.h"

namespace fourfifths {
namespace {

TEST(FourfifthsProcess, SignalsEndTheRunWithTheirMessage) {
  for (const auto& c : testing::signal_cases) {
    SCOPED_TRACE(c.err);
    const auto r = testing::spawn(
        {.program = FOURFIFTHS_BINARY, .keep_input_open = true, .signals = {c.signal}});
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

// A report that cannot be written is a failure, never a success.
TEST(FourfifthsProcess, ReportRefusedByAFullDevice) {
  const auto r = testing::spawn({.program = FOURFIFTHS_BINARY,
                                 .input_path = FOURFIFTHS_SOURCE_DIR "/examples/worked.deck",
                                 .output = testing::Output::full_device});
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.signal, SIGABRT);
  EXPECT_EQ(r.err, std::string("write: ") + std::strerror(ENOSPC) +
                       "\napparent state: unit 6 (unnamed)\n"
                       "lately writing sequential formatted external IO\n");
}

// The reader of a long report has stopped reading: termination still takes
// effect at once, and the records that reached the reader are whole.
TEST(FourfifthsProcess, TerminatedWhileTheReaderStalls) {
  const std::string deck = FOURFIFTHS_SOURCE_DIR "/bench/large.deck";
  const std::string report = run_classic(testing::read_file(deck)).out;
  const auto r = testing::spawn({.program = FOURFIFTHS_BINARY,
                                 .input_path = deck,
                                 .output = testing::Output::stalled,
                                 .when = testing::Spawn::When::output_stalled,
                                 .signals = {SIGTERM}});
  EXPECT_LT(r.seconds_after_signals, 1.0);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Killed\n");
  ASSERT_GT(r.out.size(), 0u);
  EXPECT_LT(r.out.size(), report.size());
  EXPECT_EQ(r.out, report.substr(0, r.out.size()));
  EXPECT_EQ(r.out.back(), '\n');
}

}  // namespace
}  // namespace fourfifths
