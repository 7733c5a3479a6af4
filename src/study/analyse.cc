// The analysis of one problem: validation, the composite statistics, the
// four-fifths boundary and the rows for the built-in, boundary, requested and
// sweep ratios, in that order.
#include <cstddef>
#include <string>

#include "study/study.h"

namespace fourfifths {
namespace {

CountRecord count_record_of(const Problem& p) {
  CountRecord c;
  c.npred = p.predictors;
  c.ncrit = p.criteria;
  c.ioverall = p.basis == Basis::overall ? 1 : 0;
  c.ireg = p.regression_weights ? 1 : 0;
  c.icrit = p.quality == Quality::criterion ? 1 : 0;
  c.nsr = p.requested_ratios.size() > 999999999 ? 999999999
                                                 : static_cast<int32_t>(p.requested_ratios.size());
  c.apratio = p.applicant_ratio;
  return c;
}

// A list that must hold one value for each of count things.
void expect_size(std::vector<std::string>& messages, const std::vector<double>& values,
                 std::size_t count, const char* what) {
  if (values.size() == count) return;
  messages.push_back("Expected " + std::to_string(count) + " " + what + ", got " +
                     std::to_string(values.size()));
}

// A problem built in code, unlike a deck, may hold lists that do not match
// its counts.
std::vector<std::string> shape_messages(const Problem& p) {
  std::vector<std::string> messages;
  const auto np = static_cast<std::size_t>(p.predictors);
  const auto nc = static_cast<std::size_t>(p.criteria);
  if (!p.regression_weights) expect_size(messages, p.predictor_weights, np, "predictor weights");
  expect_size(messages, p.criterion_weights, nc, "criterion weights");
  expect_size(messages, p.correlations, (np + nc) * (np + nc),
              "correlations (predictors and criteria squared)");
  expect_size(messages, p.predictor_effects, np, "predictor effect sizes");
  expect_size(messages, p.criterion_effects, nc, "criterion effect sizes");
  return messages;
}

// The messages of every stage up to the composites, and the composites.
std::vector<std::string> check_problem(const Problem& p, std::vector<double>& weights,
                                       Composites& composites) {
  std::vector<std::string> messages = count_messages(count_record_of(p));
  if (!messages.empty()) return messages;
  messages = shape_messages(p);
  if (!messages.empty()) return messages;
  composites = compute_composites(p, weights, messages);
  return messages;
}

}  // namespace

std::vector<std::string> validate(const Problem& problem) {
  std::vector<double> weights;
  Composites composites;
  return check_problem(problem, weights, composites);
}

Study analyse(const Problem& problem, const StudyOptions& options) {
  Study study;
  study.problem = problem;
  study.messages = check_problem(problem, study.weights, study.composites);
  if (study.rejected()) {
    study.weights.clear();
    study.composites = Composites{};
    return study;
  }

  const SelectionModel model = selection_model(problem, study.composites);
  study.boundary = find_boundary(model);
  study.rows.reserve(sr1.size() + 1 + problem.requested_ratios.size() + options.sweep.size());
  for (double sr : sr1) study.rows.push_back(evaluate_row(model, RowKind::builtin, sr));
  if (study.boundary.found)
    study.rows.push_back(evaluate_row(model, RowKind::boundary, study.boundary.sr));
  for (double sr : problem.requested_ratios)
    study.rows.push_back(evaluate_row(model, RowKind::requested, sr));
  for (double sr : options.sweep) study.rows.push_back(evaluate_row(model, RowKind::sweep, sr));
  return study;
}

const char* name_of(RowKind kind) {
  switch (kind) {
    case RowKind::builtin:
      return "builtin";
    case RowKind::boundary:
      return "boundary";
    case RowKind::requested:
      return "requested";
    case RowKind::sweep:
      return "sweep";
  }
  return "?";
}

const char* name_of(RowStatus status) {
  switch (status) {
    case RowStatus::ok:
      return "ok";
    case RowStatus::no_cutoff:
      return "no_cutoff";
    case RowStatus::ratio_out_of_range:
      return "ratio_out_of_range";
  }
  return "?";
}

const char* name_of(Basis basis) {
  return basis == Basis::overall ? "overall" : "majority";
}

const char* name_of(Quality quality) {
  return quality == Quality::criterion ? "criterion" : "predictor";
}

}  // namespace fourfifths
