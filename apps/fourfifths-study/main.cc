// fourfifths-study: the analysis of one problem deck as the classic report,
// CSV or JSON, with finer sweeps of selection ratios and a chart, or of a
// study file of several groups; as the subcommand convert, a deck as a study
// file; and, as the subcommand pareto, the validity-adverse-impact front of
// the deck's predictors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "fourfifths/deck.h"
#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"
#include "fourfifths/report.h"
#include "fourfifths/studyfile.h"
#include "charts/charts.h"
#include "charts/group_chart.h"
#include "formats/formats.h"
#include "formats/groups.h"
#include "ratios.h"

namespace {

using namespace fourfifths;

constexpr const char* program = "fourfifths-study";

// Exit statuses: a deck that is rejected or cannot be read, and a command
// line that cannot be used.
constexpr int rejected = 1;
constexpr int usage = 2;

int fail(int status, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program, message.c_str());
  return status;
}

// The whole deck from the file named, or from standard input for "-".
bool read_text(const std::string& path, std::string& text, std::string& error) {
  std::FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) text.append(block, n);
  const bool ok = !std::ferror(f);
  if (!ok) error = "cannot read '" + path + "': " + std::strerror(errno);
  if (f != stdin) std::fclose(f);
  return ok;
}

// Writes text to the file named, or to standard output for "-".
bool write_text(const std::string& path, const std::string& text, std::string& error) {
  std::FILE* f = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::fwrite(text.data(), 1, text.size(), f);
  const bool ok = std::fflush(f) == 0 && !std::ferror(f);
  if (!ok) error = "cannot write '" + (path == "-" ? std::string("standard output") : path) + "': " +
                   std::strerror(errno);
  if (f != stdout && std::fclose(f) != 0 && ok) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  return ok;
}

// The messages of a problem that cannot be analysed, on standard error.
int reject(const std::vector<std::string>& messages) {
  for (const std::string& m : messages) std::fprintf(stderr, "%s\n", m.c_str());
  return rejected;
}

// The deck as a problem; false, with the messages on standard error, when it
// cannot be read or its counts are rejected.
bool read_problem(const std::string& path, const std::string& text, Problem& problem) {
  const DeckReading deck = read_deck(text);
  const std::string name = path == "-" ? "standard input" : path;
  if (deck.error) {
    fail(rejected, name + ": " + deck.error->message);
    return false;
  }
  if (!deck.messages.empty()) {
    reject(deck.messages);
    return false;
  }
  problem = deck.problem;
  return true;
}

// A study file; false, with its fault on standard error, when it cannot be read.
bool read_study(const std::string& path, const std::string& text, StudyFile& study) {
  const StudyFileReading reading = read_study_file(text, path == "-" ? "standard input" : path);
  if (reading.error) {
    fail(rejected, reading.error->describe());
    return false;
  }
  study = reading.study;
  return true;
}

// The input of a command: a study file (by its first character, see
// is_study_file) or a deck. A study file of two groups serves where a deck
// does; more groups are the group study's alone.
bool read_input(const std::string& path, std::string& text, Problem& problem) {
  std::string error;
  if (!read_text(path, text, error)) {
    fail(rejected, error);
    return false;
  }
  if (!is_study_file(text)) return read_problem(path, text, problem);
  StudyFile study;
  if (!read_study(path, text, study)) return false;
  if (study.problem.groups.size() != 2) {
    fail(rejected, (path == "-" ? std::string("standard input") : path) + ": " +
                       std::to_string(study.problem.groups.size()) +
                       " groups: the front takes a deck or a study file of two groups");
    return false;
  }
  problem = as_problem(study.problem);
  return true;
}

// The chosen rendering of a study or a front on standard output, and its
// chart when one is asked for.
template <class Result>
int deliver(const Result& result, const std::string& format, const std::string& chart_path,
            std::string (*csv)(const Result&), std::string (*json)(const Result&),
            std::string (*text)(const Result&), std::string (*chart)(const Result&)) {
  const std::string out = format == "csv" ? csv(result) : format == "json" ? json(result) : text(result);
  std::string error;
  if (!chart_path.empty() && !write_text(chart_path, chart(result), error))
    return fail(rejected, error);
  if (!write_text("-", out, error)) return fail(rejected, error);
  return 0;
}

// A study file of any number of groups: its sweep, then the --ratios ones.
int run_group_study(const std::string& path, const std::string& text, const std::string& format,
                    const std::vector<double>& extra, const std::string& chart_path) {
  StudyFile file;
  if (!read_study(path, text, file)) return rejected;
  const std::string name = path == "-" ? "standard input" : path;
  if (file.weights == WeightSource::front)
    return fail(rejected, name + ": the predictor weights are left to the front (weights.predictors = "
                                 "\"front\"): run 'fourfifths-study pareto', or give weights");
  std::vector<double> sweep;
  std::string error;
  if (!file.sweep.empty() && !parse_ratios(file.sweep, sweep, error))
    return fail(rejected, name + ":" + std::to_string(file.sweep_line) + ":" +
                              std::to_string(file.sweep_column) + ": key 'selection.sweep': " + error);
  sweep.insert(sweep.end(), extra.begin(), extra.end());
  const GroupStudy study = analyse(file.problem, {.sweep = sweep});
  if (study.rejected()) return reject(study.messages);
  return deliver(study, format, chart_path, group_csv, group_json, group_text, group_chart);
}

int run_study(const std::string& deck_path, const std::string& format,
              const std::vector<double>& sweep, const std::string& chart_path) {
  std::string text;
  std::string error;
  if (!read_text(deck_path, text, error)) return fail(rejected, error);
  if (is_study_file(text)) return run_group_study(deck_path, text, format, sweep, chart_path);
  Problem problem;
  if (!read_problem(deck_path, text, problem)) return rejected;
  const Study study = analyse(problem, {.sweep = sweep});
  if (study.rejected()) return reject(study.messages);
  return deliver(study, format, chart_path, study_csv, study_json, report, study_chart);
}

// A deck as a study file, or a study file in the other form.
int run_convert(const std::string& path, const std::string& format) {
  std::string text;
  std::string error;
  if (!read_text(path, text, error)) return fail(rejected, error);
  const std::string name = path == "-" ? "standard input" : path;
  StudyFile study;
  if (is_study_file(text)) {
    if (!read_study(path, text, study)) return rejected;
  } else {
    Problem problem;
    if (!read_problem(path, text, problem)) return rejected;
    if (!study_file_of(problem, study, error)) return fail(rejected, name + ": " + error);
  }
  const std::string out = format == "json" ? write_study_json(study)
                                           : write_study_toml(study, "fourfifths study file, converted from " + name);
  if (!write_text("-", out, error)) return fail(rejected, error);
  return 0;
}

int run_pareto(const std::string& deck_path, const std::string& format, FrontOptions options,
               bool sr_given, const std::string& chart_path) {
  Problem problem;
  std::string text;
  if (!read_input(deck_path, text, problem)) return rejected;
  if (!sr_given) options.sr = problem.requested_ratios.empty() ? 0.10 : problem.requested_ratios[0];
  const Front front = pareto_front(problem, options);
  if (!front.messages.empty()) return reject(front.messages);
  return deliver<Front>(front, format, chart_path, front_csv, front_json, front_text,
                        [](const Front& f) { return front_chart(f); });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The analysis of one selection problem deck (the classic fourfifths deck format)\n"
               "as the classic report, CSV or JSON, with finer sweeps of selection ratios\n"
               "and a chart; or of a study file of several groups in one pool.",
               program};
  app.set_version_flag("--version", std::string(program) + " " FOURFIFTHS_VERSION);
  app.footer(
      "Examples:\n"
      "  fourfifths-study --format csv --ratios 0.01:0.99:0.01 --chart ai.svg examples/worked.deck\n"
      "  fourfifths-study pareto --sr 0.10 --format csv examples/pareto.deck\n"
      "  fourfifths-study --format csv --chart groups.svg examples/groups.toml\n"
      "  fourfifths-study convert examples/worked.deck > worked.toml\n"
      "Exit status: 0 success, 1 deck or study file rejected or unreadable, 2 usage error.");

  std::string deck_path = "-";
  std::string format = "text";
  std::string ratios_text;
  std::string chart_path;
  app.add_option("DECK", deck_path, "problem deck or study file (told apart by the first character); '-' or none: standard input");
  app.add_option("--format", format,
                 "text (the classic report), csv (one line per row) or json (everything)")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  app.add_option("--ratios", ratios_text,
                 "further selection ratios (rows of kind sweep): numbers and ranges "
                 "FROM:TO:STEP, comma-separated");
  app.add_option("--chart", chart_path, "also write an SVG chart to this file");

  CLI::App* pareto = app.add_subcommand(
      "pareto",
      "The validity-adverse-impact front of the deck's predictors: the weightings for which no "
      "other is both more valid and of less adverse impact at one selection ratio. The deck's own "
      "predictor weights are not used.");
  std::string pareto_deck = "-";
  std::string pareto_format = "text";
  std::string pareto_chart;
  FrontOptions front;
  bool free_weights = false;
  pareto->add_option("DECK", pareto_deck, "problem deck, or study file of two groups; '-' or none: standard input");
  pareto->add_option("--points", front.points, "points evenly spaced in AI between the ends")
      ->check(CLI::Range(2, 10000))
      ->capture_default_str();
  CLI::Option* sr_option =
      pareto->add_option("--sr", front.sr,
                         "selection ratio of the deck's basis (default: the deck's first "
                         "requested ratio, else 0.10)")
          ->check(CLI::Validator(
              [](const std::string& text) {
                double ratio = 0;
                return parse_ratio(text, ratio) ? std::string()
                                                 : "a selection ratio strictly between 0 and 1";
              },
              "RATIO"));
  pareto->add_flag("--free-weights", free_weights, "allow negative weights");
  pareto->add_option("--format", pareto_format,
                     "text (a table), csv (one line per point) or json")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  pareto->add_option("--chart", pareto_chart,
                     "also write an SVG chart: validity, and the weights, against AI");

  CLI::App* convert = app.add_subcommand(
      "convert",
      "Write a deck as a study file (TOML, or JSON), or a study file in the other form, on standard "
      "output.");
  std::string convert_input = "-";
  std::string convert_format = "toml";
  convert->add_option("INPUT", convert_input, "deck or study file; '-' or none: standard input");
  convert->add_option("--format", convert_format, "toml (for people) or json (for programs)")
      ->check(CLI::IsMember({"toml", "json"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : usage;
  }

  if (convert->parsed()) return run_convert(convert_input, convert_format);
  if (pareto->parsed()) {
    front.nonnegative = !free_weights;
    return run_pareto(pareto_deck, pareto_format, front, sr_option->count() > 0, pareto_chart);
  }
  std::vector<double> sweep;
  std::string error;
  if (!ratios_text.empty() && !parse_ratios(ratios_text, sweep, error))
    return fail(usage, "--ratios: " + error);
  return run_study(deck_path, format, sweep, chart_path);
}
