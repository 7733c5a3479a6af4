// Doubles to and from text as std::to_chars and std::from_chars give them,
// on the C library's printf and strtod in the "C" locale (which WebAssembly
// programs always have), for the WebAssembly build, whose C++ library has
// those functions for integers only (see charconv beside this header):
//  - with a precision, printf's %.*f, %.*e, %.*a or %.*g, which is how the
//    standard defines these forms;
//  - the shortest form: the fewest significant digits (1 to 17) that read
//    back to the same double, each count tried with %.*e (correctly rounded,
//    so the first that reads back is the nearest of its length), written
//    plain or with an exponent, whichever is shorter (plain on a tie), a
//    whole number written plain with its exact digits;
//  - reading: an optional minus, then a decimal number, inf, infinity or
//    nan; no blanks, no plus sign, no hexadecimal ("0x1p3" reads as its
//    "0"). A number too large for a double, or not zero but rounding to
//    zero, is out of range and leaves the value as it was.
// Natively this header is compiled only by its test, against the C++
// library's own functions.
#pragma once

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace fourfifths::double_chars {

inline std::to_chars_result copied(char* first, char* last, const char* text, std::size_t n) {
  if (n > static_cast<std::size_t>(last - first)) return {last, std::errc::value_too_large};
  std::memcpy(first, text, n);
  return {first + n, std::errc()};
}

inline std::to_chars_result printed(char* first, char* last, const char* format, int precision,
                                    double value) {
  // A double printed plain has at most 309 digits before its point.
  char text[1500];
  const int n = precision < 1000 ? std::snprintf(text, sizeof text, format, precision, value) : -1;
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof text) return {last, std::errc::value_too_large};
  return copied(first, last, text, static_cast<std::size_t>(n));
}

inline std::to_chars_result to_chars(char* first, char* last, double value,
                                     std::chars_format format, int precision) {
  if (precision < 0) precision = 6;
  switch (format) {
    case std::chars_format::fixed:
      return printed(first, last, "%.*f", precision, value);
    case std::chars_format::scientific:
      return printed(first, last, "%.*e", precision, value);
    case std::chars_format::hex:
      return printed(first, last, "%.*a", precision, value);
    default:
      return printed(first, last, "%.*g", precision, value);
  }
}

inline std::to_chars_result to_chars(char* first, char* last, double value) {
  char text[64];
  if (value == 0 || !std::isfinite(value)) {
    const int n = std::snprintf(text, sizeof text, "%g", value);
    return copied(first, last, text, static_cast<std::size_t>(n));
  }
  int digits = 1;
  for (; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
  const std::string scientific = text;
  const std::size_t at = scientific.find('e');
  const int power = std::atoi(scientific.c_str() + at + 1);
  const bool negative = value < 0;
  // The significant digits without sign and point.
  std::string significant;
  for (std::size_t i = 0; i < at; ++i)
    if (std::isdigit(static_cast<unsigned char>(scientific[i]))) significant += scientific[i];
  const int count = static_cast<int>(significant.size());
  std::string plain;
  if (power >= count - 1) {
    // A whole number: written plain, its exact digits (as the C++ library
    // does), which are as many as the shortest digits padded with zeros.
    char whole[400];
    std::snprintf(whole, sizeof whole, "%.0f", std::fabs(value));
    plain = whole;
  } else if (power >= 0) {
    plain = significant.substr(0, static_cast<std::size_t>(power + 1)) + "." +
            significant.substr(static_cast<std::size_t>(power + 1));
  } else {
    plain = "0." + std::string(static_cast<std::size_t>(-power - 1), '0') + significant;
  }
  if (negative) plain.insert(0, "-");
  const std::string& shorter = plain.size() <= scientific.size() ? plain : scientific;
  return copied(first, last, shorter.data(), shorter.size());
}

inline std::from_chars_result from_chars(const char* first, const char* last, double& value) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  if (p == last || *p == '+' || std::isspace(static_cast<unsigned char>(*p)))
    return {first, std::errc::invalid_argument};
  std::size_t length = static_cast<std::size_t>(last - first);
  if (last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
    length = static_cast<std::size_t>(p + 1 - first);
  const std::string text(first, length);
  char* end = nullptr;
  const double read = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return {first, std::errc::invalid_argument};
  const char* stop = first + (end - text.c_str());
  bool nonzero_digit = false, letters = false;
  for (const char* q = first; q < stop; ++q) {
    if (*q == 'e' || *q == 'E') break;
    if (*q >= '1' && *q <= '9') nonzero_digit = true;
    if (std::isalpha(static_cast<unsigned char>(*q))) letters = true;  // inf, infinity, nan
  }
  if ((std::isinf(read) && !letters) || (read == 0 && nonzero_digit))
    return {stop, std::errc::result_out_of_range};
  value = read;
  return {stop, std::errc()};
}

}  // namespace fourfifths::double_chars
