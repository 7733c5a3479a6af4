// Fixed-field text records: the output renderings of integer (Iw), fixed-point
// (Fw.d), exponent (Dw.d) and character (Aw) fields.
//
// Fixed-point and exponent fields take their digits from the C library's
// "%#.*f" and "%#.*E" conversions of the magnitude and add the sign
// themselves, so a value and its negative round alike. The conversion is made
// into a stack buffer; only a field wider than that buffer (never one of the
// report's) needs the heap.
#include "records/fields.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/records.h"

namespace fourfifths::records {

namespace {

void asterisks(char* field, std::size_t w) {
  std::memset(field, '*', w);
}

// The sign and text right-justified in w columns, or asterisks.
void right_justify(char* field, std::size_t w, bool minus, const char* text, std::size_t len) {
  const std::size_t n = len + (minus ? 1 : 0);
  if (n > w) {
    asterisks(field, w);
    return;
  }
  std::memset(field, ' ', w - n);
  char* p = field + (w - n);
  if (minus) *p++ = '-';
  std::memcpy(p, text, len);
}

// An infinity or a NaN in a real field.
void render_not_finite(char* field, std::size_t w, double value) {
  if (std::isnan(value)) {
    right_justify(field, w, false, "NaN", 3);
  } else {
    right_justify(field, w, value < 0, "Inf", 3);
  }
}

// The text of one conversion, on the stack or, when longer, on the heap.
class ConversionText {
 public:
  ConversionText() = default;
  ~ConversionText() { std::free(heap_); }
  ConversionText(const ConversionText&) = delete;
  ConversionText& operator=(const ConversionText&) = delete;

  // "%#.*f" of magnitude with the given precision; false when the C library
  // cannot produce it (a text longer than INT_MAX).
  bool fixed(int precision, double magnitude) {
    const int len = std::snprintf(stack_, sizeof stack_, "%#.*f", precision, magnitude);
    if (len < 0) return false;
    len_ = static_cast<std::size_t>(len);
    if (len_ >= sizeof stack_) std::snprintf(heap(), len_ + 1, "%#.*f", precision, magnitude);
    return true;
  }

  // "%#.*E" of magnitude with the given precision.
  bool exponent(int precision, double magnitude) {
    const int len = std::snprintf(stack_, sizeof stack_, "%#.*E", precision, magnitude);
    if (len < 0) return false;
    len_ = static_cast<std::size_t>(len);
    if (len_ >= sizeof stack_) std::snprintf(heap(), len_ + 1, "%#.*E", precision, magnitude);
    return true;
  }

  const char* data() const { return heap_ != nullptr ? heap_ : stack_; }
  std::size_t size() const { return len_; }

 private:
  char* heap() {
    heap_ = static_cast<char*>(std::malloc(len_ + 1));
    if (heap_ == nullptr) runtime_error(err_out_of_space, "malloc failure");
    return heap_;
  }

  char stack_[400];
  char* heap_ = nullptr;
  std::size_t len_ = 0;
};

}  // namespace

void render_integer(char* field, std::size_t w, int32_t value) {
  const bool minus = value < 0;
  uint32_t magnitude = minus ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[10];
  std::size_t len = 0;
  char* end = digits + sizeof digits;
  do {
    *--end = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    ++len;
  } while (magnitude != 0);
  right_justify(field, w, minus, end, len);
}

void render_fixed(char* field, std::size_t w, int32_t d, double value) {
  if (!std::isfinite(value)) {
    render_not_finite(field, w, value);
    return;
  }
  bool minus = value < 0;
  ConversionText text;
  // A text longer than w + 1 cannot fit even without its leading zero.
  if (!text.fixed(d, std::fabs(value)) || text.size() > w + 1) {
    asterisks(field, w);
    return;
  }
  const char* t = text.data();
  const std::size_t len = text.size();
  // A negative value that rounds to zero is shown without its sign.
  if (minus && std::strspn(t, "0.") == len) minus = false;
  const std::size_t n = len + (minus ? 1 : 0);
  if (n <= w) {
    right_justify(field, w, minus, t, len);
  } else if (t[0] == '0' && n - 1 == w) {
    right_justify(field, w, minus, t + 1, len - 1);
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
  if (w < room) {
    asterisks(field, w);
    return;
  }
  const bool leading_zero = w > room;
  char* p = field;
  const std::size_t blanks = w - room - (leading_zero ? 1 : 0);
  std::memset(p, ' ', blanks);
  p += blanks;
  if (minus) *p++ = '-';
  if (leading_zero) *p++ = '0';
  *p++ = '.';
  char exponent_text[16];
  if (value == 0) {
    std::memset(p, '0', digits);
    std::memcpy(exponent_text, "+00", 4);
  } else {
    ConversionText text;
    if (!text.exponent(d - 1, std::fabs(value))) {
      asterisks(field, w);
      return;
    }
    // The conversion reads D.DDD...E+XX: its first digit, then d - 1 more.
    const char* t = text.data();
    *p = t[0];
    std::memcpy(p + 1, t + 2, digits - 1);
    const int power = static_cast<int>(std::strtol(t + digits + 2, nullptr, 10)) + 1;
    std::snprintf(exponent_text, sizeof exponent_text, "%+.2d", power);
  }
  p += digits;
  // An exponent of three digits takes the place of the letter.
  if (std::strlen(exponent_text) == 3) *p++ = 'E';
  std::memcpy(p, exponent_text, std::strlen(exponent_text));
}

void render_chars(char* field, std::size_t w, std::string_view text) {
  if (text.size() < w) {
    std::memset(field, ' ', w - text.size());
    if (!text.empty()) std::memcpy(field + (w - text.size()), text.data(), text.size());
  } else {
    std::memcpy(field, text.data(), w);
  }
}

}  // namespace fourfifths::records
