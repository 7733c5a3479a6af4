// One problem from its input to its renderings (see fourfifths/session.h).
#include "session/session.h"

#include <stdexcept>
#include <utility>

#include "charts/charts.h"
#include "charts/group_chart.h"
#include "charts/group_front_chart.h"
#include "charts/stage_chart.h"
#include "formats/formats.h"
#include "formats/groupfront.h"
#include "formats/groups.h"
#include "formats/stages.h"
#include "fourfifths/groupfront.h"
#include "fourfifths/groups.h"
#include "ratios.h"

namespace fourfifths {
namespace {

SessionResult refused(Refusal why, std::vector<std::string> messages, InputFault fault = {}) {
  SessionResult result;
  result.refusal = why;
  result.messages = std::move(messages);
  result.fault = std::move(fault);
  return result;
}

SessionResult refused(Refusal why, const std::string& message, InputFault fault = {}) {
  return refused(why, std::vector<std::string>{message}, std::move(fault));
}

// The renderings asked for of a result, and the result itself for the text
// (rendered by session_text(), apart, so that a front end that shows no text
// carries none of its code).
template <class Result>
SessionResult rendered(const char* kind, Result result, const Renderings& asked,
                       std::string (*csv)(const Result&), std::string (*json)(const Result&),
                       std::string (*chart)(const Result&)) {
  SessionResult out;
  out.kind = kind;
  if (asked.json) out.json = json(result);
  if (asked.csv) out.csv = csv(result);
  if (asked.chart && chart != nullptr) out.chart = chart(result);
  out.analysis = std::move(result);
  return out;
}

// A study file with stages: its stages' pass rules set the selection ratio,
// so it has no rows of ratios.
SessionResult staged_study(const StudyFile& file, const std::string& name, const StudyRequest& request) {
  if (!request.further_ratios.empty() || !file.sweep.empty() || !file.problem.requested_ratios.empty())
    return refused(Refusal::input,
                   name + ": a staged study has no rows of selection ratios (its stages' pass rules set "
                          "the ratio): leave out " + request.words.further_ratios +
                       ", selection.ratios and selection.sweep");
  const StagedStudy study = analyse(staged_problem(file));
  if (study.rejected()) return refused(Refusal::analysis, study.messages);
  return rendered<StagedStudy>("staged", std::move(study), request.renderings, staged_csv, staged_json, stage_chart);
}

// A study file of any number of groups: its sweep, then the further ratios.
SessionResult group_study(const StudyFile& file, const std::string& name, const StudyRequest& request) {
  if (file.weights == WeightSource::front)
    return refused(Refusal::input,
                   name + ": the predictor weights are left to the front (weights.predictors = "
                          "\"front\"): " + request.words.front + ", or give weights",
                   {0, 0, 0, "weights.predictors"});
  if (!file.stages.empty()) return staged_study(file, name, request);
  std::vector<double> sweep;
  std::string error;
  if (!file.sweep.empty() && !parse_ratios(file.sweep, sweep, error))
    return refused(Refusal::input,
                   name + ":" + std::to_string(file.sweep_line) + ":" + std::to_string(file.sweep_column) +
                       ": key 'selection.sweep': " + error,
                   {file.sweep_line, file.sweep_column, file.sweep_column, "selection.sweep"});
  sweep.insert(sweep.end(), request.further_ratios.begin(), request.further_ratios.end());
  const GroupStudy study = analyse(file.problem, {.sweep = sweep});
  if (study.rejected()) return refused(Refusal::analysis, study.messages);
  // The groups share one matrix: the check of any pair of them is the check of all.
  const std::vector<std::string> faults = check_correlations(as_problem(file.problem));
  if (!faults.empty()) return refused(Refusal::analysis, faults, {0, 0, 0, "correlations"});
  return rendered<GroupStudy>("groups", std::move(study), request.renderings, group_csv, group_json, group_chart);
}

// The front (or surface) of a study file of three or more groups.
SessionResult group_front(const StudyFile& file, const std::string& name, const FrontRequest& request) {
  const GroupProblem& problem = file.problem;
  if (request.options.sample_size > 0)
    return refused(Refusal::usage,
                   "--sample-size: the front of several groups is of the population; a front fitted "
                   "in a validation sample is drawn for two groups",
                   {0, 0, 0, "sample_size"});
  GroupFrontOptions options{.sr = request.options.sr,
                            .points = request.options.points,
                            .target = request.target,
                            .nonnegative = request.options.nonnegative};
  if (!request.sr_given) options.sr = problem.requested_ratios.empty() ? 0.10 : problem.requested_ratios[0];
  if (request.surface) {
    if (problem.groups.size() != 3)
      return refused(Refusal::input, name + ": " + std::to_string(problem.groups.size() - 1) +
                                         " further groups: the surface takes exactly two",
                     {0, 0, 0, "groups"});
    if (request.renderings.chart)
      return refused(Refusal::usage, "--chart: the surface has no chart (its CSV and JSON do)");
    if (request.target_given)
      return refused(Refusal::usage, "--target: the surface's targets are its grid (--points per group)");
    if (!request.points_given) options.points = 11;
    if (options.points > max_surface_points)
      return refused(Refusal::usage, "--points: the surface takes at most " +
                                         std::to_string(max_surface_points) + " points per group");
    const GroupSurface surface = pareto_surface(problem, options);
    if (!surface.messages.empty()) return refused(Refusal::analysis, surface.messages);
    return rendered<GroupSurface>("surface", surface, request.renderings, surface_csv, surface_json, nullptr);
  }
  const GroupFront front = pareto_front(problem, options);
  if (!front.messages.empty()) return refused(Refusal::analysis, front.messages);
  return rendered<GroupFront>("group_front", front, request.renderings, group_front_csv, group_front_json,
                              group_front_chart);
}

}  // namespace

SessionInput deck_input(const DeckReading& deck, const std::string& name) {
  SessionInput input;
  input.name = name;
  if (deck.error)
    input.refusal = refused(Refusal::input, name + ": " + deck.error->message,
                            {deck.error->line, deck.error->first_column, deck.error->last_column, ""});
  else if (!deck.messages.empty())
    input.refusal = refused(Refusal::analysis, deck.messages, {1, 0, 0, ""});  // the count record
  else
    input.problem = deck.problem;
  return input;
}

SessionInput study_file_input(const std::string& text, const std::string& name) {
  SessionInput input;
  input.name = name;
  input.study_file = true;
  const StudyFileReading file = read_study_file(text, name);
  if (file.error)
    input.refusal = refused(Refusal::input, file.error->describe(),
                            {file.error->line, file.error->column, file.error->column, file.error->key});
  else
    input.study = file.study;
  return input;
}

SessionInput read_input(const std::string& text, const std::string& name) {
  return is_study_file(text) ? study_file_input(text, name) : deck_input(read_deck(text), name);
}

SessionResult run_study(const SessionInput& input, const StudyRequest& request) {
  if (!input.ok()) return input.refusal;
  if (input.study_file) return group_study(input.study, input.name, request);
  const Study study = analyse(input.problem, {.sweep = request.further_ratios});
  if (study.rejected()) return refused(Refusal::analysis, study.messages);
  // Unlike the classic program, a matrix that no variables can have is refused.
  const std::vector<std::string> faults = check_correlations(input.problem);
  if (!faults.empty()) return refused(Refusal::analysis, faults, {0, 0, 0, "correlations"});
  const std::vector<std::string> rows = check_rows(study);
  if (!rows.empty()) return refused(Refusal::analysis, rows);
  return rendered<Study>("study", std::move(study), request.renderings, study_csv, study_json, study_chart);
}

SessionResult run_front(const SessionInput& input, const FrontRequest& request) {
  if (!input.ok()) return input.refusal;
  Problem problem = input.problem;
  std::vector<std::string> names;  // a study file's predictors, for the chart's legend
  if (input.study_file) {
    if (input.study.problem.groups.size() > 2) return group_front(input.study, input.name, request);
    if (request.legend_names) names = input.study.problem.predictor_names;
    problem = as_problem(input.study.problem);
  }
  if (request.target_given || request.surface)
    return refused(Refusal::usage, std::string(request.surface ? "--surface" : "--target") +
                                       ": for a study file of three or more groups (the front of two "
                                       "groups marks AI 0.8)");
  FrontOptions options = request.options;
  if (!request.sr_given)
    options.sr = problem.requested_ratios.empty() ? 0.10 : problem.requested_ratios[0];
  const Front front = pareto_front(problem, options);
  if (!front.messages.empty()) return refused(Refusal::analysis, front.messages);
  const std::string chart = request.renderings.chart ? front_chart(front, names) : std::string();
  SessionResult out = rendered<Front>("front", front, request.renderings, front_csv, front_json, nullptr);
  out.chart = chart;
  return out;
}

SessionResult convert(const SessionInput& input, Conversion to, const std::string& comment) {
  if (!input.ok()) return input.refusal;
  SessionResult out;
  out.kind = "conversion";
  std::string error;
  if (to == Conversion::deck) {
    Problem problem = input.problem;
    if (input.study_file) {
      const StudyFile& file = input.study;
      if (file.problem.groups.size() != 2 || !file.stages.empty() || file.weights == WeightSource::front)
        return refused(Refusal::input,
                       input.name + ": a deck holds two groups, one stage and the predictor weights (or "
                                    "regression weights): this study file has " +
                           std::to_string(file.problem.groups.size()) + " groups" +
                           (file.stages.empty() ? "" : ", stages") +
                           (file.weights == WeightSource::front ? ", weights left to the front" : ""));
      problem = as_problem(file.problem);
    }
    try {
      out.text = write_deck(problem);
    } catch (const std::invalid_argument& e) {
      return refused(Refusal::input, input.name + ": " + e.what());
    }
    return out;
  }
  StudyFile file = input.study;
  if (!input.study_file && !study_file_of(input.problem, file, error))
    return refused(Refusal::input, input.name + ": " + error);
  out.text = to == Conversion::json ? write_study_json(file) : write_study_toml(file, comment);
  return out;
}

}  // namespace fourfifths
