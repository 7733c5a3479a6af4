// The R interface of the fourfifths library. A problem arrives from R as a
// named list whose elements carry the names of the fields of
// fourfifths::Problem (the package's R code builds it and checks its types
// and shapes); results go back as lists of plain vectors. Each function here
// converts, calls the library and converts back: nothing is computed twice.
#include <Rcpp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"
#include "fourfifths/report.h"
#include "fourfifths/study.h"

namespace {

using fourfifths::Basis;
using fourfifths::Problem;
using fourfifths::Quality;

std::vector<double> doubles(const Rcpp::List& list, const char* name) {
  return Rcpp::as<std::vector<double>>(list[name]);
}

// A value that does not exist is NA in R, not NaN.
double r_value(double value) {
  return std::isnan(value) ? NA_REAL : value;
}

Problem problem_of(const Rcpp::List& p) {
  Problem problem;
  problem.predictors = Rcpp::as<int>(p["predictors"]);
  problem.criteria = Rcpp::as<int>(p["criteria"]);
  problem.basis = Rcpp::as<std::string>(p["basis"]) == "overall" ? Basis::overall : Basis::majority;
  problem.applicant_ratio = Rcpp::as<double>(p["applicant_ratio"]);
  problem.regression_weights = Rcpp::as<bool>(p["regression_weights"]);
  problem.quality =
      Rcpp::as<std::string>(p["quality"]) == "criterion" ? Quality::criterion : Quality::predictor;
  problem.predictor_weights = doubles(p, "predictor_weights");
  problem.criterion_weights = doubles(p, "criterion_weights");
  problem.correlations = doubles(p, "correlations");
  problem.predictor_effects = doubles(p, "predictor_effects");
  problem.criterion_effects = doubles(p, "criterion_effects");
  problem.requested_ratios = doubles(p, "requested_ratios");
  return problem;
}

Rcpp::List list_of(const Problem& p) {
  return Rcpp::List::create(
      Rcpp::Named("predictors") = p.predictors, Rcpp::Named("criteria") = p.criteria,
      Rcpp::Named("basis") = fourfifths::name_of(p.basis),
      Rcpp::Named("applicant_ratio") = p.applicant_ratio,
      Rcpp::Named("regression_weights") = p.regression_weights,
      Rcpp::Named("quality") = fourfifths::name_of(p.quality),
      Rcpp::Named("predictor_weights") = p.predictor_weights,
      Rcpp::Named("criterion_weights") = p.criterion_weights,
      Rcpp::Named("correlations") = p.correlations,
      Rcpp::Named("predictor_effects") = p.predictor_effects,
      Rcpp::Named("criterion_effects") = p.criterion_effects,
      Rcpp::Named("requested_ratios") = p.requested_ratios);
}

// The rows as a data frame (kind, sr, status, then the values), built
// directly: R's and Rcpp's data frame constructors check and copy far more
// than these plain columns need.
Rcpp::List rows_of(const std::vector<fourfifths::Row>& rows) {
  using fourfifths::Row;
  static constexpr double Row::*values[] = {&Row::cutoff, &Row::sra, &Row::sri, &Row::ai,
                                            &Row::m,      &Row::ma,  &Row::mi,  &Row::dif,
                                            &Row::sm,     &Row::sma, &Row::smi, &Row::sdif};
  static constexpr const char* value_names[] = {"cutoff", "sra", "sri", "ai",  "m",   "ma",
                                                "mi",     "dif", "sm",  "sma", "smi", "sdif"};
  const R_xlen_t n = static_cast<R_xlen_t>(rows.size());
  const R_xlen_t count = static_cast<R_xlen_t>(std::size(values));
  Rcpp::CharacterVector kind(n), status(n);
  Rcpp::NumericVector sr(n);
  std::vector<Rcpp::NumericVector> columns(std::size(values));
  for (auto& column : columns) column = Rcpp::NumericVector(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const Row& row = rows[static_cast<std::size_t>(i)];
    kind[i] = fourfifths::name_of(row.kind);
    sr[i] = row.sr;
    status[i] = fourfifths::name_of(row.status);
    for (std::size_t f = 0; f < columns.size(); ++f) columns[f][i] = r_value(row.*values[f]);
  }
  Rcpp::List frame(count + 3);
  Rcpp::CharacterVector names(count + 3);
  for (R_xlen_t f = 0; f < count; ++f) {
    frame[f + 3] = columns[static_cast<std::size_t>(f)];
    names[f + 3] = value_names[f];
  }
  frame[0] = kind;
  frame[1] = sr;
  frame[2] = status;
  names[0] = "kind";
  names[1] = "sr";
  names[2] = "status";
  frame.attr("names") = names;
  frame.attr("row.names") = Rcpp::IntegerVector::create(NA_INTEGER, -static_cast<int>(n));
  frame.attr("class") = "data.frame";
  return frame;
}

}  // namespace

// Why the problem's correlations cannot be those of real variables (none
// when they can): the library's check, the one the programs make.
// [[Rcpp::export]]
std::vector<std::string> correlation_messages(const Rcpp::List& problem) {
  return fourfifths::check_correlations(problem_of(problem));
}

// The analysis of a problem with further sweep ratios: its messages when it
// cannot be analysed, else the weights in use, the composite statistics, the
// four-fifths boundary and the rows. A long sweep runs in slices, each a
// study of its own whose sweep rows are appended, so that R can be
// interrupted between them.
// [[Rcpp::export]]
Rcpp::List analyse_problem(const Rcpp::List& problem, const std::vector<double>& sweep) {
  constexpr std::size_t slice = 2000;
  const Problem p = problem_of(problem);
  fourfifths::StudyOptions options;
  const std::size_t first = std::min(sweep.size(), slice);
  options.sweep.assign(sweep.begin(), sweep.begin() + static_cast<std::ptrdiff_t>(first));
  fourfifths::Study study = fourfifths::analyse(p, options);
  if (study.rejected()) return Rcpp::List::create(Rcpp::Named("messages") = study.messages);
  for (std::size_t start = first; start < sweep.size(); start += slice) {
    Rcpp::checkUserInterrupt();
    const std::size_t end = std::min(sweep.size(), start + slice);
    options.sweep.assign(sweep.begin() + static_cast<std::ptrdiff_t>(start),
                         sweep.begin() + static_cast<std::ptrdiff_t>(end));
    const fourfifths::Study part = fourfifths::analyse(p, options);
    study.rows.insert(study.rows.end(), part.rows.end() - static_cast<std::ptrdiff_t>(end - start),
                      part.rows.end());
  }
  const fourfifths::Composites& c = study.composites;
  const fourfifths::Boundary& b = study.boundary;
  auto at_boundary = [&](double value) { return b.found ? value : NA_REAL; };
  return Rcpp::List::create(
      Rcpp::Named("messages") = Rcpp::CharacterVector(0),
      Rcpp::Named("weights") = study.weights,
      Rcpp::Named("composites") = Rcpp::NumericVector::create(
          Rcpp::Named("sxx") = c.sxx, Rcpp::Named("syy") = c.syy, Rcpp::Named("sxy") = c.sxy,
          Rcpp::Named("rxy") = c.rxy, Rcpp::Named("dx") = c.dx, Rcpp::Named("dy") = c.dy),
      Rcpp::Named("boundary") = Rcpp::NumericVector::create(
          Rcpp::Named("sr") = at_boundary(b.sr), Rcpp::Named("sra") = at_boundary(b.sra),
          Rcpp::Named("sri") = at_boundary(b.sri), Rcpp::Named("cutoff") = at_boundary(b.cutoff)),
      Rcpp::Named("rows") = rows_of(study.rows));
}

// The classic report of a problem (its messages when it cannot be analysed).
// [[Rcpp::export]]
std::string report_problem(const Rcpp::List& problem) {
  return fourfifths::report(fourfifths::analyse(problem_of(problem)));
}

// A deck read from its text: the problem, the messages of a count record that
// no analysis can use, and where and why the deck cannot be read (NULL when
// it can).
// [[Rcpp::export]]
Rcpp::List read_deck_text(const std::string& text) {
  const fourfifths::DeckReading deck = fourfifths::read_deck(text);
  Rcpp::RObject error;  // NULL
  if (deck.error) {
    const fourfifths::DeckError& e = *deck.error;
    error = Rcpp::List::create(
        Rcpp::Named("message") = e.message, Rcpp::Named("line") = e.line,
        Rcpp::Named("first_column") = e.first_column, Rcpp::Named("last_column") = e.last_column,
        Rcpp::Named("found") = e.found);
  }
  return Rcpp::List::create(Rcpp::Named("problem") = list_of(deck.problem),
                            Rcpp::Named("messages") = deck.messages,
                            Rcpp::Named("error") = error);
}

// The deck of a problem, with the number of values rounded to fit a field.
// [[Rcpp::export]]
Rcpp::List write_deck_text(const Rcpp::List& problem) {
  int rounded = 0;
  const std::string text = fourfifths::write_deck(problem_of(problem), &rounded);
  return Rcpp::List::create(Rcpp::Named("text") = text, Rcpp::Named("rounded") = rounded);
}

// The validity-adverse-impact front of a problem's predictors: its messages
// when there is none, else its notes, the points' kinds, their values (one
// vector per field) and their weights (one vector per predictor).
// [[Rcpp::export]]
Rcpp::List front_of_problem(const Rcpp::List& problem, double sr, int points, bool nonnegative) {
  fourfifths::FrontOptions options;
  options.sr = sr;
  options.points = points;
  options.nonnegative = nonnegative;
  const fourfifths::Front front = fourfifths::pareto_front(problem_of(problem), options);
  if (!front.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = front.messages);
  using fourfifths::FrontPoint;
  static constexpr double FrontPoint::*values[] = {
      &FrontPoint::ai,     &FrontPoint::validity, &FrontPoint::composite_d,
      &FrontPoint::cutoff, &FrontPoint::sra,      &FrontPoint::sri,
      &FrontPoint::quality, &FrontPoint::quality_majority, &FrontPoint::quality_minority};
  static constexpr const char* value_names[] = {"ai",  "validity", "composite_d",
                                                "cutoff", "sra", "sri", "quality",
                                                "quality_majority", "quality_minority"};
  const auto n = static_cast<R_xlen_t>(front.points.size());
  const auto predictors = front.points.empty() ? 0 : static_cast<int>(front.points[0].weights.size());
  Rcpp::CharacterVector kind(n);
  Rcpp::List columns(std::size(values));
  Rcpp::List weights(predictors);
  for (std::size_t f = 0; f < std::size(values); ++f) {
    Rcpp::NumericVector column(n);
    for (R_xlen_t i = 0; i < n; ++i)
      column[i] = r_value(front.points[static_cast<std::size_t>(i)].*values[f]);
    columns[static_cast<R_xlen_t>(f)] = column;
  }
  for (int k = 0; k < predictors; ++k) {
    Rcpp::NumericVector column(n);
    for (R_xlen_t i = 0; i < n; ++i)
      column[i] = front.points[static_cast<std::size_t>(i)].weights[static_cast<std::size_t>(k)];
    weights[k] = column;
  }
  for (R_xlen_t i = 0; i < n; ++i)
    kind[i] = fourfifths::name_of(front.points[static_cast<std::size_t>(i)].kind);
  columns.attr("names") = Rcpp::CharacterVector(std::begin(value_names), std::end(value_names));
  return Rcpp::List::create(Rcpp::Named("messages") = Rcpp::CharacterVector(0),
                            Rcpp::Named("notes") = front.notes, Rcpp::Named("kind") = kind,
                            Rcpp::Named("values") = columns, Rcpp::Named("weights") = weights);
}
