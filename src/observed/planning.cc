// The distribution of what samples of a planned size will show, by exact
// enumeration of the two groups' selected counts (independent binomials).
#include <algorithm>
#include <array>
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

// The flags a sample can raise, in the order of AnyGroupProbabilities' fields.
constexpr int flag_count = 7;
using Flags = std::array<double, flag_count>;

// The distribution of one group against the reference group; with by_reference,
// also, for each count y of the reference group's selected, the probability
// (over the group's count alone) of each flag: given y, the groups are
// independent, which a plan of several groups needs.
SampleDistribution pair_distribution(const SamplePlan& plan, std::vector<Flags>* by_reference) {
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
  if (by_reference != nullptr) by_reference->assign(static_cast<std::size_t>(m + 1), Flags{});

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
      if (by_reference != nullptr) {
        const double wx = px[static_cast<std::size_t>(x)];
        Flags& flags = (*by_reference)[static_cast<std::size_t>(y)];
        const double p_values[] = {row.p_difference,    row.p_log_ratio,     row.fisher_one_sided,
                                   row.fisher_two_sided, row.mid_p_one_sided, row.mid_p_two_sided};
        flags[0] += row.meets ? 0 : wx;
        for (int k = 0; k < 6; ++k) flags[static_cast<std::size_t>(k + 1)] += significant(p_values[k]) ? wx : 0;
      }
    }
  }
  d.ratios.reserve(ratios.size());
  for (const auto& [ratio, probability] : ratios) d.ratios.push_back({ratio, probability});
  return d;
}

}  // namespace

SampleDistribution sample_distribution(const SamplePlan& plan) { return pair_distribution(plan, nullptr); }

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

namespace fourfifths {
namespace {

// P(some group flagged), flag by flag, from each further group's
// probabilities of a flag given the reference group's count.
AnyGroupProbabilities any_group(const std::vector<double>& py, const std::vector<std::vector<Flags>>& groups) {
  Flags any{};
  for (std::size_t y = 0; y < py.size(); ++y) {
    if (py[y] == 0) continue;
    for (std::size_t k = 0; k < flag_count; ++k) {
      double clean = 1;
      for (const std::vector<Flags>& g : groups) clean *= 1 - g[y][k];
      any[k] += py[y] * (1 - clean);
    }
  }
  return {any[0], any[1], any[2], any[3], any[4], any[5], any[6]};
}

// The per-group distributions (when wanted) and the any-group probabilities
// of a plan already checked.
AnyGroupProbabilities enumerate(const MultiPlan& plan, std::vector<SampleDistribution>* distributions) {
  const GroupPlan& reference = plan.groups[0];
  std::vector<std::vector<Flags>> flags(plan.groups.size() - 1);
  for (std::size_t g = 1; g < plan.groups.size(); ++g) {
    const SamplePlan pair{reference.applicants, plan.groups[g].applicants, reference.probability,
                          plan.groups[g].probability, plan.alpha};
    SampleDistribution d = pair_distribution(pair, &flags[g - 1]);
    if (distributions != nullptr) distributions->push_back(std::move(d));
  }
  return any_group(binomial_probabilities(reference.applicants, reference.probability), flags);
}

}  // namespace

MultiDistribution multi_sample_distribution(const MultiPlan& plan) {
  MultiDistribution d;
  if (plan.groups.size() < 2) d.messages.push_back("a plan needs at least two groups");
  long total = 0;
  for (std::size_t g = 0; g < plan.groups.size(); ++g) {
    const GroupPlan& group = plan.groups[g];
    const std::string who = group.name.empty() ? "group " + std::to_string(g + 1) : "group " + group.name;
    if (group.name.empty()) d.messages.push_back(who + " has no name");
    for (std::size_t h = 0; h < g; ++h)
      if (!group.name.empty() && plan.groups[h].name == group.name)
        d.messages.push_back("group " + group.name + " is named twice");
    if (group.applicants < 1) d.messages.push_back(who + " needs at least one applicant");
    if (!(group.probability >= 0 && group.probability <= 1))
      d.messages.push_back(who + ": selection probability " + number(group.probability) + " is not from 0 to 1");
    total += std::clamp(group.applicants, 0L, max_plan_applicants + 1);
  }
  if (total > max_plan_applicants)
    d.messages.push_back("more than " + std::to_string(max_plan_applicants) + " applicants in all");
  if (!(plan.alpha > 0 && plan.alpha < 1))
    d.messages.push_back("alpha " + number(plan.alpha) + " is not strictly between 0 and 1");
  if (!d.messages.empty()) return d;

  d.any = enumerate(plan, &d.groups);
  MultiPlan parity = plan;
  for (GroupPlan& group : parity.groups) group.probability = plan.groups[0].probability;
  d.at_parity = enumerate(parity, nullptr);
  return d;
}

std::vector<SizedMultiDistribution> multi_distributions_by_size(const MultiPlan& plan, int sizes) {
  const MultiDistribution whole = multi_sample_distribution(plan);
  if (!whole.messages.empty()) return {{plan, whole}};
  const long groups = static_cast<long>(plan.groups.size());
  long total = 0;
  for (const GroupPlan& group : plan.groups) total += group.applicants;
  const long count = std::max(1L, std::min<long>(std::max(sizes, 1), total - groups + 1));
  std::vector<SizedMultiDistribution> out;
  for (long k = 0; k < count; ++k) {
    // From one applicant per group up to the plan's total, evenly spaced.
    const long n = count == 1 ? total : groups + (total - groups) * k / (count - 1);
    if (n == total) {
      out.push_back({plan, whole});
      break;
    }
    MultiPlan sized = plan;
    long sum = 0;
    for (GroupPlan& group : sized.groups) {
      group.applicants = std::max(
          1L, std::lround(static_cast<double>(n) * static_cast<double>(group.applicants) / static_cast<double>(total)));
      sum += group.applicants;
    }
    if (!out.empty()) {
      long previous = 0;
      for (const GroupPlan& group : out.back().plan.groups) previous += group.applicants;
      if (sum <= previous) continue;
    }
    out.push_back({sized, multi_sample_distribution(sized)});
  }
  return out;
}

}  // namespace fourfifths
