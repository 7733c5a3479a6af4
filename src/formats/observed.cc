// Text, CSV and JSON of an observed-impact table.
#include "formats/observed.h"

#include <cmath>
#include <cstdio>
#include <string>

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
