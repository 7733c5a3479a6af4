// Adverse impact observed in one selection: each group against the
// reference group, from counts. The methods and their sources are listed in
// fourfifths/observed.h.
#include "fourfifths/observed.h"
#include "observed/pair.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <boost/math/distributions/hypergeometric.hpp>
#include <boost/math/distributions/normal.hpp>

namespace fourfifths {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();


std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Why a count of a group cannot be, or an empty string.
std::string count_fault(double value, const char* what) {
  if (!std::isfinite(value)) return std::string(what) + " is not a number";
  if (value < 0) return std::string(what) + " " + number(value) + " is negative";
  if (value != std::floor(value)) return std::string(what) + " " + number(value) + " is not a whole number";
  if (value > max_observed_count)
    return std::string(what) + " " + number(value) + " is more than " + number(max_observed_count);
  return {};
}

double two_sided(double z) {
  if (!std::isfinite(z)) return nan;
  const boost::math::normal standard;
  return 2 * cdf(complement(standard, std::fabs(z)));
}

}  // namespace

std::vector<double> hypergeometric_terms(long n, long m, long s, long& low) {
  low = std::max(0L, s - m);
  const long high = std::min(n, s);
  std::vector<double> p(static_cast<std::size_t>(high - low + 1));
  // The mode's probability from Boost.Math; every other by the ratio of
  // neighbouring terms, p(k + 1) / p(k) = (s - k)(n - k) / ((k + 1)(m - s + k + 1)),
  // walking away from the mode, where the terms only fall (they may reach 0).
  const long mode = std::clamp(static_cast<long>(std::floor(static_cast<double>(s + 1) * (n + 1) /
                                                            static_cast<double>(n + m + 2))),
                               low, high);
  const boost::math::hypergeometric_distribution<double> table(
      static_cast<unsigned>(s), static_cast<unsigned>(n), static_cast<unsigned>(n + m));
  auto at = [&](long k) -> double& { return p[static_cast<std::size_t>(k - low)]; };
  at(mode) = pdf(table, static_cast<unsigned>(mode));
  for (long k = mode; k < high; ++k)
    at(k + 1) = at(k) * (static_cast<double>(s - k) * static_cast<double>(n - k)) /
                (static_cast<double>(k + 1) * static_cast<double>(m - s + k + 1));
  for (long k = mode; k > low; --k)
    at(k - 1) = at(k) * (static_cast<double>(k) * static_cast<double>(m - s + k)) /
                (static_cast<double>(s - k + 1) * static_cast<double>(n - k + 1));
  return p;
}

ExactTable fisher_table(long n, long m, long s) {
  ExactTable t;
  const std::vector<double> p = hypergeometric_terms(n, m, s, t.low);
  const std::size_t count = p.size();
  // The two-sided sums: the probabilities in ascending order, summed from the
  // least, so that a sum of small tail probabilities keeps its digits.
  std::vector<double> sorted = p;
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> below(count + 1, 0.0);
  for (std::size_t i = 0; i < count; ++i) below[i + 1] = below[i] + sorted[i];
  auto sum_under = [&](double bound) {
    return below[static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), bound) - sorted.begin())];
  };
  auto sum_less = [&](double bound) {
    return below[static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), bound) - sorted.begin())];
  };
  t.by_selected.resize(count);
  double lower = 0;
  for (std::size_t i = 0; i < count; ++i) {
    lower += p[i];
    const double no_more = sum_under(p[i] * (1 + 1e-7));
    const double less = sum_less(p[i] * (1 - 1e-7));
    Exact& e = t.by_selected[i];
    e.one_sided = std::min(1.0, lower);
    e.two_sided = std::min(1.0, no_more);
    e.mid_one_sided = std::min(1.0, lower - 0.5 * p[i]);
    e.mid_two_sided = std::min(1.0, less + 0.5 * (no_more - less));
  }
  return t;
}

Exact fisher_exact(long n, long m, long s, long x) {
  long low = 0;
  const std::vector<double> p = hypergeometric_terms(n, m, s, low);
  const auto i = static_cast<std::size_t>(x - low);
  // The terms rise to the mode and then fall, so the tables no more probable
  // than the observed one are two tails: each summed from its end inwards,
  // from the least term, so that small tails keep their digits.
  auto tails = [&](double bound, bool strictly) {
    const auto in = [&](double v) { return strictly ? v < bound : v <= bound; };
    double left = 0, right = 0;
    std::size_t a = 0, b = p.size();
    for (; a < p.size() && in(p[a]); ++a) left += p[a];
    while (b > a && in(p[b - 1])) right += p[--b];
    return left + right;
  };
  double lower = 0;
  for (std::size_t k = 0; k <= i; ++k) lower += p[k];
  Exact e;
  const double no_more = tails(p[i] * (1 + 1e-7), false);
  const double less = tails(p[i] * (1 - 1e-7), true);
  e.one_sided = std::min(1.0, lower);
  e.two_sided = std::min(1.0, no_more);
  e.mid_one_sided = std::min(1.0, lower - 0.5 * p[i]);
  e.mid_two_sided = std::min(1.0, less + 0.5 * (no_more - less));
  return e;
}

void compare(ObservedRow& row, long y, long m, double z_crit, ImpactInterval interval, const Exact& exact) {
  const long x = row.selected, n = row.applicants;
  const double ref_rate = static_cast<double>(y) / m;
  // The two groups' pooled rate, their applicants and the group's share.
  const double total = static_cast<double>(n + m);
  const double pooled = (x + y) / total;
  const double se_difference = std::sqrt(pooled * (1 - pooled) * (1.0 / n + 1.0 / m));
  row.z_difference = se_difference > 0 ? (row.rate - ref_rate) / se_difference : nan;
  row.p_difference = two_sided(row.z_difference);
  const double share = n / total;
  if (x > 0 && y > 0 && pooled < 1) {
    row.z_log_ratio = std::log(row.impact_ratio) /
                      std::sqrt((1 - pooled) / (pooled * total * share * (1 - share)));
  } else {
    row.z_log_ratio = nan;
  }
  row.p_log_ratio = two_sided(row.z_log_ratio);
  row.fisher_one_sided = exact.one_sided;
  row.fisher_two_sided = exact.two_sided;
  row.mid_p_one_sided = exact.mid_one_sided;
  row.mid_p_two_sided = exact.mid_two_sided;

  double log_ratio = nan, se = nan;
  if (interval == ImpactInterval::katz) {
    if (x > 0 && y > 0) {
      log_ratio = std::log(row.impact_ratio);
      se = std::sqrt(1.0 / x - 1.0 / n + 1.0 / y - 1.0 / m);
    }
  } else {
    const double xa = x + 0.5, na = n + 0.5, ya = y + 0.5, ma = m + 0.5;
    log_ratio = std::log((xa / na) / (ya / ma));
    se = std::sqrt(1 / xa - 1 / na + 1 / ya - 1 / ma);
  }
  row.interval_lower = std::exp(log_ratio - z_crit * se);
  row.interval_upper = std::exp(log_ratio + z_crit * se);

  row.ratio_one_more = x < n && ref_rate > 0 ? (x + 1.0) / n / ref_rate : nan;
  row.ratio_one_fewer = x > 0 && ref_rate > 0 ? (x - 1.0) / n / ref_rate : nan;
  row.flip_flop = (!std::isnan(row.ratio_one_more) && meets_four_fifths(x + 1, n, y, m) != row.meets) ||
                  (!std::isnan(row.ratio_one_fewer) && meets_four_fifths(x - 1, n, y, m) != row.meets);
}

bool meets_four_fifths(long x, long n, long y, long m) {
  return y == 0 || 5 * static_cast<long long>(x) * m >= 4 * static_cast<long long>(y) * n;
}

double critical_z(double alpha) {
  const boost::math::normal standard;
  return quantile(complement(standard, alpha / 2));
}

const char* interval_name(ImpactInterval interval) {
  return interval == ImpactInterval::katz ? "katz" : "adjusted-log";
}

ObservedImpact observed_impact(const std::vector<ObservedGroup>& groups,
                               const ObservedOptions& options) {
  ObservedImpact result;
  result.alpha = options.alpha;
  result.interval = options.interval;
  auto& messages = result.messages;
  if (groups.size() < 2) messages.push_back("at least two groups are needed, " +
                                            std::to_string(groups.size()) + " given");
  if (!(options.alpha > 0 && options.alpha < 1))
    messages.push_back("alpha " + number(options.alpha) + " is not strictly between 0 and 1");
  std::set<std::string> names;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const ObservedGroup& group = groups[g];
    const std::string who =
        group.name.empty() ? "group " + std::to_string(g + 1) : "group '" + group.name + "'";
    if (group.name.empty()) messages.push_back(who + ": no name");
    else if (!names.insert(group.name).second) messages.push_back(who + ": named twice");
    const std::string applicants = count_fault(group.applicants, "applicants");
    const std::string selected = count_fault(group.selected, "selected");
    if (!applicants.empty()) messages.push_back(who + ": " + applicants);
    if (!selected.empty()) messages.push_back(who + ": " + selected);
    if (applicants.empty() && group.applicants == 0) messages.push_back(who + ": no applicants");
    if (applicants.empty() && selected.empty() && group.selected > group.applicants)
      messages.push_back(who + ": " + number(group.selected) + " selected of only " +
                         number(group.applicants) + " applicants");
  }
  if (!options.reference.empty() && messages.empty() && !names.count(options.reference))
    messages.push_back("reference group '" + options.reference + "' is not among the groups");
  if (!messages.empty()) return result;

  double all_applicants = 0, all_selected = 0;
  for (const ObservedGroup& group : groups) {
    all_applicants += group.applicants;
    all_selected += group.selected;
  }
  result.pooled_rate = all_selected / all_applicants;
  int reference = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const double rate = groups[g].selected / groups[g].applicants;
    if (options.reference.empty() ? rate > groups[reference].selected / groups[reference].applicants
                                  : groups[g].name == options.reference)
      reference = static_cast<int>(g);
  }
  result.reference = reference;

  const double z_crit = critical_z(options.alpha);
  const auto y = static_cast<long>(groups[reference].selected);
  const auto m = static_cast<long>(groups[reference].applicants);
  const double ref_rate = static_cast<double>(y) / m;

  for (std::size_t g = 0; g < groups.size(); ++g) {
    ObservedRow row;
    row.name = groups[g].name;
    row.applicants = static_cast<long>(groups[g].applicants);
    row.selected = static_cast<long>(groups[g].selected);
    const long x = row.selected, n = row.applicants;
    row.rate = static_cast<double>(x) / n;
    row.impact_ratio = ref_rate > 0 ? row.rate / ref_rate : nan;
    row.meets = meets_four_fifths(x, n, y, m);
    row.shortfall = n * result.pooled_rate - x;
    row.reference = static_cast<int>(g) == reference;
    if (row.reference) {
      row.z_difference = row.p_difference = row.z_log_ratio = row.p_log_ratio = nan;
      row.fisher_one_sided = row.fisher_two_sided = row.mid_p_one_sided = row.mid_p_two_sided = nan;
      row.interval_lower = row.interval_upper = nan;
      row.ratio_one_more = row.ratio_one_fewer = nan;
      result.rows.push_back(row);
      continue;
    }
    compare(row, y, m, z_crit, options.interval, fisher_exact(n, m, x + y, x));
    result.rows.push_back(row);
  }
  return result;
}

}  // namespace fourfifths
