// The study fuzzer's checks: every rendering of a deck's study and fronts
// must be whole and readable, whatever the deck.
#include <algorithm>
#include <limits>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "charts/charts.h"
#include "checks.h"
#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"
#include "fourfifths/report.h"
#include "formats/formats.h"
#include "report/report.h"

namespace fourfifths::fuzz {
namespace {

// A selection ratio from one byte: most evenly spread over (0, 1), some tiny
// (down to 1e-278) and some within a few ulps of 1.
double ratio_of(std::uint8_t b) {
  if (b < 240) return (b + 0.5) / 240;
  if (b < 252) return std::pow(10.0, -3.0 - 25.0 * (b - 240));
  return 1 - std::pow(10.0, -4.0 * (b - 251));
}

std::string show(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  return s.str();
}

void fault(Faults& faults, std::string_view what, const std::string& why) {
  faults.push_back(std::string(what) + ": " + why);
}

// The field of a number written in its shortest form: empty for a value that
// does not exist, else the same double.
void check_number_field(const std::string& field, double value, Faults& faults,
                        std::string_view what) {
  if (!std::isfinite(value)) {
    if (!field.empty()) fault(faults, what, "'" + field + "' for a value that does not exist");
    return;
  }
  double read = 0;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), read);
  if (ec != std::errc() || end != field.data() + field.size() || read != value)
    fault(faults, what, "'" + field + "' does not read back as " + show(value));
}

void check_messages(const std::vector<std::string>& messages, Faults& faults,
                    std::string_view what) {
  for (const std::string& m : messages)
    if (m.find_first_not_of(" \n") == std::string::npos) fault(faults, what, "an empty message");
}

// Calls f, which must throw std::invalid_argument.
template <class F>
void expect_invalid_argument(F f, Faults& faults, std::string_view what) {
  try {
    f();
    fault(faults, what, "no std::invalid_argument where one is documented");
  } catch (const std::invalid_argument&) {
  }
}

bool same_values(const std::vector<double>& a, const std::vector<double>& b) {
  return a == b;  // values read from a deck are finite here, and -0 == 0
}

// A deck read cleanly, written back and read again, is the same problem
// (unless some value needed rounding to fit its field).
void check_written_deck(const Problem& p, Faults& faults) {
  for (const auto* list : {&p.predictor_weights, &p.criterion_weights, &p.correlations,
                           &p.predictor_effects, &p.criterion_effects, &p.requested_ratios})
    for (double v : *list)
      if (!std::isfinite(v)) return;  // write_deck refuses values that are not finite
  if (!std::isfinite(p.applicant_ratio)) return;
  int rounded = 0;
  const std::string text = write_deck(p, &rounded);
  const DeckReading again = read_deck(text);
  if (!again.ok()) {
    fault(faults, "write_deck", "the written deck does not read back:\n" + text);
    return;
  }
  if (rounded != 0) return;
  const Problem& q = again.problem;
  const bool same = q.predictors == p.predictors && q.criteria == p.criteria &&
                    q.basis == p.basis && q.applicant_ratio == p.applicant_ratio &&
                    q.regression_weights == p.regression_weights && q.quality == p.quality &&
                    same_values(q.predictor_weights, p.predictor_weights) &&
                    same_values(q.criterion_weights, p.criterion_weights) &&
                    same_values(q.correlations, p.correlations) &&
                    same_values(q.predictor_effects, p.predictor_effects) &&
                    same_values(q.criterion_effects, p.criterion_effects) &&
                    same_values(q.requested_ratios, p.requested_ratios);
  if (!same) fault(faults, "write_deck", "the written deck reads back as another problem:\n" + text);
}

void check_json(const std::string& text, std::size_t items, const char* list, Faults& faults,
                std::string_view what) {
  try {
    const nlohmann::json j = nlohmann::json::parse(text);
    if (!j.contains(list) || !j[list].is_array() || j[list].size() != items)
      fault(faults, what, std::string("not ") + std::to_string(items) + " " + list);
  } catch (const nlohmann::json::exception& e) {
    fault(faults, what, std::string("does not parse: ") + e.what());
  }
}

void check_study_rows(const Study& study, const std::vector<double>& sweep, Faults& faults) {
  std::size_t requested = 0;
  std::vector<double> swept;
  for (const Row& r : study.rows) {
    if (r.kind == RowKind::requested) ++requested;
    if (r.kind == RowKind::sweep) swept.push_back(r.sr);
    if (r.status != RowStatus::ok) continue;
    // A computed row's selection exists: the model gives every one of these.
    for (double v : {r.sr, r.cutoff, r.sra, r.sri, r.ai})
      if (!std::isfinite(v)) {
        fault(faults, "analyse", std::string("a ") + name_of(r.kind) + " row at SR " + show(r.sr) +
                                     " is ok but holds a value that is not finite");
        break;
      }
    if (!(r.sra >= 0 && r.sra <= 1 && r.sri >= 0 && r.sri <= 1))
      fault(faults, "analyse",
            "a group selection ratio outside [0, 1] at SR " + show(r.sr) + ": SRA " +
                show(r.sra) + ", SRI " + show(r.sri));
  }
  if (requested != study.problem.requested_ratios.size())
    fault(faults, "analyse", "not one row per requested ratio");
  if (swept != sweep) fault(faults, "analyse", "the sweep rows are not the sweep asked for");
}

void check_study_csv(const Study& study, Faults& faults) {
  const std::string csv = study_csv(study);
  const auto records = csv_records(csv, faults, "study_csv");
  if (records.size() != study.rows.size() + 1) {
    fault(faults, "study_csv", "not a header and one line per row");
    return;
  }
  for (std::size_t k = 0; k < study.rows.size(); ++k) {
    const Row& r = study.rows[k];
    const auto& f = records[k + 1];
    if (f.size() != records[0].size()) continue;  // csv_records reported it
    if (f.size() < 15 || f[0] != name_of(r.kind) || f[2] != name_of(r.status)) {
      fault(faults, "study_csv", "line " + std::to_string(k + 2) + " is not its row");
      continue;
    }
    const double values[] = {r.sr, r.cutoff, r.sra, r.sri, r.ai, r.m,  r.ma,
                             r.mi, r.dif,    r.sm,  r.sma, r.smi, r.sdif};
    for (std::size_t i = 0; i < std::size(values); ++i)
      check_number_field(f[i == 0 ? 1 : i + 2], values[i], faults, "study_csv");
  }
}

// The front's table: the heading's ratio as a number that is not 0 (or
// lost), and each point's line with its columns apart: a kind, then one
// column per value that exists, then one per weight.
void check_front_text(const Front& front, Faults& faults) {
  const std::string text = front_text(front);
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  const std::size_t at = line.find("ratio ");
  if (at != std::string::npos) {
    const char* start = line.c_str() + at + 6;
    char* end = nullptr;
    const double shown = std::strtod(start, &end);
    if (end != start && !(shown > 0))
      fault(faults, "front_text", "the heading shows the selection ratio " + show(front.sr) +
                                      " as " + std::string(start, static_cast<const char*>(end)));
  }
  std::vector<std::string> rows;
  while (std::getline(lines, line))
    if (line.rfind("kind", 0) == 0) break;
  while (std::getline(lines, line)) rows.push_back(line);
  if (rows.size() != front.points.size()) {
    fault(faults, "front_text", "not one line per point");
    return;
  }
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const FrontPoint& p = front.points[k];
    std::size_t expected = 1 + p.weights.size();
    for (double v : {p.ai, p.validity, p.composite_d, p.cutoff, p.sra, p.sri, p.quality,
                     p.quality_majority, p.quality_minority})
      expected += std::isfinite(v) ? 1 : 0;
    if (front.sample_size > 0) expected += 2;  // AI* and validity*
    std::istringstream fields(rows[k]);
    std::size_t count = 0;
    for (std::string field; fields >> field;) ++count;
    if (count != expected)
      fault(faults, "front_text", "columns run together or are missing: '" + rows[k] + "'");
  }
}

void check_front_csv(const Front& front, std::size_t predictors, Faults& faults) {
  const auto records = csv_records(front_csv(front), faults, "front_csv");
  if (records.size() != front.points.size() + 1)
    fault(faults, "front_csv", "not a header and one line per point");
  else if (records[0].size() != 10 + (front.sample_size > 0 ? 2 : 0) + predictors)
    fault(faults, "front_csv", "the header has not one column per value and weight");
}

void check_front(const Problem& problem, const FrontOptions& options, Faults& faults) {
  const std::string what = std::string("pareto_front (") +
                           (options.nonnegative ? "non-negative" : "free") + " weights, SR " +
                           show(options.sr) + ", " + std::to_string(options.points) + " points" +
                           (options.sample_size > 0 ? ", sample of " + std::to_string(options.sample_size)
                                                    : std::string()) +
                           ")";
  const Front front = pareto_front(problem, options);
  if (!front.messages.empty()) {
    check_messages(front.messages, faults, what);
    if (!front.points.empty()) fault(faults, what, "points beside messages");
    expect_invalid_argument([&] { front_chart(front); }, faults, "front_chart of a failed front");
    return;
  }
  if (front.points.empty()) {
    fault(faults, what, "neither points nor messages");
    return;
  }
  const auto np = static_cast<std::size_t>(problem.predictors);
  int four_fifths = 0;
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    const FrontPoint& p = front.points[k];
    const std::string at = what + ", point " + std::to_string(k + 1) + " (" + name_of(p.kind) + ")";
    four_fifths += p.kind == PointKind::four_fifths;
    if (p.weights.size() != np) {
      fault(faults, at, "not one weight per predictor");
      continue;
    }
    double total = 0;
    bool finite = true;
    for (double w : p.weights) {
      finite = finite && std::isfinite(w);
      total += std::fabs(w);
      if (options.nonnegative && w < 0) fault(faults, at, "a negative weight " + show(w));
    }
    if (!finite || !(std::fabs(total - 1) <= 1e-9))
      fault(faults, at, "weights not finite with absolute values summing to 1 (sum " + show(total) + ")");
    for (double v : {p.ai, p.validity, p.composite_d, p.cutoff, p.sra, p.sri})
      if (!std::isfinite(v)) {
        fault(faults, at, "AI, validity, d, cut-off, SRA or SRI not finite");
        break;
      }
    if (!(std::fabs(p.validity) <= 1 + 1e-9))
      fault(faults, at, "a validity beyond +-1: " + show(p.validity));
    // Fitted in a sample: new applicants see no more validity, and an AI
    // no nearer parity on the front's side of it.
    if (options.sample_size > 0) {
      const bool rising_front = front.points.front().ai <= 1;
      if (!std::isfinite(p.shrunk_validity) || !std::isfinite(p.shrunk_ai))
        fault(faults, at, "a shrunk validity or AI not finite");
      else if (p.validity >= 0 && !(p.shrunk_validity <= p.validity + 1e-9))
        fault(faults, at, "shrunk validity " + show(p.shrunk_validity) + " above " + show(p.validity));
      else if (rising_front ? !(p.shrunk_ai <= p.ai * (1 + 1e-9)) : !(p.shrunk_ai >= p.ai * (1 - 1e-9)))
        fault(faults, at, "shrunk AI " + show(p.shrunk_ai) + " nearer parity than " + show(p.ai));
    }
  }
  // The ends (either may also be the four-fifths point).
  const PointKind first = front.points.front().kind, last = front.points.back().kind;
  if (first != PointKind::max_validity && first != PointKind::four_fifths)
    fault(faults, what, "the first point is not the most valid end");
  if (front.points.size() > 1 && last != PointKind::min_impact && last != PointKind::four_fifths)
    fault(faults, what, "the last point is not the least-impact end");
  // On a front that runs up to parity (the minority group not favoured):
  // exactly one four-fifths point when some weighting meets the rule (the
  // most valid of them), and a note saying why when none does.
  const bool rising = front.points.front().ai <= 1;
  const FrontPoint* best = nullptr;
  for (const FrontPoint& p : front.points)
    if (p.ai >= 0.8 && (best == nullptr || p.validity > best->validity)) best = &p;
  if (rising && best != nullptr && four_fifths != 1)
    fault(faults, what, std::to_string(four_fifths) + " four_fifths points where a point meets the rule");
  if (rising && best == nullptr && four_fifths != 0) fault(faults, what, "a four_fifths point below AI 0.8");
  if (rising && best == nullptr && front.notes.empty())
    fault(faults, what, "no point meets the four-fifths rule, and no note says so");
  // The four-fifths row lies at AI 0.8, unless it repeats a weighting that
  // meets the rule with more to spare (an end, or the most valid weighting
  // beyond a dominated crossing): then another point has its values.
  for (const FrontPoint& p : front.points) {
    if (p.kind != PointKind::four_fifths || std::fabs(p.ai - 0.8) <= 1e-6) continue;
    const bool repeats = std::any_of(front.points.begin(), front.points.end(), [&](const FrontPoint& q) {
      return q.kind != PointKind::four_fifths && q.ai == p.ai && q.validity == p.validity;
    });
    if (!(p.ai >= 0.8 - 1e-6) || (!repeats && front.points.size() > 1))
      fault(faults, what, "the four_fifths point is at AI " + show(p.ai));
  }
  for (const FrontPoint& p : front.points)
    if (rising && p.kind == PointKind::four_fifths && best != nullptr &&
        !(p.validity >= best->validity - 1e-9 && p.ai >= 0.8 - 1e-9))
      fault(faults, what, "the four_fifths point (AI " + show(p.ai) + ", validity " +
                              show(p.validity) + ") is not the most valid point meeting the rule");
  // No point of the front is dominated by another: at least as valid and
  // clearly nearer parity, or clearly more valid and no farther from it (to
  // a few units in the last place: near SR 1 the AIs of a front differ by
  // 1e-14 and are computed from upper tails that keep that accuracy)
  // (validities relative to the front's largest; near the most valid end
  // validity changes only with the square of the step, hence the clear
  // margin in impact). Validities count as equal only to the few dozen
  // units in the last place that their rounding leaves: on a front whose
  // validity falls by 5e-13 of itself while the AI goes from 1.18 to parity
  // (one predictor's effect size of 1e9), that fall is real.
  auto impact = [](const FrontPoint& p) { return std::fabs(std::log(p.ai)); };
  double scale = 0;
  for (const FrontPoint& p : front.points) scale = std::max(scale, std::fabs(p.validity));
  const double same = 1e-14 * scale, clear = 1e-6 * scale;
  for (std::size_t i = 0; i < front.points.size(); ++i)
    for (std::size_t j = 0; j < front.points.size(); ++j) {
      const FrontPoint& p = front.points[i];
      const FrontPoint& q = front.points[j];
      if (i == j || !(p.ai > 0 && q.ai > 0)) continue;
      // Equal validities: to rounding of the pair's own size.
      const double tie = std::min(same, 1e-14 * std::max(std::fabs(p.validity), std::fabs(q.validity)));
      const bool dominated =
          (q.validity >= p.validity - tie && impact(q) < impact(p) - 1e-4) ||
          (q.validity > p.validity + clear &&
           impact(q) <= impact(p) + 16 * std::numeric_limits<double>::epsilon());
      if (dominated) {
        fault(faults, what, "point " + std::to_string(i + 1) + " (AI " + show(p.ai) + ", validity " +
                                show(p.validity) + ") is dominated by point " + std::to_string(j + 1) +
                                " (AI " + show(q.ai) + ", validity " + show(q.validity) + ")");
        i = front.points.size();
        break;
      }
    }

  check_front_text(front, faults);
  check_front_csv(front, np, faults);
  check_json(front_json(front), front.points.size(), "points", faults, "front_json");
  check_svg(front_chart(front), faults, "front_chart");
}

// A problem whose counts no deck holds (its lists as read): write_deck
// throws std::invalid_argument, analyse and pareto_front refuse it with
// messages; no arithmetic on the count overflows (UBSan) or sizes a list.
void check_edited_counts(Problem problem, const StudyChoices& choices, Faults& faults) {
  (choices.edit_predictors ? problem.predictors : problem.criteria) = choices.count;
  const bool fits = problem.predictors >= 1 && problem.criteria >= 0 &&
                    problem.predictors <= max_variables &&
                    static_cast<long long>(problem.predictors) + problem.criteria <= max_variables;
  const std::string what = std::string("counts ") + std::to_string(problem.predictors) + " and " +
                           std::to_string(problem.criteria);
  if (!fits) expect_invalid_argument([&] { write_deck(problem); }, faults, "write_deck of " + what);
  const Study study = analyse(problem);
  if (!fits && !study.rejected()) fault(faults, "analyse of " + what, "not refused");
  const Front front = pareto_front(problem);
  if (!fits && front.messages.empty()) fault(faults, "pareto_front of " + what, "not refused");
}

void check_study_path(std::string_view bytes, Faults& faults) {
  const DeckReading deck = read_deck(bytes);
  if (deck.error) {
    if (deck.error->message.empty()) fault(faults, "read_deck", "an error without a message");
    return;
  }
  check_messages(deck.messages, faults, "read_deck");
  if (!deck.messages.empty()) return;
  const Problem& problem = deck.problem;
  check_written_deck(problem, faults);

  const StudyChoices choices = study_choices(bytes);
  const Study study = analyse(problem, {.sweep = choices.sweep});
  const std::string classic = report(study);
  if (study.rejected()) {
    check_messages(study.messages, faults, "analyse");
    expect_invalid_argument([&] { study_chart(study); }, faults, "study_chart of a rejected study");
  } else {
    check_study_rows(study, choices.sweep, faults);
    check_study_csv(study, faults);
    check_json(study_json(study), study.rows.size(), "rows", faults, "study_json");
    check_svg(study_chart(study), faults, "study_chart");
  }
  // The classic report is the classic program's, sweep or not.
  if (classic != run_classic(bytes).out)
    fault(faults, "report", "not the classic program's report of the same deck");

  // (FOURFIFTHS_FUZZ_SKIP=counts leaves this out: a fault found here ends the
  // run by a sanitizer report, which FOURFIFTHS_FUZZ_KNOWN cannot pass over.)
  static const bool skip_counts = [] {
    const char* skip = std::getenv("FOURFIFTHS_FUZZ_SKIP");
    return skip != nullptr && std::string_view(skip).find("counts") != std::string_view::npos;
  }();
  if (choices.edit_counts && !skip_counts) check_edited_counts(problem, choices, faults);

  if (problem.criteria < 1) return;
  FrontOptions options;
  options.sr = choices.deck_ratio
                   ? (problem.requested_ratios.empty() ? 0.10 : problem.requested_ratios[0])
                   : choices.front_sr;
  options.points = choices.points;
  for (bool nonnegative : {true, false}) {
    options.nonnegative = nonnegative;
    check_front(problem, options, faults);
  }
  // The same fronts fitted in a validation sample (the smallest it may be, or larger).
  if (problem.basis == Basis::overall && problem.predictors >= 1 && problem.predictors <= 9) {
    options.sample_size = 2 * problem.predictors + 3 + (choices.points % 3) * 97;
    for (bool nonnegative : {true, false}) {
      options.nonnegative = nonnegative;
      check_front(problem, options, faults);
    }
  }
}

}  // namespace

StudyChoices study_choices(std::string_view bytes) {
  std::uint8_t c[8] = {};
  const std::size_t n = std::min<std::size_t>(bytes.size(), 8);
  for (std::size_t k = 0; k < n; ++k)
    c[k] = static_cast<std::uint8_t>(bytes[bytes.size() - n + k]);
  StudyChoices choices;
  for (int k = 0; k < c[0] % 5; ++k) choices.sweep.push_back(ratio_of(c[1 + k]));
  choices.deck_ratio = c[5] < 128;
  choices.front_sr = ratio_of(static_cast<std::uint8_t>(c[5] * 2 + 1));
  choices.points = 2 + c[6] % 23;
  choices.edit_counts = c[7] % 4 == 0;
  choices.edit_predictors = c[7] % 8 == 0;
  choices.count = edge_counts[(c[7] / 8) % std::size(edge_counts)];
  return choices;
}

Faults check_deck(std::string_view bytes) {
  Faults faults;
  try {
    const ClassicOutcome run = run_classic(bytes);
    if (run.aborted && run.err.empty()) fault(faults, "run_classic", "abnormal end without a diagnostic");
    if (!run.aborted && !run.err.empty()) fault(faults, "run_classic", "a normal end with standard error");
  } catch (const std::exception& e) {
    fault(faults, "run_classic", std::string("exception: ") + e.what());
  }
  return faults;
}

Faults check_study(std::string_view bytes) {
  Faults faults;
  try {
    check_study_path(bytes, faults);
  } catch (const std::exception& e) {
    fault(faults, "study path", std::string("undocumented exception: ") + e.what());
  }
  return faults;
}

}  // namespace fourfifths::fuzz
