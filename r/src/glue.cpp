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
#include <optional>
#include <string>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/groupfront.h"
#include "fourfifths/groups.h"
#include "fourfifths/observed.h"
#include "fourfifths/pareto.h"
#include "fourfifths/report.h"
#include "fourfifths/stages.h"
#include "fourfifths/study.h"
#include "fourfifths/studyfile.h"
#include "ratios/ratios.h"

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

// A problem of several groups from R: the fields of Problem that it shares,
// the variables' names, and per group its name, share and effect sizes.
fourfifths::GroupProblem group_problem_of(const Rcpp::List& p) {
  fourfifths::GroupProblem problem;
  problem.predictor_names = Rcpp::as<std::vector<std::string>>(p["predictor_names"]);
  problem.criterion_names = Rcpp::as<std::vector<std::string>>(p["criterion_names"]);
  problem.predictors = Rcpp::as<int>(p["predictors"]);
  problem.criteria = Rcpp::as<int>(p["criteria"]);
  problem.basis = Rcpp::as<std::string>(p["basis"]) == "overall" ? Basis::overall : Basis::majority;
  problem.pool = Rcpp::as<std::string>(p["pool"]) == "joint" ? fourfifths::Pool::joint
                                                              : fourfifths::Pool::pairwise;
  problem.regression_weights = Rcpp::as<bool>(p["regression_weights"]);
  problem.quality =
      Rcpp::as<std::string>(p["quality"]) == "criterion" ? Quality::criterion : Quality::predictor;
  problem.predictor_weights = doubles(p, "predictor_weights");
  problem.criterion_weights = doubles(p, "criterion_weights");
  problem.correlations = doubles(p, "correlations");
  problem.requested_ratios = doubles(p, "requested_ratios");
  const auto names = Rcpp::as<std::vector<std::string>>(p["group_names"]);
  const auto shares = doubles(p, "shares");
  const Rcpp::List predictor_effects = p["predictor_effects"];
  const Rcpp::List criterion_effects = p["criterion_effects"];
  for (std::size_t g = 0; g < names.size(); ++g) {
    const auto at = static_cast<R_xlen_t>(g);
    problem.groups.push_back(
        {.name = names[g],
         .share = g < shares.size() ? shares[g] : 0.0,
         .predictor_effects = Rcpp::as<std::vector<double>>(predictor_effects[at]),
         .criterion_effects = Rcpp::as<std::vector<double>>(criterion_effects[at])});
  }
  return problem;
}

// A data frame of plain columns, built directly.
Rcpp::List frame_of(Rcpp::List columns, R_xlen_t n) {
  columns.attr("row.names") = Rcpp::IntegerVector::create(NA_INTEGER, -static_cast<int>(n));
  columns.attr("class") = "data.frame";
  return columns;
}

// A group's index as its name, NA for none.
Rcpp::String group_name(const fourfifths::GroupProblem& p, int g) {
  if (g < 0 || g >= static_cast<int>(p.groups.size())) return NA_STRING;
  return p.groups[static_cast<std::size_t>(g)].name;
}

// The boundaries as a data frame: per group (or the pool's alone) its
// state, the group at four-fifths there and the one it is measured against,
// the selection ratio and the cut-off.
Rcpp::List boundaries_of(const fourfifths::GroupProblem& p,
                         const std::vector<fourfifths::GroupBoundary>& boundaries) {
  const auto n = static_cast<R_xlen_t>(boundaries.size());
  Rcpp::CharacterVector state(n), lower(n), against(n);
  Rcpp::NumericVector sr(n), cutoff(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const fourfifths::GroupBoundary& b = boundaries[static_cast<std::size_t>(i)];
    const bool found = b.state == fourfifths::BoundaryState::found;
    state[i] = fourfifths::name_of(b.state);
    lower[i] = group_name(p, b.group);
    against[i] = group_name(p, b.against);
    sr[i] = found ? b.sr : NA_REAL;
    cutoff[i] = found ? b.cutoff : NA_REAL;
  }
  return frame_of(Rcpp::List::create(Rcpp::Named("state") = state, Rcpp::Named("lower") = lower,
                                     Rcpp::Named("against") = against, Rcpp::Named("sr") = sr,
                                     Rcpp::Named("cutoff") = cutoff),
                  n);
}

// A problem of several groups as R's read_study_file() takes it: the fields
// group_problem_of() reads, every variable named, every group's effects
// given (the reference group's zeros when the file leaves them out).
Rcpp::List group_list_of(const fourfifths::GroupProblem& p) {
  std::vector<std::string> predictors, criteria, names;
  for (int i = 0; i < p.predictors; ++i) predictors.push_back(fourfifths::predictor_name(p, i));
  for (int k = 0; k < p.criteria; ++k) criteria.push_back(fourfifths::criterion_name(p, k));
  std::vector<double> shares;
  Rcpp::List predictor_effects(static_cast<R_xlen_t>(p.groups.size()));
  Rcpp::List criterion_effects(static_cast<R_xlen_t>(p.groups.size()));
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    const fourfifths::Group& group = p.groups[g];
    names.push_back(group.name);
    shares.push_back(group.share);
    auto given = [](const std::vector<double>& effects, int count) {
      return effects.empty() ? std::vector<double>(static_cast<std::size_t>(count), 0.0) : effects;
    };
    predictor_effects[static_cast<R_xlen_t>(g)] = given(group.predictor_effects, p.predictors);
    criterion_effects[static_cast<R_xlen_t>(g)] = given(group.criterion_effects, p.criteria);
  }
  return Rcpp::List::create(
      Rcpp::Named("predictor_names") = predictors, Rcpp::Named("criterion_names") = criteria,
      Rcpp::Named("predictors") = p.predictors, Rcpp::Named("criteria") = p.criteria,
      Rcpp::Named("basis") = fourfifths::name_of(p.basis),
      Rcpp::Named("pool") = fourfifths::name_of(p.pool),
      Rcpp::Named("regression_weights") = p.regression_weights,
      Rcpp::Named("quality") = fourfifths::name_of(p.quality),
      Rcpp::Named("predictor_weights") = p.predictor_weights,
      Rcpp::Named("criterion_weights") = p.criterion_weights,
      Rcpp::Named("correlations") = p.correlations, Rcpp::Named("group_names") = names,
      Rcpp::Named("shares") = shares, Rcpp::Named("predictor_effects") = predictor_effects,
      Rcpp::Named("criterion_effects") = criterion_effects,
      Rcpp::Named("requested_ratios") = p.requested_ratios);
}

// Stages from R: parallel vectors of names, rules and values, and a list of
// each stage's weights (one per predictor).
std::vector<fourfifths::Stage> stages_of(const Rcpp::List& s) {
  using fourfifths::PassRule;
  const auto names = Rcpp::as<std::vector<std::string>>(s["name"]);
  const auto rules = Rcpp::as<std::vector<std::string>>(s["rule"]);
  const auto values = doubles(s, "value");
  const Rcpp::List weights = s["weights"];
  std::vector<fourfifths::Stage> stages;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& rule = rules[i];
    stages.push_back({.name = names[i],
                      .weights = Rcpp::as<std::vector<double>>(weights[static_cast<R_xlen_t>(i)]),
                      .rule = rule == "entrants"     ? PassRule::entrants
                              : rule == "cumulative" ? PassRule::cumulative
                                                     : PassRule::cutoff,
                      .value = values[i]});
  }
  return stages;
}

Rcpp::List stages_list_of(const std::vector<fourfifths::Stage>& stages) {
  const auto n = static_cast<R_xlen_t>(stages.size());
  Rcpp::CharacterVector names(n), rules(n);
  Rcpp::NumericVector values(n);
  Rcpp::List weights(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const fourfifths::Stage& stage = stages[static_cast<std::size_t>(i)];
    names[i] = stage.name;
    rules[i] = fourfifths::name_of(stage.rule);
    values[i] = stage.value;
    weights[i] = stage.weights;
  }
  return Rcpp::List::create(Rcpp::Named("name") = names, Rcpp::Named("rule") = rules,
                            Rcpp::Named("value") = values, Rcpp::Named("weights") = weights);
}

// A data frame's column of the groups' names as a factor.
Rcpp::IntegerVector group_factor(std::vector<int> codes, const Rcpp::CharacterVector& levels) {
  Rcpp::IntegerVector factor(codes.begin(), codes.end());
  factor.attr("levels") = levels;
  factor.attr("class") = "factor";
  return factor;
}

}  // namespace

// Why the problem's correlations cannot be those of real variables (none
// when they can): the library's check, the one the programs make.
// [[Rcpp::export]]
std::vector<std::string> correlation_messages(const Rcpp::List& problem) {
  return fourfifths::check_correlations(problem_of(problem));
}

// A study of the sweep in slices of 2000 ratios (the built-in and requested
// rows come with the first), so that a long sweep can be interrupted from R
// between slices.
template <class Result, class Input>
Result analyse_in_slices(const Input& p, const std::vector<double>& sweep) {
  constexpr std::size_t slice = 2000;
  fourfifths::StudyOptions options;
  const std::size_t first = std::min(sweep.size(), slice);
  options.sweep.assign(sweep.begin(), sweep.begin() + static_cast<std::ptrdiff_t>(first));
  Result study = fourfifths::analyse(p, options);
  if (study.rejected()) return study;
  for (std::size_t start = first; start < sweep.size(); start += slice) {
    Rcpp::checkUserInterrupt();
    const std::size_t end = std::min(sweep.size(), start + slice);
    options.sweep.assign(sweep.begin() + static_cast<std::ptrdiff_t>(start),
                         sweep.begin() + static_cast<std::ptrdiff_t>(end));
    const Result part = fourfifths::analyse(p, options);
    study.rows.insert(study.rows.end(), part.rows.end() - static_cast<std::ptrdiff_t>(end - start),
                      part.rows.end());
  }
  return study;
}

// The analysis of a problem with further sweep ratios: its messages when it
// cannot be analysed, else the weights in use, the composite statistics, the
// four-fifths boundary and the rows. A long sweep runs in slices, each a
// study of its own whose sweep rows are appended, so that R can be
// interrupted between them.
// [[Rcpp::export]]
Rcpp::List analyse_problem(const Rcpp::List& problem, const std::vector<double>& sweep) {
  const Problem p = problem_of(problem);
  const fourfifths::Study study = analyse_in_slices<fourfifths::Study>(p, sweep);
  if (study.rejected()) return Rcpp::List::create(Rcpp::Named("messages") = study.messages);
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
// vector per field, with the shrunk validity and AI for a front fitted in a
// sample of sample_size) and their weights (one vector per predictor).
// [[Rcpp::export]]
Rcpp::List front_of_problem(const Rcpp::List& problem, double sr, int points, bool nonnegative,
                            int sample_size, int predictors_screened) {
  fourfifths::FrontOptions options;
  options.sr = sr;
  options.points = points;
  options.nonnegative = nonnegative;
  options.sample_size = sample_size;
  options.predictors_screened = predictors_screened;
  const fourfifths::Front front = fourfifths::pareto_front(problem_of(problem), options);
  if (!front.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = front.messages);
  using fourfifths::FrontPoint;
  static constexpr double FrontPoint::*values[] = {
      &FrontPoint::ai,     &FrontPoint::validity, &FrontPoint::composite_d,
      &FrontPoint::cutoff, &FrontPoint::sra,      &FrontPoint::sri,
      &FrontPoint::quality, &FrontPoint::quality_majority, &FrontPoint::quality_minority,
      &FrontPoint::shrunk_validity, &FrontPoint::shrunk_ai};
  static constexpr const char* value_names[] = {"ai",  "validity", "composite_d",
                                                "cutoff", "sra", "sri", "quality",
                                                "quality_majority", "quality_minority",
                                                "shrunk_validity", "shrunk_ai"};
  // The shrunk values only for a front fitted in a sample.
  const std::size_t fields = std::size(values) - (front.sample_size > 0 ? 0 : 2);
  const auto n = static_cast<R_xlen_t>(front.points.size());
  const auto predictors = front.points.empty() ? 0 : static_cast<int>(front.points[0].weights.size());
  Rcpp::CharacterVector kind(n);
  Rcpp::List columns(static_cast<R_xlen_t>(fields));
  Rcpp::List weights(predictors);
  for (std::size_t f = 0; f < fields; ++f) {
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
  columns.attr("names") = Rcpp::CharacterVector(std::begin(value_names), std::begin(value_names) + fields);
  return Rcpp::List::create(Rcpp::Named("messages") = Rcpp::CharacterVector(0),
                            Rcpp::Named("notes") = front.notes, Rcpp::Named("kind") = kind,
                            Rcpp::Named("values") = columns, Rcpp::Named("weights") = weights);
}

// The analysis of a problem of several groups with further sweep ratios: its
// messages when it cannot be analysed, else the weights in use, the
// composites' validity and effect sizes per group, the boundaries, and the
// rows twice: per selection ratio (the pool's values) and in long form, one
// line per selection ratio and reported group (in the pairwise convention
// of three or more groups the reference group has values only within each
// pair, in its groups' lines). Long sweeps run in slices as in
// analyse_problem().
// [[Rcpp::export]]
Rcpp::List analyse_group_problem(const Rcpp::List& problem, const std::vector<double>& sweep) {
  using fourfifths::GroupRow;
  using fourfifths::GroupValues;
  const fourfifths::GroupProblem p = group_problem_of(problem);
  const fourfifths::GroupStudy study = analyse_in_slices<fourfifths::GroupStudy>(p, sweep);
  if (study.rejected()) return Rcpp::List::create(Rcpp::Named("messages") = study.messages);
  const std::size_t groups = p.groups.size();
  const bool pairwise = p.pool == fourfifths::Pool::pairwise && groups > 2;
  const std::size_t from = pairwise ? 1 : 0;
  const auto n = static_cast<R_xlen_t>(study.rows.size());
  const auto lines = n * static_cast<R_xlen_t>(groups - from);

  Rcpp::CharacterVector kind(n), status(n);
  Rcpp::NumericVector sr(n), quality(n), standardized(n);
  Rcpp::LogicalVector all_meet(n);
  Rcpp::CharacterVector line_kind(lines), line_status(lines);
  Rcpp::NumericVector line_sr(lines);
  Rcpp::IntegerVector line_group(lines);
  Rcpp::LogicalVector meets(lines);
  static constexpr double GroupValues::*values[] = {
      &GroupValues::cutoff,     &GroupValues::sr,      &GroupValues::sr_reference,
      &GroupValues::ai,         &GroupValues::ai_highest, &GroupValues::quality,
      &GroupValues::standardized_quality};
  static constexpr const char* value_names[] = {"cutoff", "group_sr", "reference_sr", "ai",
                                                "ai_highest", "quality", "standardized_quality"};
  std::vector<Rcpp::NumericVector> columns(std::size(values));
  for (auto& column : columns) column = Rcpp::NumericVector(lines);
  R_xlen_t line = 0;
  for (R_xlen_t i = 0; i < n; ++i) {
    const GroupRow& row = study.rows[static_cast<std::size_t>(i)];
    kind[i] = fourfifths::name_of(row.kind);
    sr[i] = row.sr;
    status[i] = fourfifths::name_of(row.status);
    quality[i] = r_value(row.quality);
    standardized[i] = r_value(row.standardized_quality);
    all_meet[i] = row.status == fourfifths::RowStatus::ok ? row.all_meet : NA_LOGICAL;
    for (std::size_t g = from; g < groups; ++g, ++line) {
      const GroupValues& v = row.groups[g];
      line_kind[line] = kind[i];
      line_sr[line] = row.sr;
      line_group[line] = static_cast<int>(g) + 1;
      line_status[line] = fourfifths::name_of(v.status);
      meets[line] = v.status == fourfifths::RowStatus::ok ? v.meets : NA_LOGICAL;
      for (std::size_t f = 0; f < columns.size(); ++f) columns[f][line] = r_value(v.*values[f]);
    }
  }
  Rcpp::CharacterVector levels(static_cast<R_xlen_t>(groups));
  for (std::size_t g = 0; g < groups; ++g) levels[static_cast<R_xlen_t>(g)] = p.groups[g].name;
  line_group.attr("levels") = levels;
  line_group.attr("class") = "factor";

  // kind, sr, group, status, cutoff, group_sr, reference_sr, ai,
  // ai_highest, meets, quality, standardized_quality.
  Rcpp::List long_rows = Rcpp::List::create(
      Rcpp::Named("kind") = line_kind, Rcpp::Named("sr") = line_sr,
      Rcpp::Named("group") = line_group, Rcpp::Named("status") = line_status,
      Rcpp::Named(value_names[0]) = columns[0], Rcpp::Named(value_names[1]) = columns[1],
      Rcpp::Named(value_names[2]) = columns[2], Rcpp::Named(value_names[3]) = columns[3],
      Rcpp::Named(value_names[4]) = columns[4], Rcpp::Named("meets") = meets,
      Rcpp::Named(value_names[5]) = columns[5], Rcpp::Named(value_names[6]) = columns[6]);

  std::vector<fourfifths::GroupBoundary> pool_boundary = {study.pool_boundary};
  Rcpp::NumericVector dx(study.dx.begin(), study.dx.end()), dy(study.dy.begin(), study.dy.end());
  return Rcpp::List::create(
      Rcpp::Named("messages") = Rcpp::CharacterVector(0),
      Rcpp::Named("weights") = study.weights,
      Rcpp::Named("validity") = study.composites.rxy,
      Rcpp::Named("effects") = frame_of(
          Rcpp::List::create(Rcpp::Named("group") = levels, Rcpp::Named("dx") = dx,
                             Rcpp::Named("dy") = dy),
          static_cast<R_xlen_t>(groups)),
      Rcpp::Named("boundaries") = boundaries_of(p, study.boundaries),
      Rcpp::Named("pool_boundary") = boundaries_of(p, pool_boundary),
      Rcpp::Named("pool") = frame_of(
          Rcpp::List::create(Rcpp::Named("kind") = kind, Rcpp::Named("sr") = sr,
                             Rcpp::Named("status") = status, Rcpp::Named("all_meet") = all_meet,
                             Rcpp::Named("quality") = quality,
                             Rcpp::Named("standardized_quality") = standardized),
          n),
      Rcpp::Named("rows") = frame_of(long_rows, lines));
}

// A study file read from its text (file names it in messages): the problem,
// where its predictor weights come from, the sweep's ratios expanded as
// fourfifths-study expands them, and where and why the file cannot be read
// (NULL when it can).
// [[Rcpp::export]]
Rcpp::List read_study_text(const std::string& text, const std::string& file) {
  if (!fourfifths::is_study_file(text))
    return Rcpp::List::create(Rcpp::Named("error") = Rcpp::List::create(
                                  Rcpp::Named("message") = file +
                                      ": this is a problem deck, not a study file: read it with read_deck()",
                                  Rcpp::Named("line") = 0, Rcpp::Named("column") = 0,
                                  Rcpp::Named("key") = ""));
  const fourfifths::StudyFileReading reading = fourfifths::read_study_file(text, file);
  std::optional<fourfifths::StudyFileError> error = reading.error;
  std::vector<double> sweep;
  if (!error && !reading.study.sweep.empty()) {
    std::string message;
    if (!fourfifths::parse_ratios(reading.study.sweep, sweep, message))
      error = fourfifths::StudyFileError{.file = file,
                                         .line = reading.study.sweep_line,
                                         .column = reading.study.sweep_column,
                                         .key = "selection.sweep",
                                         .message = message};
  }
  if (error)
    return Rcpp::List::create(
        Rcpp::Named("error") = Rcpp::List::create(
            Rcpp::Named("message") = error->describe(), Rcpp::Named("line") = error->line,
            Rcpp::Named("column") = error->column, Rcpp::Named("key") = error->key));
  return Rcpp::List::create(Rcpp::Named("error") = R_NilValue,
                            Rcpp::Named("problem") = group_list_of(reading.study.problem),
                            Rcpp::Named("weights") = fourfifths::name_of(reading.study.weights),
                            Rcpp::Named("sweep") = sweep,
                            Rcpp::Named("stages") = stages_list_of(reading.study.stages),
                            Rcpp::Named("minimum") = reading.study.stage_minimum);
}

// A problem of several groups as a study file, TOML or JSON; sweep is the
// sweep as the file's selection.sweep writes it; stages (none, or a staged
// design's) and their minimum as stages_of() reads them.
// [[Rcpp::export]]
std::string write_study_text(const Rcpp::List& problem, const std::string& sweep, bool json,
                             const std::string& comment, const Rcpp::List& stages, double minimum) {
  fourfifths::StudyFile study;
  study.problem = group_problem_of(problem);
  study.weights = study.problem.regression_weights ? fourfifths::WeightSource::regression
                                                   : fourfifths::WeightSource::given;
  study.sweep = sweep;
  study.stages = stages_of(stages);
  study.stage_minimum = minimum;
  return json ? fourfifths::write_study_json(study) : fourfifths::write_study_toml(study, comment);
}

// The front of a problem of several groups: its messages when there is none,
// else its notes, the headline (whether the target is reached, the best
// weighting's validity, smallest AI and binding groups, the most valid
// validity) and the points in long form, one line per point and group, with
// the point's weights (one vector per predictor, repeated on its groups'
// lines).
// [[Rcpp::export]]
Rcpp::List group_front_of_problem(const Rcpp::List& problem, double sr, int points, bool nonnegative,
                                  double target) {
  const fourfifths::GroupProblem p = group_problem_of(problem);
  fourfifths::GroupFrontOptions options;
  options.sr = sr;
  options.points = points;
  options.nonnegative = nonnegative;
  options.target = target;
  const fourfifths::GroupFront front = fourfifths::pareto_front(p, options);
  if (!front.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = front.messages);
  const std::size_t groups = p.groups.size();
  const auto lines = static_cast<R_xlen_t>(front.points.size() * groups);
  Rcpp::IntegerVector point(lines), group(lines);
  Rcpp::CharacterVector kind(lines);
  Rcpp::LogicalVector reference(lines), binding(lines);
  Rcpp::NumericVector ai(lines), group_sr(lines), composite_d(lines), min_ai(lines), validity(lines),
      multiplier(lines), kkt(lines);
  Rcpp::List weights(p.predictors);
  for (int k = 0; k < p.predictors; ++k) weights[k] = Rcpp::NumericVector(lines);
  R_xlen_t line = 0;
  for (std::size_t i = 0; i < front.points.size(); ++i) {
    const fourfifths::GroupWeighting& w = front.points[i].weighting;
    for (std::size_t g = 0; g < groups; ++g, ++line) {
      point[line] = static_cast<int>(i) + 1;
      kind[line] = fourfifths::name_of(front.points[i].kind);
      group[line] = static_cast<int>(g) + 1;
      reference[line] = g == 0;
      ai[line] = r_value(w.ai[g]);
      group_sr[line] = r_value(w.sr[g]);
      composite_d[line] = r_value(w.composite_d[g]);
      min_ai[line] = w.min_ai;
      validity[line] = w.validity;
      binding[line] = std::find(w.binding.begin(), w.binding.end(), static_cast<int>(g)) != w.binding.end();
      multiplier[line] = w.multipliers[g];
      kkt[line] = w.kkt_residual;
      for (int k = 0; k < p.predictors; ++k) {
        Rcpp::NumericVector column = weights[k];
        column[line] = w.weights[static_cast<std::size_t>(k)];
      }
    }
  }
  Rcpp::CharacterVector levels(static_cast<R_xlen_t>(groups));
  for (std::size_t g = 0; g < groups; ++g) levels[static_cast<R_xlen_t>(g)] = p.groups[g].name;
  group.attr("levels") = levels;
  group.attr("class") = "factor";
  const fourfifths::GroupTarget& h = front.headline;
  Rcpp::CharacterVector bound;
  for (int g : h.best.binding) bound.push_back(p.groups[static_cast<std::size_t>(g)].name);
  Rcpp::List headline = Rcpp::List::create(
      Rcpp::Named("reached") = h.reached, Rcpp::Named("validity") = h.best.validity,
      Rcpp::Named("min_ai") = h.best.min_ai, Rcpp::Named("binding") = bound,
      Rcpp::Named("most_valid") = h.most_valid.validity);
  Rcpp::List values = Rcpp::List::create(
      Rcpp::Named("point") = point, Rcpp::Named("kind") = kind, Rcpp::Named("group") = group,
      Rcpp::Named("reference") = reference, Rcpp::Named("ai") = ai, Rcpp::Named("sr") = group_sr,
      Rcpp::Named("composite_d") = composite_d, Rcpp::Named("min_ai") = min_ai,
      Rcpp::Named("validity") = validity, Rcpp::Named("binding") = binding,
      Rcpp::Named("multiplier") = multiplier, Rcpp::Named("kkt_residual") = kkt);
  return Rcpp::List::create(Rcpp::Named("messages") = Rcpp::CharacterVector(0),
                            Rcpp::Named("notes") = front.notes, Rcpp::Named("headline") = headline,
                            Rcpp::Named("values") = values, Rcpp::Named("weights") = weights);
}

// A staged design over a problem of several groups: its messages when it
// cannot be analysed, else in long form one line per selection (the staged
// design, then the single stage on the last stage's composite at the same
// overall ratio), stage and group, and the mean quality of each group's
// finally selected and of all of them.
// [[Rcpp::export]]
Rcpp::List analyse_staged_problem(const Rcpp::List& problem, const Rcpp::List& stages,
                                  double minimum) {
  fourfifths::StagedProblem p;
  p.groups = group_problem_of(problem);
  p.stages = stages_of(stages);
  p.minimum = minimum;
  const fourfifths::StagedStudy study = fourfifths::analyse(p);
  if (study.rejected()) return Rcpp::List::create(Rcpp::Named("messages") = study.messages);

  const std::size_t groups = p.groups.groups.size();
  Rcpp::CharacterVector levels(static_cast<R_xlen_t>(groups));
  for (std::size_t g = 0; g < groups; ++g) levels[static_cast<R_xlen_t>(g)] = p.groups.groups[g].name;
  fourfifths::Stage single = p.stages.back();
  single.rule = fourfifths::PassRule::cumulative;
  single.value = study.single.stages[0].cumulative;
  const std::vector<fourfifths::Stage> single_stages = {single};
  const struct {
    const char* kind;
    const fourfifths::Selection& selection;
    const std::vector<fourfifths::Stage>& stages;
  } selections[] = {{"staged", study.staged, p.stages}, {"single", study.single, single_stages}};

  std::vector<std::string> kind, name, rule;
  std::vector<int> stage, group;
  std::vector<double> value, cutoff, pass, still_in, ai, ai_highest, ai_cumulative,
      ai_cumulative_highest, all_pass, all_still_in;
  std::vector<std::string> quality_kind;
  std::vector<int> quality_group;
  std::vector<double> quality;
  for (const auto& sel : selections) {
    for (std::size_t s = 0; s < sel.selection.stages.size(); ++s) {
      const fourfifths::StageValues& v = sel.selection.stages[s];
      for (std::size_t g = 0; g < groups; ++g) {
        const fourfifths::StageGroup& x = v.groups[g];
        kind.emplace_back(sel.kind);
        stage.push_back(static_cast<int>(s) + 1);
        name.push_back(v.name);
        rule.emplace_back(fourfifths::name_of(sel.stages[s].rule));
        value.push_back(sel.stages[s].value);
        cutoff.push_back(r_value(v.cutoff));
        group.push_back(static_cast<int>(g) + 1);
        pass.push_back(r_value(x.pass));
        still_in.push_back(r_value(x.cumulative));
        ai.push_back(r_value(x.ai));
        ai_highest.push_back(r_value(x.ai_highest));
        ai_cumulative.push_back(r_value(x.ai_cumulative));
        ai_cumulative_highest.push_back(r_value(x.ai_cumulative_highest));
        all_pass.push_back(r_value(v.pass));
        all_still_in.push_back(r_value(v.cumulative));
      }
    }
    for (std::size_t g = 0; g <= groups; ++g) {
      quality_kind.emplace_back(sel.kind);
      quality_group.push_back(static_cast<int>(g) + 1);
      quality.push_back(r_value(g < groups ? sel.selection.quality[g] : sel.selection.quality_all));
    }
  }
  Rcpp::CharacterVector with_all(static_cast<R_xlen_t>(groups + 1));
  for (std::size_t g = 0; g < groups; ++g) with_all[static_cast<R_xlen_t>(g)] = levels[static_cast<R_xlen_t>(g)];
  with_all[static_cast<R_xlen_t>(groups)] = "all";
  Rcpp::List lines = Rcpp::List::create(
      Rcpp::Named("selection") = kind, Rcpp::Named("stage") = stage, Rcpp::Named("name") = name,
      Rcpp::Named("rule") = rule, Rcpp::Named("value") = value, Rcpp::Named("cutoff") = cutoff,
      Rcpp::Named("group") = group_factor(group, levels), Rcpp::Named("pass") = pass,
      Rcpp::Named("still_in") = still_in, Rcpp::Named("ai") = ai,
      Rcpp::Named("ai_highest") = ai_highest, Rcpp::Named("ai_cumulative") = ai_cumulative,
      Rcpp::Named("ai_cumulative_highest") = ai_cumulative_highest,
      Rcpp::Named("all_pass") = all_pass, Rcpp::Named("all_still_in") = all_still_in);
  return Rcpp::List::create(
      Rcpp::Named("messages") = Rcpp::CharacterVector(0),
      Rcpp::Named("stages") = frame_of(lines, static_cast<R_xlen_t>(kind.size())),
      Rcpp::Named("quality") = frame_of(
          Rcpp::List::create(Rcpp::Named("selection") = quality_kind,
                             Rcpp::Named("group") = group_factor(quality_group, with_all),
                             Rcpp::Named("quality") = quality),
          static_cast<R_xlen_t>(quality.size())));
}

// Adverse impact observed from counts: the library's messages when the
// counts are rejected, else one line per group with every value it computes,
// the reference group's index (from 1) and the pooled rate.
// [[Rcpp::export]]
Rcpp::List observed_counts(const std::vector<std::string>& names, const std::vector<double>& applicants,
                           const std::vector<double>& selected, const std::string& reference,
                           double alpha, bool katz) {
  std::vector<fourfifths::ObservedGroup> groups;
  for (std::size_t g = 0; g < names.size(); ++g)
    groups.push_back({.name = names[g], .applicants = applicants[g], .selected = selected[g]});
  fourfifths::ObservedOptions options;
  options.reference = reference;
  options.alpha = alpha;
  options.interval = katz ? fourfifths::ImpactInterval::katz : fourfifths::ImpactInterval::adjusted_log;
  const fourfifths::ObservedImpact impact = fourfifths::observed_impact(groups, options);
  if (!impact.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = impact.messages);
  using fourfifths::ObservedRow;
  static constexpr double ObservedRow::*values[] = {
      &ObservedRow::rate,             &ObservedRow::impact_ratio,     &ObservedRow::z_difference,
      &ObservedRow::p_difference,     &ObservedRow::z_log_ratio,      &ObservedRow::p_log_ratio,
      &ObservedRow::fisher_one_sided, &ObservedRow::fisher_two_sided, &ObservedRow::mid_p_one_sided,
      &ObservedRow::mid_p_two_sided,  &ObservedRow::interval_lower,   &ObservedRow::interval_upper,
      &ObservedRow::shortfall,        &ObservedRow::ratio_one_more,   &ObservedRow::ratio_one_fewer};
  static constexpr const char* value_names[] = {
      "rate", "impact_ratio", "z_difference", "p_difference", "z_log_ratio", "p_log_ratio",
      "fisher_one_sided", "fisher_two_sided", "mid_p_one_sided", "mid_p_two_sided",
      "interval_lower", "interval_upper", "shortfall", "ratio_one_more", "ratio_one_fewer"};
  const auto n = static_cast<R_xlen_t>(impact.rows.size());
  Rcpp::CharacterVector group(n);
  Rcpp::NumericVector counts_applicants(n), counts_selected(n);
  Rcpp::LogicalVector is_reference(n), meets(n), flip_flop(n);
  std::vector<Rcpp::NumericVector> columns(std::size(values));
  for (auto& column : columns) column = Rcpp::NumericVector(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const ObservedRow& row = impact.rows[static_cast<std::size_t>(i)];
    group[i] = row.name;
    counts_applicants[i] = static_cast<double>(row.applicants);
    counts_selected[i] = static_cast<double>(row.selected);
    is_reference[i] = row.reference;
    meets[i] = row.meets;
    flip_flop[i] = row.flip_flop;
    for (std::size_t f = 0; f < columns.size(); ++f) columns[f][i] = r_value(row.*values[f]);
  }
  Rcpp::List frame(static_cast<R_xlen_t>(std::size(values)) + 6);
  Rcpp::CharacterVector frame_names(frame.size());
  R_xlen_t at = 0;
  auto add = [&](const char* column_name, SEXP column) {
    frame[at] = column;
    frame_names[at++] = column_name;
  };
  add("group", group);
  add("applicants", counts_applicants);
  add("selected", counts_selected);
  add("reference", is_reference);
  add(value_names[0], columns[0]);
  add(value_names[1], columns[1]);
  add("meets", meets);
  for (std::size_t f = 2; f < columns.size(); ++f) add(value_names[f], columns[f]);
  add("flip_flop", flip_flop);
  frame.attr("names") = frame_names;
  return Rcpp::List::create(Rcpp::Named("messages") = Rcpp::CharacterVector(0),
                            Rcpp::Named("groups") = frame_of(frame, n),
                            Rcpp::Named("reference") = impact.reference + 1,
                            Rcpp::Named("pooled_rate") = impact.pooled_rate);
}

// What samples of a planned size will show (two groups, each applicant
// selected independently with the group's probability): the library's
// messages when the plan is rejected, else the probabilities, the expected
// shortfall and the distribution of the impact ratio.
// [[Rcpp::export]]
Rcpp::List sample_plan(double reference_applicants, double group_applicants,
                       double reference_probability, double group_probability, double alpha) {
  fourfifths::SamplePlan plan;
  plan.reference_applicants = static_cast<long>(reference_applicants);
  plan.group_applicants = static_cast<long>(group_applicants);
  plan.reference_probability = reference_probability;
  plan.group_probability = group_probability;
  plan.alpha = alpha;
  const fourfifths::SampleDistribution d = fourfifths::sample_distribution(plan);
  if (!d.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = d.messages);
  const auto n = static_cast<R_xlen_t>(d.ratios.size());
  Rcpp::NumericVector ratio(n), probability(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    ratio[i] = d.ratios[static_cast<std::size_t>(i)].ratio;
    probability[i] = d.ratios[static_cast<std::size_t>(i)].probability;
  }
  return Rcpp::List::create(
      Rcpp::Named("messages") = Rcpp::CharacterVector(0),
      Rcpp::Named("values") = Rcpp::NumericVector::create(
          Rcpp::Named("p_violation") = d.p_violation, Rcpp::Named("p_no_ratio") = d.p_no_ratio,
          Rcpp::Named("p_flip_flop") = d.p_flip_flop,
          Rcpp::Named("p_z_difference") = d.p_z_difference,
          Rcpp::Named("p_z_log_ratio") = d.p_z_log_ratio,
          Rcpp::Named("p_fisher_one_sided") = d.p_fisher_one_sided,
          Rcpp::Named("p_fisher_two_sided") = d.p_fisher_two_sided,
          Rcpp::Named("p_mid_p_one_sided") = d.p_mid_p_one_sided,
          Rcpp::Named("p_mid_p_two_sided") = d.p_mid_p_two_sided,
          Rcpp::Named("expected_shortfall") = d.expected_shortfall),
      Rcpp::Named("ratios") = frame_of(Rcpp::List::create(Rcpp::Named("ratio") = ratio,
                                                          Rcpp::Named("probability") = probability),
                                       n));
}

// A plan of several groups, the reference group first: the library's
// messages when it is rejected, else the probability that some further group
// shows a violation or each test significant (any), and the same with every
// group at the reference group's probability (at_parity).
// [[Rcpp::export]]
Rcpp::List sample_plan_groups(Rcpp::CharacterVector names, Rcpp::NumericVector applicants,
                              Rcpp::NumericVector probabilities, double alpha) {
  fourfifths::MultiPlan plan;
  plan.alpha = alpha;
  for (R_xlen_t g = 0; g < names.size(); ++g)
    plan.groups.push_back({Rcpp::as<std::string>(names[g]), static_cast<long>(applicants[g]), probabilities[g]});
  const fourfifths::MultiDistribution d = fourfifths::multi_sample_distribution(plan);
  if (!d.messages.empty()) return Rcpp::List::create(Rcpp::Named("messages") = d.messages);
  const auto values = [](const fourfifths::AnyGroupProbabilities& a) {
    return Rcpp::NumericVector::create(
        Rcpp::Named("p_violation") = a.p_violation, Rcpp::Named("p_z_difference") = a.p_z_difference,
        Rcpp::Named("p_z_log_ratio") = a.p_z_log_ratio, Rcpp::Named("p_fisher_one_sided") = a.p_fisher_one_sided,
        Rcpp::Named("p_fisher_two_sided") = a.p_fisher_two_sided,
        Rcpp::Named("p_mid_p_one_sided") = a.p_mid_p_one_sided,
        Rcpp::Named("p_mid_p_two_sided") = a.p_mid_p_two_sided);
  };
  return Rcpp::List::create(Rcpp::Named("messages") = Rcpp::CharacterVector(0),
                            Rcpp::Named("any") = values(d.any), Rcpp::Named("at_parity") = values(d.at_parity));
}
