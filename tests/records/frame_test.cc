// The run frame inside the process: the exact run-time error reports, the
// ways a run ends, and the report records that survive a failure.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "harness.h"

namespace fourfifths {
namespace {

// The correlation records of a deck, one line short.
void read_two_correlation_records() {
  double values[10];
  RecordReader().read("(10F7.3)", Targets().add(std::span(values)));
  RecordReader().read("(10F7.3)", Targets().add(std::span(values)));
}

void write_then_read_counts() {
  RecordWriter().write("(' Banner')");
  RecordWriter().write("(' Second',I3)", Items().add(2));
  int32_t counts[6];
  Targets targets;
  for (int32_t& c : counts) targets.add(c);
  RecordReader().read("(6I3)", targets);
}

void read_twice() {
  int32_t n = 0;
  RecordReader().read("(6I3)", Targets().add(n));
  RecordWriter().write("(I3)", Items().add(n));
  RecordReader().read("(6I3)", Targets().add(n));
}

struct Failure {
  const char* name;
  const char* deck;
  void (*main_routine)();
  const char* out;
  const char* err;
};

const Failure failures[] = {
    {"end of file", "  1.000  2.000\n", read_two_correlation_records, "",
     "fmt: end of file\n"
     "apparent state: unit 5 (unnamed)\n"
     "last format: (10F7.3)\n"
     "lately reading sequential formatted external IO\n"},
    {"unexpected character", "  2  1  x\n", write_then_read_counts, " Banner\n Second  2\n",
     "fmt: read unexpected character\n"
     "apparent state: unit 5 (unnamed)\n"
     "last format: (6I3)\n"
     "lately reading sequential formatted external IO\n"},
    {"read start", "  7", read_twice, "  7\n",
     "read start: end of file\n"
     "apparent state: unit 5 (unnamed)\n"
     "last format: (6I3)\n"
     "lately reading sequential formatted external IO\n"},
    {"end of file inside a last line without terminator", "  1  2", write_then_read_counts,
     " Banner\n Second  2\n",
     "fmt: end of file\n"
     "apparent state: unit 5 (unnamed)\n"
     "last format: (6I3)\n"
     "lately reading sequential formatted external IO\n"},
    {"no input at all", "", write_then_read_counts, " Banner\n Second  2\n",
     "fmt: end of file\n"
     "apparent state: unit 5 (unnamed)\n"
     "last format: (6I3)\n"
     "lately reading sequential formatted external IO\n"},
};

TEST(RecordsReport, ReadFailures) {
  for (const Failure& f : failures) {
    const RunOutcome outcome = run_in_memory(f.deck, f.main_routine);
    EXPECT_TRUE(outcome.aborted) << f.name;
    EXPECT_EQ(outcome.out, f.out) << f.name;
    EXPECT_EQ(outcome.err, f.err) << f.name;
  }
}

// The layout is named only while its operation is under way, and only up
// to its closing parenthesis; the unit and direction are those of the last
// operation.
TEST(RecordsReport, OperationState) {
  RunOutcome after_read = run_in_memory("  1\n", [] {
    int32_t n;
    RecordReader().read("(6I3)", Targets().add(n));
    runtime_error(err_unexpected_char, "fmt");
  });
  EXPECT_EQ(after_read.err,
            "fmt: read unexpected character\n"
            "apparent state: unit 5 (unnamed)\n"
            "lately reading sequential formatted external IO\n");
  RunOutcome during_write = run_in_memory("", [] {
    RecordWriter().write("(I3)");
    begin_operation(unit_stdout, "(F7.3) and more", false);
    runtime_error(err_out_of_space, "malloc failure");
  });
  EXPECT_EQ(during_write.err,
            "malloc failure: out of free space\n"
            "apparent state: unit 6 (unnamed)\n"
            "last format: (F7.3)\n"
            "lately writing sequential formatted external IO\n");
  EXPECT_EQ(during_write.out, "\n");
  // Codes below 100 are system errors, written as perror writes them.
  RunOutcome system = run_in_memory("", [] { runtime_error(ENOENT, "fmt"); });
  EXPECT_EQ(system.err.substr(0, system.err.find('\n')),
            std::string("fmt: ") + std::strerror(ENOENT));
}

struct End {
  const char* name;
  void (*main_routine)();
  bool aborted;
  int status;
  const char* err;
};

const End ends[] = {
    {"main routine returns", [] { RecordWriter().write("('a')"); }, false, 0, ""},
    {"stop",
     [] {
       RecordWriter().write("('a')");
       stop();
     },
     false, 0, ""},
    {"quiet end",
     [] {
       RecordWriter().write("('a')");
       quiet_end("Interrupt");
     },
     false, 1, "Interrupt\n"},
    {"abnormal end",
     [] {
       RecordWriter().write("('a')");
       abnormal_end("IOT Trap");
     },
     true, 0, "IOT Trap\n"},
};

// Every end keeps the records already finished.
TEST(RecordsReport, Ends) {
  for (const End& e : ends) {
    const RunOutcome outcome = run_in_memory("", e.main_routine);
    EXPECT_EQ(outcome.aborted, e.aborted) << e.name;
    EXPECT_EQ(outcome.status, e.status) << e.name;
    EXPECT_EQ(outcome.out, "a\n") << e.name;
    EXPECT_EQ(outcome.err, e.err) << e.name;
  }
}

// A list longer than its fixed capacity is a fault of the program, reported
// rather than cut short.
TEST(RecordsReport, ItemListOverflow) {
  const RunOutcome outcome = run_in_memory("", [] {
    Items items;
    for (std::size_t k = 0; k <= Items::capacity; ++k) items.add(1);
  });
  EXPECT_TRUE(outcome.aborted);
  EXPECT_NE(outcome.err, "");
}

}  // namespace
}  // namespace fourfifths
