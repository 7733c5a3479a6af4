// The --ratios argument of fourfifths-study: selection ratios as a
// comma-separated list of numbers and ranges FROM:TO:STEP.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fourfifths {

// At most this many ratios in all.
inline constexpr std::size_t max_sweep_ratios = 100000;

// The smallest ratio of a sweep. The study's rows form each group's
// selection ratio as one minus a lower tail, as the classic report does, so
// its absolute error is about 1e-16: from 1e-6 on a row's ratios keep about
// ten significant digits. (The front forms upper tails as such and takes
// smaller ratios.)
inline constexpr double min_sweep_ratio = 1e-6;

// One selection ratio: a number strictly between 0 and 1.
bool parse_ratio(std::string_view text, double& value);

// A whole number from min to max, in decimal digits alone (no sign, no
// blanks; leading zeros do not make it octal).
bool parse_count(std::string_view text, int min, int max, int& value);

// Appends the ratios of the list to ratios; false, with a message naming the
// bad item, when the list or an item is empty or not a number or a range, a
// ratio is not strictly between 0 and 1, a range runs backwards, its step
// does not divide it or is too fine for its ratios to differ, or the list
// holds too many ratios.
bool parse_ratios(std::string_view list, std::vector<double>& ratios, std::string& error);

}  // namespace fourfifths
