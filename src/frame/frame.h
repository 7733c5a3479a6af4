// The run frame of the classic program: start of a run (signal handlers, the
// standard streams), the normal stop, the run-time error report of a failed
// read or write, the abnormal end (abort) and the quiet end (status 1).
//
// This is the only process-wide state of the project: the process's own
// standard streams and how its run ends. Everything it writes about a run
// goes to standard error; report records already finished are never lost,
// never written twice and never torn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/records.h"

namespace fourfifths {

// The normal end of a run: the finished records go out, exit status 0.
[[noreturn]] void stop();

// Ends the run after a failed read or write: the four-line diagnostic on
// standard error (message, unit, last layout, direction), then the abnormal
// end. Codes 0 to 99 are system errors, written as perror writes them.
[[noreturn]] void runtime_error(int32_t code, const char* where);

// The same for a read operation that failed.
[[noreturn]] void runtime_error(const ReadFailure& failure);

// Writes text and a line feed to standard error, pushes out the finished
// report records and aborts (exit status not 0).
[[noreturn]] void abnormal_end(std::string_view text);

// Writes text and a line feed to standard error, pushes out the finished
// report records and exits with status 1.
[[noreturn]] void quiet_end(std::string_view text);

// The program's entry: records the arguments (and ignores them), installs the
// signal handlers, runs main_routine and stops if it returns.
[[noreturn]] void start_run(int argc, char** argv, void (*main_routine)());

// Standard input (unit 5) as lines, read in large blocks and only when the
// reader needs another line, so that a deck is acted on while its sender
// may still be writing. A read error ends the run.
class StandardInput final : public BlockLines {
 public:
  void begin_operation(std::string_view layout) override;

 private:
  std::size_t fill(char* buffer, std::size_t size) override;
};

// Standard output (unit 6): finished records collect in one block that goes
// out when the next record would not fit and at every end of the run. A
// write that standard output refuses ends the run with the system's error.
class StandardOutput final : public RecordSink {
 public:
  void begin_operation(std::string_view layout) override;
  void end_operation() override;
  void put(std::string_view record) override;
};

}  // namespace fourfifths
