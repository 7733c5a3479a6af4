// The WebAssembly build's doubles to and from text (double_chars.h, on printf
// and strtod) against this build's C++ library, whose std::to_chars and
// std::from_chars are an independent implementation (shortest digits by Ryu,
// reading by an exact algorithm): the same text for every double written, the
// same double, stop and error for every text read.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "compat/double_chars.h"

namespace fourfifths {
namespace {

// Doubles of every kind: random bit patterns (every exponent, subnormals
// included), values near powers of ten where the plain and the exponent forms
// trade places, the ones the library writes most (ratios, correlations,
// three-decimal values), and the edges.
std::vector<double> doubles() {
  std::vector<double> all = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 0.8, 1e21, 1e22, 123456789012345680.0,
                             1e-5, 1e-6, 1e-7, 5e-324, 2.2250738585072014e-308,
                             std::numeric_limits<double>::max(), 9007199254740993.0, 4.35, 0.3};
  std::mt19937_64 generator(20);
  for (int i = 0; i < 20000; ++i) {
    const double x = std::bit_cast<double>(generator());
    if (std::isfinite(x)) all.push_back(x);
  }
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int i = 0; i < 20000; ++i) all.push_back(unit(generator));
  for (int k = -1000; k <= 1000; ++k) all.push_back(k / 1000.0);
  for (int p = -30; p <= 30; ++p) {
    const double power = std::pow(10.0, p);
    for (const double x : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300), 1.5 * power})
      all.push_back(x);
  }
  return all;
}

std::string written(std::to_chars_result result, const char* buffer) {
  return result.ec == std::errc() ? std::string(buffer, static_cast<std::size_t>(result.ptr - buffer)) : "error";
}

TEST(DoubleChars, ShortestFormIsTheLibrarys) {
  int differ = 0;
  for (const double x : doubles()) {
    char ours[64], theirs[64];
    const std::string a = written(double_chars::to_chars(ours, ours + sizeof ours, x), ours);
    const std::string b = written(std::to_chars(theirs, theirs + sizeof theirs, x), theirs);
    if (a != b && ++differ <= 10) ADD_FAILURE() << "shortest of " << b << ": " << a;
  }
  EXPECT_EQ(differ, 0);
}

TEST(DoubleChars, PrecisionFormsAreTheLibrarys) {
  int differ = 0;
  for (const double x : doubles()) {
    // Fixed only where it stays short (the library writes values of a deck and a chart).
    for (const auto format : {std::chars_format::fixed, std::chars_format::scientific}) {
      if (format == std::chars_format::fixed && std::fabs(x) > 1e30) continue;
      for (const int precision : {0, 1, 3, 6, 17}) {
        char ours[512], theirs[512];
        const std::string a =
            written(double_chars::to_chars(ours, ours + sizeof ours, x, format, precision), ours);
        const std::string b =
            written(std::to_chars(theirs, theirs + sizeof theirs, x, format, precision), theirs);
        if (a != b && ++differ <= 10) ADD_FAILURE() << b << " (precision " << precision << "): " << a;
      }
    }
  }
  EXPECT_EQ(differ, 0);
}

TEST(DoubleChars, TooSmallABufferIsRefused) {
  char buffer[4];
  EXPECT_EQ(double_chars::to_chars(buffer, buffer + sizeof buffer, 0.123456).ec, std::errc::value_too_large);
  EXPECT_EQ(double_chars::to_chars(buffer, buffer + sizeof buffer, 1234.5, std::chars_format::fixed, 2).ec,
            std::errc::value_too_large);
}

TEST(DoubleChars, ReadingIsTheLibrarys) {
  std::vector<std::string> texts = {
      "0", "-0", "1", "0.5", ".5", "5.", "-2.5e3x", "1e", "1e+", "1e-5", "1E5", "+1", " 1", "-", ".", "",
      "e5", "1e400", "-1e400", "1e-400", "0e-400", "1e-310", "0x10", "-0x1p3", "inf", "-INF", "infinity",
      "nan", "1,5", "1.5.6", "00012", "4.000", "0.300  1.000", "abc", "0.1e-0"};
  for (const double x : doubles()) {
    char buffer[64];
    texts.emplace_back(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
    texts.emplace_back(buffer, std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific, 5).ptr);
  }
  int differ = 0;
  for (const std::string& text : texts) {
    double ours = -7, theirs = -7;
    const auto a = double_chars::from_chars(text.data(), text.data() + text.size(), ours);
    const auto b = std::from_chars(text.data(), text.data() + text.size(), theirs);
    const bool same = a.ec == b.ec && a.ptr == b.ptr &&
                      (std::isnan(ours) ? std::isnan(theirs) : std::bit_cast<std::uint64_t>(ours) ==
                                                                   std::bit_cast<std::uint64_t>(theirs));
    if (!same && ++differ <= 10)
      ADD_FAILURE() << "\"" << text << "\": ours " << ours << " (error " << static_cast<int>(a.ec)
                    << ", read " << a.ptr - text.data() << "), the library's " << theirs << " (error "
                    << static_cast<int>(b.ec) << ", read " << b.ptr - text.data() << ")";
  }
  EXPECT_EQ(differ, 0);
}

}  // namespace
}  // namespace fourfifths
