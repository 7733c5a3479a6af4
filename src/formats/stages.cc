// Text, CSV and JSON of a staged study.
#include "formats/stages.h"
#include "formats/formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace fourfifths {
namespace {

using nlohmann::ordered_json;

ordered_json number(double value) {
  return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

// The shortest form that reads back to the same double; empty where none.
std::string csv_number(double value) {
  if (!std::isfinite(value)) return "";
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

// A CSV field: quoted when it holds a comma, a quotation mark or a line break.
std::string csv_text(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::vector<double> shares(const GroupProblem& p) {
  double total = 0;
  for (const Group& g : p.groups) total += g.share;
  std::vector<double> out;
  for (const Group& g : p.groups) out.push_back(g.share / total);
  return out;
}

std::string rule_words(const Stage& stage) {
  switch (stage.rule) {
    case PassRule::entrants:
      return "passes " + fixed_column(stage.value, 0) + " of its entrants";
    case PassRule::cumulative:
      return "keeps " + fixed_column(stage.value, 0) + " of all applicants";
    case PassRule::cutoff:
      return "cut-off given";
  }
  return "";
}

std::string cutoff_words(double cutoff) {
  return std::isinf(cutoff) ? "none (passes everyone)" : fixed_column(cutoff, 0);
}

// A table of the groups after each stage of a selection.
void stage_tables(std::string& out, const StagedProblem& p, const Selection& sel,
                  const std::vector<Stage>& stages) {
  std::size_t width = 8;
  for (const Group& g : p.groups.groups) width = std::max(width, g.name.size() + 2);
  for (std::size_t s = 0; s < sel.stages.size(); ++s) {
    const StageValues& v = sel.stages[s];
    out += "\nStage " + std::to_string(s + 1) + " '" + v.name + "' (" + rule_words(stages[s]) +
           "): cut-off " + cutoff_words(v.cutoff) + "; " + fixed_column(v.pass, 0) +
           " of its entrants pass, " + fixed_column(v.cumulative, 0) + " of all applicants still in\n";
    out += padded("Group", width) +
           "   pass still in       AI  AI high   cum AI  cum AI high\n";
    for (std::size_t g = 0; g < v.groups.size(); ++g) {
      const StageGroup& x = v.groups[g];
      out += padded(p.groups.groups[g].name, width) + fixed_column(x.pass, 7) + fixed_column(x.cumulative, 9) +
             fixed_column(x.ai, 9) + fixed_column(x.ai_highest, 9) + fixed_column(x.ai_cumulative, 9) +
             fixed_column(x.ai_cumulative_highest, 13) +
             (x.ai_cumulative_highest < 0.8 ? "  cumulative AI below four-fifths" : "") + "\n";
    }
  }
}

ordered_json selection_json(const StagedProblem& p, const Selection& sel) {
  ordered_json j;
  ordered_json stages = ordered_json::array();
  for (const StageValues& v : sel.stages) {
    ordered_json s;
    s["name"] = v.name;
    s["cutoff"] = number(v.cutoff);
    s["pass"] = number(v.pass);
    s["still_in"] = number(v.cumulative);
    ordered_json groups = ordered_json::array();
    for (std::size_t g = 0; g < v.groups.size(); ++g) {
      const StageGroup& x = v.groups[g];
      groups.push_back({{"group", p.groups.groups[g].name},
                        {"pass", number(x.pass)},
                        {"still_in", number(x.cumulative)},
                        {"ai", number(x.ai)},
                        {"ai_highest", number(x.ai_highest)},
                        {"ai_cumulative", number(x.ai_cumulative)},
                        {"ai_cumulative_highest", number(x.ai_cumulative_highest)}});
    }
    s["groups"] = groups;
    stages.push_back(s);
  }
  j["stages"] = stages;
  ordered_json quality = ordered_json::object();
  for (std::size_t g = 0; g < sel.quality.size(); ++g)
    quality[p.groups.groups[g].name] = number(sel.quality[g]);
  j["quality"] = quality;
  j["all_quality"] = number(sel.quality_all);
  return j;
}

}  // namespace

std::string staged_text(const StagedStudy& study) {
  const StagedProblem& p = study.problem;
  const GroupProblem& gp = p.groups;
  std::string out = "Staged selection of " + std::to_string(gp.groups.size()) + " groups through " +
                    std::to_string(p.stages.size()) + " stage" + (p.stages.size() > 1 ? "s" : "") +
                    ", overall selection ratio " +
                    fixed_column(study.staged.stages.back().cumulative, 0) + "\n";
  out += "AI: against the reference group (" + gp.groups[0].name +
         ") and the highest group (high), at the stage and cumulatively (cum)\n";
  stage_tables(out, p, study.staged, p.stages);

  const bool criterion = gp.quality == Quality::criterion;
  std::size_t width = 8;
  for (const Group& g : gp.groups) width = std::max(width, g.name.size() + 2);
  out += std::string("\nMean quality of the finally selected (") +
         (criterion ? "criterion composite" : "last stage's composite") +
         ", reference-group SDs)\n";
  out += padded("Group", width) + "  staged  single stage\n";
  for (std::size_t g = 0; g < gp.groups.size(); ++g)
    out += padded(gp.groups[g].name, width) + fixed_column(study.staged.quality[g], 8) +
           fixed_column(study.single.quality[g], 14) + "\n";
  out += padded("all", width) + fixed_column(study.staged.quality_all, 8) +
         fixed_column(study.single.quality_all, 14) + "\n";

  out += "\nSingle stage on the composite of '" + p.stages.back().name +
         "' at the same overall selection ratio:\n";
  Stage single = p.stages.back();
  single.rule = PassRule::cumulative;
  single.value = study.single.stages[0].cumulative;
  stage_tables(out, p, study.single, {single});
  return out;
}

std::string staged_csv(const StagedStudy& study) {
  const StagedProblem& p = study.problem;
  const std::vector<double> share = shares(p.groups);
  std::string out =
      "selection,stage,name,rule,value,cutoff,group,reference,share,pass,still_in,ai,ai_highest,"
      "ai_cumulative,ai_cumulative_highest,quality,all_pass,all_still_in,all_quality\n";
  auto lines = [&](const char* kind, const Selection& sel, const std::vector<Stage>& stages) {
    for (std::size_t s = 0; s < sel.stages.size(); ++s) {
      const StageValues& v = sel.stages[s];
      const bool last = s + 1 == sel.stages.size();
      for (std::size_t g = 0; g < v.groups.size(); ++g) {
        const StageGroup& x = v.groups[g];
        out += std::string(kind) + "," + std::to_string(s + 1) + "," + csv_text(v.name) + "," +
               name_of(stages[s].rule) + "," + csv_number(stages[s].value) + "," +
               csv_number(v.cutoff) + "," + csv_text(p.groups.groups[g].name) + "," +
               (g == 0 ? "1" : "0") + "," + csv_number(share[g]) + "," + csv_number(x.pass) + "," +
               csv_number(x.cumulative) + "," + csv_number(x.ai) + "," + csv_number(x.ai_highest) +
               "," + csv_number(x.ai_cumulative) + "," + csv_number(x.ai_cumulative_highest) + "," +
               (last ? csv_number(sel.quality[g]) : "") + "," + csv_number(v.pass) + "," +
               csv_number(v.cumulative) + "," + (last ? csv_number(sel.quality_all) : "") + "\n";
      }
    }
  };
  lines("staged", study.staged, p.stages);
  Stage single = p.stages.back();
  single.rule = PassRule::cumulative;
  single.value = study.single.stages[0].cumulative;
  lines("single", study.single, {single});
  return out;
}

std::string staged_json(const StagedStudy& study) {
  const StagedProblem& p = study.problem;
  const GroupProblem& gp = p.groups;
  ordered_json problem;
  const std::vector<double> share = shares(gp);
  ordered_json groups = ordered_json::array();
  for (std::size_t g = 0; g < gp.groups.size(); ++g)
    groups.push_back({{"name", gp.groups[g].name}, {"share", share[g]}});
  problem["groups"] = groups;
  problem["quality"] = name_of(gp.quality);
  ordered_json stages = ordered_json::array();
  for (const Stage& stage : p.stages) {
    ordered_json weights = ordered_json::object();
    for (int i = 0; i < gp.predictors; ++i)
      weights[predictor_name(gp, i)] = stage.weights[static_cast<std::size_t>(i)];
    stages.push_back({{"name", stage.name},
                      {"weights", weights},
                      {"rule", name_of(stage.rule)},
                      {"value", stage.value}});
  }
  problem["stages"] = stages;
  problem["minimum"] = p.minimum;
  ordered_json j;
  j["problem"] = problem;
  j["staged"] = selection_json(p, study.staged);
  j["single"] = selection_json(p, study.single);
  return j.dump(2) + "\n";
}

}  // namespace fourfifths
