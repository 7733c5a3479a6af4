// fourfifths-study: the analysis of one problem deck as the classic report,
// CSV or JSON, with finer sweeps of selection ratios and a chart; and, as the
// subcommand pareto, the validity-adverse-impact front of the deck's
// predictors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"
#include "fourfifths/report.h"
#include "charts/charts.h"
#include "formats/formats.h"
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
bool read_problem(const std::string& path, Problem& problem) {
  std::string text;
  std::string error;
  if (!read_text(path, text, error)) {
    fail(rejected, error);
    return false;
  }
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

int run_study(const std::string& deck_path, const std::string& format,
              const std::vector<double>& sweep, const std::string& chart_path) {
  Problem problem;
  if (!read_problem(deck_path, problem)) return rejected;
  const Study study = analyse(problem, {.sweep = sweep});
  if (study.rejected()) return reject(study.messages);
  // Unlike the classic program, a matrix that no variables can have is refused.
  const std::vector<std::string> faults = check_correlations(problem);
  if (!faults.empty()) return reject(faults);
  const std::vector<std::string> rows = check_rows(study);
  if (!rows.empty()) return reject(rows);
  return deliver(study, format, chart_path, study_csv, study_json, report, study_chart);
}

int run_pareto(const std::string& deck_path, const std::string& format, FrontOptions options,
               bool sr_given, const std::string& chart_path) {
  Problem problem;
  if (!read_problem(deck_path, problem)) return rejected;
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
               "and a chart.",
               program};
  app.set_version_flag("--version", std::string(program) + " " FOURFIFTHS_VERSION);
  app.footer(
      "Examples:\n"
      "  fourfifths-study --format csv --ratios 0.01:0.99:0.01 --chart ai.svg examples/worked.deck\n"
      "  fourfifths-study pareto --sr 0.10 --format csv examples/pareto.deck\n"
      "Exit status: 0 success, 1 deck rejected or unreadable, 2 usage error.");

  std::string deck_path = "-";
  std::string format = "text";
  std::string ratios_text;
  std::string chart_path;
  app.add_option("DECK", deck_path, "problem deck; '-' or none: standard input");
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
  pareto->add_option("DECK", pareto_deck, "problem deck; '-' or none: standard input");
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : usage;
  }

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
