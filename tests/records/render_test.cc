// Output field renderings: Iw, Fw.d, Dw.d and Aw, each value against the field
// it must give, column for column.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "records/records.h"

namespace fourfifths {
namespace {

struct Rendering {
  char op;  // 'I', 'F', 'D'
  int w;
  int d;
  double value;
  const char* field;
};

std::string render(const Rendering& r) {
  std::string field(static_cast<std::size_t>(r.w), '?');
  switch (r.op) {
    case 'I':
      render_integer(field.data(), field.size(), static_cast<int32_t>(r.value));
      break;
    case 'F':
      render_fixed(field.data(), field.size(), r.d, r.value);
      break;
    default:
      render_exponent(field.data(), field.size(), r.d, r.value);
      break;
  }
  return field;
}

constexpr double inf = std::numeric_limits<double>::infinity();

// The report's renderings, with overflow, the dropped leading zero, negative
// zero and three-digit exponents.
const Rendering report_fields[] = {
    {'I', 2, 0, 5, " 5"},
    {'I', 2, 0, 10, "10"},
    {'I', 2, 0, 100, "**"},
    {'I', 3, 0, 0, "  0"},
    {'I', 3, 0, -5, " -5"},
    {'I', 3, 0, -100, "***"},
    {'F', 7, 3, 0.5, "  0.500"},
    {'F', 7, 3, -0.5, " -0.500"},
    {'F', 7, 3, 12.3456, " 12.346"},
    {'F', 7, 3, 123.456, "123.456"},
    {'F', 7, 3, -123.456, "*******"},
    {'F', 7, 3, 1234.5, "*******"},
    {'F', 7, 3, -0.0004, "  0.000"},
    {'F', 7, 3, 0, "  0.000"},
    {'F', 6, 3, -0.5, "-0.500"},
    {'F', 6, 3, -1.5, "-1.500"},
    {'F', 6, 3, 10.5, "10.500"},
    {'F', 6, 3, -10.5, "******"},
    {'F', 9, 5, 0.12345, "  0.12345"},
    {'F', 9, 5, -1.2, " -1.20000"},
    {'F', 5, 3, -0.5, "-.500"},
    {'D', 13, 4, 1234.5678, "   0.1235E+04"},
    {'D', 13, 4, -1234.5678, "  -0.1235E+04"},
    {'D', 13, 4, 0.000123, "   0.1230E-03"},
    {'D', 13, 4, 0, "   0.0000E+00"},
    {'D', 13, 4, 1.0E-120, "   0.1000-119"},
};

// Further limits of the same rules.
const Rendering edge_fields[] = {
    {'I', 11, 0, -2147483648.0, "-2147483648"},
    {'I', 10, 0, -2147483648.0, "**********"},
    {'I', 1, 0, 7, "7"},
    {'F', 7, 3, -0.0, "  0.000"},         // negative zero counts as zero
    {'F', 4, 3, 0.5, ".500"},             // leading zero dropped, no sign
    {'F', 4, 3, -0.5, "****"},            // no room even without the zero
    {'F', 5, 3, -0.0004, "0.000"},        // sign dropped, so it fits whole
    {'F', 6, 3, 9.9996, "10.000"},        // rounding carries into a new digit
    {'F', 5, 3, 9.9996, "*****"},         //   and no longer fits
    {'F', 4, 0, -2.0, " -2."},            // the point is always there
    {'F', 3, 0, 0.4, " 0."},              //
    {'D', 9, 4, 1234.5678, ".1235E+04"},  // exactly the room: no leading zero
    {'D', 8, 4, 1234.5678, "********"},   // less than the room
    {'D', 10, 4, -1234.5678, "-.1235E+04"},
    {'D', 11, 4, -1234.5678, "-0.1235E+04"},
    {'D', 13, 4, 9.99996, "   0.1000E+02"},  // rounding moves the exponent
    {'D', 13, 4, 1.0E120, "   0.1000+121"},
    {'D', 13, 4, 5.0E-324, "   0.4941-323"},  // the smallest subnormal
    {'D', 13, 4, -0.0, "   0.0000E+00"},
    {'D', 7, 1, 0.05, "0.5E-01"},
    // Values that are not finite: the same width rule.
    {'F', 7, 3, inf, "    Inf"},
    {'F', 7, 3, -inf, "   -Inf"},
    {'F', 7, 3, std::nan(""), "    NaN"},
    {'F', 3, 1, -inf, "***"},
    {'F', 3, 1, inf, "Inf"},
    {'D', 13, 4, -inf, "         -Inf"},
    {'D', 13, 4, std::nan(""), "          NaN"},
    {'D', 2, 1, std::nan(""), "**"},
};

TEST(RecordsRender, ReportFields) {
  for (const Rendering& r : report_fields) {
    EXPECT_EQ(render(r), r.field) << r.op << r.w << '.' << r.d << " of " << r.value;
  }
}

TEST(RecordsRender, EdgeFields) {
  for (const Rendering& r : edge_fields) {
    EXPECT_EQ(render(r), r.field) << r.op << r.w << '.' << r.d << " of " << r.value;
  }
}

// A value and its negative round alike: ties go whichever way the C library
// goes for the magnitude (0.0625 is exact in binary and halfway at 3 decimals).
TEST(RecordsRender, TiesAreSymmetricAboutZero) {
  const double ties[] = {0.0625, 0.1875, 2.5625, 0.3125};
  for (double tie : ties) {
    char magnitude[32];
    std::snprintf(magnitude, sizeof magnitude, "%7.3f", tie);
    std::string negative(7, '?');
    render_fixed(negative.data(), 7, 3, -tie);
    std::string positive(7, '?');
    render_fixed(positive.data(), 7, 3, tie);
    EXPECT_EQ(positive, magnitude);
    std::string expected = magnitude;
    expected[expected.find_first_not_of(' ') - 1] = '-';
    EXPECT_EQ(negative, expected) << tie;
  }
}

TEST(RecordsRender, CharacterFields) {
  struct Case {
    const char* text;
    std::size_t w;
    const char* field;
  } cases[] = {
      {"No ", 3, "No "}, {"Yes", 3, "Yes"}, {"No", 4, "  No"}, {"Yes", 2, "Ye"}, {"", 2, "  "},
  };
  for (const Case& c : cases) {
    std::string field(c.w, '?');
    render_chars(field.data(), c.w, c.text);
    EXPECT_EQ(field, c.field) << c.text;
  }
}

// A field wider than the conversion's stack buffer still renders exactly.
TEST(RecordsRender, WideFields) {
  std::string field(600, '?');
  render_fixed(field.data(), field.size(), 500, 0.5);
  const std::string text = "0." + std::string("5") + std::string(499, '0');
  EXPECT_EQ(field, std::string(600 - text.size(), ' ') + text);
  render_exponent(field.data(), field.size(), 500, -0.5);
  const std::string mantissa = "-0.5" + std::string(499, '0') + "E+00";
  EXPECT_EQ(field, std::string(600 - mantissa.size(), ' ') + mantissa);
}

// The digits come from std::to_chars: they must be those of the C library's
// "%.*f" and "%.*E", ties included (multiples of 1/4096 are exact in binary,
// and many lie halfway at three decimals).
TEST(RecordsRender, AgreesWithTheLibrary) {
  std::mt19937_64 rng(1966);
  std::uniform_real_distribution<double> magnitude(-4, 4);
  char expected[64];
  std::string field(13, '?');
  for (int k = 0; k < 200000; ++k) {
    const double value = k % 2 == 0 ? std::pow(10.0, magnitude(rng)) * (k % 4 == 0 ? -1 : 1)
                                    : (k / 2 - 50000) / 4096.0;
    std::snprintf(expected, sizeof expected, "%7.3f", value);
    if (std::strspn(expected, " -0.") == 7) std::snprintf(expected, sizeof expected, "%7.3f", 0.0);
    if (std::strlen(expected) > 7) std::snprintf(expected, sizeof expected, "*******");
    field.resize(7);
    render_fixed(field.data(), 7, 3, value);
    ASSERT_EQ(field, expected) << value;
    std::snprintf(expected, sizeof expected, "%.3E", std::fabs(value));
    field.resize(13);
    render_exponent(field.data(), 13, 4, value);
    // Same four digits: the field shows 0.dddd, the library d.ddd.
    ASSERT_EQ(field.substr(field.find('.') + 1, 4),
              std::string(1, expected[0]) + std::string(expected + 2, 3))
        << value;
  }
}

}  // namespace
}  // namespace fourfifths
