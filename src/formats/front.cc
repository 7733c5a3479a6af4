// Renderings of a validity-adverse-impact front: a table for people, CSV and
// JSON for scripts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/formats.h"

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

// The values of a point after its kind, in the order of the columns.
std::array<double, 9> point_values(const FrontPoint& p) {
  return {p.ai,  p.validity, p.composite_d,      p.cutoff,          p.sra,
          p.sri, p.quality,  p.quality_majority, p.quality_minority};
}

constexpr std::array<const char*, 9> point_value_names = {
    "ai",  "validity", "composite_d",      "cutoff",          "sra",
    "sri", "quality",  "quality_majority", "quality_minority"};

std::size_t predictors_of(const Front& front) {
  return front.points.empty() ? 0 : front.points.front().weights.size();
}

ordered_json number(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

// A value of the table: three decimals, or in exponent form where fixed
// notation would run to more than 7 characters or, for a ratio, show a value
// that is not 0 as 0.000; blank when it does not exist (no overall mean in
// the majority basis).
std::string cell(double v, bool ratio) {
  char text[40];
  if (!std::isfinite(v)) return "";
  const double size = std::fabs(v);
  if (size >= 999.9995 || (ratio && v != 0 && size < 0.0005)) {
    std::snprintf(text, sizeof text, "%.2e", v);
  } else {
    std::snprintf(text, sizeof text, "%.3f", size < 0.0005 ? 0.0 : v);  // no "-0.000"
  }
  return text;
}

// A selection ratio with the digits it needs: three decimals when they hold
// it, else six significant digits (0.15 as 0.150, 0.0001 as 0.0001, 1e-12 as
// 1e-12).
std::string ratio_text(double sr) {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", sr);
  if (std::strtod(text, nullptr) == sr || std::fabs(sr) >= 0.0005) return text;
  std::snprintf(text, sizeof text, "%.6g", sr);
  return text;
}

}  // namespace

std::string front_text(const Front& front) {
  std::string text;
  char line[256];
  std::snprintf(line, sizeof line,
                "Validity-adverse-impact front of %zu predictors, %s weights, at the %s selection "
                "ratio %s\n",
                predictors_of(front), front.nonnegative ? "non-negative" : "free",
                name_of(front.basis), ratio_text(front.sr).c_str());
  text += line;
  const bool shrunk = front.sample_size > 0;
  if (shrunk) {
    std::snprintf(line, sizeof line,
                  "From a validation sample of %d, %d predictors screened: AI* and validity* are "
                  "expected on new applicants (Browne 1975; Song, Tang, Newman & Wee 2023)\n",
                  front.sample_size, front.predictors_screened);
    text += line;
  }
  for (const std::string& note : front.notes) text += "Note: " + note + "\n";

  // Columns right-aligned to their widest entry, at least 7 characters, one
  // space apart: values of any size stay apart.
  std::vector<std::string> header = {"AI",  "validity", "d",  "cutoff", "SRA",
                                     "SRI", "M",        "MA", "MI"};
  if (shrunk) header.insert(header.begin() + 2, {"AI*", "validity*"});
  for (std::size_t k = 0; k < predictors_of(front); ++k)
    header.push_back("w" + std::to_string(k + 1));
  std::vector<std::vector<std::string>> rows;
  for (const FrontPoint& p : front.points) {
    std::vector<std::string>& row = rows.emplace_back();
    const std::array<double, 9> values = point_values(p);
    for (std::size_t c = 0; c < values.size(); ++c)
      row.push_back(cell(values[c], c == 0 || c == 4 || c == 5));  // AI, SRA, SRI
    if (shrunk)
      row.insert(row.begin() + 2, {cell(p.shrunk_ai, true), cell(p.shrunk_validity, false)});
    for (double w : p.weights) row.push_back(cell(w, false));
  }
  std::vector<std::size_t> width(header.size(), 7);
  for (std::size_t c = 0; c < header.size(); ++c) {
    width[c] = std::max(width[c], header[c].size());
    for (const auto& row : rows) width[c] = std::max(width[c], row[c].size());
  }
  auto add_line = [&](const std::string& kind, const std::vector<std::string>& cells) {
    text += '\n';
    std::snprintf(line, sizeof line, "%-12s", kind.c_str());
    text += line;
    for (std::size_t c = 0; c < cells.size(); ++c)
      text += std::string(width[c] + 1 - cells[c].size(), ' ') + cells[c];
  };
  add_line("kind", header);
  for (std::size_t k = 0; k < rows.size(); ++k) add_line(name_of(front.points[k].kind), rows[k]);
  text += '\n';
  return text;
}

std::string front_csv(const Front& front) {
  std::string csv = "kind";
  for (const char* name : point_value_names) (csv += ',') += name;
  const bool shrunk = front.sample_size > 0;
  if (shrunk) csv += ",shrunk_validity,shrunk_ai";
  for (std::size_t k = 0; k < predictors_of(front); ++k) csv += ",w" + std::to_string(k + 1);
  csv += '\n';
  for (const FrontPoint& p : front.points) {
    csv += name_of(p.kind);
    for (double v : point_values(p)) (csv += ',') += shortest(v);
    if (shrunk) ((((csv += ',') += shortest(p.shrunk_validity)) += ',') += shortest(p.shrunk_ai));
    for (double w : p.weights) (csv += ',') += shortest(w);
    csv += '\n';
  }
  return csv;
}

std::string front_json(const Front& front) {
  ordered_json j;
  j["basis"] = name_of(front.basis);
  j["sr"] = number(front.sr);
  j["nonnegative"] = front.nonnegative;
  const bool shrunk = front.sample_size > 0;
  if (shrunk) {
    j["sample_size"] = front.sample_size;
    j["predictors_screened"] = front.predictors_screened;
  }
  j["notes"] = front.notes;
  ordered_json points = ordered_json::array();
  for (const FrontPoint& p : front.points) {
    ordered_json point = {{"kind", name_of(p.kind)}};
    const auto values = point_values(p);
    for (std::size_t k = 0; k < values.size(); ++k) point[point_value_names[k]] = number(values[k]);
    if (shrunk) {
      point["shrunk_validity"] = number(p.shrunk_validity);
      point["shrunk_ai"] = number(p.shrunk_ai);
    }
    ordered_json weights = ordered_json::array();
    for (double w : p.weights) weights.push_back(number(w));
    point["weights"] = std::move(weights);
    points.push_back(std::move(point));
  }
  j["points"] = std::move(points);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
