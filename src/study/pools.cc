// Pools of applicant groups under one cut-off: the selection ratio of the
// pool as a function of the cut-off, its zero for a row's ratio, each
// member's ratio, adverse-impact ratios and mean quality there, and the
// four-fifths boundary of a member.
//
// Model: member g scores N(dx_g, 1) on the predictor composite, so that a
// proportion 1 - Phi(x - dx_g) of it lies at or above the cut-off x, and the
// pool's selection ratio is the sum of p_g (1 - Phi(x - dx_g)). The mean
// quality of a member's selected is the truncated normal mean
// phi(x - dx_g) / (1 - Phi(x - dx_g)) + dx_g on the predictor composite, and
// rxy phi(x - dx_g) / (1 - Phi(x - dx_g)) + dy_g on the criterion composite.
//
// For equal variances the ratio of two members' selection ratios moves
// monotonically with the cut-off (the normal tail is log-concave), so the
// member with the largest dx selects the highest share at every cut-off, and
// the adverse-impact ratio of any member against it rises towards 1 as the
// selection ratio grows: the four-fifths boundary is the one zero of
// sr_g / sr_highest - 0.8.
//
// As in the classic tables, the groups' selection ratios of a row or a
// boundary are those of the cut-off search's last evaluation, within the
// search's tolerance of the cut-off it returns (1e-4 relative, 1e-6
// absolute); the densities of the mean quality are taken at that cut-off.
//
// A pool of two members is the classic selection model: its rows and the
// boundary of a lower-scoring second member come from evaluate_row and
// find_boundary, the same searches and evaluations as the classic tables.
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/model.h"
#include "rootfind/rootfind.h"
#include "study/pools.h"

namespace fourfifths {
namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

// The share of a unit normal group at or above x, formed as one minus the
// lower tail as the classic tables form it, so two groups agree bit for bit.
double share_above(double x) {
  int32_t lower = 0;
  return 1.0 - alnorm(x, lower);
}

double density(double x) {
  double p;
  double q;
  double pdf;
  normp(x, p, q, pdf);
  return pdf;
}

GroupValues values_without(RowStatus status) {
  GroupValues v;
  v.status = status;
  v.cutoff = v.sr = v.sr_reference = v.ai = v.ai_highest = undefined;
  v.quality = v.standardized_quality = undefined;
  return v;
}

PoolRow row_without(const PoolModel& pool, RowStatus status) {
  PoolRow row;
  row.status = status;
  row.cutoff = row.quality = row.standardized_quality = undefined;
  row.members.assign(pool.dx.size(), values_without(status));
  return row;
}

// Mean and standard deviation of the whole pool on the chosen composite: the
// members mixed in their proportions, each with unit variance.
void pool_scale(const PoolModel& pool, double& mean, double& sd) {
  const std::vector<double>& d = pool.on_criterion ? pool.dy : pool.dx;
  mean = 0;
  for (std::size_t g = 0; g < d.size(); ++g) mean += pool.p[g] * d[g];
  double spread = 0;
  for (std::size_t g = 0; g < d.size(); ++g) spread += pool.p[g] * (d[g] - mean) * (d[g] - mean);
  sd = std::sqrt(spread + 1);
}

// The adverse-impact ratios and the four-fifths verdict of each member from
// their selection ratios.
void compare_members(std::vector<GroupValues>& members) {
  double top = 0;
  for (const GroupValues& v : members) top = std::max(top, v.sr);
  for (GroupValues& v : members) {
    v.sr_reference = members[0].sr;
    v.ai = v.sr / v.sr_reference;
    v.ai_highest = v.sr / top;
    v.meets = v.ai_highest >= 0.8;
  }
}

// The classic row of a pair as the values of its two members.
PoolRow pair_row(const PoolModel& pool, double sr) {
  const Row row = evaluate_row(pool.pair, RowKind::builtin, sr);
  if (row.status != RowStatus::ok) return row_without(pool, row.status);
  PoolRow out;
  out.cutoff = row.cutoff;
  out.quality = row.m;
  out.standardized_quality = row.sm;
  out.members.resize(2);
  GroupValues& a = out.members[0];
  GroupValues& i = out.members[1];
  a.cutoff = i.cutoff = row.cutoff;
  a.sr = row.sra;
  i.sr = row.sri;
  a.quality = row.ma;
  i.quality = row.mi;
  a.standardized_quality = row.sma;
  i.standardized_quality = row.smi;
  compare_members(out.members);
  i.ai = row.ai;  // the classic ratio, formed the same way: sri / sra
  return out;
}

}  // namespace

std::vector<double> member_ratios(const PoolModel& pool, double x) {
  std::vector<double> sr(pool.dx.size());
  for (std::size_t g = 0; g < sr.size(); ++g) sr[g] = share_above(x - pool.dx[g]);
  return sr;
}

bool pool_cutoff(const PoolModel& pool, double sr, double& cutoff, double& last, RowStatus& status,
                 double lo, double hi) {
  double b = lo;
  double c = hi;
  double r = b;
  double re = pool.re;
  double ae = pool.ae;
  int32_t flag = 0;
  auto f = [&](double& cut) {
    last = cut;
    // member_ratios' shares summed as they come: no vector per evaluation.
    double total = 0;
    for (std::size_t g = 0; g < pool.dx.size(); ++g) total += pool.p[g] * share_above(cut - pool.dx[g]);
    return total - sr;
  };
  dfzero(f, b, c, r, re, ae, flag);
  if (flag != 1 && flag != 2) {
    status = RowStatus::no_cutoff;
    return false;
  }
  cutoff = b;
  return true;
}

PoolRow evaluate_pool(const PoolModel& pool, double sr) {
  if (pool.dx.size() == 2) return pair_row(pool, sr);
  const bool overall = pool.basis == Basis::overall;
  double x = 0;
  double last = 0;  // the cut-off of the search's last evaluation
  if (overall) {
    RowStatus status = RowStatus::ok;
    if (!pool_cutoff(pool, sr, x, last, status)) return row_without(pool, status);
  } else {
    // The cut-off above which the proportion sr of the reference group lies.
    double below = 1 - sr;
    if (!(below > 0 && below < 1)) return row_without(pool, RowStatus::ratio_out_of_range);
    int32_t ifault = 0;
    x = ppnd(below, ifault);
    last = x;
  }

  PoolRow row;
  row.cutoff = x;
  const std::vector<double> s = member_ratios(pool, last);
  row.members.resize(s.size());
  double mean = 0;
  double sd = 1;
  if (overall) pool_scale(pool, mean, sd);
  double selected_quality = 0;
  for (std::size_t g = 0; g < s.size(); ++g) {
    GroupValues& v = row.members[g];
    v.cutoff = x;
    v.sr = s[g];
    v.quality = undefined;
    if (s[g] != 0) {
      const double tail_mean = density(x - pool.dx[g]) / s[g];
      v.quality = pool.on_criterion ? pool.rxy * tail_mean + pool.dy[g] : tail_mean + pool.dx[g];
      selected_quality += pool.p[g] * s[g] * v.quality;
    }
    v.standardized_quality = overall ? (v.quality - mean) / sd : undefined;
  }
  compare_members(row.members);
  row.quality = overall ? selected_quality / sr : undefined;
  row.standardized_quality = overall ? (row.quality - mean) / sd : undefined;
  return row;
}

GroupBoundary member_boundary(const PoolModel& pool, int member) {
  GroupBoundary boundary;
  boundary.group = member;
  boundary.against = pool.highest;
  if (!(pool.dx[member] < pool.dx[pool.highest])) return boundary;  // never below

  const double dl = pool.dx[member];
  const double dh = pool.dx[pool.highest];
  // Without a zero in [-8, 8], the ratio at the top of the range says whether
  // the group meets the rule throughout (a group that scores only a little
  // lower falls below four-fifths only at ratios too small to resolve) or
  // nowhere.
  auto without_zero = [&](int32_t status) {
    boundary.search_status = status;
    boundary.state = share_above(8 - dl) / share_above(8 - dh) >= 0.8 ? BoundaryState::met_in_range
                                                                    : BoundaryState::none_in_range;
    return boundary;
  };

  if (pool.dx.size() == 2 && member == 1) {
    // The classic boundary: the minority group's ratio against the majority's.
    const Boundary classic = find_boundary(pool.pair);
    if (!classic.found) return without_zero(classic.search.status);
    boundary.search_status = classic.search.status;
    boundary.state = BoundaryState::found;
    boundary.sr = classic.sr;
    boundary.cutoff = classic.cutoff;
    return boundary;
  }

  double b = -8;
  double c = 8;
  double r = b;
  double re = pool.re;
  double ae = pool.ae;
  int32_t status = 0;
  double last = 0;
  auto f = [&](double& x) {
    last = x;
    return share_above(x - dl) / share_above(x - dh) - 0.8;
  };
  dfzero(f, b, c, r, re, ae, status);
  if (status != 1) return without_zero(status);
  boundary.search_status = status;
  boundary.state = BoundaryState::found;
  boundary.cutoff = b;
  const std::vector<double> s = member_ratios(pool, last);
  if (pool.basis == Basis::overall) {
    boundary.sr = 0;
    for (std::size_t g = 0; g < s.size(); ++g) boundary.sr += pool.p[g] * s[g];
  } else {
    boundary.sr = s[0];
  }
  return boundary;
}

}  // namespace fourfifths
