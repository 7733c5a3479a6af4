// Fixed-point and exponent fields against the C library: every field that
// render_fixed and render_exponent give must be the field that the rules of
// the report make from the C library's "%#.*f" and "%#.*E" conversions, for
// random values of every kind, for values next to halfway points, and for
// every binary fraction k/2^m (m up to 12) that an F7.3 field can show.
//
// The reference fields below are built from snprintf alone, following the
// field rules as the report states them: the sign of the magnitude's text,
// no sign when the text shows only zeros, the leading zero dropped only when
// that alone makes the field fit, asterisks otherwise; for D, d significant
// digits after "0." and the conversion's exponent plus one.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "records/fields.h"

namespace fourfifths::records {
namespace {

// Ten million values in an optimised build; a million with the sanitizers or
// without optimisation, where each comparison costs many times more.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
constexpr std::size_t random_count = 10'000'000;
#else
constexpr std::size_t random_count = 1'000'000;
#endif

// Fields are compared as plain character arrays: the comparison runs ten
// million times.
constexpr std::size_t max_width = 64;

// The field for a value that is not finite, as the renderers define it.
void not_finite_field(char* out, std::size_t w, double value) {
  const char* text = std::isnan(value) ? "NaN" : value < 0 ? "-Inf" : "Inf";
  const std::size_t len = std::strlen(text);
  if (len > w) {
    std::memset(out, '*', w);
    return;
  }
  std::memset(out, ' ', w - len);
  std::memcpy(out + w - len, text, len);
}

// Sign and text right-justified in w columns (they fit).
void justify(char* out, std::size_t w, bool minus, const char* text, std::size_t len) {
  const std::size_t n = len + (minus ? 1 : 0);
  std::memset(out, ' ', w - n);
  if (minus) out[w - n] = '-';
  std::memcpy(out + w - len, text, len);
}

// Fw.d from snprintf's "%#.*f" of the magnitude into out; magnitude_text,
// when given, is that conversion already made.
void reference_fixed(char* out, std::size_t w, int d, double value, const char* magnitude_text) {
  if (!std::isfinite(value)) return not_finite_field(out, w, value);
  char own[512];
  if (magnitude_text == nullptr) {
    std::snprintf(own, sizeof own, "%#.*f", d, std::fabs(value));
    magnitude_text = own;
  }
  const char* text = magnitude_text;
  const std::size_t len = std::strlen(text);
  const bool minus = value < 0 && std::strspn(text, "0.") < len;
  const std::size_t n = len + (minus ? 1 : 0);
  if (n <= w) {
    justify(out, w, minus, text, len);
  } else if (text[0] == '0' && n - 1 == w) {
    justify(out, w, minus, text + 1, len - 1);
  } else {
    std::memset(out, '*', w);
  }
}

std::string reference_fixed(std::size_t w, int d, double value) {
  char out[max_width];
  reference_fixed(out, w, d, value, nullptr);
  return std::string(out, w);
}

// Dw.d from snprintf's "%#.*E" of the magnitude with precision d - 1.
void reference_exponent(char* out, std::size_t w, int d, double value) {
  if (!std::isfinite(value)) return not_finite_field(out, w, value);
  const bool minus = value < 0;
  const std::size_t digits = static_cast<std::size_t>(d);
  const std::size_t room = (minus ? 1 : 0) + digits + 5;
  if (w < room) {
    std::memset(out, '*', w);
    return;
  }
  char body[max_width + 16];
  std::size_t len = 0;
  if (w > room) body[len++] = '0';
  body[len++] = '.';
  int power = 0;
  if (value == 0) {
    std::memset(body + len, '0', digits);
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "%#.*E", d - 1, std::fabs(value));
    body[len] = text[0];
    std::memcpy(body + len + 1, text + 2, digits - 1);
    power = static_cast<int>(std::strtol(std::strchr(text, 'E') + 1, nullptr, 10)) + 1;
  }
  len += digits;
  char exponent[16];
  const int exponent_len = std::snprintf(exponent, sizeof exponent, "%+.2d", power);
  if (exponent_len == 3) body[len++] = 'E';
  std::memcpy(body + len, exponent, static_cast<std::size_t>(exponent_len));
  len += static_cast<std::size_t>(exponent_len);
  justify(out, w, minus, body, len);
}

std::string reference_exponent(std::size_t w, int d, double value) {
  char out[max_width];
  reference_exponent(out, w, d, value);
  return std::string(out, w);
}

std::string fixed_field(std::size_t w, int d, double value) {
  std::string field(w, '?');
  render_fixed(field.data(), w, d, value);
  return field;
}

std::string exponent_field(std::size_t w, int d, double value) {
  std::string field(w, '?');
  render_exponent(field.data(), w, d, value);
  return field;
}

// The values of the comparison, in five kinds taken in turn, one eighth of
// them random bit patterns.
class RandomValues {
 public:
  explicit RandomValues(uint64_t seed) : rng_(seed) {}

  double next() {
    switch (kind_++ % 8) {
      case 0:
      case 1:
      case 2:  // ratios, effect sizes and mean differences as the report shows them
        return std::uniform_real_distribution<double>(-4, 4)(rng_);
      case 3:  // anything up to beyond the widest field
        return std::uniform_real_distribution<double>(-2e4, 2e4)(rng_);
      case 4:  // any bit pattern: huge, tiny, subnormal, infinite and NaN values
        return std::bit_cast<double>(rng_());
      case 5:
      case 6:  // near a halfway point of 3 or 5 decimals
        return near_half(std::uniform_int_distribution<int>(0, 1)(rng_) == 0 ? 3 : 5, 0);
      default:  // near a halfway point of 4 significant digits, at any scale
        return near_half(4, std::uniform_int_distribution<int>(-30, 30)(rng_));
    }
  }

 private:
  // (j + 1/2) / 10^d times 10^scale for a random j, moved by up to eight
  // ulps either way (zero ulps: the double nearest to the halfway point).
  double near_half(int d, int scale) {
    const long long j = std::uniform_int_distribution<long long>(-2'000'000, 2'000'000)(rng_);
    double value = (static_cast<double>(j) + 0.5) / std::pow(10.0, d) * std::pow(10.0, scale);
    const int ulps = std::uniform_int_distribution<int>(-8, 8)(rng_);
    for (int k = 0; k < std::abs(ulps); ++k) {
      value = std::nextafter(value, ulps > 0 ? INFINITY : -INFINITY);
    }
    return value;
  }

  std::mt19937_64 rng_;
  unsigned kind_ = 0;
};

// The report's real fields, each against the C library, for random values:
// four shards of a quarter each, with seeds of their own, so that they can
// run side by side.
class RecordsRenderRandom : public ::testing::TestWithParam<int> {};

TEST_P(RecordsRenderRandom, MatchesTheLibrary) {
  RandomValues values(20240611 + static_cast<uint64_t>(GetParam()));
  std::size_t mismatches = 0;
  auto check = [&](const char* got, const char* expected, std::size_t w, char op, int d, double v) {
    if (std::memcmp(got, expected, w) == 0) return;
    ++mismatches;
    ADD_FAILURE() << op << w << '.' << d << " of " << std::hexfloat << v << ": got \""
                  << std::string(got, w) << "\", expected \"" << std::string(expected, w) << '"';
  };
  for (std::size_t k = 0; k < random_count / 4 && mismatches < 10; ++k) {
    const double v = values.next();
    const double magnitude = std::fabs(v);
    // A magnitude of 10^9 or more has ten digits before the point: none of
    // these fields can show it, and its text is not needed.
    const bool huge = std::isfinite(v) && magnitude >= 1e9;
    char text3[64];
    char text5[64];
    if (!huge) {
      std::snprintf(text3, sizeof text3, "%#.3f", magnitude);
      std::snprintf(text5, sizeof text5, "%#.5f", magnitude);
    }
    const struct {
      std::size_t w;
      int d;
      const char* text;
    } fixed[] = {{7, 3, text3}, {6, 3, text3}, {5, 3, text3}, {9, 5, text5}};
    char got[max_width];
    char expected[max_width];
    for (const auto& f : fixed) {
      if (huge) {
        std::memset(expected, '*', f.w);
      } else {
        reference_fixed(expected, f.w, f.d, v, f.text);
      }
      render_fixed(got, f.w, f.d, v);
      check(got, expected, f.w, 'F', f.d, v);
    }
    reference_exponent(expected, 13, 4, v);
    render_exponent(got, 13, 4, v);
    check(got, expected, 13, 'D', 4, v);
  }
  EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Shards, RecordsRenderRandom, ::testing::Range(0, 4));

// Every k/2^m with m from 1 to 12 is k'/4096; those below 1000 in magnitude
// are every such value whose F7.3 text can fit, with either sign. Among them
// are the exact ties at three decimals (odd multiples of 1/16), which go
// whichever way the C library rounds them, alike for both signs.
TEST(RecordsRenderEquality, BinaryFractionsInF73) {
  std::size_t mismatches = 0;
  for (int64_t k = 0; k < 1000 * 4096 && mismatches < 10; ++k) {
    const double v = std::ldexp(static_cast<double>(k), -12);
    char text[64];
    std::snprintf(text, sizeof text, "%#.3f", v);
    for (const double value : {v, -v}) {
      char expected[7];
      char got[7];
      reference_fixed(expected, 7, 3, value, text);
      render_fixed(got, 7, 3, value);
      if (std::memcmp(got, expected, 7) != 0) {
        ++mismatches;
        ADD_FAILURE() << "F7.3 of " << value << ": got \"" << std::string(got, 7)
                      << "\", expected \"" << std::string(expected, 7) << '"';
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

// F7.3 values whose scaled value 1000x lies at many distances from a
// halfway point, around the margin within which the direct way leaves the
// field to the C library (2^-30 in the scaled value), for integer parts of
// every length and both signs.
TEST(RecordsRenderEquality, NearHalfwayInF73) {
  std::mt19937_64 rng(1618);
  std::size_t mismatches = 0;
  for (int k = 0; k < 20000 && mismatches < 10; ++k) {
    const double halfway = std::uniform_int_distribution<int>(0, 999998)(rng) + 0.5;
    for (int e = -50; e <= -10; ++e) {
      for (const double offset : {std::ldexp(1.0, e), -std::ldexp(1.0, e)}) {
        for (const double sign : {1.0, -1.0}) {
          const double value = sign * (halfway + offset) / 1000;
          char expected[7];
          char got[7];
          char text[64];
          std::snprintf(text, sizeof text, "%#.3f", std::fabs(value));
          reference_fixed(expected, 7, 3, value, text);
          render_fixed(got, 7, 3, value);
          if (std::memcmp(got, expected, 7) != 0) {
            ++mismatches;
            ADD_FAILURE() << "F7.3 of " << std::hexfloat << value << ": got \""
                          << std::string(got, 7) << "\", expected \"" << std::string(expected, 7)
                          << '"';
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

// The exact ties themselves, by name: the C library rounds them to even.
TEST(RecordsRenderEquality, TiesAtThreeDecimals) {
  const struct {
    double value;
    const char* field;
  } ties[] = {
      {0.0625, "  0.062"}, {0.1875, "  0.188"},   {-0.3125, " -0.312"},
      {2.5625, "  2.562"}, {-99.9375, "-99.938"}, {999.4375, "999.438"},
  };
  for (const auto& t : ties) {
    EXPECT_EQ(fixed_field(7, 3, t.value), t.field) << t.value;
    EXPECT_EQ(fixed_field(7, 3, t.value), reference_fixed(7, 3, t.value)) << t.value;
  }
}

// Every width and count of decimals that the direct conversion serves, and
// beyond, at the edges of its range.
TEST(RecordsRenderEquality, EveryWidthAndPrecision) {
  const double values[] = {0.0,
                           -0.0,
                           0.5,
                           -0.5,
                           0.05,
                           9.5,
                           99.995,
                           123456.789,
                           -0.000499,
                           4503599627370495.5,  // 2^52 - 1/2
                           9007199254740991.0,  // 2^53 - 1
                           9007199254740992.0,
                           1e15 / 3,
                           0.1 + 0.2,
                           1e-9,
                           -7.0000000005,
                           std::nextafter(0.0005, 1.0),
                           std::nextafter(0.0005, 0.0),
                           std::nextafter(1e-4, 1.0),
                           1.0 / 3,
                           -2.0 / 3,
                           1e22,
                           1e-22,
                           5e-324};
  for (const double v : values) {
    for (std::size_t w = 1; w <= 40; ++w) {
      for (int d = 0; d <= 12 && static_cast<std::size_t>(d) < w + 3; ++d) {
        EXPECT_EQ(fixed_field(w, d, v), reference_fixed(w, d, v))
            << "F" << w << '.' << d << " of " << std::hexfloat << v;
        if (d >= 1) {
          EXPECT_EQ(exponent_field(w, d, v), reference_exponent(w, d, v))
              << "D" << w << '.' << d << " of " << std::hexfloat << v;
        }
      }
    }
  }
}

}  // namespace
}  // namespace fourfifths::records
