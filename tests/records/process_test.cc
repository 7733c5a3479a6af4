// The run frame in a real process: the probe program is spawned with pipes
// for its standard streams, and its exit status, standard output and standard
// error are checked, for normal and quiet ends, aborts after a failed read,
// and the four signals arriving while it waits on an open, empty input.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/signal_cases.h"

namespace {

struct Spawn {
  std::vector<std::string> args;
  std::string input;
  bool keep_input_open = false;  // the test never closes the probe's input
  bool wait_ready = false;       // wait for the probe's byte on descriptor 3
  std::vector<int> signals;      // sent once it is ready, a moment apart
  bool ignore_interrupt = false;
  bool input_is_directory = false;  // standard input that read(2) refuses
};

struct Ended {
  std::string out;
  std::string err;
  int status = 0;
  bool timed_out = false;
};

bool exited_with(const Ended& e, int code) {
  return WIFEXITED(e.status) && WEXITSTATUS(e.status) == code;
}
bool aborted(const Ended& e) {
  return WIFSIGNALED(e.status) && WTERMSIG(e.status) == SIGABRT;
}

// Puts fd at target in the child, without close-on-exec.
void place(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
  } else {
    dup2(fd, target);
  }
}

Ended run_probe(const Spawn& s) {
  int in[2], out[2], err[2], ready[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
      pipe2(ready, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe";
    return {};
  }
  std::vector<std::string> args = {RECORDS_PROBE_PATH};
  args.insert(args.end(), s.args.begin(), s.args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGINT, s.ignore_interrupt ? SIG_IGN : SIG_DFL);
    place(s.input_is_directory ? open("/", O_RDONLY | O_DIRECTORY) : in[0], 0);
    place(out[1], 1);
    place(err[1], 2);
    place(ready[1], 3);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  close(ready[1]);
  Ended e;
  if (!s.input.empty() && write(in[1], s.input.data(), s.input.size()) < 0)
    ADD_FAILURE() << "write";
  int input = in[1];
  if (!s.keep_input_open) {
    close(input);
    input = -1;
  }
  if (s.wait_ready) {
    pollfd p = {ready[0], POLLIN, 0};
    char byte;
    if (poll(&p, 1, 10000) != 1 || read(ready[0], &byte, 1) != 1)
      ADD_FAILURE() << "probe not ready";
  }
  for (int sig : s.signals) {
    kill(pid, sig);
    usleep(100 * 1000);
  }
  // Collect both streams until the probe has closed them, or give up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&e.out, &e.err};
  int open_streams = 2;
  while (open_streams > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      e.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_streams;
      }
    }
  }
  waitpid(pid, &e.status, 0);
  for (int fd : {input, fds[0].fd, fds[1].fd, ready[0]}) {
    if (fd >= 0) close(fd);
  }
  return e;
}

// The probe with these arguments and this input, nothing else.
Ended run_probe(std::vector<std::string> args, std::string input, bool keep_input_open = false) {
  Spawn s;
  s.args = std::move(args);
  s.input = std::move(input);
  s.keep_input_open = keep_input_open;
  return run_probe(s);
}

std::string report(const char* first, const char* layout) {
  return std::string(first) + "\napparent state: unit 5 (unnamed)\nlast format: " + layout +
         "\nlately reading sequential formatted external IO\n";
}

TEST(RecordsProcess, NormalAndQuietEnds) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* input;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {"stop",
       {"echo"},
       "  1  2\n 99\n",
       0,
       " got  1  2  0  0  0  0\n got 99  0  0  0  0  0\n",
       ""},
      {"main routine returns", {"echo"}, " 98  0  0  0  0  0", 0, " got 98  0  0  0  0  0\n", ""},
      {"arguments are ignored",
       {"echo", "-x", "--help"},
       " 98\n",
       0,
       " got 98  0  0  0  0  0\n",
       ""},
      {"quiet end", {"echo"}, " 97\n", 1, " got 97  0  0  0  0  0\n", "quiet\n"},
  };
  for (const Case& c : cases) {
    const Ended e = run_probe(c.args, c.input);
    EXPECT_TRUE(exited_with(e, c.status)) << c.name << " status " << e.status;
    EXPECT_EQ(e.out, c.out) << c.name;
    EXPECT_EQ(e.err, c.err) << c.name;
  }
}

// A failed read ends in an abort, with the report on standard error and the
// records finished before it on standard output.
TEST(RecordsProcess, AbortAfterFailedRead) {
  struct Case {
    const char* name;
    const char* input;
    const char* out;
    std::string err;
  } cases[] = {
      {"end of file", "  1  2\n", " got  1  2  0  0  0  0\n", report("fmt: end of file", "(6I3)")},
      {"unexpected character", "  1\n  1  x\n", " got  1  0  0  0  0  0\n",
       report("fmt: read unexpected character", "(6I3)")},
      {"read start", "  5  6  0  0  0  0", " got  5  6  0  0  0  0\n",
       report("read start: end of file", "(6I3)")},
      {"floating-point exception", " 96\n", " got 96  0  0  0  0  0\n", "Floating Exception\n"},
  };
  for (const Case& c : cases) {
    const Ended e = run_probe({"echo"}, c.input);
    EXPECT_TRUE(aborted(e)) << c.name << " status " << e.status;
    EXPECT_EQ(e.out, c.out) << c.name;
    EXPECT_EQ(e.err, c.err) << c.name;
  }
}

// Standard input that cannot be read is a system error, reported in the
// form perror gives it.
TEST(RecordsProcess, UnreadableInput) {
  Spawn s;
  s.args = {"echo"};
  s.input_is_directory = true;
  const Ended e = run_probe(s);
  EXPECT_TRUE(aborted(e)) << e.status;
  EXPECT_EQ(e.err, report((std::string("fmt: ") + std::strerror(EISDIR)).c_str(), "(6I3)"));
  EXPECT_EQ(e.out, "");
}

// The probe acts on each line as it arrives: a bad line is answered, and a
// stop obeyed, while its input is still open.
TEST(RecordsProcess, ActsBeforeInputEnds) {
  const Ended bad = run_probe({"echo"}, "  1  x\n", true);
  EXPECT_FALSE(bad.timed_out);
  EXPECT_TRUE(aborted(bad)) << bad.status;
  EXPECT_EQ(bad.err, report("fmt: read unexpected character", "(6I3)"));
  const Ended stopped = run_probe({"echo"}, "  3\n 99\n", true);
  EXPECT_FALSE(stopped.timed_out);
  EXPECT_TRUE(exited_with(stopped, 0)) << stopped.status;
  EXPECT_EQ(stopped.out, " got  3  0  0  0  0  0\n got 99  0  0  0  0  0\n");
}

// More output than one block: every record arrives, in order, whole.
TEST(RecordsProcess, LongReport) {
  const Ended e = run_probe({"many", "30000"}, "");
  EXPECT_TRUE(exited_with(e, 0)) << e.status;
  std::string expected;
  for (int k = 1; k <= 30000; ++k) {
    char line[16];
    std::snprintf(line, sizeof line, "%6d\n", k);
    expected += line;
  }
  EXPECT_EQ(e.out, expected);
  EXPECT_EQ(e.err, "");
}

// The four signals while the probe waits on an open, empty input; the record
// it finished before waiting still reaches standard output.
TEST(RecordsProcess, Signals) {
  for (const auto& c : fourfifths::testing::signal_cases) {
    Spawn s;
    s.args = {"wait"};
    s.keep_input_open = true;
    s.wait_ready = true;
    s.signals = {c.signal};
    const Ended e = run_probe(s);
    EXPECT_FALSE(e.timed_out) << c.err;
    EXPECT_EQ(e.err, c.err);
    EXPECT_EQ(e.out, " waiting\n") << c.err;
    if (c.status < 0) {
      EXPECT_TRUE(aborted(e)) << c.err << " status " << e.status;
    } else {
      EXPECT_TRUE(exited_with(e, c.status)) << c.err << " status " << e.status;
    }
  }
}

// An interrupt that the run was started to ignore stays ignored.
TEST(RecordsProcess, IgnoredInterruptStaysIgnored) {
  Spawn s;
  s.args = {"wait"};
  s.keep_input_open = true;
  s.wait_ready = true;
  s.signals = {SIGINT, SIGTERM};
  s.ignore_interrupt = true;
  const Ended e = run_probe(s);
  EXPECT_EQ(e.err, "Killed\n");
  EXPECT_TRUE(exited_with(e, 1)) << e.status;
}

}  // namespace
