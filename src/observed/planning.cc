// The distribution of what samples of a planned size will show, by exact
// enumeration of the two groups' selected counts (independent binomials).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <boost/math/distributions/binomial.hpp>

#include "fourfifths/observed.h"
#include "observed/pair.h"

namespace fourfifths {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The probabilities of 0 to n selected of n.
std::vector<double> binomial_probabilities(long n, double p) {
  const boost::math::binomial_distribution<double> selected(static_cast<double>(n), p);
  std::vector<double> out(static_cast<std::size_t>(n + 1));
  for (long k = 0; k <= n; ++k) out[static_cast<std::size_t>(k)] = pdf(selected, static_cast<double>(k));
  return out;
}

}  // namespace

SampleDistribution sample_distribution(const SamplePlan& plan) {
  SampleDistribution d;
  const long n = plan.group_applicants, m = plan.reference_applicants;
  if (n < 1 || m < 1) d.messages.push_back("each group needs at least one applicant");
  if (n > max_plan_applicants || m > max_plan_applicants || n + m > max_plan_applicants)
    d.messages.push_back("more than " + std::to_string(max_plan_applicants) + " applicants in all");
  for (const auto& [p, who] : {std::pair{plan.group_probability, "the group's"},
                               std::pair{plan.reference_probability, "the reference group's"}})
    if (!(p >= 0 && p <= 1))
      d.messages.push_back(std::string(who) + " selection probability " + number(p) +
                           " is not from 0 to 1");
  if (!(plan.alpha > 0 && plan.alpha < 1))
    d.messages.push_back("alpha " + number(plan.alpha) + " is not strictly between 0 and 1");
  if (!d.messages.empty()) return d;

  const std::vector<double> px = binomial_probabilities(n, plan.group_probability);
  const std::vector<double> py = binomial_probabilities(m, plan.reference_probability);
  const double z_crit = critical_z(plan.alpha);
  // The exact tests depend on the table only through the total selected and
  // the group's count: one table of them per total.
  std::vector<ExactTable> tables(static_cast<std::size_t>(n + m + 1));
  for (long s = 0; s <= n + m; ++s) tables[static_cast<std::size_t>(s)] = fisher_table(n, m, s);
  std::map<double, double> ratios;
  const auto significant = [&](double p) { return p <= plan.alpha; };
  for (long y = 0; y <= m; ++y) {
    const double wy = py[static_cast<std::size_t>(y)];
    if (wy == 0) continue;
    const double ref_rate = static_cast<double>(y) / m;
    for (long x = 0; x <= n; ++x) {
      const double w = wy * px[static_cast<std::size_t>(x)];
      if (w == 0) continue;
      ObservedRow row;
      row.applicants = n;
      row.selected = x;
      row.rate = static_cast<double>(x) / n;
      row.impact_ratio = ref_rate > 0 ? row.rate / ref_rate : std::nan("");
      row.meets = meets_four_fifths(x, n, y, m);
      const ExactTable& table = tables[static_cast<std::size_t>(x + y)];
      compare(row, y, m, z_crit, ImpactInterval::adjusted_log,
              table.by_selected[static_cast<std::size_t>(x - table.low)]);
      if (y == 0) d.p_no_ratio += w;
      else ratios[row.impact_ratio] += w;
      if (!row.meets) d.p_violation += w;
      if (!row.meets && row.flip_flop) d.p_flip_flop += w;
      d.p_z_difference += significant(row.p_difference) ? w : 0;
      d.p_z_log_ratio += significant(row.p_log_ratio) ? w : 0;
      d.p_fisher_one_sided += significant(row.fisher_one_sided) ? w : 0;
      d.p_fisher_two_sided += significant(row.fisher_two_sided) ? w : 0;
      d.p_mid_p_one_sided += significant(row.mid_p_one_sided) ? w : 0;
      d.p_mid_p_two_sided += significant(row.mid_p_two_sided) ? w : 0;
      d.expected_shortfall += w * (n * static_cast<double>(x + y) / static_cast<double>(n + m) - x);
    }
  }
  d.ratios.reserve(ratios.size());
  for (const auto& [ratio, probability] : ratios) d.ratios.push_back({ratio, probability});
  return d;
}

std::vector<SizedDistribution> distributions_by_size(const SamplePlan& plan, int sizes) {
  const SampleDistribution whole = sample_distribution(plan);
  if (!whole.messages.empty()) return {{plan, whole}};
  const long total = plan.reference_applicants + plan.group_applicants;
  const double share = static_cast<double>(plan.reference_applicants) / static_cast<double>(total);
  const long count = std::max(1L, std::min<long>(std::max(sizes, 1), total - 1));
  std::vector<SizedDistribution> out;
  for (long k = 0; k < count; ++k) {
    // From 2 applicants up to the plan's total, evenly spaced.
    const long n = count == 1 ? total : 2 + (total - 2) * k / (count - 1);
    if (!out.empty() && n == out.back().plan.reference_applicants + out.back().plan.group_applicants)
      continue;
    SamplePlan sized = plan;
    sized.reference_applicants =
        std::clamp(std::lround(static_cast<double>(n) * share), 1L, n - 1);
    sized.group_applicants = n - sized.reference_applicants;
    if (n == total) sized = plan;
    out.push_back({sized, n == total ? whole : sample_distribution(sized)});
  }
  return out;
}

}  // namespace fourfifths
