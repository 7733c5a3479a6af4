// Prints the library's observed-impact table for counts on the command line,
// for the independent computation of observed_test.py to check:
//   dump_observed katz|adjusted-log ALPHA REFERENCE|- NAME:APPLICANTS:SELECTED...
// One line per group, tab-separated, every real with 17 significant digits.
// With "plan", the distribution over samples of a planned selection:
//   dump_observed plan REFERENCE_APPLICANTS GROUP_APPLICANTS P_REFERENCE P_GROUP ALPHA
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fourfifths/observed.h"

int main(int argc, char** argv) {
  using namespace fourfifths;
  if (argc == 7 && std::string(argv[1]) == "plan") {
    SamplePlan plan;
    plan.reference_applicants = std::strtol(argv[2], nullptr, 10);
    plan.group_applicants = std::strtol(argv[3], nullptr, 10);
    plan.reference_probability = std::strtod(argv[4], nullptr);
    plan.group_probability = std::strtod(argv[5], nullptr);
    plan.alpha = std::strtod(argv[6], nullptr);
    const SampleDistribution d = sample_distribution(plan);
    for (const std::string& message : d.messages) std::printf("error\t%s\n", message.c_str());
    if (!d.messages.empty()) return 1;
    std::printf("%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\n",
                d.p_violation, d.p_no_ratio, d.p_flip_flop, d.p_z_difference, d.p_z_log_ratio,
                d.p_fisher_one_sided, d.p_fisher_two_sided, d.p_mid_p_one_sided, d.p_mid_p_two_sided,
                d.expected_shortfall);
    for (const RatioProbability& r : d.ratios) std::printf("%.17g\t%.17g\n", r.ratio, r.probability);
    return 0;
  }
  if (argc < 5) return 2;
  ObservedOptions options;
  options.interval = std::string(argv[1]) == "katz" ? ImpactInterval::katz : ImpactInterval::adjusted_log;
  options.alpha = std::strtod(argv[2], nullptr);
  if (std::string(argv[3]) != "-") options.reference = argv[3];
  std::vector<ObservedGroup> groups;
  for (int i = 4; i < argc; ++i) {
    const std::string item = argv[i];
    const auto a = item.find(':'), b = item.rfind(':');
    groups.push_back({item.substr(0, a), std::strtod(item.substr(a + 1, b - a - 1).c_str(), nullptr),
                      std::strtod(item.substr(b + 1).c_str(), nullptr)});
  }
  const ObservedImpact impact = observed_impact(groups, options);
  for (const std::string& message : impact.messages) std::printf("error\t%s\n", message.c_str());
  if (!impact.messages.empty()) return 1;
  std::printf("pooled\t%.17g\treference\t%d\n", impact.pooled_rate, impact.reference);
  for (const ObservedRow& r : impact.rows)
    std::printf(
        "%s\t%ld\t%ld\t%d\t%.17g\t%.17g\t%d\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t"
        "%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%d\n",
        r.name.c_str(), r.applicants, r.selected, r.reference ? 1 : 0, r.rate, r.impact_ratio,
        r.meets ? 1 : 0, r.z_difference, r.p_difference, r.z_log_ratio, r.p_log_ratio,
        r.fisher_one_sided, r.fisher_two_sided, r.mid_p_one_sided, r.mid_p_two_sided,
        r.interval_lower, r.interval_upper, r.shortfall, r.ratio_one_more, r.ratio_one_fewer,
        r.flip_flop ? 1 : 0);
  return 0;
}
