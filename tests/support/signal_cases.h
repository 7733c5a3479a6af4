// The four signals a run handles, with the message each writes on standard
// error and how the run then ends.
#pragma once

#include <csignal>

namespace fourfifths::testing {

struct SignalCase {
  int signal;
  const char* err;  // standard error, exactly
  int status;       // exit status; -1: aborted
};

inline constexpr SignalCase signal_cases[] = {
    {SIGINT, "Interrupt\n", 1},
    {SIGTERM, "Killed\n", 1},
    {SIGABRT, "IOT Trap\n", -1},
    {SIGFPE, "Floating Exception\n", -1},
};

}  // namespace fourfifths::testing
