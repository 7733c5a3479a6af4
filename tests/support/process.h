// Runs a program as a child process with a file (or nothing) on its standard
// input and captures its standard output, standard error and how it ended.
#pragma once

#include <string>
#include <vector>

namespace fourfifths::testing {

struct ProcessResult {
  std::string out;
  std::string err;
  bool exited = false;  // ended by exit (status valid) rather than a signal
  int status = 0;       // exit status
  int signal = 0;       // terminating signal
};

// stdin_path empty: standard input is /dev/null.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& stdin_path);

// Starts program with a pipe on its standard input that stays open and empty,
// waits until it has installed a handler for the signal, sends the signal and
// collects how it ended (killed after a time-out, which the result shows as
// SIGKILL).
ProcessResult run_interrupted(const std::string& program, int signal);

std::string read_file(const std::string& path);

}  // namespace fourfifths::testing
