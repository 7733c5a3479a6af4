// CSV and JSON renderings of a study.
#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "formats/formats.h"

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

// A number, or null when it does not exist.
ordered_json number(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

ordered_json numbers(const std::vector<double>& values) {
  ordered_json list = ordered_json::array();
  for (double v : values) list.push_back(number(v));
  return list;
}

// The values of a row in the order of its columns after kind, sr and status.
std::array<double, 12> row_values(const Row& r) {
  return {r.cutoff, r.sra, r.sri, r.ai, r.m, r.ma, r.mi, r.dif, r.sm, r.sma, r.smi, r.sdif};
}

constexpr std::array<const char*, 12> row_value_names = {
    "cutoff", "sra", "sri", "ai", "m", "ma", "mi", "dif", "sm", "sma", "smi", "sdif"};

ordered_json problem_json(const Problem& p) {
  ordered_json j;
  j["predictors"] = p.predictors;
  j["criteria"] = p.criteria;
  j["basis"] = name_of(p.basis);
  j["applicant_ratio"] = p.basis == Basis::overall ? number(p.applicant_ratio) : nullptr;
  j["regression_weights"] = p.regression_weights;
  j["quality"] = name_of(p.quality);
  j["predictor_weights"] = p.regression_weights ? ordered_json(nullptr) : numbers(p.predictor_weights);
  j["criterion_weights"] = numbers(p.criterion_weights);
  // The correlation matrix row by row.
  const auto n = static_cast<std::size_t>(p.predictors + p.criteria);
  ordered_json rows = ordered_json::array();
  for (std::size_t i = 0; i < n && (i + 1) * n <= p.correlations.size(); ++i)
    rows.push_back(numbers({p.correlations.begin() + static_cast<std::ptrdiff_t>(i * n),
                            p.correlations.begin() + static_cast<std::ptrdiff_t>((i + 1) * n)}));
  j["correlations"] = rows;
  j["predictor_effects"] = numbers(p.predictor_effects);
  j["criterion_effects"] = numbers(p.criterion_effects);
  j["requested_ratios"] = numbers(p.requested_ratios);
  return j;
}

}  // namespace

std::string shortest(double value) {
  if (!std::isfinite(value)) return {};
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return {text, end};
}

std::string fixed_column(double value, int width, int decimals) {
  char buffer[64];
  if (!std::isfinite(value))
    std::snprintf(buffer, sizeof buffer, "%*s", width, "-");
  else
    std::snprintf(buffer, sizeof buffer, "%*.*f", width, decimals, value);
  return buffer;
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string study_csv(const Study& study) {
  std::string csv = "kind,sr,status";
  for (const char* name : row_value_names) (csv += ',') += name;
  csv += '\n';
  for (const Row& row : study.rows) {
    ((((csv += name_of(row.kind)) += ',') += shortest(row.sr)) += ',') += name_of(row.status);
    for (double v : row_values(row)) (csv += ',') += shortest(v);
    csv += '\n';
  }
  return csv;
}

std::string study_json(const Study& study) {
  ordered_json j;
  j["problem"] = problem_json(study.problem);
  const Composites& c = study.composites;
  j["composites"] = {{"sxx", number(c.sxx)}, {"syy", number(c.syy)}, {"sxy", number(c.sxy)},
                     {"rxy", number(c.rxy)}, {"dx", number(c.dx)},   {"dy", number(c.dy)}};
  j["weights"] = numbers(study.weights);
  const Boundary& b = study.boundary;
  j["boundary"] = {{"found", b.found},
                   {"search_status", b.search.status},
                   {"sr", b.found ? number(b.sr) : nullptr},
                   {"sra", b.found ? number(b.sra) : nullptr},
                   {"sri", b.found ? number(b.sri) : nullptr},
                   {"cutoff", b.found ? number(b.cutoff) : nullptr}};
  ordered_json rows = ordered_json::array();
  for (const Row& row : study.rows) {
    ordered_json r = {{"kind", name_of(row.kind)}, {"sr", number(row.sr)}, {"status", name_of(row.status)}};
    const auto values = row_values(row);
    for (std::size_t k = 0; k < values.size(); ++k) r[row_value_names[k]] = number(values[k]);
    if (row.status == RowStatus::no_cutoff) {
      const Search& s = row.search;
      r["search"] = {{"status", s.status}, {"b", number(s.b)}, {"c", number(s.c)},
                     {"sra", number(s.sra)}, {"sri", number(s.sri)}};
    }
    rows.push_back(std::move(r));
  }
  j["rows"] = std::move(rows);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
