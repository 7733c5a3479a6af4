// Fixed-field text records: the run frame. Start of a run (arguments recorded
// and ignored, signal handlers, standard streams, end-of-run hook, the main
// routine), the normal stop, the run-time error report for a failed read or
// write, the abnormal end (abort) and the quiet end (status 1), and the same
// ends for an in-process run, which returns its outcome instead.
//
// Every end pushes out the report records already finished; a partly built
// record is never written. The signal handlers use only async-signal-safe
// calls: write(2), sigaction, abort and _exit.
#include "records/frame.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/layout.h"
#include "records/streams.h"

namespace fourfifths {

namespace {

using records::error_write;

// What the error report says about the current or last operation.
struct OperationState {
  int32_t unit;
  bool reading;
  bool active;  // an operation is under way: its layout is shown
  const char* layout;
  std::size_t layout_size;
};
constinit OperationState operation = {unit_stdin, true, false, nullptr, 0};

// The command line, recorded at the start of a run and never used.
constinit int run_argc = 0;
constinit char** run_argv = nullptr;

// The end-of-run hook: releases the units, which for the three standard
// streams means only pushing out the finished report records.
void end_of_run() {
  records::output_flush();
}

void handler_write(const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(STDERR_FILENO, text, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += done;
    size -= static_cast<std::size_t>(done);
  }
}

void default_abort_action() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGABRT, &action, nullptr);
}

// The four handlers. Each writes its message, hands out the finished records
// and ends the process without returning to the interrupted code.
extern "C" void on_fatal_signal(int signal_number) {
  static constexpr char floating[] = "Floating Exception\n";
  static constexpr char iot[] = "IOT Trap\n";
  static constexpr char interrupt[] = "Interrupt\n";
  static constexpr char killed[] = "Killed\n";
  switch (signal_number) {
    case SIGFPE:
      handler_write(floating, sizeof floating - 1);
      break;
    case SIGABRT:
      handler_write(iot, sizeof iot - 1);
      break;
    case SIGINT:
      handler_write(interrupt, sizeof interrupt - 1);
      break;
    default:
      handler_write(killed, sizeof killed - 1);
      break;
  }
  records::output_flush_in_handler();
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

// The messages of the run-time error codes that this program can meet.
const char* message_of(int32_t code) {
  switch (code) {
    case err_bad_format:
      return "error in format";
    case err_out_of_space:
      return "out of free space";
    case err_unexpected_char:
      return "read unexpected character";
    default:
      return nullptr;
  }
}

// Every end of a run: push out the finished records, then end the process,
// or, in an in-process run, return to run_in_memory.
[[noreturn]] void end_run(bool aborted, int status) {
  records::output_flush();
  if (records::in_memory()) throw records::RunEnded{aborted, status};
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

void abnormal_end(const char* text) {
  error_write(text, std::strlen(text));
  error_write("\n", 1);
  end_run(true, 0);
}

void quiet_end(const char* text) {
  error_write(text, std::strlen(text));
  error_write("\n", 1);
  end_run(false, 1);
}

void runtime_error(int32_t code, const char* where) {
  char line[256];
  const std::size_t where_size = std::strlen(where);
  if (code == err_end_of_file) {
    error_write(where, where_size);
    error_write(": end of file\n");
  } else if (code >= 0 && code < 100) {
    // A system error, in the form perror gives it.
    if (where_size > 0) {
      error_write(where, where_size);
      error_write(": ");
    }
    const char* text = std::strerror(code);
    error_write(text, std::strlen(text));
    error_write("\n");
  } else if (const char* message = message_of(code)) {
    error_write(where, where_size);
    error_write(": ");
    error_write(message, std::strlen(message));
    error_write("\n");
  } else {
    error_write(where, where_size);
    const int n = std::snprintf(line, sizeof line, ": run-time error %d\n", static_cast<int>(code));
    error_write(line, static_cast<std::size_t>(n));
  }
  const int n = std::snprintf(line, sizeof line, "apparent state: unit %d (unnamed)\n",
                              static_cast<int>(operation.unit));
  error_write(line, static_cast<std::size_t>(n));
  if (operation.active) {
    error_write("last format: ");
    error_write(operation.layout,
                records::layout_extent({operation.layout, operation.layout_size}));
    error_write("\n");
  }
  error_write(operation.reading ? "lately reading" : "lately writing");
  error_write(" sequential formatted external");
  abnormal_end(" IO");
}

void begin_operation(int32_t unit, std::string_view layout, bool reading) {
  operation = {unit, reading, true, layout.data(), layout.size()};
}

void end_operation() {
  operation.active = false;
  operation.layout = nullptr;
  operation.layout_size = 0;
}

void start_run(int argc, char** argv, void (*main_routine)()) {
  run_argc = argc;
  run_argv = argv;
  install_handlers();
  records::use_memory_streams(nullptr);
  std::atexit(end_of_run);
  main_routine();
  std::exit(0);
}

RunOutcome run_in_memory(std::string_view deck, void (*main_routine)()) {
  return records::run_in_memory(deck, main_routine, records::MemoryRunOptions{});
}

namespace records {

RunOutcome run_in_memory(std::string_view deck, void (*main_routine)(),
                         const MemoryRunOptions& options) {
  RunOutcome outcome;
  const MemoryStreams streams = {deck, &outcome.out, &outcome.err, options.out_capacity,
                                 options.out_pieces};
  // Whatever way the run ends, the streams lead back to the process.
  struct Fresh {
    Fresh(const MemoryStreams* s) { reset(s); }
    ~Fresh() { reset(nullptr); }
    static void reset(const MemoryStreams* s) {
      use_memory_streams(s);
      reset_reader();
      reset_writer();
      operation = {unit_stdin, true, false, nullptr, 0};
    }
  } fresh(&streams);
  try {
    main_routine();
    output_flush();
  } catch (const RunEnded& ended) {
    outcome.aborted = ended.aborted;
    outcome.status = ended.status;
  }
  return outcome;
}

}  // namespace records

}  // namespace fourfifths
