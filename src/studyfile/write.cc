// The study file writers: TOML laid out for people, with a comment on every
// section, and JSON of the same structure for programs; and a two-group
// problem (a deck) as a study file.
#include <charconv>
#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "fourfifths/studyfile.h"

namespace fourfifths {
namespace {

// The shortest decimal form that reads back to the same double, with a
// decimal point or an exponent so that TOML reads it as a float.
std::string toml_number(double value) {
  char buffer[32];
  std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

// A TOML basic string.
std::string toml_string(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A key: bare when TOML allows, quoted otherwise.
std::string toml_key(std::string_view key) {
  bool bare = !key.empty();
  for (char c : key)
    bare = bare && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-');
  return bare ? std::string(key) : toml_string(key);
}

std::string names_line(const std::vector<std::string>& names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + toml_string(names[i]);
  return out + "]";
}

std::string inline_table(const std::vector<std::string>& names, const std::vector<double>& values) {
  std::string out = "{ ";
  for (std::size_t i = 0; i < names.size(); ++i)
    out += (i ? ", " : "") + toml_key(names[i]) + " = " + toml_number(values[i]);
  return out + " }";
}

std::vector<std::string> variable_names(const GroupProblem& p) {
  std::vector<std::string> names;
  for (int i = 0; i < p.predictors; ++i) names.push_back(predictor_name(p, i));
  for (int k = 0; k < p.criteria; ++k) names.push_back(criterion_name(p, k));
  return names;
}

std::vector<std::string> predictor_names(const GroupProblem& p) {
  std::vector<std::string> names;
  for (int i = 0; i < p.predictors; ++i) names.push_back(predictor_name(p, i));
  return names;
}

std::vector<std::string> criterion_names(const GroupProblem& p) {
  std::vector<std::string> names;
  for (int k = 0; k < p.criteria; ++k) names.push_back(criterion_name(p, k));
  return names;
}

std::vector<double> effects_of(const Group& g, const GroupProblem& p) {
  std::vector<double> e = g.predictor_effects;
  e.insert(e.end(), g.criterion_effects.begin(), g.criterion_effects.end());
  e.resize(static_cast<std::size_t>(p.predictors + p.criteria), 0.0);
  return e;
}

// The study file's key of a pass rule.
const char* rule_key(PassRule rule) {
  return rule == PassRule::entrants ? "entrants" : rule == PassRule::cumulative ? "still_in" : "cutoff";
}

const char* basis_word(Basis basis) {
  return basis == Basis::overall ? "overall" : "reference";
}

}  // namespace

std::string write_study_toml(const StudyFile& study, std::string_view comment) {
  const GroupProblem& p = study.problem;
  std::string out;
  std::size_t from = 0;
  while (from < comment.size()) {
    std::size_t end = comment.find('\n', from);
    if (end == std::string_view::npos) end = comment.size();
    out += "# " + std::string(comment.substr(from, end - from)) + "\n";
    from = end + 1;
  }
  if (!comment.empty()) out += "\n";
  out += "# Predictors and criteria by name, in the order of the correlation matrix.\n";
  out += "predictors = " + names_line(predictor_names(p)) + "\n";
  out += "criteria = " + names_line(criterion_names(p)) + "\n\n";

  const int n = p.predictors + p.criteria;
  out += "# Correlations of all variables, predictors first: the lower triangle, row by row.\n";
  out += "correlations = [\n";
  for (int i = 0; i < n; ++i) {
    out += "  [";
    for (int j = 0; j <= i; ++j)
      out += (j ? ", " : "") + toml_number(p.correlations[static_cast<std::size_t>(i * n + j)]);
    out += "],\n";
  }
  out += "]\n\n";

  out += "[weights]\n";
  out += "# Predictor weights by name, or \"regression\" (on the criterion composite),\n";
  out += "# or \"front\" (left to fourfifths-study pareto).\n";
  if (study.weights == WeightSource::given)
    out += "predictors = " + inline_table(predictor_names(p), p.predictor_weights) + "\n";
  else
    out += std::string("predictors = \"") + name_of(study.weights) + "\"\n";
  if (p.criteria > 0)
    out += "criteria = " + inline_table(criterion_names(p), p.criterion_weights) + "\n";
  out += "\n";

  out += "[selection]\n";
  out +=
      "# \"overall\": a row's ratio is the whole pool's; \"reference\": the reference group's.\n";
  out += std::string("basis = \"") + basis_word(p.basis) + "\"\n";
  out += "# \"joint\": one cut-off for the whole pool; \"pairwise\": each group with the\n";
  out += "# reference group alone, in their relative shares.\n";
  out += std::string("pool = \"") + name_of(p.pool) + "\"\n";
  out += "# Mean quality of the selected on the \"criterion\" or the \"predictor\" composite.\n";
  out += std::string("quality = \"") + name_of(p.quality) + "\"\n";
  out += "# Requested selection ratios.\nratios = [";
  for (std::size_t i = 0; i < p.requested_ratios.size(); ++i)
    out += (i ? ", " : "") + toml_number(p.requested_ratios[i]);
  out += "]\n";
  if (!study.sweep.empty())
    out +=
        "# Further ratios: numbers and ranges FROM:TO:STEP.\nsweep = " + toml_string(study.sweep) +
        "\n";
  if (!study.stages.empty())
    out += "# The smallest share of all applicants every stage must leave.\nminimum = " +
           toml_number(study.stage_minimum) + "\n";

  out += "\n# The reference group first. Shares (or counts) matter only as ratios; effect\n";
  out += "# sizes are standardized differences from the reference group, by variable.\n";
  const std::vector<std::string> variables = variable_names(p);
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    const Group& group = p.groups[g];
    out += "[[groups]]\n";
    out += "name = " + toml_string(group.name) + "\n";
    if (p.basis == Basis::overall) out += "share = " + toml_number(group.share) + "\n";
    if (g > 0) out += "effects = " + inline_table(variables, effects_of(group, p)) + "\n";
    if (g + 1 < p.groups.size()) out += "\n";
  }
  if (!study.stages.empty()) {
    out += "\n# The stages, in the order applicants meet them: each selects on its own\n";
    out += "# weighted composite and passes by one rule: entrants (the share of its\n";
    out += "# entrants who pass), still_in (the share of all applicants still in after\n";
    out += "# it) or cutoff (on its composite, in reference-group standard deviations).\n";
  }
  for (std::size_t i = 0; i < study.stages.size(); ++i) {
    const Stage& stage = study.stages[i];
    out += "[[stages]]\n";
    out += "name = " + toml_string(stage.name) + "\n";
    out += "weights = " + inline_table(predictor_names(p), stage.weights) + "\n";
    out += std::string(rule_key(stage.rule)) + " = " + toml_number(stage.value) + "\n";
    if (i + 1 < study.stages.size()) out += "\n";
  }
  return out;
}

std::string write_study_json(const StudyFile& study) {
  using nlohmann::ordered_json;
  const GroupProblem& p = study.problem;
  auto named = [](const std::vector<std::string>& names, const std::vector<double>& values) {
    ordered_json t = ordered_json::object();
    for (std::size_t i = 0; i < names.size(); ++i) t[names[i]] = values[i];
    return t;
  };
  ordered_json j;
  j["predictors"] = predictor_names(p);
  j["criteria"] = criterion_names(p);
  const int n = p.predictors + p.criteria;
  ordered_json rows = ordered_json::array();
  for (int i = 0; i < n; ++i) {
    ordered_json row = ordered_json::array();
    for (int k = 0; k <= i; ++k) row.push_back(p.correlations[static_cast<std::size_t>(i * n + k)]);
    rows.push_back(row);
  }
  j["correlations"] = rows;
  ordered_json weights;
  weights["predictors"] = study.weights == WeightSource::given
                              ? named(predictor_names(p), p.predictor_weights)
                              : ordered_json(name_of(study.weights));
  if (p.criteria > 0) weights["criteria"] = named(criterion_names(p), p.criterion_weights);
  j["weights"] = weights;
  ordered_json selection;
  selection["basis"] = basis_word(p.basis);
  selection["pool"] = name_of(p.pool);
  selection["quality"] = name_of(p.quality);
  selection["ratios"] = p.requested_ratios;
  if (!study.sweep.empty()) selection["sweep"] = study.sweep;
  if (!study.stages.empty()) selection["minimum"] = study.stage_minimum;
  j["selection"] = selection;
  ordered_json groups = ordered_json::array();
  const std::vector<std::string> variables = variable_names(p);
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    ordered_json group;
    group["name"] = p.groups[g].name;
    if (p.basis == Basis::overall) group["share"] = p.groups[g].share;
    if (g > 0) group["effects"] = named(variables, effects_of(p.groups[g], p));
    groups.push_back(group);
  }
  j["groups"] = groups;
  if (!study.stages.empty()) {
    ordered_json stages = ordered_json::array();
    for (const Stage& stage : study.stages) {
      ordered_json t;
      t["name"] = stage.name;
      t["weights"] = named(predictor_names(p), stage.weights);
      t[rule_key(stage.rule)] = stage.value;
      stages.push_back(t);
    }
    j["stages"] = stages;
  }
  return j.dump(2) + "\n";
}

bool study_file_of(const Problem& problem, StudyFile& study, std::string& error) {
  const int n = problem.predictors + problem.criteria;
  const auto un = static_cast<std::size_t>(n);
  if (n < 1 || problem.correlations.size() != un * un ||
      (!problem.regression_weights &&
       problem.predictor_weights.size() != static_cast<std::size_t>(problem.predictors)) ||
      problem.criterion_weights.size() != static_cast<std::size_t>(problem.criteria) ||
      problem.predictor_effects.size() != static_cast<std::size_t>(problem.predictors) ||
      problem.criterion_effects.size() != static_cast<std::size_t>(problem.criteria)) {
    error = "the problem's lists do not match its numbers of predictors and criteria";
    return false;
  }
  for (const std::vector<double>* list :
       {&problem.predictor_weights, &problem.criterion_weights, &problem.correlations,
        &problem.predictor_effects, &problem.criterion_effects, &problem.requested_ratios})
    for (double v : *list)
      if (!std::isfinite(v)) {
        error = "a value of the problem is not a finite number";
        return false;
      }
  if (problem.basis == Basis::overall &&
      !(std::isfinite(problem.applicant_ratio) && problem.applicant_ratio >= 0)) {
    error = "the applicant ratio is not a finite number, at least 0";
    return false;
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j)
      if (problem.correlations[un * i + j] != problem.correlations[un * j + i]) {
        error = "the correlation matrix is not symmetric (row " + std::to_string(i + 1) +
                ", column " + std::to_string(j + 1) + " differs from row " + std::to_string(j + 1) +
                ", column " + std::to_string(i + 1) + "): a study file holds one symmetric matrix";
        return false;
      }
  study = StudyFile{};
  study.problem = as_group_problem(problem);
  study.weights = problem.regression_weights ? WeightSource::regression : WeightSource::given;
  if (problem.regression_weights) study.problem.predictor_weights.clear();
  return true;
}

}  // namespace fourfifths
