// Fixed-field text records: the output renderings of integer (Iw), fixed-point
// (Fw.d), exponent (Dw.d) and character (Aw) fields.
//
// Fixed-point and exponent fields show the digits of the C library's "%#.*f"
// and "%#.*E" conversions of the magnitude and add the sign themselves, so a
// value and its negative round alike. Those conversions round the exact binary
// value correctly, so for few decimals and moderate magnitudes the same digits
// come from scaling by an exact power of ten and rounding to an integer: the
// scaled product is within half an ulp of the exact one, and whenever its
// fraction lies more than a few ulps from one half, both round to the same
// integer, which is then written with integer arithmetic. Possible ties, large
// or tiny magnitudes and many decimals take the C library's conversion, made
// into a stack buffer; only a field wider than that buffer (never one of the
// report's) needs the heap.
#include "records/fields.h"

#include <bit>
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

constexpr const double* exact_power = exact_power_of_ten;

// The direct conversions serve up to this many digits after the point (F) or
// in the mantissa (D): their integers then stay far below 2^53.
constexpr int32_t max_direct_digits = 9;

// For each count of decimals d, the magnitudes below which m * 10^d stays
// below 2^53, where every integer is a double and the scaled product's
// fraction is resolved to well under one half.
constexpr double direct_fixed_limit[] = {0x1p53 / 1e0, 0x1p53 / 1e1, 0x1p53 / 1e2, 0x1p53 / 1e3,
                                         0x1p53 / 1e4, 0x1p53 / 1e5, 0x1p53 / 1e6, 0x1p53 / 1e7,
                                         0x1p53 / 1e8, 0x1p53 / 1e9};

// The integer nearest to the exact product of which scaled (below 2^53, not
// negative) is the correctly rounded value; false when the product may lie
// too close to halfway between two integers to tell from scaled alone. The
// margin, scaled * 2^-50, is at least four ulps of scaled, against an error
// of at most half an ulp.
bool nearest_integer(double scaled, uint64_t& n) {
  const int64_t whole = static_cast<int64_t>(scaled);           // 0 <= scaled < 2^53: exact floor
  const double fraction = scaled - static_cast<double>(whole);  // exact
  if (std::fabs(fraction - 0.5) <= scaled * 0x1p-50) return false;
  n = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  return true;
}

// Writes the decimal digits of n, at least count of them (zeros in front),
// ending at end; returns where they begin.
template <class Unsigned>
char* digits_before(char* end, Unsigned n, int32_t count) {
  char* p = end;
  for (int32_t k = 0; k < count || n != 0; ++k) {
    *--p = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  return p;
}

// Writes the two digits of pair (below 100) ending at p; returns their start.
inline char* pair_before(char* p, unsigned pair) {
  p -= 2;
  std::memcpy(p, digit_pairs + 2 * pair, 2);
  return p;
}

// The text of "%#.*f" for n / 10^D, ending at end: D decimals, the point,
// and the integer part's digits, at least one. D is a constant, so that
// every division below is by a constant and compiles to a multiplication.
template <int32_t D, class Unsigned>
char* fixed_digits(char* end, Unsigned n) {
  Unsigned scale = 1;
  for (int32_t k = 0; k < D; ++k) scale *= 10;
  Unsigned whole = n / scale;
  Unsigned fraction = n - whole * scale;
  char* p = end;
  for (int32_t k = D; k >= 2; k -= 2) {
    p = pair_before(p, static_cast<unsigned>(fraction % 100));
    fraction /= 100;
  }
  if (D % 2 == 1) *--p = static_cast<char>('0' + fraction);
  *--p = '.';
  while (whole >= 100) {
    p = pair_before(p, static_cast<unsigned>(whole % 100));
    whole /= 100;
  }
  if (whole >= 10) return pair_before(p, static_cast<unsigned>(whole));
  *--p = static_cast<char>('0' + whole);
  return p;
}

// The same for d from 0 to 9.
template <class Unsigned>
char* fixed_digits(char* end, Unsigned n, int32_t d) {
  switch (d) {
    case 0:
      return fixed_digits<0>(end, n);
    case 1:
      return fixed_digits<1>(end, n);
    case 2:
      return fixed_digits<2>(end, n);
    case 3:
      return fixed_digits<3>(end, n);
    case 4:
      return fixed_digits<4>(end, n);
    case 5:
      return fixed_digits<5>(end, n);
    case 6:
      return fixed_digits<6>(end, n);
    case 7:
      return fixed_digits<7>(end, n);
    case 8:
      return fixed_digits<8>(end, n);
    default:
      return fixed_digits<9>(end, n);
  }
}

// Copies a field of w characters. Up to 32 of them take two overlapping
// fixed-size moves, which compile to plain loads and stores.
inline void copy_field(char* to, const char* from, std::size_t w) {
  if (w > 32) {
    std::memcpy(to, from, w);
  } else if (w >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + w - 16, from + w - 16, 16);
  } else if (w >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + w - 8, from + w - 8, 8);
  } else if (w >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + w - 4, from + w - 4, 4);
  } else {
    for (std::size_t k = 0; k < w; ++k) to[k] = from[k];
  }
}

// Fw.d without the C library, for d <= 9 and magnitudes below 2^53 / 10^d
// whose scaled value is not near a tie; false (nothing written) otherwise.
// The text is built right-justified in a blank-filled buffer, so that the
// field is one copy.
inline bool direct_fixed(char* field, std::size_t w, int32_t d, double value) {
  const double magnitude = std::fabs(value);
  if (d < 0 || d > max_direct_digits || !(magnitude < direct_fixed_limit[d])) return false;
  uint64_t n = 0;
  if (!nearest_integer(magnitude * exact_power[d], n)) return false;
  char text[48];
  char* const end = text + sizeof text;
  // Blanks where the field is taken from: one 16-byte store for the
  // report's fields.
  std::memset(end - 16, ' ', 16);
  if (w > 16) std::memset(text, ' ', sizeof text - 16);
  char* t =
      n <= UINT32_MAX ? fixed_digits(end, static_cast<uint32_t>(n), d) : fixed_digits(end, n, d);
  // A negative value that rounds to zero is shown without its sign.
  const bool minus = value < 0 && n != 0;
  std::size_t len = static_cast<std::size_t>(end - t);
  if (len + (minus ? 1 : 0) > w) {
    // The leading zero goes when that alone makes the field fit.
    if (t[0] != '0' || len + (minus ? 1 : 0) - 1 != w) {
      asterisks(field, w);
      return true;
    }
    ++t;
    --len;
  }
  if (w + 1 > sizeof text) {
    right_justify(field, w, minus, t, len);
    return true;
  }
  if (minus) t[-1] = '-';
  copy_field(field, end - w, w);
  return true;
}

// The d significant digits of "%#.*E" with precision d - 1 of a positive,
// finite magnitude, written to digits, and the exponent of the field's form
// 0.ddd times ten to that exponent; false when the direct conversion cannot
// tell them. The scale 10^k puts magnitude * 10^k in [10^(d-1), 10^d]; it
// starts from the binary exponent's estimate of the decimal one and moves
// until it does, and must stay an exact power of ten.
bool direct_exponent(char* digits, int32_t d, double magnitude, int& exponent) {
  if (d < 1 || d > max_direct_digits) return false;
  const int biased = static_cast<int>(std::bit_cast<uint64_t>(magnitude) >> 52);
  if (biased == 0) return false;  // subnormal
  // floor(log10(2^e)) for the binary exponent e, to within one.
  const int decimal = ((biased - 1023) * 1233) >> 12;
  const double low = exact_power[d - 1];
  const double high = exact_power[d];
  int k = d - 1 - decimal;
  double scaled = 0;
  for (int tries = 0;; ++tries) {
    if (tries == 4 || k > max_exact_power || k < -max_exact_power) return false;
    scaled = k >= 0 ? magnitude * exact_power[k] : magnitude / exact_power[-k];
    if (scaled > high) {
      --k;
    } else if (scaled < low) {
      ++k;
    } else {
      break;
    }
  }
  uint64_t n = 0;
  if (!nearest_integer(scaled, n)) return false;
  exponent = d - k;
  if (n == static_cast<uint64_t>(high)) {  // rounding carried into a new digit
    n = static_cast<uint64_t>(low);
    ++exponent;
  }
  digits_before(digits + d, n, d);
  return true;
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

// The sign and the fixed-point text in w columns: right-justified when they
// fit, else without the text's leading zero when that alone makes them fit,
// else asterisks.
void place_fixed(char* field, std::size_t w, bool minus, const char* t, std::size_t len) {
  const std::size_t n = len + (minus ? 1 : 0);
  if (n <= w) {
    right_justify(field, w, minus, t, len);
  } else if (t[0] == '0' && n - 1 == w) {
    right_justify(field, w, minus, t + 1, len - 1);
  } else {
    asterisks(field, w);
  }
}

// The exponent of a D field as "%+.2d" writes it: its sign and at least two
// digits. Returns the length.
std::size_t exponent_text(char* text, int power) {
  text[0] = power < 0 ? '-' : '+';
  const uint32_t magnitude =
      power < 0 ? 0u - static_cast<uint32_t>(power) : static_cast<uint32_t>(power);
  char digits[12];
  char* const end = digits + sizeof digits;
  const char* p = digits_before(end, magnitude, 2);
  const std::size_t len = static_cast<std::size_t>(end - p);
  std::memcpy(text + 1, p, len);
  return len + 1;
}

// Fw.d from the C library's conversion: values that are not finite, possible
// ties, large magnitudes and many decimals.
[[gnu::noinline]] void library_fixed(char* field, std::size_t w, int32_t d, double value) {
  if (!std::isfinite(value)) {
    render_not_finite(field, w, value);
    return;
  }
  // A magnitude of 10^w or more has w + 1 digits before the point: it cannot
  // fit even without a leading zero, and its text need not be made.
  const double magnitude = std::fabs(value);
  if (w <= static_cast<std::size_t>(max_exact_power) && magnitude >= exact_power[w]) {
    asterisks(field, w);
    return;
  }
  ConversionText text;
  // A text longer than w + 1 cannot fit even without its leading zero.
  if (!text.fixed(d, magnitude) || text.size() > w + 1) {
    asterisks(field, w);
    return;
  }
  const char* t = text.data();
  const std::size_t len = text.size();
  // A negative value that rounds to zero is shown without its sign.
  const bool minus = value < 0 && std::strspn(t, "0.") < len;
  place_fixed(field, w, minus, t, len);
}

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
  uint64_t word = 0;
  if (w == 7 && d == 3 && fixed_7_3(value, word)) {
    std::memcpy(field, &word, 7);
    return;
  }
  if (!direct_fixed(field, w, d, value)) library_fixed(field, w, d, value);
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
  char power_text[16];
  std::size_t power_len = 0;
  if (value == 0) {
    std::memset(p, '0', digits);
    power_len = exponent_text(power_text, 0);
  } else {
    const double magnitude = std::fabs(value);
    int power = 0;
    if (!direct_exponent(p, d, magnitude, power)) {
      ConversionText text;
      if (!text.exponent(d - 1, magnitude)) {
        asterisks(field, w);
        return;
      }
      // The conversion reads D.DDD...E+XX: its first digit, then d - 1 more.
      const char* t = text.data();
      *p = t[0];
      std::memcpy(p + 1, t + 2, digits - 1);
      power = static_cast<int>(std::strtol(t + digits + 2, nullptr, 10)) + 1;
    }
    power_len = exponent_text(power_text, power);
  }
  p += digits;
  // An exponent of three digits takes the place of the letter.
  if (power_len == 3) *p++ = 'E';
  std::memcpy(p, power_text, power_len);
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
