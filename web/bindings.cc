// The page's entry points into the library (embind): a problem given as the
// text of a deck or of a study file, analysed as fourfifths-study analyses
// it, and answered with the same renderings (its JSON, CSV and SVG chart);
// its validity-adverse-impact front; and the problem written as a deck or a
// study file. Each answer is one JSON object for the page's script:
//   {"ok": true, "kind": "study" | "groups" | "staged" | "front", "json": ..., "csv": ..., "svg": ...}
//   {"ok": false, "messages": [...], "fault": {"line", "column", "last_column", "key"}}
// where json, csv and svg are the renderings' texts, and a fault says where
// in the text the first message points (0 or "" when it does not).
#include <emscripten/bind.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "charts/charts.h"
#include "charts/group_chart.h"
#include "charts/stage_chart.h"
#include "fourfifths/deck.h"
#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"
#include "fourfifths/studyfile.h"
#include "formats/formats.h"
#include "formats/groups.h"
#include "formats/stages.h"
#include "ratios.h"

namespace fourfifths {
namespace {

using nlohmann::json;

// Where in the text a problem's first message points.
struct Fault {
  int line = 0;
  int column = 0;
  int last_column = 0;
  std::string key;
};

std::string refused(const std::vector<std::string>& messages, const Fault& fault = {}) {
  return json{{"ok", false},
              {"messages", messages},
              {"fault",
               {{"line", fault.line},
                {"column", fault.column},
                {"last_column", fault.last_column},
                {"key", fault.key}}}}
      .dump();
}

std::string refused(const std::string& message, const Fault& fault = {}) {
  return refused(std::vector<std::string>{message}, fault);
}

std::string answer(const char* kind, const std::string& rendered_json, const std::string& csv,
                   const std::string& svg) {
  return json{{"ok", true}, {"kind", kind}, {"json", rendered_json}, {"csv", csv}, {"svg", svg}}
      .dump();
}

// A problem read from a deck or a study file, or why it cannot be.
struct Reading {
  bool study_file = false;
  Problem problem;   // a deck's
  StudyFile study;   // a study file's
  std::vector<std::string> messages;
  Fault fault;

  bool ok() const { return messages.empty(); }
};

Reading read(const std::string& text, const std::string& name) {
  Reading reading;
  reading.study_file = is_study_file(text);
  if (reading.study_file) {
    const StudyFileReading file = read_study_file(text, name);
    if (file.error) {
      reading.messages = {file.error->describe()};
      reading.fault = {file.error->line, file.error->column, file.error->column, file.error->key};
    } else {
      reading.study = file.study;
    }
    return reading;
  }
  const DeckReading deck = read_deck(text);
  if (deck.error) {
    reading.messages = {name + ": " + deck.error->message};
    reading.fault = {deck.error->line, deck.error->first_column, deck.error->last_column, ""};
  } else if (!deck.messages.empty()) {
    reading.messages = deck.messages;
    reading.fault = {1, 0, 0, ""};  // the count record
  } else {
    reading.problem = deck.problem;
  }
  return reading;
}

// A study file with stages: its stages' pass rules set the selection ratio.
std::string staged(const StudyFile& file, const std::string& name, const std::vector<double>& extra) {
  if (!extra.empty() || !file.sweep.empty() || !file.problem.requested_ratios.empty())
    return refused(name + ": a staged study has no rows of selection ratios (its stages' pass rules "
                          "set the ratio): leave out the further ratios, selection.ratios and "
                          "selection.sweep");
  const StagedStudy study = analyse(staged_problem(file));
  if (study.rejected()) return refused(study.messages);
  return answer("staged", staged_json(study), staged_csv(study), stage_chart(study));
}

std::string group_study(const StudyFile& file, const std::string& name, std::vector<double> extra) {
  if (file.weights == WeightSource::front)
    return refused(name + ": the predictor weights are left to the front (weights.predictors = "
                          "\"front\"): see the front, or give weights",
                   {0, 0, 0, "weights.predictors"});
  if (!file.stages.empty()) return staged(file, name, extra);
  std::vector<double> sweep;
  std::string error;
  if (!file.sweep.empty() && !parse_ratios(file.sweep, sweep, error))
    return refused(name +
                       (file.sweep_line > 0 ? ":" + std::to_string(file.sweep_line) + ":" +
                                                  std::to_string(file.sweep_column)
                                            : std::string()) +
                       ": key 'selection.sweep': " + error,
                   {file.sweep_line, file.sweep_column, file.sweep_column, "selection.sweep"});
  sweep.insert(sweep.end(), extra.begin(), extra.end());
  const GroupStudy study = analyse(file.problem, {.sweep = sweep});
  if (study.rejected()) return refused(study.messages);
  // The groups share one matrix: the check of any pair of them is the check of all.
  const std::vector<std::string> faults = check_correlations(as_problem(file.problem));
  if (!faults.empty()) return refused(faults, {0, 0, 0, "correlations"});
  return answer("groups", group_json(study), group_csv(study), group_chart(study));
}

// The study of a deck or a study file, with further selection ratios in the
// syntax of fourfifths-study --ratios (empty: none).
std::string study(const std::string& text, const std::string& name, const std::string& ratios) {
  std::vector<double> extra;
  std::string error;
  if (!ratios.empty() && !parse_ratios(ratios, extra, error))
    return refused("further ratios: " + error, {0, 0, 0, "ratios"});
  const Reading reading = read(text, name);
  if (!reading.ok()) return refused(reading.messages, reading.fault);
  if (reading.study_file) return group_study(reading.study, name, extra);
  const Study study = analyse(reading.problem, {.sweep = extra});
  if (study.rejected()) return refused(study.messages);
  // A matrix that no variables can have is refused.
  const std::vector<std::string> faults = check_correlations(reading.problem);
  if (!faults.empty()) return refused(faults, {0, 0, 0, "correlations"});
  const std::vector<std::string> rows = check_rows(study);
  if (!rows.empty()) return refused(rows);
  return answer("study", study_json(study), study_csv(study), study_chart(study));
}

// The front of a deck or a study file of two groups at the ratio sr (NaN: the
// problem's first requested ratio, else 0.10), with the given number of
// points, weights non-negative unless free.
std::string front(const std::string& text, const std::string& name, double sr, int points,
                  bool free) {
  const Reading reading = read(text, name);
  if (!reading.ok()) return refused(reading.messages, reading.fault);
  Problem problem = reading.problem;
  std::vector<std::string> names;  // a study file's predictors, for the chart's legend
  if (reading.study_file) {
    names = reading.study.problem.predictor_names;
    if (reading.study.problem.groups.size() != 2)
      return refused(name + ": " + std::to_string(reading.study.problem.groups.size()) +
                         " groups: the front takes a deck or a study file of two groups",
                     {0, 0, 0, "groups"});
    problem = as_problem(reading.study.problem);
  }
  FrontOptions options;
  options.sr = std::isnan(sr) ? (problem.requested_ratios.empty() ? 0.10 : problem.requested_ratios[0])
                              : sr;
  options.points = points;
  options.nonnegative = !free;
  const Front result = pareto_front(problem, options);
  if (!result.messages.empty()) return refused(result.messages);
  return answer("front", front_json(result), front_csv(result), front_chart(result, names));
}

// The problem as a deck ("deck"), or as a study file in TOML ("toml") or JSON
// ("json"): {"ok": true, "text": ...} or the refusal.
std::string convert(const std::string& text, const std::string& name, const std::string& to) {
  const Reading reading = read(text, name);
  if (!reading.ok()) return refused(reading.messages, reading.fault);
  std::string out, error;
  if (to == "deck") {
    Problem problem = reading.problem;
    if (reading.study_file) {
      const StudyFile& file = reading.study;
      if (file.problem.groups.size() != 2 || !file.stages.empty() ||
          file.weights == WeightSource::front)
        return refused(name + ": a deck holds two groups, one stage and the predictor weights (or "
                              "regression weights): this study file has " +
                       std::to_string(file.problem.groups.size()) + " groups" +
                       (file.stages.empty() ? "" : ", stages") +
                       (file.weights == WeightSource::front ? ", weights left to the front" : ""));
      problem = as_problem(file.problem);
    }
    try {
      out = write_deck(problem);
    } catch (const std::invalid_argument& e) {
      return refused(name + ": " + e.what());
    }
  } else {
    StudyFile file = reading.study;
    if (!reading.study_file && !study_file_of(reading.problem, file, error))
      return refused(name + ": " + error);
    out = to == "json" ? write_study_json(file)
                       : write_study_toml(file, "fourfifths study file, written from " + name);
  }
  return json{{"ok", true}, {"text", out}}.dump();
}

}  // namespace
}  // namespace fourfifths

EMSCRIPTEN_BINDINGS(fourfifths) {
  emscripten::function("study", &fourfifths::study);
  emscripten::function("front", &fourfifths::front);
  emscripten::function("convert", &fourfifths::convert);
}
