// Tests of the normal distribution functions normp, alnorm and ppnd: the
// published edge values, the exact path switch at cutoff, and an independent
// check against the C library's erfc.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "model/model.h"

namespace fourfifths {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct Tails {
  double p, q, pdf;
};

Tails tails(double z) {
  Tails t{};
  normp(z, t.p, t.q, t.pdf);
  return t;
}

// Upper tail area of the standard normal from the C library: 0.5 erfc(z/sqrt 2).
double upper_tail(double z) {
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

// The two tail formulas of Hart 5666 as published, transcribed independently of
// the library so that a wrong digit in a stored constant or a wrong branch shows
// up as an inexact result.
double rational_tail(double y) {
  const double num =
      ((((((0.03526249659989109 * y + 0.7003830644436881) * y + 6.37396220353165) * y +
          33.912866078383) *
             y +
         112.0792914978709) *
            y +
        221.2135961699311) *
           y +
       220.2068679123761);
  const double den =
      (((((((0.08838834764831845 * y + 1.755667163182642) * y + 16.06417757920695) * y +
           86.78073220294608) *
              y +
          296.5642487796737) *
             y +
         637.3336333788311) *
            y +
        793.8265125199484) *
           y +
       440.4137358247522);
  return std::exp(-(y * y) * 0.5) * num / den;
}

double continued_fraction_tail(double y) {
  const double pdf = std::exp(-(y * y) * 0.5) / 2.506628274631001;
  return pdf / (y + 1.0 / (y + 2.0 / (y + 3.0 / (y + 4.0 / (y + 0.65)))));
}

TEST(ModelNormp, ZeroGivesExactHalvesAndPeakDensity) {
  for (double z : {0.0, -0.0}) {
    const Tails t = tails(z);
    EXPECT_EQ(t.p, 0.5);
    EXPECT_EQ(t.q, 0.5);
    EXPECT_EQ(t.pdf, 1.0 / 2.506628274631001);
  }
}

TEST(ModelNormp, ThirtySevenIsStillComputed) {
  const Tails hi = tails(37.0);
  EXPECT_EQ(hi.p, 1.0);
  EXPECT_NEAR(hi.q / 5.73e-300, 1.0, 0.005);
  EXPECT_NEAR(hi.q / upper_tail(37.0), 1.0, 1e-12);  // tail accuracy of the method there
  EXPECT_GT(hi.pdf, 0.0);

  const Tails lo = tails(-37.0);
  EXPECT_EQ(lo.p, hi.q);
  EXPECT_EQ(lo.q, 1.0);
}

TEST(ModelNormp, BeyondThirtySevenGivesExactLimits) {
  const struct {
    double z, p, q;
  } cases[] = {
      {std::nextafter(37.0, inf), 1.0, 0.0},
      {37.5, 1.0, 0.0},
      {1e300, 1.0, 0.0},
      {inf, 1.0, 0.0},
      {std::nextafter(-37.0, -inf), 0.0, 1.0},
      {-40.0, 0.0, 1.0},
      {-inf, 0.0, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.z);
    const Tails t = tails(c.z);
    EXPECT_EQ(t.p, c.p);
    EXPECT_EQ(t.q, c.q);
    EXPECT_EQ(t.pdf, 0.0);
  }
}

// At |z| = 7.071 the continued fraction is used, just below it the rational
// function; the two differ in the last digits, so exact equality tells the path.
TEST(ModelNormp, CutoffSelectsTheTailFormula) {
  const double at = 7.071;
  const double below = std::nextafter(at, 0.0);
  ASSERT_NE(continued_fraction_tail(at), rational_tail(at));
  ASSERT_NE(continued_fraction_tail(below), rational_tail(below));

  EXPECT_EQ(tails(at).q, continued_fraction_tail(at));
  EXPECT_EQ(tails(-at).p, continued_fraction_tail(at));
  EXPECT_EQ(tails(below).q, rational_tail(below));
  EXPECT_EQ(tails(-below).p, rational_tail(below));
}

// Every stored digit of the rational function matters: compare with the
// independent transcription over the whole rational range.
TEST(ModelNormp, RationalFunctionMatchesPublishedCoefficients) {
  for (double y : {0.001, 0.3, 1.0, 1.7, 2.5, 4.0, 5.9, 7.0}) {
    SCOPED_TRACE(y);
    EXPECT_EQ(tails(y).q, rational_tail(y));
  }
  for (double y : {7.5, 8.0, 12.0, 36.0}) {
    SCOPED_TRACE(y);
    EXPECT_EQ(tails(y).q, continued_fraction_tail(y));
  }
}

TEST(ModelNormp, EightQuantizesTheLowerTail) {
  const Tails t = tails(8.0);
  EXPECT_NEAR(t.q, 6.22e-16, 0.005e-16);
  EXPECT_EQ(t.p, 0.9999999999999993);
}

TEST(ModelNormp, MirrorPointExchangesTails) {
  for (double z : {0.25, 1.0, 1.959963984540054, 3.5, 7.0, 7.071, 8.0, 20.0, 37.0, 38.0}) {
    SCOPED_TRACE(z);
    const Tails plus = tails(z);
    const Tails minus = tails(-z);
    EXPECT_EQ(minus.p, plus.q);
    EXPECT_EQ(minus.q, plus.p);
    EXPECT_EQ(minus.pdf, plus.pdf);
  }
}

// Independent check of the smaller tail against 0.5 erfc(|z| / sqrt 2) over
// [-37, 37] in steps of 0.001 (glibc's erfc is good to about one unit in the
// last place). The method is built for absolute accuracy: the tail areas agree
// to a few units of 2^-53 everywhere (worst found 2.2e-16). Relative to the
// smaller tail the error grows into the far tail, where the rational function
// and the five-term continued fraction are tuned for absolute, not relative,
// error (worst found 8.9e-9, at |z| = 7.785, just past cutoff). The bounds sit
// just above those: any wrong stored digit is caught exactly by the tests above.
TEST(ModelNormp, SmallerTailAgreesWithErfc) {
  double worst_rel = 0.0, worst_rel_z = 0.0;
  double worst_abs = 0.0, worst_abs_z = 0.0;
  for (int k = -37000; k <= 37000; ++k) {
    const double z = k / 1000.0;
    const Tails t = tails(z);
    const double smaller = z < 0.0 ? t.p : t.q;
    const double reference = upper_tail(std::fabs(z));
    const double abs_diff = std::fabs(smaller - reference);
    if (abs_diff / reference > worst_rel) {
      worst_rel = abs_diff / reference;
      worst_rel_z = z;
    }
    if (abs_diff > worst_abs) {
      worst_abs = abs_diff;
      worst_abs_z = z;
    }
    const double density = std::exp(-z * z / 2.0) / std::sqrt(2.0 * std::numbers::pi);
    EXPECT_NEAR(t.pdf, density, 1e-15 * density) << "z = " << z;
  }
  std::printf(
      "smaller tail vs erfc: largest relative difference %.3e at z = %.3f, "
      "largest absolute difference %.3e at z = %.3f\n",
      worst_rel, worst_rel_z, worst_abs, worst_abs_z);
  EXPECT_LT(worst_abs, 4.5e-16) << "at z = " << worst_abs_z;
  EXPECT_LT(worst_rel, 1e-8) << "at z = " << worst_rel_z;
}

TEST(ModelAlnorm, ReturnsTheChosenTail) {
  const struct {
    double x;
    int32_t upper;
    double expected;
  } cases[] = {
      {1.0, 0, 0.841344746068543},
      {1.0, 1, 0.158655253931457},
      {1.0, -3, 0.158655253931457},  // any non-zero flag means the upper tail
      {-1.0, 0, 0.158655253931457},
      {-1.0, 1, 0.841344746068543},
      {0.0, 0, 0.5},
      {40.0, 0, 1.0},
      {40.0, 1, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "x = " << c.x << ", upper = " << c.upper);
    double x = c.x;
    int32_t upper = c.upper;
    EXPECT_NEAR(alnorm(x, upper), c.expected, 1e-15);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(upper, c.upper);
  }
}

TEST(ModelPpnd, PublishedQuantiles) {
  const struct {
    double p, z, tolerance;
  } cases[] = {
      {0.5, 0.0, 0.0},
      {0.975, 1.959963984540054, 1e-15},  // the digits shown, within two units of 2^-52
      {0.025, -1.959963984540054, 1e-15},
      {0.01, -2.326347874040841, 1e-15},
      {1e-11, -6.706023155, 5e-10},       // far tail
      {1.0 - 1e-11, 6.706023143, 5e-10},  // 1 - p rounded before the logarithm
      {0.075, -1.43953147093846, 1e-14},  // d = -0.425 exactly: central
      {0.925, 1.43953147093846, 1e-14},   // d just above 0.425: near tail
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p);
    double p = c.p;
    int32_t ifault = -1;
    const double z = ppnd(p, ifault);
    EXPECT_EQ(ifault, 0);
    EXPECT_NEAR(z, c.z, c.tolerance);
    EXPECT_EQ(p, c.p);
  }
}

TEST(ModelPpnd, ProportionsOutsideTheOpenIntervalFail) {
  for (double p : {0.0, 1.0, -0.1, 1.5, -inf, inf}) {
    SCOPED_TRACE(p);
    int32_t ifault = 0;
    double arg = p;
    EXPECT_EQ(ppnd(arg, ifault), 0.0);
    EXPECT_EQ(ifault, 1);
  }
}

TEST(ModelPpnd, SuccessClearsAnEarlierFailure) {
  double p = 0.3;
  int32_t ifault = 1;
  ppnd(p, ifault);
  EXPECT_EQ(ifault, 0);
}

// The published AS 241 tables, transcribed independently of the library, and
// the three rational functions evaluated as published; the library must agree
// bit for bit, so that every stored digit is checked.
// Numerator and denominator of one table by Horner's rule from power 7 down.
struct Ratio {
  double num, den;
};

Ratio as241(const double (&num)[8], const double (&den)[8], double r) {
  Ratio v{num[7], den[7]};
  for (int k = 6; k >= 0; --k) {
    v.num = v.num * r + num[k];
    v.den = v.den * r + den[k];
  }
  return v;
}

double tail_ratio(const double (&num)[8], const double (&den)[8], double r) {
  const Ratio v = as241(num, den, r);
  return v.num / v.den;
}

constexpr double a[8] = {3.3871328727963665, 133.14166789178438, 1971.5909503065513,
                         13731.69376550946,  45921.95393154987,  67265.7709270087,
                         33430.57558358813,  2509.0809287301227};
constexpr double b[8] = {1,
                         42.31333070160091,
                         687.1870074920579,
                         5394.196021424751,
                         21213.794301586597,
                         39307.89580009271,
                         28729.085735721943,
                         5226.495278852854};
constexpr double c[8] = {1.4234371107496835,   4.630337846156546,    5.769497221460691,
                         3.6478483247632045,   1.2704582524523684,   0.2417807251774506,
                         0.022723844989269184, 0.0007745450142783414};
constexpr double d[8] = {1,
                         2.053191626637759,
                         1.6763848301838038,
                         0.6897673349851,
                         0.14810397642748008,
                         0.015198666563616457,
                         0.0005475938084995345,
                         1.0507500716444169e-09};
constexpr double e[8] = {6.657904643501103,      5.463784911164114,     1.7848265399172913,
                         0.29656057182850487,    0.026532189526576124,  0.0012426609473880784,
                         2.7115555687434876e-05, 2.0103343992922881e-07};
constexpr double f[8] = {1,
                         0.599832206555888,
                         0.1369298809227358,
                         0.014875361290850615,
                         0.0007868691311456133,
                         1.8463183175100548e-05,
                         1.421511758316446e-07,
                         2.0442631033899397e-15};

TEST(ModelPpnd, RegionsMatchPublishedCoefficients) {
  for (double p : {0.08, 0.2, 0.3, 0.45, 0.6, 0.8, 0.92}) {  // central
    SCOPED_TRACE(p);
    double arg = p;
    int32_t ifault = 0;
    const double q = p - 0.5;
    const Ratio v = as241(a, b, 0.180625 - q * q);
    EXPECT_EQ(ppnd(arg, ifault), q * v.num / v.den);
  }
  for (double p : {1e-10, 1e-6, 0.001, 0.05, 0.074}) {  // near tail, lower and mirrored
    SCOPED_TRACE(p);
    double lower = p;
    double upper = 1.0 - p;
    int32_t ifault = 0;
    const double v_lower = tail_ratio(c, d, std::sqrt(-std::log(p)) - 1.6);
    const double v_upper = tail_ratio(c, d, std::sqrt(-std::log(1.0 - upper)) - 1.6);
    EXPECT_EQ(ppnd(lower, ifault), -v_lower);
    EXPECT_EQ(ppnd(upper, ifault), v_upper);
  }
  for (double p : {1e-12, 1e-30, 1e-100, 1e-300, 4.9e-324}) {  // far tail
    SCOPED_TRACE(p);
    double arg = p;
    int32_t ifault = 0;
    EXPECT_EQ(ppnd(arg, ifault), -tail_ratio(e, f, std::sqrt(-std::log(p)) - 5.0));
  }
  // At p = 0.075 the central variable r is exactly 0: the result is d times the
  // constant term alone. p = 0.925 lies just outside and takes the near tail.
  double p = 0.075;
  int32_t ifault = 0;
  EXPECT_EQ(ppnd(p, ifault), -0.425 * 3.3871328727963665);
  p = 0.925;
  EXPECT_EQ(ppnd(p, ifault), tail_ratio(c, d, std::sqrt(-std::log(1.0 - 0.925)) - 1.6));
}

// Round trip through erfc over all three regions: the quantile's upper tail must
// give back 1 - p. The tolerance covers the conditioning of the tail area
// (relative error of z times z * pdf / tail) at 16-digit quantiles.
TEST(ModelPpnd, InvertsTheNormalTail) {
  for (double p : {1e-300, 1e-100, 1e-20,   1e-12, 1.3887943864964021e-11,
                   1e-9,   1e-6,   1e-4,    0.001, 0.02,
                   0.0749, 0.0751, 0.1,     0.2,   0.3,
                   0.45,   0.5,    0.55,    0.7,   0.9,
                   0.9249, 0.99,   0.999999}) {
    SCOPED_TRACE(p);
    double arg = p;
    int32_t ifault = 0;
    const double z = ppnd(arg, ifault);
    ASSERT_EQ(ifault, 0);
    const double lower = upper_tail(-z);
    EXPECT_NEAR(lower / p, 1.0, 1e-14 * std::max(1.0, std::fabs(z) * std::fabs(z)));
  }
}

}  // namespace
}  // namespace fourfifths
