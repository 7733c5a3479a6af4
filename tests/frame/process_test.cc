// The run frame in a real process: the probe program is spawned and its exit
// status, standard output and standard error are checked, for normal and
// quiet ends, aborts after a failed read, the four signals, standard output
// that refuses the report, and interrupts while the report's reader has
// stopped reading.
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/signal_cases.h"

namespace fourfifths::testing {
namespace {

Ended run_probe(std::vector<std::string> args, std::string input, bool keep_input_open = false) {
  Spawn s;
  s.program = FRAME_PROBE_PATH;
  s.args = std::move(args);
  s.input = std::move(input);
  s.keep_input_open = keep_input_open;
  return spawn(s);
}

bool aborted(const Ended& e) {
  return !e.exited && e.signal == SIGABRT;
}

std::string read_report(const std::string& first, const char* layout) {
  return first + "\napparent state: unit 5 (unnamed)\nlast format: " + layout +
         "\nlately reading sequential formatted external IO\n";
}

// The records of "many N", as the probe writes them.
std::string many_records(int n) {
  std::string text;
  for (int k = 1; k <= n; ++k) {
    char line[16];
    std::snprintf(line, sizeof line, "%6d\n", k);
    text += line;
  }
  return text;
}

TEST(FrameProcess, NormalAndQuietEnds) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* input;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {"stop", {"echo"}, "  1  2\n 99\n", 0, " got  1  2  0  0  0  0\n got 99  0  0  0  0  0\n", ""},
      {"main routine returns", {"echo"}, " 98  0  0  0  0  0", 0, " got 98  0  0  0  0  0\n", ""},
      {"arguments are ignored", {"echo", "-x", "--help"}, " 98\n", 0, " got 98  0  0  0  0  0\n", ""},
      {"quiet end", {"echo"}, " 97\n", 1, " got 97  0  0  0  0  0\n", "quiet\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Ended e = run_probe(c.args, c.input);
    EXPECT_TRUE(e.exited);
    EXPECT_EQ(e.status, c.status);
    EXPECT_EQ(e.out, c.out);
    EXPECT_EQ(e.err, c.err);
  }
}

// A failed read ends in an abort, with the report on standard error and the
// records finished before it on standard output.
TEST(FrameProcess, AbortAfterFailedRead) {
  struct Case {
    const char* name;
    const char* input;
    const char* out;
    std::string err;
  } cases[] = {
      {"end of file", "  1  2\n", " got  1  2  0  0  0  0\n", read_report("fmt: end of file", "(6I3)")},
      {"unexpected character", "  1\n  1  x\n", " got  1  0  0  0  0  0\n",
       read_report("fmt: read unexpected character", "(6I3)")},
      {"read start", "  5  6  0  0  0  0", " got  5  6  0  0  0  0\n",
       read_report("read start: end of file", "(6I3)")},
      {"floating-point exception", " 96\n", " got 96  0  0  0  0  0\n", "Floating Exception\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Ended e = run_probe({"echo"}, c.input);
    EXPECT_TRUE(aborted(e));
    EXPECT_EQ(e.out, c.out);
    EXPECT_EQ(e.err, c.err);
  }
}

// Standard input that cannot be read is a system error, reported in the
// form perror gives it.
TEST(FrameProcess, UnreadableInput) {
  Spawn s;
  s.program = FRAME_PROBE_PATH;
  s.input_is_directory = true;
  const Ended e = spawn(s);
  EXPECT_TRUE(aborted(e));
  EXPECT_EQ(e.err, read_report(std::string("fmt: ") + std::strerror(EISDIR), "(6I3)"));
  EXPECT_EQ(e.out, "");
}

// The probe acts on each line as it arrives: a bad line is answered, and a
// stop obeyed, while its input is still open.
TEST(FrameProcess, ActsBeforeInputEnds) {
  const Ended bad = run_probe({"echo"}, "  1  x\n", true);
  EXPECT_FALSE(bad.timed_out);
  EXPECT_TRUE(aborted(bad));
  EXPECT_EQ(bad.err, read_report("fmt: read unexpected character", "(6I3)"));
  const Ended stopped = run_probe({"echo"}, "  3\n 99\n", true);
  EXPECT_FALSE(stopped.timed_out);
  EXPECT_TRUE(stopped.exited);
  EXPECT_EQ(stopped.out, " got  3  0  0  0  0  0\n got 99  0  0  0  0  0\n");
}

// More output than one block, through a pipe and into a file: every record
// arrives, in order, whole.
TEST(FrameProcess, LongReport) {
  for (Output output : {Output::pipe, Output::file}) {
    Spawn s;
    s.program = FRAME_PROBE_PATH;
    s.args = {"many", "30000"};
    s.output = output;
    const Ended e = spawn(s);
    EXPECT_TRUE(e.exited);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, many_records(30000));
    EXPECT_EQ(e.err, "");
  }
}

// The four signals while the probe waits on an open, empty input; the record
// it finished before waiting still reaches standard output.
TEST(FrameProcess, Signals) {
  for (const auto& c : signal_cases) {
    SCOPED_TRACE(c.err);
    Spawn s;
    s.program = FRAME_PROBE_PATH;
    s.args = {"wait"};
    s.keep_input_open = true;
    s.when = Spawn::When::ready_byte;
    s.signals = {c.signal};
    const Ended e = spawn(s);
    EXPECT_FALSE(e.timed_out);
    EXPECT_EQ(e.err, c.err);
    EXPECT_EQ(e.out, " waiting\n");
    if (c.status < 0) {
      EXPECT_TRUE(aborted(e));
    } else {
      EXPECT_TRUE(e.exited);
      EXPECT_EQ(e.status, c.status);
    }
  }
}

// An interrupt that the run was started to ignore stays ignored.
TEST(FrameProcess, IgnoredInterruptStaysIgnored) {
  Spawn s;
  s.program = FRAME_PROBE_PATH;
  s.args = {"wait"};
  s.keep_input_open = true;
  s.when = Spawn::When::ready_byte;
  s.signals = {SIGINT, SIGTERM};
  s.ignore_interrupt = true;
  const Ended e = spawn(s);
  EXPECT_EQ(e.err, "Killed\n");
  EXPECT_TRUE(e.exited);
  EXPECT_EQ(e.status, 1);
}

// Standard output that refuses the report ends the run with the system's
// error, on unit 6; the layout is named when the refusal comes during a
// write operation (the block filled), not at the end of the run.
TEST(FrameProcess, RefusedOutput) {
  auto report = [](const char* error, bool during_write) {
    return std::string("write: ") + error + "\napparent state: unit 6 (unnamed)\n" +
           (during_write ? "last format: (I6)\n" : "") +
           "lately writing sequential formatted external IO\n";
  };
  struct Case {
    const char* name;
    Output output;
    bool ignore_broken_pipe;
    int records;
    std::string err;
  } cases[] = {
      {"no space at the end", Output::full_device, false, 5, report(std::strerror(ENOSPC), false)},
      {"no space midway", Output::full_device, false, 30000, report(std::strerror(ENOSPC), true)},
      {"closed descriptor", Output::closed, false, 5, report(std::strerror(EBADF), false)},
      {"broken pipe, signal ignored", Output::broken_pipe, true, 5,
       report(std::strerror(EPIPE), false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Spawn s;
    s.program = FRAME_PROBE_PATH;
    s.args = {"many", std::to_string(c.records)};
    s.output = c.output;
    s.ignore_broken_pipe = c.ignore_broken_pipe;
    const Ended e = spawn(s);
    EXPECT_TRUE(aborted(e));
    EXPECT_EQ(e.err, c.err);
  }
  // A reader that goes away ends the program by the broken-pipe signal, as
  // for any filter.
  Spawn s;
  s.program = FRAME_PROBE_PATH;
  s.args = {"many", "5"};
  s.output = Output::broken_pipe;
  const Ended e = spawn(s);
  EXPECT_FALSE(e.exited);
  EXPECT_EQ(e.signal, SIGPIPE);
  EXPECT_EQ(e.err, "");
}

// A file that may grow to 100000 bytes takes that much of the report, then
// refuses the rest: what it holds is the start of the report.
TEST(FrameProcess, ShortWrite) {
  Spawn s;
  s.program = FRAME_PROBE_PATH;
  s.args = {"many", "30000"};
  s.output = Output::file;
  s.file_size_limit = 100000;
  const Ended e = spawn(s);
  EXPECT_TRUE(aborted(e));
  EXPECT_EQ(e.err.substr(0, e.err.find('\n')), std::string("write: ") + std::strerror(EFBIG));
  EXPECT_EQ(e.out, many_records(30000).substr(0, 100000));
}

// The reader of the report has stopped reading: the probe is blocked in a
// write to a full FIFO. An interrupt or termination still ends it at once,
// with its message and status, and what the FIFO holds is whole records, in
// order, none twice.
TEST(FrameProcess, InterruptWhileOutputStalls) {
  for (const auto& c : signal_cases) {
    if (c.status < 0) continue;  // the two that end quietly: Interrupt, Killed
    SCOPED_TRACE(c.err);
    Spawn s;
    s.program = FRAME_PROBE_PATH;
    s.args = {"many", "30000"};
    s.output = Output::stalled;
    s.when = Spawn::When::output_stalled;
    s.signals = {c.signal};
    const Ended e = spawn(s);
    EXPECT_FALSE(e.timed_out);
    EXPECT_LT(e.seconds_after_signals, 1.0);
    EXPECT_TRUE(e.exited);
    EXPECT_EQ(e.status, c.status);
    EXPECT_EQ(e.err, c.err);
    const std::string all = many_records(30000);
    EXPECT_GT(e.out.size(), 0u);
    EXPECT_LT(e.out.size(), all.size());
    EXPECT_EQ(e.out, all.substr(0, e.out.size()));
    EXPECT_EQ(e.out.back(), '\n');
  }
}

}  // namespace
}  // namespace fourfifths::testing
