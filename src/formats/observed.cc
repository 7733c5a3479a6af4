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

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
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
