// Fixed-field text records: rendering one item into its output field.
//
// Each routine fills exactly w characters at field. A value that does not fit
// is shown as w asterisks, never as a wider field. Reals show exactly the
// digits of the C library's "%#.*f" (Fw.d) and "%#.*E" (Dw.d) conversions of
// the magnitude (computed without the library where they are certain), so
// rounding is the library's and symmetric about zero; a negative zero counts
// as zero. Values that are not finite show as "NaN", "Inf" or "-Inf".
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace fourfifths::records {

// The powers of ten that a double holds exactly, 10^0 to 10^22: scaling by
// one of them is a single correctly rounded operation.
inline constexpr double exact_power_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int max_exact_power = 22;

// The two-digit numbers 00 to 99, for writing digits in pairs.
inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The two halves of an F7.3 field, as the four bytes of a little-endian word
// hold them in memory order: for the integer part 0 to 999 its digits
// right-justified with blanks and the point ("  7." or "123."), and for
// 1000 to 1099 the negative parts -0 to -99 (" -7."); for the decimals 0 to
// 999 their three digits (the fourth byte, zero, lies beyond the field).
struct FixedSevenThreeParts {
  uint32_t whole[1100];
  uint32_t decimals[1000];
};

constexpr FixedSevenThreeParts make_fixed_7_3_parts() {
  FixedSevenThreeParts parts{};
  for (uint32_t n = 0; n < 1000; ++n) {
    const uint32_t d0 = n / 100;
    const uint32_t d1 = n / 10 % 10;
    const uint32_t d2 = n % 10;
    parts.decimals[n] = ('0' + d0) | ('0' + d1) << 8 | ('0' + d2) << 16;
    const uint32_t c0 = n >= 100 ? '0' + d0 : ' ';
    const uint32_t c1 = n >= 10 ? '0' + d1 : ' ';
    parts.whole[n] = c0 | c1 << 8 | ('0' + d2) << 16 | uint32_t{'.'} << 24;
    if (n < 100) {
      const uint32_t m0 = n >= 10 ? '-' : ' ';
      const uint32_t m1 = n >= 10 ? '0' + d1 : '-';
      parts.whole[1000 + n] = m0 | m1 << 8 | ('0' + d2) << 16 | uint32_t{'.'} << 24;
    }
  }
  return parts;
}

inline constexpr FixedSevenThreeParts fixed_7_3_parts = make_fixed_7_3_parts();

// Below these magnitudes an F7.3 field has room for the value whatever its
// rounding: up to 999.999 for a positive value and its sign, -99.999 for a
// negative one.
inline constexpr double fixed_7_3_room[2] = {999.999, 99.999};

// F7.3, the field of nearly every number in the report, when its digits are
// certain: the seven characters in the low seven bytes of word, in memory
// order. The digits are those of the exact value x scaled by 1000 and
// rounded to the nearest integer n, and n / 1000 and n % 1000 pick the two
// halves of the field from a table. Below 10^6, the scaled double lies
// within 2^-34 of 1000x, and the scaled double plus one half within 2^-32 of
// 1000x + 1/2; unless that sum lies within 2^-30 of an integer (1000x is
// then at or near a tie), its integer part is n. False, with nothing
// decided, for a possible tie, a magnitude beyond the room above, a value
// that is not finite, and on a machine that does not store the low byte
// first: render_fixed then takes the general way.
inline bool fixed_7_3(double value, uint64_t& word) {
  if constexpr (std::endian::native != std::endian::little) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const uint32_t sign = static_cast<uint32_t>(bits >> 63);
  const double magnitude = std::bit_cast<double>(bits & ~(uint64_t{1} << 63));
  if (!(magnitude < fixed_7_3_room[sign])) return false;
  const double shifted = magnitude * 1000 + 0.5;
  const int32_t rounded = static_cast<int32_t>(shifted);           // below 2^20: exact
  const double fraction = shifted - static_cast<double>(rounded);  // exact
  if (std::fabs(fraction - 0.5) >= 0.5 - 0x1p-30) return false;
  const auto n = static_cast<uint32_t>(rounded);
  const uint32_t whole = n / 1000;
  const uint32_t decimals = n - whole * 1000;
  // A negative value that rounds to zero, and a negative zero, are shown
  // without a sign.
  const uint32_t minus = sign & (n != 0 ? 1u : 0u);
  word = fixed_7_3_parts.whole[whole + 1000 * minus] | uint64_t{fixed_7_3_parts.decimals[decimals]}
                                                           << 32;
  return true;
}

// Iw: the integer right-justified, with "-" for a negative value.
void render_integer(char* field, std::size_t w, int32_t value);

// Fw.d: d decimals after a point that is always present; a leading "0" is
// dropped when that alone makes the field fit.
void render_fixed(char* field, std::size_t w, int32_t d, double value);

// Dw.d: 0.ddd...d times a power of ten, written "E+xx"; an exponent of three
// digits takes the place of the E. The leading "0" only when there is room.
void render_exponent(char* field, std::size_t w, int32_t d, double value);

// Aw: the text right-justified, or its first w characters.
void render_chars(char* field, std::size_t w, std::string_view text);

}  // namespace fourfifths::records
