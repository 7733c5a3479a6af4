// Text, CSV and JSON of the front and the surface of several groups.
#include "formats/groupfront.h"

#include <algorithm>
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

// A name with a comma, quotation mark or line break is quoted, as RFC 4180 has it.
std::string field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string three(double v) {
  return fixed_column(v, 0);
}

std::string list(const GroupProblem& p, const std::vector<int>& groups) {
  std::string s;
  for (std::size_t k = 0; k < groups.size(); ++k)
    s += (k == 0 ? "" : k + 1 == groups.size() ? " and " : ", ") +
         p.groups[static_cast<std::size_t>(groups[k])].name;
  return s;
}

std::string setting(const GroupProblem& p, Basis basis, double sr, bool nonnegative) {
  std::string s = std::to_string(p.predictors) + " predictors and " + std::to_string(p.groups.size()) +
                  " groups (reference " + p.groups[0].name + "; " +
                  (p.pool == Pool::joint || p.groups.size() == 2 ? "joint pool" : "pairwise pools") +
                  "), " + (nonnegative ? "non-negative" : "free") + " weights, at the " +
                  (basis == Basis::overall ? "overall" : "reference group's") + " selection ratio ";
  char text[40];
  std::snprintf(text, sizeof text, sr >= 0.0005 ? "%.3f" : "%.6g", sr);
  return s + text;
}

ordered_json problem_json(const GroupProblem& p) {
  ordered_json j;
  ordered_json predictors = ordered_json::array();
  for (int i = 0; i < p.predictors; ++i) predictors.push_back(predictor_name(p, i));
  ordered_json groups = ordered_json::array();
  for (const Group& g : p.groups) groups.push_back(g.name);
  j["predictors"] = predictors;
  j["groups"] = groups;
  j["basis"] = p.basis == Basis::overall ? "overall" : "reference";
  j["pool"] = name_of(p.pool);
  return j;
}

ordered_json weighting_json(const GroupProblem& p, const GroupWeighting& w) {
  ordered_json j;
  j["validity"] = number(w.validity);
  j["min_ai"] = number(w.min_ai);
  ordered_json groups = ordered_json::array();
  for (std::size_t g = 0; g < w.ai.size(); ++g)
    groups.push_back({{"group", p.groups[g].name},
                      {"ai", number(w.ai[g])},
                      {"sr", number(w.sr[g])},
                      {"composite_d", number(w.composite_d[g])},
                      {"multiplier", number(w.multipliers[g])}});
  j["groups"] = groups;
  ordered_json binding = ordered_json::array();
  for (int g : w.binding) binding.push_back(p.groups[static_cast<std::size_t>(g)].name);
  j["binding"] = binding;
  ordered_json weights = ordered_json::object();
  for (std::size_t i = 0; i < w.weights.size(); ++i)
    weights[predictor_name(p, static_cast<int>(i))] = number(w.weights[i]);
  j["weights"] = weights;
  j["violation"] = number(w.violation);
  j["kkt_residual"] = number(w.kkt_residual);
  return j;
}

// The weights header of the CSVs: w1 ... wN.
std::string weight_columns(int predictors) {
  std::string s;
  for (int i = 0; i < predictors; ++i) s += ",w" + std::to_string(i + 1);
  return s;
}

// Columns right-aligned to their widest entry, one space apart, after a
// left-aligned first column.
std::string table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width;
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (width.size() <= c) width.push_back(0);
      width[c] = std::max(width[c], row[c].size());
    }
  std::string out;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c)
      out += c == 0 ? padded(row[c], width[0]) : std::string(width[c] + 1 - row[c].size(), ' ') + row[c];
    out += '\n';
  }
  return out;
}

}  // namespace

std::string headline_words(const GroupFront& front) {
  const GroupProblem& p = front.problem;
  const GroupTarget& h = front.headline;
  char target[40];
  std::snprintf(target, sizeof target, "%g", front.target);
  if (h.reached) {
    std::string s = "The most valid weighting with every group's AI at least " + std::string(target) +
                    " has validity " + three(h.best.validity) + " (the most valid of all: " +
                    three(h.most_valid.validity) + ")";
    if (!h.best.binding.empty()) s += "; binding: " + list(p, h.best.binding);
    return s;
  }
  return "No weighting reaches AI " + std::string(target) + " for every group: the best reaches a smallest AI of " +
         three(h.best.min_ai) + " (binding: " + list(p, h.best.binding) + ") at validity " +
         three(h.best.validity);
}

std::string group_front_text(const GroupFront& front) {
  const GroupProblem& p = front.problem;
  std::string out = "Validity-smallest-AI front of " + setting(p, front.basis, front.sr, front.nonnegative) + "\n";
  out += headline_words(front) + "\n";
  for (const std::string& note : front.notes) out += "Note: " + note + "\n";
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header = {"kind", "min AI", "validity"};
  for (std::size_t g = 1; g < p.groups.size(); ++g) header.push_back("AI " + p.groups[g].name);
  for (int i = 0; i < p.predictors; ++i) header.push_back(predictor_name(p, i));
  rows.push_back(header);
  for (const GroupFrontPoint& point : front.points) {
    const GroupWeighting& w = point.weighting;
    std::vector<std::string> row = {name_of(point.kind), three(w.min_ai), three(w.validity)};
    for (std::size_t g = 1; g < w.ai.size(); ++g) row.push_back(three(w.ai[g]));
    for (double x : w.weights) row.push_back(three(std::fabs(x) < 0.0005 ? 0.0 : x));
    rows.push_back(row);
  }
  return out + "\n" + table(rows);
}

std::string group_front_csv(const GroupFront& front) {
  const GroupProblem& p = front.problem;
  std::string csv = "point,kind,group,reference,ai,sr,composite_d,min_ai,validity,binding,multiplier,kkt_residual" +
                    weight_columns(p.predictors) + "\n";
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    const GroupWeighting& w = front.points[k].weighting;
    for (std::size_t g = 0; g < w.ai.size(); ++g) {
      const bool binding = std::find(w.binding.begin(), w.binding.end(), static_cast<int>(g)) != w.binding.end();
      csv += std::to_string(k + 1) + "," + name_of(front.points[k].kind) + "," + field(p.groups[g].name) + "," +
             (g == 0 ? "1" : "0");
      for (double v : {w.ai[g], w.sr[g], w.composite_d[g], w.min_ai, w.validity}) csv += "," + shortest(v);
      csv += std::string(",") + (binding ? "1" : "0") + "," + shortest(w.multipliers[g]) + "," +
             shortest(w.kkt_residual);
      for (double x : w.weights) csv += "," + shortest(x);
      csv += "\n";
    }
  }
  return csv;
}

std::string group_front_json(const GroupFront& front) {
  const GroupProblem& p = front.problem;
  ordered_json j;
  j["problem"] = problem_json(p);
  j["sr"] = number(front.sr);
  j["nonnegative"] = front.nonnegative;
  j["target"] = number(front.target);
  ordered_json headline;
  headline["reached"] = front.headline.reached;
  headline["words"] = headline_words(front);
  headline["best"] = weighting_json(p, front.headline.best);
  headline["most_valid"] = weighting_json(p, front.headline.most_valid);
  j["headline"] = headline;
  j["notes"] = front.notes;
  ordered_json points = ordered_json::array();
  for (const GroupFrontPoint& point : front.points) {
    ordered_json q = weighting_json(p, point.weighting);
    q["kind"] = name_of(point.kind);
    points.push_back(q);
  }
  j["points"] = points;
  return j.dump(2) + "\n";
}

std::string surface_text(const GroupSurface& s) {
  const GroupProblem& p = s.problem;
  std::string out = "Validity over two AIs: " + setting(p, s.basis, s.sr, s.nonnegative) + "\n";
  out += "The most valid weighting of all: validity " + three(s.most_valid.validity) + ", AI " +
         p.groups[1].name + " " + three(s.most_valid.ai[1]) + ", AI " + p.groups[2].name + " " +
         three(s.most_valid.ai[2]) + "\n";
  out += "Each cell: the most valid validity with AI " + p.groups[1].name + " at least the row's target and AI " +
         p.groups[2].name + " at least the column's ('-': no weighting meets both)\n";
  for (const std::string& note : s.notes) out += "Note: " + note + "\n";
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header = {p.groups[1].name + " \\ " + p.groups[2].name};
  for (double t : s.axes[1]) header.push_back(three(t));
  rows.push_back(header);
  for (double t1 : s.axes[0]) {
    std::vector<std::string> row = {three(t1)};
    for (double t2 : s.axes[1]) {
      const auto cell = std::find_if(s.points.begin(), s.points.end(), [&](const SurfacePoint& q) {
        return q.targets[0] == t1 && q.targets[1] == t2;
      });
      row.push_back(cell == s.points.end() ? "?" : cell->reached ? three(cell->weighting.validity) : "-");
    }
    rows.push_back(row);
  }
  return out + "\n" + table(rows);
}

std::string surface_csv(const GroupSurface& s) {
  const GroupProblem& p = s.problem;
  std::string csv = "cell,group,target,reached,ai,sr,composite_d,validity,kkt_residual" +
                    weight_columns(p.predictors) + "\n";
  for (std::size_t k = 0; k < s.points.size(); ++k) {
    const SurfacePoint& cell = s.points[k];
    const GroupWeighting& w = cell.weighting;
    for (std::size_t g = 1; g <= 2; ++g) {
      csv += std::to_string(k + 1) + "," + field(p.groups[g].name) + "," + shortest(cell.targets[g - 1]) + "," +
             (cell.reached ? "1" : "0");
      if (cell.reached) {
        for (double v : {w.ai[g], w.sr[g], w.composite_d[g], w.validity, w.kkt_residual}) csv += "," + shortest(v);
        for (double x : w.weights) csv += "," + shortest(x);
      } else {
        csv += std::string(5 + static_cast<std::size_t>(p.predictors), ',');
      }
      csv += "\n";
    }
  }
  return csv;
}

std::string surface_json(const GroupSurface& s) {
  const GroupProblem& p = s.problem;
  ordered_json j;
  j["problem"] = problem_json(p);
  j["sr"] = number(s.sr);
  j["nonnegative"] = s.nonnegative;
  ordered_json axes = ordered_json::array();
  for (int g = 0; g < 2; ++g) {
    ordered_json targets = ordered_json::array();
    for (double t : s.axes[g]) targets.push_back(number(t));
    axes.push_back({{"group", p.groups[static_cast<std::size_t>(g + 1)].name}, {"targets", targets}});
  }
  j["axes"] = axes;
  j["most_valid"] = weighting_json(p, s.most_valid);
  j["notes"] = s.notes;
  ordered_json cells = ordered_json::array();
  for (const SurfacePoint& cell : s.points) {
    ordered_json c = {{"targets", {number(cell.targets[0]), number(cell.targets[1])}}, {"reached", cell.reached}};
    if (cell.reached) c["weighting"] = weighting_json(p, cell.weighting);
    cells.push_back(c);
  }
  j["cells"] = cells;
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
