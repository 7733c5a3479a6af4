// Fixed-field text records: the RecordReader, which cuts the deck's lines on
// unit 5 into fixed-width fields and converts each into the next target.
//
// A line ends at a line feed; a carriage return directly before it, or as the
// very last byte of the input, belongs to the line end and never reaches a
// field. A field takes columns from its own line only: when the line end comes
// first the field ends there, so a short line reads as if padded with blanks.
// Real fields are gathered as a decimal digit string and a power of ten (at
// most 40 significant digits) and converted correctly rounded; nothing is
// accumulated in binary arithmetic. Up to 15 digits with a power of ten
// within 22 of zero (every field of a deck) are an exact integer scaled by an
// exact power of ten, so one multiplication or division gives the correctly
// rounded value (Clinger's fast path); anything else goes to strtod, the C
// library's correctly rounded conversion.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/fields.h"
#include "records/frame.h"
#include "records/layout.h"
#include "records/records.h"
#include "records/streams.h"

namespace fourfifths {

namespace {

using records::Descriptor;
using records::input;
using records::input_ensure;
using records::Op;

// The end of the input data was met: every later request for a character
// gets the end-of-data signal, and the next read operation fails at once.
constinit bool exhausted = false;

// What a request for a character can give besides the character itself.
constexpr int line_end = -1;     // the next character is the line terminator
constexpr int end_of_data = -2;  // the input has ended
constexpr int field_end = -3;    // the field's columns are used up

constexpr std::size_t max_digits = 40;
constexpr std::size_t exact_digits = 15;  // every integer of this many digits is a double

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

// The next character of the line without taking it.
int peek() {
  if (exhausted) return end_of_data;
  if (input.next == input.end && input_ensure(1) == 0) {
    exhausted = true;
    return end_of_data;
  }
  const unsigned char c = static_cast<unsigned char>(*input.next);
  if (c == '\n') return line_end;
  if (c == '\r') {
    // Part of the line end when a line feed follows or the input ends here.
    if (input_ensure(2) < 2 || input.next[1] == '\n') return line_end;
  }
  return c;
}

// Skipping to the next line: drops everything up to and including the next
// line feed; meeting the end of the data instead sets the exhausted flag.
void skip_line() {
  if (exhausted) return;
  for (;;) {
    if (input.next == input.end && input_ensure(1) == 0) {
      exhausted = true;
      return;
    }
    const std::size_t have = static_cast<std::size_t>(input.end - input.next);
    const void* feed = std::memchr(input.next, '\n', have);
    if (feed != nullptr) {
      input.next = static_cast<const char*>(feed) + 1;
      return;
    }
    input.next = input.end;
  }
}

// nX on input: up to n characters of the line are passed over.
void skip_columns(int32_t n) {
  for (int32_t k = 0; k < n; ++k) {
    const int c = peek();
    if (c == line_end || c == end_of_data) return;
    ++input.next;
  }
}

// The columns of one field, taken one character at a time.
class FieldColumns {
 public:
  explicit FieldColumns(int32_t width) : left_(width) {}

  int next() {
    if (left_ == 0) return field_end;
    const int c = peek();
    if (c == line_end) return line_end;
    if (c == end_of_data) runtime_error(err_end_of_file, "fmt");
    ++input.next;
    --left_;
    return c;
  }

  // The rest of the field, up to the line end, taken and dropped.
  void drop_rest() {
    while (left_ > 0) {
      const int c = peek();
      if (c == line_end || c == end_of_data) return;
      ++input.next;
      --left_;
    }
  }

 private:
  int32_t left_;
};

[[noreturn]] void unexpected_character() {
  runtime_error(err_unexpected_char, "fmt");
}

// Iw: an optional sign and decimal digits; blanks are ignored, and a comma
// or the line end ends the field early. The value is built in 64 bits
// (modulo 2^64, so an over-long field cannot overflow) and stored as 32 bits.
void read_integer(int32_t width, int32_t& target) {
  FieldColumns field(width);
  int c = field.next();
  while (c == ' ') c = field.next();
  if (c == field_end || c == line_end || c == ',') {
    target = 0;
    return;
  }
  bool negative = false;
  uint64_t value = 0;
  auto result = [&] { return static_cast<int32_t>(negative ? 0 - value : value); };
  if (c == '-') {
    negative = true;
  } else if (is_digit(c)) {
    value = static_cast<uint64_t>(c - '0');
  } else if (c != '+') {
    target = 0;
    field.drop_rest();
    unexpected_character();
  }
  for (;;) {
    c = field.next();
    if (c == field_end || c == line_end || c == ',') break;
    if (c == ' ') continue;
    if (!is_digit(c)) {
      target = result();
      field.drop_rest();
      unexpected_character();
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  target = result();
}

// Fw.d and Dw.d: sign, integer digits, an optional point (which overrides
// the d implied decimals) and fraction digits, and an optional exponent
// started by E, e, D or d, or by a bare sign directly after the mantissa.
double read_real(int32_t width, int32_t decimals) {
  FieldColumns field(width);
  int c = field.next();
  while (c == ' ') c = field.next();
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = field.next();
    while (c == ' ') c = field.next();
  }
  char digits[max_digits];
  std::size_t count = 0;
  int64_t power = -static_cast<int64_t>(decimals);
  // Integer digits; zeros before the first significant digit are skipped.
  for (;; c = field.next()) {
    if (c == ' ') continue;
    if (!is_digit(c)) break;
    if (count == 0 && c == '0') continue;
    if (count < max_digits) {
      digits[count++] = static_cast<char>(c);
    } else {
      ++power;
    }
  }
  if (c == '.') {
    power += decimals;
    for (c = field.next();; c = field.next()) {
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
    c = field.next();
    while (c == ' ') c = field.next();
    if (c == '+' || c == '-') {
      exponent_negative = c == '-';
      c = field.next();
    }
  } else if (c == '+' || c == '-') {
    has_exponent = true;
    exponent_negative = c == '-';
    c = field.next();
  }
  if (has_exponent) {
    constexpr int64_t exponent_limit = 99999999;
    bool any = false;
    int64_t exponent = 0;
    for (;; c = field.next()) {
      if (c == ' ') continue;
      if (!is_digit(c)) break;
      any = true;
      exponent = exponent * 10 + (c - '0');
      if (exponent > exponent_limit) {
        if (count > 0) unexpected_character();
        exponent = exponent_limit + 1;  // the value is 0 whatever follows
      }
    }
    if (!any) unexpected_character();
    power += exponent_negative ? -exponent : exponent;
  }
  if (c != field_end && c != line_end && c != ',') unexpected_character();

  while (count > 0 && digits[count - 1] == '0') {
    --count;
    ++power;
  }
  if (count == 0) return 0.0;
  if (count <= exact_digits && power >= -records::max_exact_power &&
      power <= records::max_exact_power) {
    uint64_t n = 0;
    for (std::size_t k = 0; k < count; ++k) n = n * 10 + static_cast<uint64_t>(digits[k] - '0');
    const double whole = static_cast<double>(n);  // below 10^15 < 2^53: exact
    const double value = power >= 0 ? whole * records::exact_power_of_ten[power]
                                    : whole / records::exact_power_of_ten[-power];
    return negative ? -value : value;
  }
  char text[max_digits + 32];
  char* p = text;
  if (negative) *p++ = '-';
  std::memcpy(p, digits, count);
  p += count;
  if (power != 0) {
    std::snprintf(p, sizeof text - static_cast<std::size_t>(p - text), "e%lld",
                  static_cast<long long>(power));
  } else {
    *p = '\0';
  }
  return std::strtod(text, nullptr);
}

// Whether read_plain_real may read fields: tests turn it off to compare it
// with read_real.
constinit bool plain_reals = true;

// A real field in the plain form that every deck uses, blanks, an optional
// sign, digits with an optional point, and blanks, lying whole in the input
// at hand on the current line, with at most 15 significant digits and a
// power of ten within 22 of zero: its value, the same that read_real gives,
// and the field's columns taken. False, with nothing taken, for any other
// field (a comma, an exponent, blanks among the digits, the line end or the
// end of the input at hand within its columns), which read_real then reads.
bool read_plain_real(int32_t width, int32_t decimals, double& value) {
  const auto w = static_cast<std::size_t>(width);
  if (!plain_reals || exhausted || static_cast<std::size_t>(input.end - input.next) < w) {
    return false;
  }
  const char* p = input.next;
  const char* const end = p + w;
  while (p != end && *p == ' ') ++p;
  bool negative = false;
  if (p != end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
  uint64_t n = 0;  // the significant digits: leading zeros skipped
  std::size_t count = 0;
  int64_t power = -static_cast<int64_t>(decimals);
  for (; p != end && is_digit(*p); ++p) {
    if (count == 0 && *p == '0') continue;
    if (++count > exact_digits) return false;
    n = n * 10 + static_cast<uint64_t>(*p - '0');
  }
  if (p != end && *p == '.') {
    power += decimals;
    for (++p; p != end && is_digit(*p); ++p) {
      --power;
      if (count == 0 && *p == '0') continue;
      if (++count > exact_digits) return false;
      n = n * 10 + static_cast<uint64_t>(*p - '0');
    }
  }
  while (p != end && *p == ' ') ++p;
  if (p != end) return false;
  if (n == 0) {
    value = 0.0;
  } else {
    while (n % 10 == 0) {  // trailing zeros
      n /= 10;
      ++power;
    }
    if (power < -records::max_exact_power || power > records::max_exact_power) return false;
    const double whole = static_cast<double>(n);  // below 10^15 < 2^53: exact
    value = power >= 0 ? whole * records::exact_power_of_ten[power]
                       : whole / records::exact_power_of_ten[-power];
    if (negative) value = -value;
  }
  input.next = end;
  return true;
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

// The non-data descriptors that a read operation passes.
void perform(const Descriptor& d) {
  if (d.op == Op::advance) {
    skip_columns(d.repeat);
  } else {
    skip_line();  // "/" and reversion
  }
}

}  // namespace

namespace records {

void reset_reader() {
  exhausted = false;
}

void use_plain_reals(bool use) {
  plain_reals = use;
}

}  // namespace records

void RecordReader::read(std::string_view layout, const Targets& targets) {
  begin_operation(unit_stdin, layout, true);
  if (exhausted) runtime_error(err_end_of_file, "read start");
  records::Layout walk(layout, true);
  TargetCursor cursor(targets);
  while (cursor.more()) {
    const Descriptor& d = *walk.next(true);
    switch (d.op) {
      case Op::integer: {
        int32_t* target = cursor.integer();
        if (target == nullptr) runtime_error(err_bad_format, "fmt");
        read_integer(d.width, *target);
        cursor.advance();
        break;
      }
      case Op::fixed:
      case Op::exponent: {
        double* target = cursor.real();
        if (target == nullptr) runtime_error(err_bad_format, "fmt");
        if (!read_plain_real(d.width, d.digits, *target)) *target = read_real(d.width, d.digits);
        cursor.advance();
        break;
      }
      default:
        perform(d);
        break;
    }
  }
  while (const Descriptor* d = walk.next(false)) perform(*d);
  skip_line();
  end_operation();
}

}  // namespace fourfifths
