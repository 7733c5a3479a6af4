// Fixed-field text records: the RecordReader, which cuts the lines of a deck
// into fixed-width fields and converts each into the next target, and the
// target lists it fills.
//
// Real fields are gathered as a decimal digit string and a power of ten (at
// most 40 significant digits) and converted correctly rounded by
// std::from_chars; nothing is accumulated in binary arithmetic.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "records/records.h"

namespace fourfifths {
namespace {

using records::Descriptor;
using records::Op;

// What a request for a character can give besides the character itself.
constexpr int line_end = -1;     // the next character is the line terminator
constexpr int end_of_data = -2;  // the data has ended
constexpr int field_end = -3;    // the field's columns are used up
constexpr int line_overlong = -4;  // the line runs on past what is at hand

constexpr std::size_t max_digits = 40;

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// Walks the targets of a read operation in order.
class TargetCursor {
 public:
  explicit TargetCursor(const Targets& targets) : segments_(targets.segments()) { settle(); }

  bool more() const { return index_ < segments_.size(); }

  int32_t* integer() const {
    const Targets::Segment& s = segments_[index_];
    return s.kind == Targets::Kind::integer ? s.integer : nullptr;
  }
  double* real() const {
    const Targets::Segment& s = segments_[index_];
    if (s.kind == Targets::Kind::real) return s.real;
    if (s.kind == Targets::Kind::reals) return &s.reals[offset_];
    return nullptr;
  }

  void advance() {
    const Targets::Segment& s = segments_[index_];
    if (s.kind == Targets::Kind::reals && ++offset_ < s.reals.size()) return;
    ++index_;
    offset_ = 0;
    settle();
  }

 private:
  // Passes over empty runs.
  void settle() {
    while (index_ < segments_.size() && segments_[index_].kind == Targets::Kind::reals &&
           segments_[index_].reals.empty()) {
      ++index_;
    }
  }

  std::span<const Targets::Segment> segments_;
  std::size_t index_ = 0;
  std::size_t offset_ = 0;
};

}  // namespace

// The columns of one field, taken one character at a time, and how a field
// fails.
class FieldReader {
 public:
  FieldReader(RecordReader& reader, int32_t width)
      : r_(reader), left_(width), first_(reader.column_), width_(width) {}

  // The next character of the field, or line_end or field_end; the end of
  // the data inside a field fails the operation (false).
  bool next(int& c) {
    if (left_ == 0) {
      c = field_end;
      return true;
    }
    c = r_.peek();
    if (c == line_end) return true;
    if (c == end_of_data) return fail(err_end_of_file);
    if (c == line_overlong) return r_.fail_overlong();
    ++r_.column_;
    --left_;
    return true;
  }

  bool fail(int32_t code) {
    ReadFailure& f = r_.failure_;
    f.code = code;
    f.where = "fmt";
    // A missing line is the line after the last one taken.
    f.line = r_.have_line_ ? r_.line_number_ : r_.line_number_ + 1;
    f.first_column = static_cast<int>(first_) + 1;
    f.last_column = static_cast<int>(first_) + width_;
    if (r_.have_line_ && first_ < r_.line_.size())
      f.found = r_.line_.substr(first_, static_cast<std::size_t>(width_));
    return false;
  }

 private:
  RecordReader& r_;
  int32_t left_;
  std::size_t first_;  // the column before the field
  int32_t width_;
};

namespace {

// Iw: an optional sign and decimal digits; blanks are ignored, and a comma
// or the line end ends the field early. The value is built in 64 bits
// (modulo 2^64, so an over-long field cannot overflow) and stored as 32 bits.
bool read_integer(FieldReader& field, int32_t& target) {
  int c = 0;
  do {
    if (!field.next(c)) return false;
  } while (c == ' ');
  target = 0;
  if (c == field_end || c == line_end || c == ',') return true;
  bool negative = false;
  uint64_t value = 0;
  if (c == '-') {
    negative = true;
  } else if (is_digit(c)) {
    value = static_cast<uint64_t>(c - '0');
  } else if (c != '+') {
    return field.fail(err_unexpected_char);
  }
  for (;;) {
    if (!field.next(c)) return false;
    if (c == field_end || c == line_end || c == ',') break;
    if (c == ' ') continue;
    if (!is_digit(c)) return field.fail(err_unexpected_char);
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  target = static_cast<int32_t>(negative ? 0 - value : value);
  return true;
}

// Fw.d and Dw.d: sign, integer digits, an optional point (which overrides
// the d implied decimals) and fraction digits, and an optional exponent
// started by E, e, D or d, or by a bare sign directly after the mantissa.
bool read_real(FieldReader& field, int32_t decimals, double& target) {
  int c = 0;
  auto next = [&] { return field.next(c); };
  auto skip_blanks = [&] {
    while (c == ' ')
      if (!next()) return false;
    return true;
  };
  if (!next() || !skip_blanks()) return false;
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    if (!next() || !skip_blanks()) return false;
  }
  char digits[max_digits];
  std::size_t count = 0;
  int64_t power = -static_cast<int64_t>(decimals);
  // Integer digits; zeros before the first significant digit are skipped.
  for (;; ) {
    if (c != ' ') {
      if (!is_digit(c)) break;
      if (count == 0 && c == '0') {
      } else if (count < max_digits) {
        digits[count++] = static_cast<char>(c);
      } else {
        ++power;
      }
    }
    if (!next()) return false;
  }
  if (c == '.') {
    power += decimals;
    for (;;) {
      if (!next()) return false;
      if (c == ' ') continue;
      if (!is_digit(c)) break;
      if (count == 0 && c == '0') {
        --power;
      } else if (count < max_digits) {
        digits[count++] = static_cast<char>(c);
        --power;
      }
    }
  }
  bool has_exponent = false;
  bool exponent_negative = false;
  if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
    has_exponent = true;
    if (!next() || !skip_blanks()) return false;
    if (c == '+' || c == '-') {
      exponent_negative = c == '-';
      if (!next()) return false;
    }
  } else if (c == '+' || c == '-') {
    has_exponent = true;
    exponent_negative = c == '-';
    if (!next()) return false;
  }
  if (has_exponent) {
    constexpr int64_t exponent_limit = 99999999;
    bool any = false;
    int64_t exponent = 0;
    for (;; ) {
      if (c != ' ') {
        if (!is_digit(c)) break;
        any = true;
        exponent = exponent * 10 + (c - '0');
        if (exponent > exponent_limit) {
          if (count > 0) return field.fail(err_unexpected_char);
          exponent = exponent_limit + 1;  // the value is 0 whatever follows
        }
      }
      if (!next()) return false;
    }
    if (!any) return field.fail(err_unexpected_char);
    power += exponent_negative ? -exponent : exponent;
  }
  if (c != field_end && c != line_end && c != ',') return field.fail(err_unexpected_char);

  while (count > 0 && digits[count - 1] == '0') {
    --count;
    ++power;
  }
  if (count == 0) {
    target = 0.0;
    return true;
  }
  // The digit string and its power of ten, converted correctly rounded; a
  // value beyond the range of a double becomes an infinity, one below it 0.
  char text[max_digits + 32];
  char* p = text;
  if (negative) *p++ = '-';
  for (std::size_t k = 0; k < count; ++k) *p++ = digits[k];
  if (power != 0) {
    *p++ = 'e';
    p = std::to_chars(p, text + sizeof text, power).ptr;
  }
  const auto [end, ec] = std::from_chars(text, p, target);
  if (ec == std::errc::result_out_of_range) {
    const bool huge = power > 0;
    target = huge ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
  }
  return true;
}

}  // namespace

Targets::Segment& Targets::next_segment() {
  if (count_ == capacity) throw LayoutMismatch("record operation with more than 8 target segments");
  segments_[count_] = Segment{};
  return segments_[count_++];
}

Targets& Targets::add(int32_t& target) {
  Segment& s = next_segment();
  s.kind = Kind::integer;
  s.integer = &target;
  return *this;
}

Targets& Targets::add(double& target) {
  Segment& s = next_segment();
  s.kind = Kind::real;
  s.real = &target;
  return *this;
}

Targets& Targets::add(std::span<double> targets) {
  Segment& s = next_segment();
  s.kind = Kind::reals;
  s.reals = targets;
  return *this;
}

bool TextLines::next_line(std::string_view& line, LineEnd& end) {
  if (text_.empty()) return false;
  const std::size_t feed = text_.find('\n');
  const std::size_t length = feed == std::string_view::npos ? text_.size() : feed;
  if (length > max_line_length) {
    line = text_.substr(0, max_line_length);
    end = LineEnd::overlong;
    text_ = {};
    return true;
  }
  end = feed == std::string_view::npos ? LineEnd::end_of_data : LineEnd::feed;
  line = text_.substr(0, length);
  text_.remove_prefix(feed == std::string_view::npos ? length : length + 1);
  return true;
}

namespace {
constexpr std::size_t block_size = 64 * 1024;
}  // namespace

BlockLines::BlockLines() : block_(new char[block_size]) {}

bool BlockLines::next_line(std::string_view& line, LineEnd& end) {
  line_.clear();
  for (;;) {
    const char* start = block_.get() + next_;
    const std::size_t have = end_ - next_;
    const void* feed = std::memchr(start, '\n', have);
    const std::size_t n =
        feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) : have;
    if (line_.size() + n > max_line_length) {
      // Only the start of the line is kept; nothing after it is ever read.
      line_.append(start, max_line_length - line_.size());
      next_ = end_ = 0;
      ended_ = true;
      line = line_;
      end = LineEnd::overlong;
      return true;
    }
    if (feed != nullptr) {
      next_ += n + 1;
      end = LineEnd::feed;
      if (line_.empty()) {
        line = {start, n};
      } else {
        line_.append(start, n);
        line = line_;
      }
      return true;
    }
    line_.append(start, have);
    next_ = end_ = 0;
    if (!ended_) {
      end_ = fill(block_.get(), block_size);
      if (end_ > 0) continue;
      ended_ = true;
    }
    // The data has ended: what is left is a last line without a line feed.
    if (line_.empty()) return false;
    end = LineEnd::end_of_data;
    line = line_;
    return true;
  }
}

std::size_t StreamLines::fill(char* buffer, std::size_t size) {
  if (error_ != 0) return 0;
  const std::size_t got = std::fread(buffer, 1, size, stream_);
  if (got == 0 && std::ferror(stream_)) error_ = errno != 0 ? errno : EIO;
  return got;
}

// Takes the next line from the source; false at the end of the data.
bool RecordReader::take_line() {
  std::string_view line;
  LineEnd end = LineEnd::feed;
  if (!source_.next_line(line, end)) return false;
  ++line_number_;
  // A carriage return before the line feed, or as the last byte of the data,
  // belongs to the line end.
  const bool carriage_return =
      end != LineEnd::overlong && !line.empty() && line.back() == '\r';
  if (carriage_return) line.remove_suffix(1);
  line_.assign(line);
  column_ = 0;
  have_line_ = true;
  line_terminated_ = end == LineEnd::feed;
  line_overlong_ = end == LineEnd::overlong;
  line_end_signal_ = line_terminated_ || carriage_return;
  return true;
}

// A line too long to hold: the read that needs what lies past it fails, at
// that line.
bool RecordReader::fail_overlong() {
  failure_.code = err_out_of_space;
  failure_.where = "malloc failure";
  failure_.line = line_number_;
  failure_.first_column = failure_.last_column = 0;
  failure_.found.clear();
  exhausted_ = true;
  return false;
}

// The next character of the line without taking it.
int RecordReader::peek() {
  if (exhausted_) return end_of_data;
  if (!have_line_ && !take_line()) {
    exhausted_ = true;
    return end_of_data;
  }
  if (column_ < line_.size()) return static_cast<unsigned char>(line_[column_]);
  if (line_end_signal_) return line_end;
  if (line_overlong_) return line_overlong;
  exhausted_ = true;  // an unterminated last line has run out
  return end_of_data;
}

// Skipping to the next line: drops the rest of the current line with its
// line feed; meeting the end of the data instead sets the exhausted flag. A
// line too long to pass ends the data too: the values already read stand,
// and the next read operation, if any, fails.
void RecordReader::skip_line() {
  if (exhausted_) return;
  if (!have_line_ && !take_line()) {
    exhausted_ = true;
    return;
  }
  if (!line_terminated_) exhausted_ = true;
  have_line_ = false;
  column_ = 0;
}

bool RecordReader::read(ReadLayout layout_text, const Targets& targets) {
  const std::string_view text = layout_text.text();
  failure_ = ReadFailure{};
  failure_.layout = text;
  source_.begin_operation(text);
  if (exhausted_ && line_overlong_) return fail_overlong();
  if (exhausted_) {
    failure_.code = err_end_of_file;
    failure_.where = "read start";
    failure_.line = line_number_ + 1;
    return false;
  }
  const records::ParsedLayout layout = records::parse_layout(text, true);
  records::LayoutWalk walk(layout);

  // nX on input: up to n characters of the line are passed over.
  auto perform = [&](const Descriptor& d) {
    if (d.op != Op::advance) {
      skip_line();  // "/" and reversion
      return;
    }
    for (int32_t k = 0; k < d.repeat; ++k) {
      if (peek() < 0) return;
      ++column_;
    }
  };

  TargetCursor cursor(targets);
  while (cursor.more()) {
    const Descriptor* d = walk.next(true);
    if (d == nullptr) throw LayoutMismatch("targets left over for a layout without data descriptors");
    if (!records::is_data(d->op)) {
      perform(*d);
      continue;
    }
    FieldReader field(*this, d->width);
    bool ok = false;
    if (d->op == Op::integer) {
      int32_t* target = cursor.integer();
      if (target == nullptr) throw LayoutMismatch("a target of the wrong type for its field");
      ok = read_integer(field, *target);
    } else {
      double* target = cursor.real();
      if (target == nullptr) throw LayoutMismatch("a target of the wrong type for its field");
      ok = read_real(field, d->digits, *target);
    }
    if (!ok) return false;
    cursor.advance();
  }
  while (const Descriptor* d = walk.next(false)) perform(*d);
  skip_line();
  return true;
}

std::string diagnostic_text(int32_t code, std::string_view where, int32_t unit,
                            std::string_view layout, bool reading) {
  std::string text(where);
  if (code == err_end_of_file) {
    text += ": end of file";
  } else if (code >= 0 && code < 100) {
    // A system error, in the form perror gives it.
    if (!where.empty()) text += ": ";
    char buffer[256];
    text += strerror_r(code, buffer, sizeof buffer);
  } else if (code == err_bad_format) {
    text += ": error in format";
  } else if (code == err_out_of_space) {
    text += ": out of free space";
  } else if (code == err_unexpected_char) {
    text += ": read unexpected character";
  } else {
    text += ": run-time error " + std::to_string(code);
  }
  text += "\napparent state: unit " + std::to_string(unit) + " (unnamed)\n";
  if (!layout.empty())
    text.append("last format: ").append(layout.substr(0, records::layout_extent(layout))) += '\n';
  text += reading ? "lately reading" : "lately writing";
  text += " sequential formatted external";
  return text;
}

}  // namespace fourfifths
