// Renderings of a validity-adverse-impact front: a table for people, CSV and
// JSON for scripts.
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "formats/formats.h"

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

// The values of a point after its kind, in the order of the columns.
std::array<double, 9> point_values(const FrontPoint& p) {
  return {p.ai,  p.validity, p.composite_d, p.cutoff, p.sra, p.sri, p.quality, p.quality_majority,
          p.quality_minority};
}

constexpr std::array<const char*, 9> point_value_names = {
    "ai", "validity", "composite_d", "cutoff", "sra", "sri", "quality", "quality_majority",
    "quality_minority"};

std::size_t predictors_of(const Front& front) {
  return front.points.empty() ? 0 : front.points.front().weights.size();
}

ordered_json number(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

}  // namespace

std::string front_text(const Front& front) {
  std::string text;
  char line[256];
  std::snprintf(line, sizeof line,
                "Validity-adverse-impact front of %zu predictors, %s weights, at the %s selection "
                "ratio %.3f\n",
                predictors_of(front), front.nonnegative ? "non-negative" : "free",
                name_of(front.basis), front.sr);
  text += line;
  for (const std::string& note : front.notes) text += "Note: " + note + "\n";
  text += "\nkind              AI  validity       d  cutoff     SRA     SRI       M      MA      MI";
  for (std::size_t k = 0; k < predictors_of(front); ++k) {
    std::snprintf(line, sizeof line, "%8s", ("w" + std::to_string(k + 1)).c_str());
    text += line;
  }
  text += '\n';
  for (const FrontPoint& p : front.points) {
    std::snprintf(line, sizeof line, "%-12s", name_of(p.kind));
    text += line;
    for (double v : point_values(p)) {
      // A value that does not exist (no overall mean in the majority basis)
      // shows as blanks.
      if (std::isfinite(v)) {
        std::snprintf(line, sizeof line, "%8.3f", v);
        text += line;
      } else {
        text.append(8, ' ');
      }
    }
    for (double w : p.weights) {
      std::snprintf(line, sizeof line, "%8.3f", w);
      text += line;
    }
    text += '\n';
  }
  return text;
}

std::string front_csv(const Front& front) {
  std::string csv = "kind";
  for (const char* name : point_value_names) (csv += ',') += name;
  for (std::size_t k = 0; k < predictors_of(front); ++k) csv += ",w" + std::to_string(k + 1);
  csv += '\n';
  for (const FrontPoint& p : front.points) {
    csv += name_of(p.kind);
    for (double v : point_values(p)) (csv += ',') += shortest(v);
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
  j["notes"] = front.notes;
  ordered_json points = ordered_json::array();
  for (const FrontPoint& p : front.points) {
    ordered_json point = {{"kind", name_of(p.kind)}};
    const auto values = point_values(p);
    for (std::size_t k = 0; k < values.size(); ++k) point[point_value_names[k]] = number(values[k]);
    ordered_json weights = ordered_json::array();
    for (double w : p.weights) weights.push_back(number(w));
    point["weights"] = std::move(weights);
    points.push_back(std::move(point));
  }
  j["points"] = std::move(points);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
