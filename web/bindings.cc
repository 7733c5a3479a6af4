// The page's entry points into the library (embind): a problem given as the
// text of a deck or of a study file, run through the session that
// fourfifths-study runs, and answered with the same renderings (its JSON, CSV and SVG chart);
// its validity-adverse-impact front; and the problem written as a deck or a
// study file. Each answer is one JSON object for the page's script:
//   {"ok": true, "kind": "study" | "groups" | "staged" | "front" | "group_front", "json": ..., "csv": ..., "svg": ...}
//   {"ok": false, "messages": [...], "fault": {"line", "column", "last_column", "key"}}
// where json, csv and svg are the renderings' texts, and a fault says where
// in the text the first message points (0 or "" when it does not).
#include <emscripten/bind.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "session/ratios.h"
#include "session/session.h"

namespace fourfifths {
namespace {

using nlohmann::json;

// How the page names its controls in the messages that refer to them.
const SessionWords page_words{.further_ratios = "the further ratios", .front = "see the front"};

// What the page shows of every answer: the JSON, the CSV and the chart.
constexpr Renderings page_renderings{.json = true, .csv = true, .chart = true};

std::string refused(const std::vector<std::string>& messages, const InputFault& fault = {}) {
  return json{{"ok", false},
              {"messages", messages},
              {"fault",
               {{"line", fault.line},
                {"column", fault.column},
                {"last_column", fault.last_column},
                {"key", fault.key}}}}
      .dump();
}

std::string answer(const SessionResult& result) {
  if (!result.ok()) return refused(result.messages, result.fault);
  return json{{"ok", true},
              {"kind", result.kind},
              {"json", result.json},
              {"csv", result.csv},
              {"svg", result.chart}}
      .dump();
}

// The study of a deck or a study file, with further selection ratios in the
// syntax of fourfifths-study --ratios (empty: none).
std::string study(const std::string& text, const std::string& name, const std::string& ratios) {
  std::vector<double> extra;
  std::string error;
  if (!ratios.empty() && !parse_ratios(ratios, extra, error))
    return refused({"further ratios: " + error}, {0, 0, 0, "ratios"});
  return answer(run_study(read_input(text, name),
                          {.further_ratios = extra, .renderings = page_renderings, .words = page_words}));
}

// The front of a deck or a study file at the ratio sr (NaN: the problem's
// first requested ratio, else 0.10), with the given number of points,
// weights non-negative unless free; of a study file of three or more groups,
// validity against the smallest AI, with the most valid weighting that gives
// every group at least the target (NaN: 0.8, and for two groups the front
// marks four fifths itself). A sample size above 0: the problem's
// correlations and effect sizes come from a validation sample of that many,
// and each point gains its validity and AI expected on new applicants.
std::string front(const std::string& text, const std::string& name, double sr, int points, bool free,
                  double target, int sample_size) {
  const SessionInput input = read_input(text, name);
  FrontRequest request;
  request.sr_given = !std::isnan(sr);
  if (request.sr_given) request.options.sr = sr;
  request.options.points = points;
  request.options.nonnegative = !free;
  request.options.sample_size = sample_size;
  request.target_given =
      !std::isnan(target) && input.ok() && input.study_file && input.study.problem.groups.size() > 2;
  if (request.target_given) request.target = target;
  request.legend_names = true;
  request.renderings = page_renderings;
  return answer(run_front(input, request));
}

// The problem as a deck ("deck"), or as a study file in TOML ("toml") or JSON
// ("json"): {"ok": true, "text": ...} or the refusal.
std::string convert_text(const std::string& text, const std::string& name, const std::string& to) {
  const SessionResult result =
      fourfifths::convert(read_input(text, name),
                          to == "deck" ? Conversion::deck : to == "json" ? Conversion::json : Conversion::toml,
                          "fourfifths study file, written from " + name);
  if (!result.ok()) return refused(result.messages, result.fault);
  return json{{"ok", true}, {"text", result.text}}.dump();
}

}  // namespace
}  // namespace fourfifths

EMSCRIPTEN_BINDINGS(fourfifths) {
  emscripten::function("study", &fourfifths::study);
  emscripten::function("front", &fourfifths::front);
  emscripten::function("convert", &fourfifths::convert_text);
}
