// Fixed-field text records: rendering one item into its output field.
//
// Each routine fills exactly w characters at field. A value that does not fit
// is shown as w asterisks, never as a wider field. Reals show exactly the
// digits of the C library's "%#.*f" (Fw.d) and "%#.*E" (Dw.d) conversions of
// the magnitude (computed without the library where they are certain), so
// rounding is the library's and symmetric about zero; a negative zero counts
// as zero. Values that are not finite show as "NaN", "Inf" or "-Inf".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fourfifths::records {

// The powers of ten that a double holds exactly, 10^0 to 10^22: scaling by
// one of them is a single correctly rounded operation.
inline constexpr double exact_power_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int max_exact_power = 22;

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
