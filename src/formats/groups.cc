// Text, CSV and JSON of a study of several groups.
#include "formats/groups.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "formats/formats.h"

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

ordered_json number(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

// The groups' shares of the pool (overall basis), NaN otherwise.
std::vector<double> shares(const GroupStudy& s) {
  std::vector<double> out(s.problem.groups.size(), std::nan(""));
  if (s.problem.basis != Basis::overall) return out;
  double total = 0;
  for (const Group& g : s.problem.groups) total += g.share;
  for (std::size_t g = 0; g < out.size(); ++g) out[g] = s.problem.groups[g].share / total;
  return out;
}

std::string ratio_name(const GroupStudy& s) {
  return s.problem.basis == Basis::overall ? "SR" : "reference SR";
}

const std::string& group_name(const GroupStudy& s, int g) {
  return s.problem.groups[static_cast<std::size_t>(g)].name;
}

ordered_json boundary_json(const GroupStudy& s, const GroupBoundary& b) {
  ordered_json j;
  j["group"] = b.group >= 0 ? ordered_json(group_name(s, b.group)) : ordered_json(nullptr);
  j["state"] = name_of(b.state);
  j["against"] = b.against >= 0 ? ordered_json(group_name(s, b.against)) : ordered_json(nullptr);
  j["search_status"] = b.search_status;
  const bool found = b.state == BoundaryState::found;
  j["sr"] = found ? number(b.sr) : nullptr;
  j["cutoff"] = found ? number(b.cutoff) : nullptr;
  return j;
}

}  // namespace

std::string boundary_words(const GroupStudy& s, const GroupBoundary& b) {
  switch (b.state) {
    case BoundaryState::found:
      return "from " + ratio_name(s) + " " + fixed_column(b.sr, 0) + " (cut-off " + fixed_column(b.cutoff, 0) +
             "), " + group_name(s, b.group) + " at four-fifths of " + group_name(s, b.against);
    case BoundaryState::never_below:
      return "at every selection ratio";
    case BoundaryState::met_in_range:
      return "at every cut-off in [-8, 8] (" + group_name(s, b.group) + " against " +
             group_name(s, b.against) + ")";
    case BoundaryState::none_in_range:
      return "at no cut-off in [-8, 8] (search status " + std::to_string(b.search_status) + ")";
    case BoundaryState::not_applicable:
      return "not applicable: in the pairwise convention each group has its own pool";
  }
  return "?";
}

std::string group_text(const GroupStudy& s) {
  const GroupProblem& p = s.problem;
  std::string out;
  out += "Selection study of " + std::to_string(p.groups.size()) + " groups: ";
  for (std::size_t g = 0; g < p.groups.size(); ++g)
    out += (g ? ", " : "") + p.groups[g].name + (g == 0 ? " (reference)" : "");
  out += "\n";
  out += std::string("Selection ratio: ") +
         (p.basis == Basis::overall ? "of the whole pool (SR)" : "of the reference group") +
         "; pool: " +
         (p.pool == Pool::joint || p.groups.size() == 2
              ? "joint (one cut-off for every group)"
              : "pairwise (each group with the reference group alone)") +
         "; quality on the " + name_of(p.quality) + " composite\n";
  out += std::string("Predictor weights") + (p.regression_weights ? " (by regression)" : "") + ":";
  for (int i = 0; i < p.predictors; ++i)
    out += " " + predictor_name(p, i) + " " + fixed_column(s.weights[static_cast<std::size_t>(i)], 0);
  out += "\n";
  if (p.criteria > 0) {
    out += "Criterion weights:";
    for (int k = 0; k < p.criteria; ++k)
      out += " " + criterion_name(p, k) + " " +
             fixed_column(p.criterion_weights[static_cast<std::size_t>(k)], 0);
    out +=
        "\nCorrelation of the predictor and criterion composites: " + fixed_column(s.composites.rxy, 0) +
        "\n";
  }

  const std::vector<double> share = shares(s);
  std::size_t width = 5;
  for (const Group& g : p.groups) width = std::max(width, g.name.size());
  out += "\n" + padded("Group", width) + "   share      dx      dy  meets the four-fifths rule\n";
  for (std::size_t g = 0; g < p.groups.size(); ++g)
    out += padded(p.groups[g].name, width) + fixed_column(share[g], 8) + fixed_column(s.dx[g], 8) +
           fixed_column(p.criteria > 0 ? s.dy[g] : std::nan(""), 8) + "  " +
           boundary_words(s, s.boundaries[g]) + "\n";
  out += "\nEvery group meets the four-fifths rule ";
  if (s.pool_boundary.state == BoundaryState::found)
    out += "from " + ratio_name(s) + " " + fixed_column(s.pool_boundary.sr, 0) +
           " on (binding group: " + group_name(s, s.pool_boundary.group) + ")\n";
  else if (s.pool_boundary.state == BoundaryState::none_in_range)
    out += "at no selection ratio in range: " + group_name(s, s.pool_boundary.group) +
           " reaches four-fifths of " + group_name(s, s.pool_boundary.against) +
           " at no cut-off in [-8, 8]\n";
  else if (s.pool_boundary.state == BoundaryState::met_in_range)
    out += "at every cut-off in [-8, 8]\n";
  else
    out += "at every selection ratio: no group is ever below four-fifths of another\n";

  const bool pairwise = p.pool == Pool::pairwise && p.groups.size() > 2;
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    if (pairwise && g == 0) continue;
    out += "\nGroup " + p.groups[g].name + (g == 0 ? " (reference)" : "") + "\n";
    out += "kind           " + padded(ratio_name(s), 7) +
           " cut-off  group SR  ref. SR  AI ref.  AI high.  4/5  quality  std. q.\n";
    for (const GroupRow& row : s.rows) {
      const GroupValues& v = row.groups[g];
      out += padded(name_of(row.kind), 10) + fixed_column(row.sr, 8) + " ";
      if (v.status != RowStatus::ok) {
        out += v.status == RowStatus::no_cutoff ? "no cut-off in [-8, 8] gives this ratio\n"
                                                : "the ratio is not strictly between 0 and 1\n";
        continue;
      }
      out += fixed_column(v.cutoff, 8) + fixed_column(v.sr, 10) + fixed_column(v.sr_reference, 9) + fixed_column(v.ai, 9) +
             fixed_column(v.ai_highest, 10) + (v.meets ? "  yes" : "   no") + fixed_column(v.quality, 9) +
             fixed_column(v.standardized_quality, 9) + "\n";
    }
  }
  if (p.basis == Basis::overall && !pairwise) {
    out += "\nAll selected\nkind           SR     quality  std. q.  every group meets 4/5\n";
    for (const GroupRow& row : s.rows)
      out += padded(name_of(row.kind), 10) + fixed_column(row.sr, 8) + " " +
             (row.status == RowStatus::ok
                  ? fixed_column(row.quality, 10) + fixed_column(row.standardized_quality, 9) +
                        (row.all_meet ? "  yes" : "  no") + "\n"
                  : "no cut-off in [-8, 8] gives this ratio\n");
  }
  return out;
}

std::string group_csv(const GroupStudy& s) {
  std::string csv =
      "kind,sr,status,group,reference,share,cutoff,group_sr,reference_sr,ai,ai_highest,meets,"
      "quality,standardized_quality,all_quality,all_standardized_quality,all_meet\n";
  const std::vector<double> share = shares(s);
  // A name with a comma, quotation mark or line break is quoted, as RFC 4180 has it.
  auto field = [](const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  };
  for (const GroupRow& row : s.rows)
    for (std::size_t g = 0; g < row.groups.size(); ++g) {
      const GroupValues& v = row.groups[g];
      const bool reported = std::isfinite(v.sr);
      csv += std::string(name_of(row.kind)) + "," + shortest(row.sr) + "," + name_of(v.status) +
             "," + field(s.problem.groups[g].name) + "," + (g == 0 ? "1" : "0") + "," +
             shortest(share[g]);
      for (double value : {v.cutoff, v.sr, v.sr_reference, v.ai, v.ai_highest})
        csv += "," + shortest(value);
      csv += std::string(",") + (reported ? (v.meets ? "1" : "0") : "");
      for (double value :
           {v.quality, v.standardized_quality, row.quality, row.standardized_quality})
        csv += "," + shortest(value);
      csv += std::string(",") + (row.all_meet ? "1" : "0") + "\n";
    }
  return csv;
}

std::string group_json(const GroupStudy& s) {
  const GroupProblem& p = s.problem;
  ordered_json j;
  ordered_json problem;
  ordered_json predictors = ordered_json::array();
  for (int i = 0; i < p.predictors; ++i) predictors.push_back(predictor_name(p, i));
  ordered_json criteria = ordered_json::array();
  for (int k = 0; k < p.criteria; ++k) criteria.push_back(criterion_name(p, k));
  problem["predictors"] = predictors;
  problem["criteria"] = criteria;
  problem["basis"] = p.basis == Basis::overall ? "overall" : "reference";
  problem["pool"] = name_of(p.pool);
  problem["quality"] = name_of(p.quality);
  problem["regression_weights"] = p.regression_weights;
  const std::vector<double> share = shares(s);
  ordered_json groups = ordered_json::array();
  for (std::size_t g = 0; g < p.groups.size(); ++g)
    groups.push_back({{"name", p.groups[g].name},
                      {"share", number(share[g])},
                      {"dx", number(s.dx[g])},
                      {"dy", p.criteria > 0 ? number(s.dy[g]) : nullptr}});
  problem["groups"] = groups;
  j["problem"] = problem;
  ordered_json weights = ordered_json::array();
  for (double w : s.weights) weights.push_back(number(w));
  j["weights"] = weights;
  const Composites& c = s.composites;
  j["composites"] = {{"sxx", number(c.sxx)},
                     {"syy", number(c.syy)},
                     {"sxy", number(c.sxy)},
                     {"rxy", number(c.rxy)}};
  ordered_json boundaries = ordered_json::array();
  for (const GroupBoundary& b : s.boundaries) boundaries.push_back(boundary_json(s, b));
  j["boundaries"] = boundaries;
  j["pool_boundary"] = boundary_json(s, s.pool_boundary);
  ordered_json rows = ordered_json::array();
  for (const GroupRow& row : s.rows) {
    ordered_json r = {{"kind", name_of(row.kind)},
                      {"sr", number(row.sr)},
                      {"status", name_of(row.status)},
                      {"quality", number(row.quality)},
                      {"standardized_quality", number(row.standardized_quality)},
                      {"all_meet", row.all_meet}};
    ordered_json values = ordered_json::array();
    for (std::size_t g = 0; g < row.groups.size(); ++g) {
      const GroupValues& v = row.groups[g];
      values.push_back(
          {{"group", p.groups[g].name},
           {"status", name_of(v.status)},
           {"cutoff", number(v.cutoff)},
           {"sr", number(v.sr)},
           {"reference_sr", number(v.sr_reference)},
           {"ai", number(v.ai)},
           {"ai_highest", number(v.ai_highest)},
           {"meets", std::isfinite(v.sr) ? ordered_json(v.meets) : ordered_json(nullptr)},
           {"quality", number(v.quality)},
           {"standardized_quality", number(v.standardized_quality)}});
    }
    r["groups"] = values;
    rows.push_back(std::move(r));
  }
  j["rows"] = std::move(rows);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
