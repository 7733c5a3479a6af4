// Constants of the published normal-distribution approximations, kept in one
// place for the whole model library and named as the methods name them.
//
// normp: Hart's algorithm 5666 (Computer Approximations, 1968), a rational
// function for the normal tail area, with a continued fraction beyond cutoff.
// ppnd: Wichura's algorithm AS 241 (Applied Statistics, 1988), 16-digit
// version, three rational functions of degree 7 over degree 7.
//
// Each decimal below is the double nearest to the published value; the digits
// reproduce the stored doubles exactly.
#pragma once

namespace fourfifths::normal {

// normp: numerator of the tail-area rational function, powers 0 to 6.
inline constexpr double p0 = 220.2068679123761;
inline constexpr double p1 = 221.2135961699311;
inline constexpr double p2 = 112.0792914978709;
inline constexpr double p3 = 33.912866078383;
inline constexpr double p4 = 6.37396220353165;
inline constexpr double p5 = 0.7003830644436881;
inline constexpr double p6 = 0.03526249659989109;

// normp: denominator, powers 0 to 7 (q0 is exactly twice p0, so that the tail
// area at 0 is exactly one half).
inline constexpr double q0 = 440.4137358247522;
inline constexpr double q1 = 793.8265125199484;
inline constexpr double q2 = 637.3336333788311;
inline constexpr double q3 = 296.5642487796737;
inline constexpr double q4 = 86.78073220294608;
inline constexpr double q5 = 16.06417757920695;
inline constexpr double q6 = 1.755667163182642;
inline constexpr double q7 = 0.08838834764831845;

// normp: below cutoff the rational function, from it on the continued fraction.
inline constexpr double cutoff = 7.071;

// The square root of 2 pi as stored by the method (its last digits differ from
// the exact 2.5066282746310002; this stored value is the one used).
inline constexpr double root2pi = 2.506628274631001;

// ppnd: coefficients by power of r, index 0 to 7. Each denominator has the
// constant term 1.

// Central region, |p - 0.5| <= 0.425, r = 0.180625 - (p - 0.5)^2.
inline constexpr double central_num[8] = {
    3.3871328727963665, 133.14166789178438, 1971.5909503065513, 13731.69376550946,
    45921.95393154987,  67265.7709270087,   33430.57558358813,  2509.0809287301227};
inline constexpr double central_den[8] = {1.0,
                                          42.31333070160091,
                                          687.1870074920579,
                                          5394.196021424751,
                                          21213.794301586597,
                                          39307.89580009271,
                                          28729.085735721943,
                                          5226.495278852854};

// Near tail, r = sqrt(-ln s) - 1.6 for sqrt(-ln s) <= 5 (s the smaller tail).
inline constexpr double near_num[8] = {
    1.4234371107496835, 4.630337846156546,  5.769497221460691,    3.6478483247632045,
    1.2704582524523684, 0.2417807251774506, 0.022723844989269184, 0.0007745450142783414};
inline constexpr double near_den[8] = {1.0,
                                       2.053191626637759,
                                       1.6763848301838038,
                                       0.6897673349851,
                                       0.14810397642748008,
                                       0.015198666563616457,
                                       0.0005475938084995345,
                                       1.0507500716444169e-09};

// Far tail, r = sqrt(-ln s) - 5 for sqrt(-ln s) > 5.
inline constexpr double far_num[8] = {
    6.657904643501103,    5.463784911164114,     1.7848265399172913,     0.29656057182850487,
    0.026532189526576124, 0.0012426609473880784, 2.7115555687434876e-05, 2.0103343992922881e-07};
inline constexpr double far_den[8] = {1.0,
                                      0.599832206555888,
                                      0.1369298809227358,
                                      0.014875361290850615,
                                      0.0007868691311456133,
                                      1.8463183175100548e-05,
                                      1.421511758316446e-07,
                                      2.0442631033899397e-15};

}  // namespace fourfifths::normal
