// Fixed-field text records: the RecordReader, which cuts the lines of a deck
// into fixed-width fields, and the RecordWriter, which renders report records.
//
// Layouts use the classic fixed-field notation: Iw, Fw.d, Dw.d, Aw, nX, "/",
// quoted text ('...'), repeat counts (10F7.3) and nested groups (8(F7.3,1X)).
// One layout walk serves reading and writing alike. Reader and writer keep
// their state in themselves: any number of them may work at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/layout.h"

namespace fourfifths {

// Unit numbers, as the run-time error report names them.
inline constexpr int32_t unit_stderr = 0;
inline constexpr int32_t unit_stdin = 5;
inline constexpr int32_t unit_stdout = 6;

// Codes of the run-time error report. Codes 0 to 99 are system errors (errno).
inline constexpr int32_t err_end_of_file = -1;
inline constexpr int32_t err_bad_format = 100;       // "error in format"
inline constexpr int32_t err_out_of_space = 113;     // "out of free space": a record too long to hold
inline constexpr int32_t err_unexpected_char = 115;  // "read unexpected character"

// The run-time error report of a failed read or write, as it stands on
// standard error before the abnormal end completes its last line with " IO":
// the message, the unit, the layout of the operation (when one is under way)
// and its direction.
std::string diagnostic_text(int32_t code, std::string_view where, int32_t unit,
                            std::string_view layout, bool reading);

// A layout of the program's own, checked when the program is built: a layout
// that does not parse is a compile-time error.
template <bool Reading>
class CheckedLayout {
 public:
  consteval CheckedLayout(const char* text) : text_(text) {  // NOLINT: from a literal
    if (!records::parse_layout(text_, Reading).ok) throw "malformed record layout";
  }
  constexpr std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};
using WriteLayout = CheckedLayout<false>;
using ReadLayout = CheckedLayout<true>;

// A write operation whose layout and items do not fit each other (an item of
// the wrong type for its descriptor, or items left over for a layout without
// data descriptors): a fault of the program, not of its input.
struct LayoutMismatch : std::logic_error {
  using std::logic_error::logic_error;
};

// ---------------------------------------------------------------------------
// Items (written) and targets (read)
// ---------------------------------------------------------------------------

// The list of items of one write operation: a short sequence of segments, each
// a single integer, real or text, or a run of reals. Views only: the values
// must outlive the write operation.
class Items {
 public:
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

  Segment segments_[capacity];
  std::size_t count_ = 0;
};

// The list of targets of one read operation: single integers or reals, or runs
// of reals, filled in order.
class Targets {
 public:
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
  Segment& next_segment();

  Segment segments_[capacity];
  std::size_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

// Where finished records go.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // A write operation with this layout begins, or the current one ends: for
  // a sink that must name the layout when it fails.
  virtual void begin_operation(std::string_view /*layout*/) {}
  virtual void end_operation() {}
  // One finished record with its line feed.
  virtual void put(std::string_view record) = 0;
};

// Records appended to a string.
class StringSink final : public RecordSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void put(std::string_view record) override { out_.append(record); }

 private:
  std::string& out_;
};

// Builds report records from a layout and a list of items. A record is handed
// to the sink in one piece when it is finished (by "/", by reversion or by the
// end of the operation). nX only notes a pending advance, which becomes
// blanks when text or a field follows in the same record, so no record ends in
// blanks made by X. No carriage control: the first character of a record is
// written like any other. A writer parses each layout once: a report writes
// the same few layouts a thousand times, and its layouts are literals, whose
// text stays where it is.
class RecordWriter {
 public:
  explicit RecordWriter(RecordSink& sink) : sink_(sink) {}
  void write(WriteLayout layout, const Items& items = Items());
  // One record holding the text as it stands.
  void write_line(std::string_view text);

 private:
  void finish_record();
  void apply_pending_advance();
  const records::ParsedLayout& parsed(std::string_view text);

  RecordSink& sink_;
  std::vector<std::pair<std::string_view, std::unique_ptr<records::ParsedLayout>>> layouts_;
  std::string record_;       // the record under construction
  std::size_t pending_ = 0;  // columns of nX not yet written
};

// Renderings of single items into w characters at field: Iw, Fw.d, Dw.d, Aw.
// A value that does not fit is w asterisks. Reals show the digits of the C
// library's "%#.*f" and "%#.*E" conversions of the magnitude, so rounding is
// symmetric about zero, and a negative zero counts as zero; values that are
// not finite show as "NaN", "Inf" or "-Inf".
void render_integer(char* field, std::size_t w, int32_t value);
void render_fixed(char* field, std::size_t w, int32_t d, double value);
void render_exponent(char* field, std::size_t w, int32_t d, double value);
void render_chars(char* field, std::size_t w, std::string_view text);

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

// The longest line a deck may hold, not counting its line feed. No field of
// a deck lies beyond column 70 (ten fields of 7 columns), so this leaves room
// for any annotation after the fields many times over, while endless input
// without a line feed (a device of zeros, a runaway pipe) ends after a small,
// fixed amount of it instead of filling memory.
inline constexpr std::size_t max_line_length = 64 * 1024;

// How a line that a source hands over ends.
enum class LineEnd : uint8_t {
  feed,         // a line feed
  end_of_data,  // the data ends: the last line, without a line feed
  overlong,     // the line runs on past max_line_length: only that much of it is
                // handed over, and the source ends there
};

// Where the lines of a deck come from.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // A read operation with this layout begins: for a source that must name
  // the layout when it fails.
  virtual void begin_operation(std::string_view /*layout*/) {}
  // The next line, without its line feed, and how it ends; false when the
  // data has ended. The view holds at most max_line_length characters and
  // stays valid until the next call.
  virtual bool next_line(std::string_view& line, LineEnd& end) = 0;
};

// The lines of a text held in memory.
class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool next_line(std::string_view& line, LineEnd& end) override;

 private:
  std::string_view text_;
};

// Lines cut from data read in blocks, one block at a time and only when the
// next line needs it, so that a deck is acted on while its sender may still
// be writing, and no more of the data is held than one block and one line.
class BlockLines : public LineSource {
 public:
  BlockLines();
  bool next_line(std::string_view& line, LineEnd& end) final;

 protected:
  // Reads at most size bytes into buffer: how many it read, 0 at the end of
  // the data (or after a failure the subclass keeps for its caller).
  virtual std::size_t fill(char* buffer, std::size_t size) = 0;

 private:
  std::unique_ptr<char[]> block_;
  std::size_t next_ = 0;  // [next_, end_) of the block not yet taken
  std::size_t end_ = 0;
  bool ended_ = false;    // fill reported the end of the data, or a line ran too long
  std::string line_;      // a line that did not lie whole in one block
};

// The lines of a C stream, read in blocks; a failed read ends the data and
// is kept in error().
class StreamLines final : public BlockLines {
 public:
  explicit StreamLines(std::FILE* stream) : stream_(stream) {}
  // The errno of a failed read; 0 when every read succeeded.
  int error() const { return error_; }

 private:
  std::size_t fill(char* buffer, std::size_t size) override;

  std::FILE* stream_;
  int error_ = 0;
};

// A read operation that failed, with where it failed.
struct ReadFailure {
  int32_t code = 0;           // err_end_of_file, err_unexpected_char or err_out_of_space
  const char* where = "";     // "fmt" (inside a field), "read start" or "malloc failure"
  std::string_view layout;    // the layout of the failing read
  int line = 0;               // the line, counted from 1 (for "read start": the line it needed)
  int first_column = 0;       // the field's columns, counted from 1; 0 for "read start"
  int last_column = 0;
  std::string found;          // the field's characters up to the line end
};

// Cuts lines into fixed-width fields and converts each into the next target.
// Every read operation starts at a new line. A line ends at a line feed; a
// carriage return directly before it, or as the very last byte of the data,
// belongs to the line end and never reaches a field. A field takes columns
// from its own line only: when the line end comes first the field ends there,
// so a short line reads as if padded with blanks. A line longer than
// max_line_length reads as any other within that length, but nothing after
// it is read: the next read operation fails with err_out_of_space ("malloc
// failure": the record cannot be held).
class RecordReader {
 public:
  explicit RecordReader(LineSource& source) : source_(source) {}

  // One read operation; false, with failure() set, when it failed. Once an
  // operation has failed the reader is of no further use.
  bool read(ReadLayout layout, const Targets& targets);
  const ReadFailure& failure() const { return failure_; }

  // Lines taken from the source so far.
  int lines_taken() const { return line_number_; }

 private:
  friend class FieldReader;
  int peek();
  bool take_line();
  void skip_line();
  bool fail_overlong();

  LineSource& source_;
  std::string line_;            // the current line, its line end removed
  std::size_t column_ = 0;      // characters of the line taken so far
  bool have_line_ = false;      // a line is current
  bool line_end_signal_ = false;  // its end gives the line-end signal (else the end of data)
  bool line_terminated_ = false;  // a line feed ended it
  bool line_overlong_ = false;  // only the first max_line_length characters are at hand
  bool exhausted_ = false;      // the end of the data was met
  int line_number_ = 0;
  ReadFailure failure_;
};

}  // namespace fourfifths
