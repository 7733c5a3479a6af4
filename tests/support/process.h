// Runs a program as a child process with its standard streams set up as a
// test needs (a pipe or a file on standard input; standard output to a pipe,
// a file, a full device, a closed descriptor, a pipe nobody reads or a FIFO
// nobody drains), optionally sends it signals, and collects its output and
// how it ended.
#pragma once

#include <string>
#include <vector>

namespace fourfifths::testing {

enum class Output {
  pipe,         // read by the test until the program closes it
  file,         // a temporary file, read after the end
  full_device,  // /dev/full: every write fails for want of space
  closed,       // descriptor 1 not open at all
  broken_pipe,  // a pipe whose reading end is already closed
  stalled,      // a FIFO that the test holds open but does not read until the end
};

struct Spawn {
  std::string program{};
  std::vector<std::string> args{};
  std::string input{};           // written to standard input (a pipe), then
  std::string endless_input{};   // written again and again until the program stops reading, or
  std::string input_path{};       // a file on standard input (when not empty)
  bool input_is_directory = false;  // standard input that read(2) refuses
  bool keep_input_open = false;  // the test never closes the pipe on standard input
  Output output = Output::pipe;
  bool ignore_broken_pipe = false;  // SIGPIPE ignored in the child
  long file_size_limit = -1;        // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
  bool file_size_signal = false;    // SIGXFSZ left at its default (the program must ignore it)
  long address_space_limit = -1;    // RLIMIT_AS in bytes
  bool ignore_interrupt = false;    // SIGINT ignored when the child starts
  // When to send the signals below, a moment apart: once the child catches
  // the first of them (its handlers are installed), once it has written a
  // byte on descriptor 3, or once the stalled FIFO is full.
  enum class When { handlers_installed, ready_byte, output_stalled } when = When::handlers_installed;
  std::vector<int> signals{};
};

struct Ended {
  std::string out;
  std::string err;
  bool exited = false;  // ended by exit (status valid) rather than a signal
  int status = 0;       // exit status
  int signal = 0;       // terminating signal
  bool timed_out = false;
  double seconds_after_signals = 0;  // from the last signal sent to the end
};

Ended spawn(const Spawn& spawn);

std::string read_file(const std::string& path);

}  // namespace fourfifths::testing
