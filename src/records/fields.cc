// Fixed-field text records: rendering one item into its output field.
//
// Each routine fills exactly w characters. A value that does not fit is shown
// as w asterisks, never as a wider field. Reals take their digits from
// std::to_chars with a precision, which gives exactly the digits of the C
// library's "%.*f" and "%.*E" conversions (both round the exact binary value
// correctly), applied to the magnitude, so that rounding is symmetric about
// zero.
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "records/records.h"

namespace fourfifths {
namespace {

void asterisks(char* field, std::size_t w) {
  std::memset(field, '*', w);
}

// The sign and text right-justified in w columns, or asterisks.
void right_justify(char* field, std::size_t w, bool minus, std::string_view text) {
  const std::size_t n = text.size() + (minus ? 1 : 0);
  if (n > w) {
    asterisks(field, w);
    return;
  }
  std::memset(field, ' ', w - n);
  char* p = field + (w - n);
  if (minus) *p++ = '-';
  std::memcpy(p, text.data(), text.size());
}

// An infinity or a NaN in a real field.
void render_not_finite(char* field, std::size_t w, double value) {
  right_justify(field, w, !std::isnan(value) && value < 0, std::isnan(value) ? "NaN" : "Inf");
}

// Room for the text of a conversion: the largest double has 309 digits
// before the point; the decimals asked for come on top.
class ConversionText {
 public:
  explicit ConversionText(int32_t digits)
      : size_(400 + static_cast<std::size_t>(digits < 0 ? 0 : digits)),
        heap_(size_ > sizeof stack_ ? new char[size_] : nullptr) {}
  char* data() { return heap_ ? heap_.get() : stack_; }
  std::size_t size() const { return size_; }

 private:
  char stack_[480];
  std::size_t size_;
  std::unique_ptr<char[]> heap_;
};

}  // namespace

void render_integer(char* field, std::size_t w, int32_t value) {
  char digits[12];
  const int64_t magnitude = value < 0 ? -int64_t{value} : int64_t{value};
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  right_justify(field, w, value < 0, {digits, static_cast<std::size_t>(end - digits)});
}

void render_fixed(char* field, std::size_t w, int32_t d, double value) {
  if (!std::isfinite(value)) {
    render_not_finite(field, w, value);
    return;
  }
  const double magnitude = std::fabs(value);
  ConversionText buffer(d);
  char* const text = buffer.data();
  // Leave room for the point that "%#.0f" writes after the digits.
  const auto [end, ec] =
      std::to_chars(text, text + buffer.size() - 1, magnitude, std::chars_format::fixed, d);
  if (ec != std::errc()) {
    asterisks(field, w);
    return;
  }
  std::size_t len = static_cast<std::size_t>(end - text);
  if (d == 0) text[len++] = '.';
  // A negative value that rounds to zero is shown without its sign.
  const bool minus = value < 0 && std::strspn(text, "0.") < len;
  const std::size_t n = len + (minus ? 1 : 0);
  if (n <= w) {
    right_justify(field, w, minus, {text, len});
  } else if (text[0] == '0' && n - 1 == w) {  // the leading zero goes when that alone makes it fit
    right_justify(field, w, minus, {text + 1, len - 1});
  } else {
    asterisks(field, w);
  }
}

void render_exponent(char* field, std::size_t w, int32_t d, double value) {
  if (!std::isfinite(value)) {
    render_not_finite(field, w, value);
    return;
  }
  const bool minus = value < 0;
  const std::size_t digits = static_cast<std::size_t>(d);
  // The point, d digits, "E", the exponent's sign and two digits.
  const std::size_t room = (minus ? 1 : 0) + digits + 5;
  if (d < 1 || w < room) {
    asterisks(field, w);
    return;
  }
  // The digits of "%.*E" with precision d - 1: one digit, a point when d > 1,
  // d - 1 more, then "e" and the exponent. The field shows 0.ddd times ten to
  // that exponent plus one; a zero has the exponent 0.
  ConversionText buffer(d);
  char* const text = buffer.data();
  const auto [end, ec] = std::to_chars(text, text + buffer.size(), std::fabs(value),
                                       std::chars_format::scientific, d - 1);
  if (ec != std::errc()) {
    asterisks(field, w);
    return;
  }
  // The d digits without the point, in place.
  if (d > 1) std::memmove(text + 1, text + 2, digits - 1);
  const char* const mantissa = text;
  const char* e = text + (d > 1 ? digits + 1 : 1);  // at the "e"
  int power = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, power);
  if (value != 0) ++power;

  char power_text[16];
  char* p = power_text;
  *p++ = power < 0 ? '-' : '+';
  const int magnitude = power < 0 ? -power : power;
  if (magnitude < 10) *p++ = '0';
  p = std::to_chars(p, power_text + sizeof power_text, magnitude).ptr;
  const std::size_t power_len = static_cast<std::size_t>(p - power_text);

  const bool leading_zero = w > room;
  char* q = field;
  const std::size_t blanks = w - room - (leading_zero ? 1 : 0);
  std::memset(q, ' ', blanks);
  q += blanks;
  if (minus) *q++ = '-';
  if (leading_zero) *q++ = '0';
  *q++ = '.';
  std::memcpy(q, mantissa, digits);
  q += digits;
  // An exponent of three digits takes the place of the letter.
  if (power_len == 3) *q++ = 'E';
  std::memcpy(q, power_text, power_len);
}

void render_chars(char* field, std::size_t w, std::string_view text) {
  if (text.size() < w) {
    std::memset(field, ' ', w - text.size());
    if (!text.empty()) std::memcpy(field + (w - text.size()), text.data(), text.size());
  } else {
    std::memcpy(field, text.data(), w);
  }
}

}  // namespace fourfifths
