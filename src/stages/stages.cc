// Staged selection of several groups: the design's normal model (each stage
// composite's group means, the stages' correlations with each other and with
// the quality composite), the cut-off of each stage solved on its entrants,
// each group's share through the stages, the adverse-impact ratios and the
// mean quality of the finally selected; beside it one stage on the last
// stage's composite at the same overall selection ratio.
//
// Each stage composite is the single-stage composite of its weights
// (compute_composites through as_problem), so that a stage's group means and
// its correlation with the criterion composite are those a single-stage study
// of the same weights uses.
#include <algorithm>
#include <boost/math/tools/toms748_solve.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <span>
#include <string>

#include "fourfifths/stages.h"
#include "stages/orthant.h"
#include "study/study.h"

namespace fourfifths {
namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
// Two stage composites correlated beyond this are one composite.
constexpr double same_composite = 1 - 1e-12;

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

std::string stage_label(const StagedProblem& p, std::size_t s) {
  return "Stage " + std::to_string(s + 1) + " '" + p.stages[s].name + "'";
}

// The design's normal model.
struct Model {
  int k = 0;                         // stages
  std::vector<std::vector<double>> d;  // d[s][g]: group g's mean on stage s's composite
  std::vector<double> dy;            // group g's mean on the quality composite
  std::array<std::array<double, 3>, 3> r{};  // the stages' correlations
  std::array<double, 3> ry{};                // each stage's correlation with the quality composite
  std::vector<double> p;                     // the groups' proportions of the pool
};

GroupProblem stage_problem(const GroupProblem& groups, const Stage& stage) {
  GroupProblem p = groups;
  p.predictor_weights = stage.weights;
  p.regression_weights = false;
  p.requested_ratios.clear();
  return p;
}

// The covariance of two predictor composites (correlations above the diagonal
// read, the diagonal taken as 1, as the single-stage composite reads them).
double covariance(const GroupProblem& p, std::span<const double> u, std::span<const double> v) {
  const int nvar = p.predictors + p.criteria;
  double c = 0;
  for (int i = 0; i < p.predictors; ++i)
    for (int j = 0; j < p.predictors; ++j) {
      const double rij = i == j ? 1 : p.correlations[std::min(i, j) * nvar + std::max(i, j)];
      c += u[i] * v[j] * rij;
    }
  return c;
}

Model build_model(const GroupProblem& groups, const std::vector<Stage>& stages) {
  Model m;
  m.k = static_cast<int>(stages.size());
  const std::size_t n = groups.groups.size();
  m.d.assign(stages.size(), std::vector<double>(n, 0.0));
  m.dy.assign(n, 0.0);
  std::vector<double> rxy(stages.size());
  for (std::size_t s = 0; s < stages.size(); ++s) {
    const GroupProblem gp = stage_problem(groups, stages[s]);
    for (std::size_t g = 1; g < n; ++g) {
      std::vector<double> weights;
      std::vector<std::string> none;
      const Composites c = compute_composites(as_problem(gp, static_cast<int>(g)), weights, none);
      m.d[s][g] = c.dx;
      rxy[s] = c.rxy;
      if (groups.quality == Quality::criterion) m.dy[g] = c.dy;
    }
  }
  for (std::size_t s = 0; s < stages.size(); ++s) {
    m.r[s][s] = 1;
    for (std::size_t t = s + 1; t < stages.size(); ++t) {
      const double rst =
          covariance(groups, stages[s].weights, stages[t].weights) /
          std::sqrt(covariance(groups, stages[s].weights, stages[s].weights) *
                    covariance(groups, stages[t].weights, stages[t].weights));
      m.r[s][t] = m.r[t][s] = std::clamp(rst, -1.0, 1.0);
    }
  }
  const std::size_t last = stages.size() - 1;
  for (std::size_t s = 0; s < stages.size(); ++s)
    m.ry[s] = groups.quality == Quality::criterion ? rxy[s] : m.r[s][last];
  if (groups.quality == Quality::predictor) m.dy = m.d[last];
  double total = 0;
  for (const Group& g : groups.groups) total += g.share;
  for (const Group& g : groups.groups) m.p.push_back(g.share / total);
  return m;
}

// Group g's region after the stages with cut-offs c: stages that pass
// everyone left out, a stage on the same composite as an earlier one merged
// into it at the higher threshold.
struct Region {
  Orthant o;
  std::array<double, 3> ry{};
  bool empty = false;
};

Region region(const Model& m, std::size_t g, std::span<const double> c) {
  Region out;
  std::array<int, 3> kept{};
  for (std::size_t s = 0; s < c.size(); ++s) {
    if (c[s] == -infinity) continue;
    const double a = c[s] - m.d[s][g];
    if (a == infinity) out.empty = true;
    bool merged = false;
    for (int u = 0; u < out.o.k && !merged; ++u) {
      if (m.r[kept[u]][s] >= same_composite) {
        out.o.a[u] = std::max(out.o.a[u], a);
        merged = true;
      }
    }
    if (merged) continue;
    const int u = out.o.k++;
    kept[u] = static_cast<int>(s);
    out.o.a[u] = a;
    out.ry[u] = m.ry[s];
    for (int v = 0; v <= u; ++v) out.o.r[u][v] = out.o.r[v][u] = m.r[kept[v]][s];
  }
  return out;
}

double still_in(const Model& m, std::size_t g, std::span<const double> c) {
  const Region reg = region(m, g, c);
  return reg.empty ? 0 : orthant_probability(reg.o);
}

double pool_still_in(const Model& m, std::span<const double> c) {
  double total = 0;
  for (std::size_t g = 0; g < m.p.size(); ++g) total += m.p[g] * still_in(m, g, c);
  return total;
}

// The cut-off at which the pool's share still in after the stages c and one
// more is target (below prev, the share before it).
bool solve_cutoff(const Model& m, std::vector<double> c, double target, double& cutoff) {
  c.push_back(0);
  auto f = [&](double x) {
    c.back() = x;
    return pool_still_in(m, c) - target;
  };
  double lo = -8;
  double flo = f(lo);
  while (flo <= 0 && lo > -40) flo = f(lo -= 8);
  double hi = 8;
  double fhi = f(hi);
  while (fhi >= 0 && hi < 40) fhi = f(hi += 8);
  if (!(flo > 0 && fhi < 0)) return false;
  std::uintmax_t iterations = 200;
  auto close = [](double a, double b) { return std::abs(b - a) <= 1e-14 * std::max(1.0, std::abs(a)); };
  const auto [a, b] = boost::math::tools::toms748_solve(f, lo, hi, flo, fhi, close, iterations);
  cutoff = 0.5 * (a + b);
  return true;
}

// A selection through the stages of problem on model m; messages name the
// stage whose rule cannot be met.
Selection select(const StagedProblem& p, const Model& m, std::vector<std::string>& messages) {
  Selection out;
  const std::size_t n = m.p.size();
  std::vector<double> c;
  std::vector<double> before(n, 1.0);
  double pool_before = 1;
  for (std::size_t s = 0; s < p.stages.size(); ++s) {
    const Stage& stage = p.stages[s];
    double cutoff = stage.value;
    if (stage.rule != PassRule::cutoff) {
      const double target = stage.rule == PassRule::entrants ? stage.value * pool_before : stage.value;
      if (target > pool_before * (1 + 1e-12)) {
        messages.push_back(stage_label(p, s) + ": keeps " + number(target) +
                           " of all applicants, more than the " + number(pool_before) +
                           " still in before it");
        return out;
      }
      if (target >= pool_before) {
        cutoff = -infinity;
      } else if (!solve_cutoff(m, c, target, cutoff)) {
        messages.push_back(stage_label(p, s) + ": no cut-off in [-40, 40] keeps " +
                           number(target) + " of all applicants");
        return out;
      }
    }
    c.push_back(cutoff);
    StageValues v;
    v.name = stage.name;
    v.cutoff = cutoff;
    v.groups.resize(n);
    double pool_after = 0;
    for (std::size_t g = 0; g < n; ++g) {
      StageGroup& sg = v.groups[g];
      sg.cumulative = still_in(m, g, c);
      sg.pass = before[g] > 0 ? sg.cumulative / before[g] : undefined;
      pool_after += m.p[g] * sg.cumulative;
      before[g] = sg.cumulative;
    }
    v.cumulative = pool_after;
    v.pass = pool_after / pool_before;
    double top_pass = 0;
    double top_cumulative = 0;
    for (const StageGroup& sg : v.groups) {
      if (sg.pass > top_pass) top_pass = sg.pass;
      top_cumulative = std::max(top_cumulative, sg.cumulative);
    }
    for (StageGroup& sg : v.groups) {
      sg.ai = sg.pass / v.groups[0].pass;
      sg.ai_highest = sg.pass / top_pass;
      sg.ai_cumulative = sg.cumulative / v.groups[0].cumulative;
      sg.ai_cumulative_highest = sg.cumulative / top_cumulative;
    }
    if (!(pool_after > 0)) {
      messages.push_back(stage_label(p, s) + ": its cut-off " + number(cutoff) + " leaves nobody");
      return out;
    }
    if (pool_after < p.minimum) {
      messages.push_back(stage_label(p, s) + ": leaves " + number(pool_after) +
                         " of all applicants, fewer than the minimum " + number(p.minimum));
      return out;
    }
    pool_before = pool_after;
    out.stages.push_back(std::move(v));
  }
  // Mean quality of the finally selected: Tallis's first moment over the region.
  out.quality.assign(n, undefined);
  double sum = 0;
  for (std::size_t g = 0; g < n; ++g) {
    const Region reg = region(m, g, c);
    const double in = reg.empty ? 0 : orthant_probability(reg.o);
    const double moment = reg.empty ? 0 : orthant_moment(reg.o, reg.ry);
    if (in > 0) out.quality[g] = m.dy[g] + moment / in;
    sum += m.p[g] * (m.dy[g] * in + moment);
  }
  out.quality_all = sum / pool_before;
  return out;
}

// The faults of the design that do not depend on its cut-offs.
std::vector<std::string> design_messages(const StagedProblem& p) {
  std::vector<std::string> messages;
  const GroupProblem& gp = p.groups;
  if (p.stages.empty()) {
    messages.emplace_back("A staged study needs at least one stage");
    return messages;
  }
  if (p.stages.size() > static_cast<std::size_t>(max_stages))
    messages.push_back("A staged study has at most " + std::to_string(max_stages) +
                       " stages: the probabilities of more are not computed exactly (" +
                       stage_label(p, max_stages) + " and on)");
  if (gp.basis != Basis::overall)
    messages.emplace_back(
        "A staged study solves its cut-offs on the pool of all groups: give the groups' shares "
        "(the overall basis)");
  if (gp.pool != Pool::joint)
    messages.emplace_back("A staged study pools all groups: the pairwise convention is not offered");
  if (gp.regression_weights)
    messages.emplace_back("Every stage gives its own weights: regression weights are not offered");
  if (!(p.minimum >= 0 && p.minimum <= 1))
    messages.push_back("The minimum share of applicants every stage leaves must lie in [0, 1], not " +
                       number(p.minimum));
  std::set<std::string> names;
  for (std::size_t s = 0; s < p.stages.size(); ++s) {
    const Stage& stage = p.stages[s];
    if (stage.name.empty())
      messages.push_back("Stage " + std::to_string(s + 1) + " has no name");
    else if (!names.insert(stage.name).second)
      messages.push_back("Stage name '" + stage.name + "' is given twice");
    if (stage.weights.size() != static_cast<std::size_t>(gp.predictors))
      messages.push_back(stage_label(p, s) + ": expected " + std::to_string(gp.predictors) +
                         " weights, got " + std::to_string(stage.weights.size()));
    if (stage.rule == PassRule::cutoff && !std::isfinite(stage.value))
      messages.push_back(stage_label(p, s) + ": the cut-off must be a finite number, not " +
                         number(stage.value));
    if (stage.rule != PassRule::cutoff && !(stage.value > 0 && stage.value <= 1))
      messages.push_back(stage_label(p, s) + ": the share " +
                         (stage.rule == PassRule::entrants ? "of its entrants who pass"
                                                           : "of all applicants still in after it") +
                         " must lie in (0, 1], not " + number(stage.value));
  }
  if (!messages.empty()) return messages;

  // Each stage's composite as a single-stage study of the groups would check
  // it: faults common to every stage once, the others naming their stage.
  std::vector<std::vector<std::string>> per_stage;
  for (const Stage& stage : p.stages) {
    const GroupProblem sp = stage_problem(gp, stage);
    std::vector<std::string> found = validate(sp);
    if (found.empty())
      for (std::string& m : check_correlations(as_problem(sp, 1))) found.push_back(std::move(m));
    per_stage.push_back(std::move(found));
  }
  std::set<std::string> said;
  for (std::size_t s = 0; s < per_stage.size(); ++s)
    for (const std::string& m : per_stage[s]) {
      bool everywhere = true;
      for (const auto& other : per_stage)
        everywhere = everywhere && std::find(other.begin(), other.end(), m) != other.end();
      if (!everywhere)
        messages.push_back(stage_label(p, s) + ": " + m);
      else if (said.insert(m).second)
        messages.push_back(m);
    }
  if (!messages.empty()) return messages;

  const Model m = build_model(gp, p.stages);
  for (std::size_t s = 0; s < p.stages.size(); ++s)
    for (std::size_t t = s + 1; t < p.stages.size(); ++t)
      if (m.r[s][t] <= -same_composite)
        messages.push_back(stage_label(p, t) + ": its composite is the reverse of " +
                           stage_label(p, s) +
                           "'s, so the two hurdles select from opposite ends of one score");
  return messages;
}

}  // namespace

StagedStudy analyse(const StagedProblem& problem) {
  StagedStudy study;
  study.problem = problem;
  study.messages = design_messages(problem);
  if (study.rejected()) return study;

  const Model m = build_model(problem.groups, problem.stages);
  study.staged = select(problem, m, study.messages);
  if (study.rejected()) {
    study.staged = {};
    return study;
  }

  // One stage on the last stage's composite, as many selected in all.
  StagedProblem one = problem;
  one.stages = {problem.stages.back()};
  one.stages[0].rule = PassRule::cumulative;
  one.stages[0].value = study.staged.stages.back().cumulative;
  one.minimum = 0;
  const Model single = build_model(problem.groups, one.stages);
  study.single = select(one, single, study.messages);
  if (study.rejected()) study.staged = study.single = {};
  return study;
}

const char* name_of(PassRule rule) {
  switch (rule) {
    case PassRule::entrants:
      return "entrants";
    case PassRule::cumulative:
      return "cumulative";
    case PassRule::cutoff:
      return "cutoff";
  }
  return "?";
}

}  // namespace fourfifths
