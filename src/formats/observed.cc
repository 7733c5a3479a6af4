// Text, CSV and JSON of an observed-impact table.
#include "formats/observed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/formats.h"

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

// A value in a column of the given width with the given decimals; "-" for
// one that does not exist.
std::string column(double value, int width, int decimals) {
  char text[64];
  if (std::isfinite(value))
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  else
    std::snprintf(text, sizeof text, "%*s", width, "-");
  return text;
}

// A name with a comma, quotation mark or line break is quoted, as RFC 4180 has it.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

ordered_json number(double value) { return std::isfinite(value) ? ordered_json(value) : ordered_json(); }

}  // namespace

std::string observed_text(const ObservedImpact& impact) {
  const ObservedRow& reference = impact.rows[static_cast<std::size_t>(impact.reference)];
  std::string out = "Observed adverse impact against " + reference.name + " (selection rate " +
                    column(reference.rate, 0, 3) + "); pooled selection rate " +
                    column(impact.pooled_rate, 0, 3) + "\n";
  char line[256];
  std::snprintf(line, sizeof line,
                "Z tests and Fisher's exact test at alpha %g; %g %% interval of the impact ratio: %s\n",
                impact.alpha, 100 * (1 - impact.alpha),
                impact.interval == ImpactInterval::katz ? "log (Katz)" : "adjusted log");
  out += line;
  out += "One-sided tests and mid-P in the direction of fewer selected; Z tests two-sided.\n\n";
  std::size_t width = 5;
  for (const ObservedRow& row : impact.rows) width = std::max(width, row.name.size());
  out += padded("Group", width) +
         "  applied  selected   rate  ratio  4/5     Z_D   p(Z_D)    Z_IR  p(Z_IR)  Fisher 1  "
         "Fisher 2  mid-P 1  mid-P 2      interval      shortfall  flip-flop\n";
  for (const ObservedRow& row : impact.rows) {
    std::snprintf(line, sizeof line, "%9ld %9ld", row.applicants, row.selected);
    out += padded(row.name, width) + line + column(row.rate, 7, 3) + column(row.impact_ratio, 7, 3) +
           (row.meets ? "  yes" : "   no");
    if (row.reference) {
      out += "  (reference)" + std::string(77, ' ') + column(row.shortfall, 9, 2) + "\n";
      continue;
    }
    out += column(row.z_difference, 8, 3) + column(row.p_difference, 9, 4) +
           column(row.z_log_ratio, 8, 3) + column(row.p_log_ratio, 9, 4) +
           column(row.fisher_one_sided, 10, 4) + column(row.fisher_two_sided, 10, 4) +
           column(row.mid_p_one_sided, 9, 4) + column(row.mid_p_two_sided, 9, 4) + "  " +
           column(row.interval_lower, 6, 3) + " to " + column(row.interval_upper, 6, 3) +
           column(row.shortfall, 9, 2) + (row.flip_flop ? "          yes" : "           no") + "\n";
  }
  return out;
}

std::string observed_csv(const ObservedImpact& impact) {
  std::string csv =
      "group,reference,applicants,selected,rate,impact_ratio,meets,z_difference,p_difference,"
      "z_log_ratio,p_log_ratio,fisher_one_sided,fisher_two_sided,mid_p_one_sided,mid_p_two_sided,"
      "interval_lower,interval_upper,shortfall,ratio_one_more,ratio_one_fewer,flip_flop\n";
  for (const ObservedRow& row : impact.rows) {
    csv += csv_field(row.name) + (row.reference ? ",1," : ",0,") + std::to_string(row.applicants) +
           "," + std::to_string(row.selected) + "," + shortest(row.rate) + "," +
           shortest(row.impact_ratio) + (row.meets ? ",1" : ",0");
    for (double value : {row.z_difference, row.p_difference, row.z_log_ratio, row.p_log_ratio,
                         row.fisher_one_sided, row.fisher_two_sided, row.mid_p_one_sided,
                         row.mid_p_two_sided, row.interval_lower, row.interval_upper, row.shortfall,
                         row.ratio_one_more, row.ratio_one_fewer})
      csv += "," + shortest(value);
    csv += row.reference ? ",\n" : row.flip_flop ? ",1\n" : ",0\n";
  }
  return csv;
}

std::string observed_json(const ObservedImpact& impact) {
  ordered_json j;
  j["reference"] = impact.rows[static_cast<std::size_t>(impact.reference)].name;
  j["pooled_rate"] = impact.pooled_rate;
  j["alpha"] = impact.alpha;
  j["interval"] = interval_name(impact.interval);
  j["confidence"] = 1 - impact.alpha;
  ordered_json groups = ordered_json::array();
  for (const ObservedRow& row : impact.rows) {
    ordered_json g;
    g["group"] = row.name;
    g["reference"] = row.reference;
    g["applicants"] = row.applicants;
    g["selected"] = row.selected;
    g["rate"] = number(row.rate);
    g["impact_ratio"] = number(row.impact_ratio);
    g["meets"] = row.meets;
    g["z_difference"] = number(row.z_difference);
    g["p_difference"] = number(row.p_difference);
    g["z_log_ratio"] = number(row.z_log_ratio);
    g["p_log_ratio"] = number(row.p_log_ratio);
    g["fisher_one_sided"] = number(row.fisher_one_sided);
    g["fisher_two_sided"] = number(row.fisher_two_sided);
    g["mid_p_one_sided"] = number(row.mid_p_one_sided);
    g["mid_p_two_sided"] = number(row.mid_p_two_sided);
    g["interval_lower"] = number(row.interval_lower);
    g["interval_upper"] = number(row.interval_upper);
    g["shortfall"] = number(row.shortfall);
    g["ratio_one_more"] = number(row.ratio_one_more);
    g["ratio_one_fewer"] = number(row.ratio_one_fewer);
    g["flip_flop"] = row.reference ? ordered_json() : ordered_json(row.flip_flop);
    groups.push_back(std::move(g));
  }
  j["groups"] = std::move(groups);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths

namespace fourfifths {
namespace {

// The plan's and the distribution's values in the order of the CSV header.
std::vector<std::pair<const char*, double>> sample_values(const SamplePlan& plan,
                                                          const SampleDistribution& d) {
  return {{"reference_applicants", static_cast<double>(plan.reference_applicants)},
          {"group_applicants", static_cast<double>(plan.group_applicants)},
          {"reference_probability", plan.reference_probability},
          {"group_probability", plan.group_probability},
          {"alpha", plan.alpha},
          {"p_violation", d.p_violation},
          {"p_no_ratio", d.p_no_ratio},
          {"p_flip_flop", d.p_flip_flop},
          {"p_z_difference", d.p_z_difference},
          {"p_z_log_ratio", d.p_z_log_ratio},
          {"p_fisher_one_sided", d.p_fisher_one_sided},
          {"p_fisher_two_sided", d.p_fisher_two_sided},
          {"p_mid_p_one_sided", d.p_mid_p_one_sided},
          {"p_mid_p_two_sided", d.p_mid_p_two_sided},
          {"expected_shortfall", d.expected_shortfall}};
}

}  // namespace

std::string sample_text(const SamplePlan& plan, const SampleDistribution& d) {
  char line[256];
  std::string out;
  std::snprintf(line, sizeof line,
                "Samples of %ld reference and %ld group applicants, selected with probabilities %.4f "
                "and %.4f\n(population impact ratio %s); each applicant selected independently.\n\n",
                plan.reference_applicants, plan.group_applicants, plan.reference_probability,
                plan.group_probability,
                plan.reference_probability > 0
                    ? column(plan.group_probability / plan.reference_probability, 0, 3).c_str()
                    : "none");
  out += line;
  const std::pair<const char*, double> rows[] = {
      {"a four-fifths violation", d.p_violation},
      {"a violation one more selection would undo", d.p_flip_flop},
      {"no one of the reference group selected", d.p_no_ratio},
      {"Z_D significant", d.p_z_difference},
      {"Z_IR significant", d.p_z_log_ratio},
      {"Fisher's exact test significant, one-sided", d.p_fisher_one_sided},
      {"Fisher's exact test significant, two-sided", d.p_fisher_two_sided},
      {"mid-P significant, one-sided", d.p_mid_p_one_sided},
      {"mid-P significant, two-sided", d.p_mid_p_two_sided},
  };
  std::snprintf(line, sizeof line, "Probability of (tests at alpha %g)\n", plan.alpha);
  out += line;
  for (const auto& [what, p] : rows) out += "  " + padded(what, 46) + column(p, 8, 4) + "\n";
  out += "Expected shortfall of the group" + std::string(17, ' ') + column(d.expected_shortfall, 8, 3) +
         "\n\nImpact ratio  probability  cumulative\n";
  double cumulative = 0;
  for (const RatioProbability& r : d.ratios) {
    cumulative += r.probability;
    out += column(r.ratio, 12, 4) + column(r.probability, 13, 6) + column(cumulative, 12, 6) + "\n";
  }
  return out;
}

std::string sample_csv(const SamplePlan& plan, const SampleDistribution& d) {
  std::string header, values;
  for (const auto& [name, value] : sample_values(plan, d)) {
    header += (header.empty() ? "" : ",") + std::string(name);
    values += (values.empty() ? "" : ",") + shortest(value);
  }
  return header + "\n" + values + "\n";
}

std::string sample_json(const SamplePlan& plan, const SampleDistribution& d) {
  ordered_json j;
  for (const auto& [name, value] : sample_values(plan, d)) j[name] = value;
  j["reference_applicants"] = plan.reference_applicants;
  j["group_applicants"] = plan.group_applicants;
  ordered_json ratios = ordered_json::array();
  for (const RatioProbability& r : d.ratios) ratios.push_back({{"ratio", r.ratio}, {"probability", r.probability}});
  j["ratios"] = std::move(ratios);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths

namespace fourfifths {
namespace {

// The flags' probabilities in the order of the CSV header.
std::vector<std::pair<const char*, double>> flag_values(const AnyGroupProbabilities& a) {
  return {{"p_violation", a.p_violation},
          {"p_z_difference", a.p_z_difference},
          {"p_z_log_ratio", a.p_z_log_ratio},
          {"p_fisher_one_sided", a.p_fisher_one_sided},
          {"p_fisher_two_sided", a.p_fisher_two_sided},
          {"p_mid_p_one_sided", a.p_mid_p_one_sided},
          {"p_mid_p_two_sided", a.p_mid_p_two_sided}};
}

AnyGroupProbabilities flags_of(const SampleDistribution& d) {
  return {d.p_violation,        d.p_z_difference,    d.p_z_log_ratio,    d.p_fisher_one_sided,
          d.p_fisher_two_sided, d.p_mid_p_one_sided, d.p_mid_p_two_sided};
}

const char* const multi_header =
    "kind,group,applicants,probability,alpha,p_violation,p_no_ratio,p_flip_flop,p_z_difference,"
    "p_z_log_ratio,p_fisher_one_sided,p_fisher_two_sided,p_mid_p_one_sided,p_mid_p_two_sided,"
    "expected_shortfall\n";

}  // namespace

std::string multi_sample_text(const MultiPlan& plan, const MultiDistribution& d) {
  char line[256];
  std::string out = "Samples of several groups, each applicant selected independently with the "
                    "group's probability;\neach group compared with the reference group " +
                    plan.groups[0].name + ".\n\n";
  std::size_t name_width = 5;
  for (const GroupPlan& g : plan.groups) name_width = std::max(name_width, g.name.size());
  out += padded("Group", name_width) + "  applicants  probability  population ratio\n";
  for (const GroupPlan& g : plan.groups) {
    const double ratio = plan.groups[0].probability > 0 ? g.probability / plan.groups[0].probability : NAN;
    std::snprintf(line, sizeof line, "  %10ld  %11.4f  %16s\n", g.applicants, g.probability,
                  &g == &plan.groups[0] ? "reference" : column(ratio, 16, 3).c_str());
    out += padded(g.name, name_width) + line;
  }
  // The flags as rows, the groups and the whole plan as columns.
  constexpr std::size_t label_width = 44;
  std::size_t width = 10;
  for (std::size_t g = 1; g < plan.groups.size(); ++g) width = std::max(width, plan.groups[g].name.size() + 2);
  const auto head = [&](const std::string& text) {
    return std::string(width > text.size() ? width - text.size() : 1, ' ') + text;
  };
  std::snprintf(line, sizeof line, "Probability of (tests at alpha %g)", plan.alpha);
  out += "\n" + padded(line, label_width + 2);
  for (std::size_t g = 1; g < plan.groups.size(); ++g) out += head(plan.groups[g].name);
  out += head("any group") + head("at parity") + "\n";
  const char* const labels[] = {"a four-fifths violation",
                                "Z_D significant",
                                "Z_IR significant",
                                "Fisher's exact test significant, one-sided",
                                "Fisher's exact test significant, two-sided",
                                "mid-P significant, one-sided",
                                "mid-P significant, two-sided"};
  const auto cell = [&](double p) { return column(p, static_cast<int>(width), 4); };
  for (std::size_t k = 0; k < 7; ++k) {
    out += "  " + padded(labels[k], label_width);
    for (const SampleDistribution& g : d.groups) out += cell(flag_values(flags_of(g))[k].second);
    out += cell(flag_values(d.any)[k].second) + cell(flag_values(d.at_parity)[k].second) + "\n";
  }
  const std::pair<const char*, double SampleDistribution::*> extra[] = {
      {"a violation one more selection would undo", &SampleDistribution::p_flip_flop},
      {"no one of the reference group selected", &SampleDistribution::p_no_ratio}};
  for (const auto& [label, member] : extra) {
    out += "  " + padded(label, label_width);
    for (const SampleDistribution& g : d.groups) out += cell(g.*member);
    out += "\n";
  }
  out += padded("Expected shortfall of the group", label_width + 2);
  for (const SampleDistribution& g : d.groups) out += column(g.expected_shortfall, static_cast<int>(width), 3);
  out += "\n\nAt parity: every group selected with the reference group's probability, so that a flag\n"
         "anywhere is one the population does not have.\n";
  return out;
}

std::string multi_sample_csv(const MultiPlan& plan, const MultiDistribution& d) {
  std::string out = multi_header;
  for (std::size_t g = 1; g < plan.groups.size(); ++g) {
    const SampleDistribution& s = d.groups[g - 1];
    const GroupPlan& group = plan.groups[g];
    out += "group," + csv_field(group.name) + "," + std::to_string(group.applicants) + "," +
           shortest(group.probability) + "," + shortest(plan.alpha);
    const auto flags = flag_values(flags_of(s));
    out += "," + shortest(flags[0].second) + "," + shortest(s.p_no_ratio) + "," + shortest(s.p_flip_flop);
    for (std::size_t k = 1; k < flags.size(); ++k) out += "," + shortest(flags[k].second);
    out += "," + shortest(s.expected_shortfall) + "\n";
  }
  for (const auto& [kind, any] : {std::pair{"any", &d.any}, std::pair{"any_at_parity", &d.at_parity}}) {
    const auto flags = flag_values(*any);
    out += std::string(kind) + ",,,," + shortest(plan.alpha) + "," + shortest(flags[0].second) + ",,";
    for (std::size_t k = 1; k < flags.size(); ++k) out += "," + shortest(flags[k].second);
    out += ",\n";
  }
  return out;
}

std::string multi_sample_json(const MultiPlan& plan, const MultiDistribution& d) {
  ordered_json j;
  j["alpha"] = plan.alpha;
  j["reference"] = {{"group", plan.groups[0].name},
                    {"applicants", plan.groups[0].applicants},
                    {"probability", plan.groups[0].probability}};
  ordered_json groups = ordered_json::array();
  for (std::size_t g = 1; g < plan.groups.size(); ++g) {
    const SampleDistribution& s = d.groups[g - 1];
    ordered_json o;
    o["group"] = plan.groups[g].name;
    o["applicants"] = plan.groups[g].applicants;
    o["probability"] = plan.groups[g].probability;
    for (const auto& [name, value] : flag_values(flags_of(s))) o[name] = value;
    o["p_no_ratio"] = s.p_no_ratio;
    o["p_flip_flop"] = s.p_flip_flop;
    o["expected_shortfall"] = s.expected_shortfall;
    ordered_json ratios = ordered_json::array();
    for (const RatioProbability& r : s.ratios) ratios.push_back({{"ratio", r.ratio}, {"probability", r.probability}});
    o["ratios"] = std::move(ratios);
    groups.push_back(std::move(o));
  }
  j["groups"] = std::move(groups);
  for (const auto& [key, any] : {std::pair{"any", &d.any}, std::pair{"any_at_parity", &d.at_parity}}) {
    ordered_json o;
    for (const auto& [name, value] : flag_values(*any)) o[name] = value;
    j[key] = std::move(o);
  }
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
