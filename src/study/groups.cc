// The analysis of a problem of several groups: validation, each group's
// composite effect sizes, the pools (one joint pool, or one pair per further
// group), the four-fifths boundaries and the rows.
//
// Each further group g with the reference group is a classic two-group
// problem (as_problem); its validation and its composites are those of the
// classic analysis, so that the weights, variances and correlation are the
// same for every group and only the effect sizes differ.
#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "study/pools.h"

namespace fourfifths {
namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

bool all_zero(const std::vector<double>& values) {
  for (double v : values)
    if (v != 0) return false;
  return true;
}

std::string quoted(const std::string& name) {
  return "'" + name + "'";
}

// The faults of the groups themselves, before any pair is looked at.
std::vector<std::string> group_messages(const GroupProblem& p) {
  std::vector<std::string> messages;
  if (p.groups.size() < 2) {
    messages.emplace_back("A study needs a reference group and at least one further group");
    return messages;
  }
  if (!p.predictor_names.empty() &&
      p.predictor_names.size() != static_cast<std::size_t>(p.predictors))
    messages.push_back("Expected " + std::to_string(p.predictors) + " predictor names, got " +
                       std::to_string(p.predictor_names.size()));
  if (!p.criterion_names.empty() &&
      p.criterion_names.size() != static_cast<std::size_t>(p.criteria))
    messages.push_back("Expected " + std::to_string(p.criteria) + " criterion names, got " +
                       std::to_string(p.criterion_names.size()));
  std::set<std::string> seen;
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    const Group& group = p.groups[g];
    if (group.name.empty())
      messages.push_back("Group " + std::to_string(g + 1) + " has no name");
    else if (!seen.insert(group.name).second)
      messages.push_back("Group name " + quoted(group.name) + " is given twice");
    if (p.basis != Basis::overall) continue;
    const bool usable = std::isfinite(group.share) && (g == 0 ? group.share >= 0 : group.share > 0);
    if (!usable)
      messages.push_back("Share of group " + quoted(group.name) +
                         (g == 0 ? " must be a finite number, not negative"
                                 : " must be a positive finite number"));
  }
  if (p.basis == Basis::overall && messages.empty()) {
    double total = 0;
    for (const Group& group : p.groups) total += group.share;
    if (!std::isfinite(total))
      messages.emplace_back(
          "The groups' shares add up to more than a number can hold: give them on a smaller scale");
  }
  const Group& reference = p.groups[0];
  if (!all_zero(reference.predictor_effects) || !all_zero(reference.criterion_effects))
    messages.push_back("The effect sizes of the reference group " + quoted(reference.name) +
                       " must be zero: every group's are differences from it");
  return messages;
}

struct Prepared {
  std::vector<std::string> messages;
  std::vector<double> weights;
  std::vector<Composites> composites;  // per further group (index 0 unused)
};

// Every message, and the composites of each further group with the reference.
Prepared prepare(const GroupProblem& p) {
  Prepared out;
  out.messages = group_messages(p);
  if (!out.messages.empty()) return out;
  out.composites.resize(p.groups.size());
  for (std::size_t g = 1; g < p.groups.size(); ++g) {
    const Problem pair = as_problem(p, static_cast<int>(g));
    std::vector<std::string> messages = validate(pair);
    if (messages.empty()) {
      std::vector<std::string> none;
      out.composites[g] = compute_composites(pair, out.weights, none);
    }
    // The first group's messages as the classic analysis words them; a later
    // group's further faults name it.
    for (const std::string& m : messages) {
      bool known = false;
      for (const std::string& k : out.messages) known = known || k == m;
      if (g == 1)
        out.messages.push_back(m);
      else if (!known)
        out.messages.push_back("Group " + quoted(p.groups[g].name) + ": " + m);
    }
  }
  return out;
}

// The pool of the reference group and group g alone.
PoolModel pair_pool(const GroupProblem& p, const GroupStudy& s, const Prepared& prep, int g) {
  PoolModel pool;
  pool.basis = p.basis;
  pool.pair = selection_model(as_problem(p, g), prep.composites[g]);
  pool.p = {pool.pair.pmaj, pool.pair.pmin};
  pool.dx = {0.0, s.dx[g]};
  pool.dy = {0.0, s.dy[g]};
  pool.on_criterion = p.quality == Quality::criterion;
  pool.rxy = prep.composites[g].rxy;
  pool.highest = s.dx[g] > 0 ? 1 : 0;
  return pool;
}

// The pool of every group.
PoolModel joint_pool(const GroupProblem& p, const GroupStudy& s, const Prepared& prep) {
  if (p.groups.size() == 2) return pair_pool(p, s, prep, 1);
  PoolModel pool;
  pool.basis = p.basis;
  pool.dx = s.dx;
  pool.dy = s.dy;
  pool.on_criterion = p.quality == Quality::criterion;
  pool.rxy = prep.composites[1].rxy;
  if (p.basis == Basis::overall) {
    double total = 0;
    for (const Group& group : p.groups) total += group.share;
    for (const Group& group : p.groups) pool.p.push_back(group.share / total);
  } else {
    pool.p.assign(p.groups.size(), 0.0);
  }
  for (std::size_t g = 1; g < s.dx.size(); ++g)
    if (s.dx[g] > s.dx[static_cast<std::size_t>(pool.highest)]) pool.highest = static_cast<int>(g);
  return pool;
}

GroupValues not_reported() {
  GroupValues v;
  v.cutoff = v.sr = v.sr_reference = v.ai = v.ai_highest = undefined;
  v.quality = v.standardized_quality = undefined;
  return v;
}

// The row's status and verdict from its groups' values.
void summarize(GroupRow& row, bool pairwise) {
  row.status = RowStatus::ok;
  row.all_meet = true;
  for (std::size_t g = pairwise ? 1 : 0; g < row.groups.size(); ++g) {
    const GroupValues& v = row.groups[g];
    if (v.status != RowStatus::ok && row.status == RowStatus::ok) row.status = v.status;
    row.all_meet = row.all_meet && v.status == RowStatus::ok && v.meets;
  }
}

}  // namespace

Problem as_problem(const GroupProblem& p, int g) {
  Problem problem;
  problem.predictors = p.predictors;
  problem.criteria = p.criteria;
  problem.basis = p.basis;
  const Group& group = p.groups.at(static_cast<std::size_t>(g));
  if (p.basis == Basis::overall) problem.applicant_ratio = p.groups[0].share / group.share;
  problem.regression_weights = p.regression_weights;
  problem.quality = p.quality;
  problem.predictor_weights = p.predictor_weights;
  problem.criterion_weights = p.criterion_weights;
  problem.correlations = p.correlations;
  problem.predictor_effects = group.predictor_effects;
  problem.criterion_effects = group.criterion_effects;
  problem.requested_ratios = p.requested_ratios;
  return problem;
}

GroupProblem as_group_problem(const Problem& problem) {
  GroupProblem p;
  p.predictors = problem.predictors;
  p.criteria = problem.criteria;
  for (int i = 0; i < problem.predictors; ++i)
    p.predictor_names.push_back("P" + std::to_string(i + 1));
  for (int k = 0; k < problem.criteria; ++k)
    p.criterion_names.push_back("C" + std::to_string(k + 1));
  p.basis = problem.basis;
  p.regression_weights = problem.regression_weights;
  p.quality = problem.quality;
  p.predictor_weights = problem.predictor_weights;
  p.criterion_weights = problem.criterion_weights;
  p.correlations = problem.correlations;
  Group majority{.name = "majority",
                 .share = problem.basis == Basis::overall ? problem.applicant_ratio : 1.0,
                 .predictor_effects = {},
                 .criterion_effects = {}};
  Group minority{.name = "minority",
                 .share = 1.0,
                 .predictor_effects = problem.predictor_effects,
                 .criterion_effects = problem.criterion_effects};
  p.groups = {majority, minority};
  p.requested_ratios = problem.requested_ratios;
  return p;
}

std::string predictor_name(const GroupProblem& p, int i) {
  const auto at = static_cast<std::size_t>(i);
  return at < p.predictor_names.size() ? p.predictor_names[at] : "P" + std::to_string(i + 1);
}

std::string criterion_name(const GroupProblem& p, int k) {
  const auto at = static_cast<std::size_t>(k);
  return at < p.criterion_names.size() ? p.criterion_names[at] : "C" + std::to_string(k + 1);
}

std::vector<std::string> validate(const GroupProblem& problem) {
  return prepare(problem).messages;
}

GroupStudy analyse(const GroupProblem& problem, const StudyOptions& options) {
  GroupStudy s;
  s.problem = problem;
  Prepared prep = prepare(problem);
  s.messages = prep.messages;
  if (s.rejected()) return s;

  const std::size_t n = problem.groups.size();
  s.weights = prep.weights;
  s.composites = prep.composites[1];
  s.dx.assign(n, 0.0);
  s.dy.assign(n, 0.0);
  for (std::size_t g = 1; g < n; ++g) {
    s.dx[g] = prep.composites[g].dx;
    s.dy[g] = prep.composites[g].dy;
  }

  const bool pairwise = problem.pool == Pool::pairwise && n > 2;
  std::vector<PoolModel> pools;
  if (pairwise) {
    pools.resize(n);
    for (std::size_t g = 1; g < n; ++g) pools[g] = pair_pool(problem, s, prep, static_cast<int>(g));
  } else {
    pools = {joint_pool(problem, s, prep)};
  }

  // Boundaries: each group against the pool's highest; in pairs, the pair's.
  s.boundaries.resize(n);
  for (std::size_t g = 0; g < n; ++g) {
    if (!pairwise) {
      s.boundaries[g] = member_boundary(pools[0], static_cast<int>(g));
      continue;
    }
    if (g == 0) {
      s.boundaries[0].state = BoundaryState::not_applicable;
      s.boundaries[0].group = 0;
      continue;
    }
    const PoolModel& pair = pools[g];
    // The pair's lower-scoring member reaches four-fifths of the other.
    GroupBoundary b = member_boundary(pair, pair.highest == 1 ? 0 : 1);
    const int members[2] = {0, static_cast<int>(g)};
    b.group = members[1 - pair.highest];
    b.against = members[pair.highest];
    s.boundaries[g] = b;
  }
  s.pool_boundary.group = -1;
  for (const GroupBoundary& b : s.boundaries) {
    if (s.pool_boundary.state == BoundaryState::none_in_range) break;
    if (b.state == BoundaryState::none_in_range ||
        (b.state == BoundaryState::found &&
         (s.pool_boundary.state != BoundaryState::found || b.sr > s.pool_boundary.sr)) ||
        (b.state == BoundaryState::met_in_range &&
         s.pool_boundary.state == BoundaryState::never_below))
      s.pool_boundary = b;
  }

  auto row_at = [&](RowKind kind, double sr) {
    GroupRow row;
    row.kind = kind;
    row.sr = sr;
    if (!pairwise) {
      PoolRow values = evaluate_pool(pools[0], sr);
      row.groups = std::move(values.members);
      row.quality = values.quality;
      row.standardized_quality = values.standardized_quality;
    } else {
      row.quality = row.standardized_quality = undefined;
      row.groups.assign(n, not_reported());
      for (std::size_t g = 1; g < n; ++g) row.groups[g] = evaluate_pool(pools[g], sr).members[1];
    }
    summarize(row, pairwise);
    return row;
  };

  s.rows.reserve(sr1.size() + 1 + problem.requested_ratios.size() + options.sweep.size());
  for (double sr : sr1) s.rows.push_back(row_at(RowKind::builtin, sr));
  if (s.pool_boundary.state == BoundaryState::found)
    s.rows.push_back(row_at(RowKind::boundary, s.pool_boundary.sr));
  for (double sr : problem.requested_ratios) s.rows.push_back(row_at(RowKind::requested, sr));
  for (double sr : options.sweep) s.rows.push_back(row_at(RowKind::sweep, sr));
  return s;
}

const char* name_of(Pool pool) {
  return pool == Pool::joint ? "joint" : "pairwise";
}

const char* name_of(BoundaryState state) {
  switch (state) {
    case BoundaryState::found:
      return "found";
    case BoundaryState::never_below:
      return "never_below";
    case BoundaryState::met_in_range:
      return "met_in_range";
    case BoundaryState::none_in_range:
      return "none_in_range";
    case BoundaryState::not_applicable:
      return "not_applicable";
  }
  return "?";
}

}  // namespace fourfifths
