// Fixed-field text records: the run frame (start, stop, run-time error report,
// signal handlers), the RecordReader that cuts deck lines into fixed-width
// fields, and the RecordWriter that renders report records.
//
// Layouts use the classic fixed-field notation: Iw, Fw.d, Dw.d, Aw, nX, "/",
// quoted text ('...'), repeat counts (10F7.3) and nested groups (8(F7.3,1X)).
// One layout walk serves reading and writing alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fourfifths {

// ---------------------------------------------------------------------------
// Run frame
// ---------------------------------------------------------------------------

// Unit numbers, as the run-time error report names them.
inline constexpr int32_t unit_stderr = 0;
inline constexpr int32_t unit_stdin = 5;
inline constexpr int32_t unit_stdout = 6;

// Codes of the run-time error report.
inline constexpr int32_t err_end_of_file = -1;
inline constexpr int32_t err_bad_format = 100;       // "error in format"
inline constexpr int32_t err_out_of_space = 113;     // "out of free space"
inline constexpr int32_t err_unexpected_char = 115;  // "read unexpected character"

// The normal end of a run: exit status 0, nothing written. Does not return.
[[noreturn]] void stop();

// Ends the run after a failed read or write: the four-line diagnostic on
// standard error (message, unit, last layout, direction), then the abnormal
// end. Does not return.
[[noreturn]] void runtime_error(int32_t code, const char* where);

// Writes text and a line feed to standard error, pushes out every finished
// report record and aborts (exit status not 0). Does not return.
[[noreturn]] void abnormal_end(const char* text);

// Writes text and a line feed to standard error, pushes out every finished
// report record and exits with status 1. Does not return.
[[noreturn]] void quiet_end(const char* text);

// The operation state that the run-time error report describes: the unit of
// the current or last operation, its layout (while it is active) and whether
// it reads or writes. Maintained by the reader and the writer.
void begin_operation(int32_t unit, std::string_view layout, bool reading);
void end_operation();

// The program's entry: records the arguments (and ignores them), installs the
// signal handlers, connects the standard streams, runs main_routine and exits
// with status 0 if it returns. Does not return.
[[noreturn]] void start_run(int argc, char** argv, void (*main_routine)());

// How an in-memory run ended, and everything it wrote.
struct RunOutcome {
  bool aborted = false;  // the abnormal end (the binary would abort)
  int status = 0;        // exit status of a normal or quiet end (0 after the abnormal end)
  std::string out;       // standard output
  std::string err;       // standard error
};

// Runs main_routine over an in-memory deck with in-memory standard output and
// standard error, and returns how it ended instead of ending the process.
// Signal handlers are not installed. Reader and writer state start afresh.
// The ending functions (stop, quiet_end, abnormal_end, runtime_error) return
// here by unwinding the stack with an exception of the record subsystem, so
// no function between main_routine and them may be noexcept; the binary
// itself never throws.
RunOutcome run_in_memory(std::string_view deck, void (*main_routine)());

// ---------------------------------------------------------------------------
// Items (written) and targets (read)
// ---------------------------------------------------------------------------

// The list of items of one write operation: a short sequence of segments, each
// a single integer, real or text, or a run of reals. Views only: the values
// must outlive the write operation.
class Items {
 public:
  // Only the segments in use are ever set: a report row builds its list for
  // every record it writes.
  Items() {}
  Items& add(int32_t value);
  Items& add(double value);
  Items& add(std::string_view text);
  Items& add(std::span<const double> values);


  enum class Kind : uint8_t { integer, real, text, reals };
  struct Segment {
    Kind kind = Kind::integer;
    int32_t integer = 0;
    double real = 0;
    std::string_view text;
    std::span<const double> reals;
  };
  std::span<const Segment> segments() const { return {segments_, count_}; }

  static constexpr std::size_t capacity = 8;

 private:
  Segment& next_segment();

  union {
    Segment segments_[capacity];  // the first count_ are in use
  };
  std::size_t count_ = 0;
};

// The list of targets of one read operation: single integers or reals, or runs
// of reals, filled in order.
class Targets {
 public:
  Targets() = default;
  Targets& add(int32_t& target);
  Targets& add(double& target);
  Targets& add(std::span<double> targets);


  enum class Kind : uint8_t { integer, real, reals };
  struct Segment {
    Kind kind = Kind::integer;
    int32_t* integer = nullptr;
    double* real = nullptr;
    std::span<double> reals;
  };
  std::span<const Segment> segments() const { return {segments_, count_}; }

  static constexpr std::size_t capacity = 8;

 private:
  Segment segments_[capacity];
  std::size_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Reader and writer
// ---------------------------------------------------------------------------

// Reads the deck from unit 5. Every read operation starts at a new line; every
// failure ends the run through runtime_error.
class RecordReader {
 public:
  void read(std::string_view layout, const Targets& targets);
};

// Writes report records to unit 6. Each finished record is handed to standard
// output in one piece.
class RecordWriter {
 public:
  void write(std::string_view layout, const Items& items = Items());
};

}  // namespace fourfifths
