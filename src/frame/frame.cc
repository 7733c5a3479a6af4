// The run frame: start of a run, the normal stop, the run-time error report,
// the abnormal and the quiet end, and the signal handlers. The handlers use
// only async-signal-safe calls: write(2), poll(2), sigaction, abort and _exit.
#include "frame/frame.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "frame/streams.h"

namespace fourfifths {
namespace {

// The command line, recorded at the start of a run and never used.
constinit int run_argc = 0;
constinit char** run_argv = nullptr;

void default_abort_action() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGABRT, &action, nullptr);
}

// The four handlers. Each writes its message, hands out the finished records
// that standard output takes without waiting, and ends the process without
// returning to the interrupted code.
extern "C" void on_fatal_signal(int signal_number) {
  static constexpr std::string_view floating = "Floating Exception\n";
  static constexpr std::string_view iot = "IOT Trap\n";
  static constexpr std::string_view interrupt = "Interrupt\n";
  static constexpr std::string_view killed = "Killed\n";
  switch (signal_number) {
    case SIGFPE:
      frame::error_write(floating);
      break;
    case SIGABRT:
      frame::error_write(iot);
      break;
    case SIGINT:
      frame::error_write(interrupt);
      break;
    default:
      frame::error_write(killed);
      break;
  }
  frame::output_flush_in_handler();
  if (signal_number == SIGFPE || signal_number == SIGABRT) {
    default_abort_action();
    abort();
  }
  _exit(1);
}

void install_handlers() {
  struct sigaction action = {};
  action.sa_handler = on_fatal_signal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGFPE);
  sigaddset(&action.sa_mask, SIGABRT);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  action.sa_flags = 0;
  sigaction(SIGFPE, &action, nullptr);
  sigaction(SIGABRT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // An interrupt that the run was started to ignore stays ignored.
  struct sigaction current = {};
  if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
  sigaction(SIGINT, &action, nullptr);
}

// Every end of a run: push out the finished records, then end the process.
[[noreturn]] void end_run(bool aborted, int status) {
  frame::output_flush();
  if (aborted) {
    default_abort_action();
    abort();
  }
  std::exit(status);
}

}  // namespace

void stop() {
  end_run(false, 0);
}

void abnormal_end(std::string_view text) {
  frame::error_write(text);
  frame::error_write("\n");
  end_run(true, 0);
}

void quiet_end(std::string_view text) {
  frame::error_write(text);
  frame::error_write("\n");
  end_run(false, 1);
}

void runtime_error(int32_t code, const char* where) {
  const frame::OperationState& op = frame::operation();
  frame::error_write(diagnostic_text(code, where, op.unit, op.active ? op.layout : std::string_view(),
                                     op.reading));
  abnormal_end(" IO");
}

void runtime_error(const ReadFailure& failure) {
  frame::error_write(diagnostic_text(failure.code, failure.where, unit_stdin, failure.layout, true));
  abnormal_end(" IO");
}

void start_run(int argc, char** argv, void (*main_routine)()) {
  run_argc = argc;
  run_argv = argv;
  install_handlers();
  main_routine();
  stop();
}

}  // namespace fourfifths
