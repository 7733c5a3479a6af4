// The --ratios argument: "0.15,0.3" or "0.01:0.99:0.01" or both mixed.
#include "ratios.h"

#include <charconv>
#include <cmath>

namespace fourfifths {
namespace {

bool number(std::string_view text, double& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}


// FROM + k STEP without the binary noise of the sum: 0.01 + 6 * 0.01 is
// 0.07, not 0.07000000000000001. Fifteen significant digits hold any ratio
// of a range of at most 100000 steps.
double range_value(double from, double step, std::size_t k) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, from + static_cast<double>(k) * step,
                                 std::chars_format::general, 15).ptr;
  double value = 0;
  std::from_chars(text, end, value);
  return value;
}

}  // namespace

bool parse_count(std::string_view text, int min, int max, int& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

bool parse_ratio(std::string_view text, double& value) {
  return number(text, value) && value > 0 && value < 1;
}

bool parse_ratios(std::string_view list, std::vector<double>& ratios, std::string& error) {
  if (list.empty()) {
    error = "an empty list: give ratios or ranges FROM:TO:STEP, comma-separated";
    return false;
  }
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    auto fail = [&](const std::string& why) {
      error = "'" + std::string(item) + "': " + why;
      return false;
    };
    const std::size_t first_of_item = ratios.size();
    const std::size_t first = item.find(':');
    if (first == std::string_view::npos) {
      double value = 0;
      if (!number(item, value)) return fail("not a number");
      if (!(value > 0 && value < 1)) return fail("a selection ratio must lie strictly between 0 and 1");
      ratios.push_back(value);
    } else {
      const std::size_t second = item.find(':', first + 1);
      if (second == std::string_view::npos || item.find(':', second + 1) != std::string_view::npos)
        return fail("a range is FROM:TO:STEP");
      double from = 0, to = 0, step = 0;
      if (!parse_ratio(item.substr(0, first), from) ||
          !parse_ratio(item.substr(first + 1, second - first - 1), to))
        return fail("FROM and TO must be selection ratios strictly between 0 and 1");
      if (!number(item.substr(second + 1), step) || !(step > 0))
        return fail("STEP must be a positive number");
      if (to < from) return fail("TO is below FROM");
      // The step must divide the range, up to the rounding of the decimals.
      const double steps = (to - from) / step;
      const double whole = std::round(steps);
      if (std::fabs(steps - whole) > 1e-9 * std::max(1.0, whole))
        return fail("STEP does not divide the range from FROM to TO");
      // A step wider than the range would leave only TO, dropping FROM.
      if (to > from && whole < 1) return fail("STEP is wider than the range from FROM to TO");
      if (whole + 1 > static_cast<double>(max_sweep_ratios - ratios.size()))
        return fail("more than " + std::to_string(max_sweep_ratios) + " ratios in all");
      const auto count = static_cast<std::size_t>(whole);
      const std::size_t first_of_range = ratios.size();
      for (std::size_t k = 0; k < count; ++k) ratios.push_back(range_value(from, step, k));
      ratios.push_back(to);
      // A step finer than the ratios resolve makes some of them repeat (or
      // round up to 1): each must lie above the one before and below 1.
      for (std::size_t k = first_of_range; k < ratios.size(); ++k)
        if (ratios[k] >= 1 || (k > first_of_range && !(ratios[k] > ratios[k - 1])))
          return fail("STEP is too fine: the ratios of the range do not all differ");
    }
    if (ratios.size() > max_sweep_ratios)
      return fail("more than " + std::to_string(max_sweep_ratios) + " ratios in all");
    for (std::size_t k = first_of_item; k < ratios.size(); ++k)
      if (ratios[k] < min_sweep_ratio)
        return fail("below 1e-06, the smallest selection ratio whose rows keep their accuracy here "
                    "(pareto --sr takes smaller ones)");
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace fourfifths
