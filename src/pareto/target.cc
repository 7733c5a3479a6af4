// The most valid predictor weighting with every group's adverse-impact ratio
// at least a target, for a problem of several groups at one selection ratio.
//
// Weightings are normalised to a composite of unit variance, w'Rw = 1, so
// that validity is v = w'r and group g's composite effect size d_g = w'δ_g.
// The groups' selection ratios come from the groups model's pools
// (study/pools.h): one cut-off x on the composite with
// sum_h p_h Q(x - d_h) = SR in the joint pool, one per pair in the pairwise
// convention, Q(x) = SR in the reference basis; AI_g = Q(x - d_g) / Q(x).
//
// The problem
//   maximise v(w)  subject to  c_g(w) = ln AI_g(w) - ln t >= 0 for every g,
//   (and w >= 0 with non-negative weights)
// is smooth but not convex. Its gradients follow from the chain rule through
// the cut-off: with H(z) = phi(z) / Q(z) and, in the joint pool,
// dx/dd_h = p_h phi(x - d_h) / sum_k p_k phi(x - d_k),
//   d ln AI_g / d d_h = (H(x) - H(x - d_g)) dx/dd_h + [g = h] H(x - d_g),
//   grad d_h = δ_h - d_h Rw,   grad v = r - v Rw   (at w'Rw = 1).
//
// Method: the most valid weighting (pareto/faces.cc, optimal) answers when
// it meets the targets. Otherwise the largest smallest margin ln AI_g - ln t_g
// is sought first (maximise s subject to ln AI_g - ln t_g - s >= 0, s capped
// at 0): when it stays below 0 no weighting meets every target, and its
// weighting is the answer; when it reaches 0 its weighting joins the starts
// of the search for the most valid weighting that meets them. Both searches
// start from the most promising of weightings sampled once per problem, run
// an augmented Lagrangian method (projected gradient steps of Barzilai-Borwein
// length under an Armijo rule) from each, guess the active constraints and
// zero weights from where it ends, and solve the first-order (KKT) equations
// of that active set by a Levenberg-Marquardt method, changing the active
// set one constraint at a time until every multiplier has its sign. A point
// is returned only when it meets its constraints and first-order conditions
// to 1e-9; the best such point over all starts is the answer.
//
// The front of several groups is a sequence of such searches with one common
// target (the smallest AI), each started from its neighbour of less impact,
// which meets its target; the surface of two further groups one search per
// pair of targets.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <Eigen/Dense>

#include "fourfifths/groupfront.h"
#include "model/model.h"
#include "pareto/pareto.h"
#include "study/pools.h"

namespace fourfifths {
namespace {

using pareto::cutoff_absolute_tolerance;
using pareto::Faces;
using pareto::number;
using pareto::Predictors;

// Weightings (and the maximin search's smallest margin after them): at most
// nine predictors and one more, held without allocating.
using Vec = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, pareto::max_predictors + 1, 1>;
using Mat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, pareto::max_predictors, pareto::max_predictors>;

// A returned point meets its constraints and first-order conditions to this.
constexpr double certified = 1e-9;

// A constraint c_g = ln AI_g - ln t is met when at least minus this.
constexpr double feasible = 1e-13;

// A group's AI this close to the smallest is binding too.
constexpr double tie = 1e-9;


double upper_tail(double z, double& pdf) {
  double p;
  double q;
  normp(z, p, q, pdf);
  return q;
}

// The problem's predictors, groups and pools.
struct Model {
  int np = 0;      // predictors
  int groups = 0;  // further groups
  Mat r;
  Vec validity;
  std::vector<Vec> delta;  // per group, the reference's 0
  Basis basis = Basis::overall;
  Pool pool = Pool::joint;
  std::vector<double> shares;  // per group
  double sr = 0;
};

// A weighting's values and gradients (at unit composite variance).
struct Eval {
  bool ok = false;
  double v = 0;
  std::vector<double> d, ai, sr;
  Vec gv;
  std::vector<Vec> gln;  // per further group g (index g - 1): grad ln AI_g
};

// One pool of groups (the joint pool, or a pair) at the effect sizes d of its
// members: each member's selection ratio, and the derivative of the cut-off
// with respect to each member's effect size.
bool select(const Model& m, const std::vector<double>& p, const std::vector<double>& d,
            std::vector<double>& sr, double& x, std::vector<double>& dxdd, bool gradients) {
  PoolModel pool;
  pool.basis = m.basis;
  pool.p = p;
  pool.dx = d;
  pool.re = 0;
  pool.ae = cutoff_absolute_tolerance;
  dxdd.assign(d.size(), 0.0);
  if (m.basis == Basis::overall) {
    double cutoff = 0;
    RowStatus status = RowStatus::ok;
    // Every member's tail at x = Q^-1(SR) + d_h is at least SR for the
    // smallest d_h and at most SR for the largest: the cut-off lies between
    // (widened a little against rounding), a far shorter search than [-8, 8].
    int32_t fault = 0;
    double ratio = m.sr;
    const double q = -ppnd(ratio, fault);
    const auto [low, high] = std::minmax_element(d.begin(), d.end());
    const double lo = std::max(-8.0, q + *low - 1e-6);
    const double hi = std::min(8.0, q + *high + 1e-6);
    if (fault != 0 || !(lo < hi) || !pool_cutoff(pool, m.sr, cutoff, x, status, lo, hi)) {
      status = RowStatus::ok;
      if (!pool_cutoff(pool, m.sr, cutoff, x, status)) return false;
    }
    double total = gradients ? 0.0 : 1.0;
    for (std::size_t h = 0; gradients && h < d.size(); ++h) {
      double pdf = 0;
      upper_tail(x - d[h], pdf);
      dxdd[h] = p[h] * pdf;
      total += dxdd[h];
    }
    if (!(total > 0)) return false;
    for (double& v : dxdd) v /= total;
  } else {
    double below = 1 - m.sr;
    int32_t fault = 0;
    x = ppnd(below, fault);
    if (fault != 0) return false;
  }
  sr = member_ratios(pool, x);
  return sr[0] > 0;
}

// Without gradients: the values alone (of a sampled weighting).
Eval evaluate(const Model& m, const Vec& w, bool gradients = true) {
  Eval e;
  const Vec rw = m.r * w;
  const double s = std::sqrt(w.dot(rw));
  if (!(s > 0)) return e;
  const Vec u = w / s;
  const Vec ru = rw / s;
  const int G = m.groups;
  e.v = m.validity.dot(u);
  e.gv = (m.validity - e.v * ru) / s;
  e.d.assign(static_cast<std::size_t>(G + 1), 0.0);
  std::vector<Vec> gd(static_cast<std::size_t>(G + 1));
  for (int h = 1; h <= G; ++h) {
    e.d[h] = m.delta[h].dot(u);
    gd[h] = (m.delta[h] - e.d[h] * ru) / s;
  }
  e.ai.assign(static_cast<std::size_t>(G + 1), 1.0);
  e.sr.assign(static_cast<std::size_t>(G + 1), 0.0);
  e.gln.assign(static_cast<std::size_t>(G), Vec::Zero(m.np));
  // The derivative of ln AI_g through the cut-off x and directly.
  auto add = [&](int g, double x, const std::vector<int>& members, const std::vector<double>& dxdd) {
    if (!gradients) return;
    double pdf0 = 0;
    double pdfg = 0;
    const double q0 = upper_tail(x, pdf0);
    const double h0 = q0 > 0 ? pdf0 / q0 : 0;
    const double qg = upper_tail(x - e.d[g], pdfg);
    const double hg = qg > 0 ? pdfg / qg : 0;
    Vec& grad = e.gln[static_cast<std::size_t>(g - 1)];
    for (std::size_t k = 0; k < members.size(); ++k)
      if (members[k] > 0) grad += (h0 - hg) * dxdd[k] * gd[members[k]];
    grad += hg * gd[g];
  };
  std::vector<double> sr;
  std::vector<double> dxdd;
  double x = 0;
  if (m.pool == Pool::joint || G == 1) {
    std::vector<double> p = m.shares;
    double total = 0;
    for (double v : p) total += v;
    for (double& v : p) v /= total;
    if (!select(m, p, e.d, sr, x, dxdd, gradients)) return e;
    std::vector<int> members;
    for (int h = 0; h <= G; ++h) members.push_back(h);
    e.sr = sr;
    for (int g = 1; g <= G; ++g) {
      e.ai[g] = sr[g] / sr[0];
      add(g, x, members, dxdd);
    }
  } else {
    for (int g = 1; g <= G; ++g) {
      const double total = m.shares[0] + m.shares[g];
      if (!select(m, {m.shares[0] / total, m.shares[g] / total}, {0.0, e.d[g]}, sr, x, dxdd, gradients))
        return e;
      e.sr[g] = sr[1];
      e.ai[g] = sr[1] / sr[0];
      add(g, x, {0, g}, dxdd);
    }
    e.sr[0] = std::numeric_limits<double>::quiet_NaN();  // a reference ratio per pair
  }
  for (int g = 1; g <= G; ++g)
    if (!(e.ai[g] > 0) || !std::isfinite(e.ai[g])) return e;
  e.ok = true;
  return e;
}

// The two searches as one constrained problem over z = (w), or z = (w, s)
// for the largest smallest AI.
struct Program {
  const Model& m;
  bool maximin = false;
  bool nonnegative = true;
  // Per further group, the logarithm of its AI target: c_g = ln AI_g - lnt_g
  // (- s in the maximin search, whose s is then the smallest margin, capped
  // at 0: every target met).
  std::vector<double> lnt;

  int size() const { return m.np + (maximin ? 1 : 0); }

  struct Values {
    bool ok = false;
    double f = 0;
    Vec gf;
    std::vector<double> c;
    std::vector<Vec> gc;
  };

  Values at(const Vec& z) const {
    Values out;
    const Eval e = evaluate(m, z.head(m.np));
    if (!e.ok) return out;
    const int n = size();
    out.ok = true;
    out.gf = Vec::Zero(n);
    if (maximin) {
      out.f = z[m.np];
      out.gf[m.np] = 1;
    } else {
      out.f = e.v;
      out.gf.head(m.np) = e.gv;
    }
    for (int g = 1; g <= m.groups; ++g) {
      Vec grad = Vec::Zero(n);
      grad.head(m.np) = e.gln[static_cast<std::size_t>(g - 1)];
      if (maximin) grad[m.np] = -1;
      out.c.push_back(std::log(e.ai[g]) - lnt[static_cast<std::size_t>(g - 1)] -
                      (maximin ? z[m.np] : 0.0));
      out.gc.push_back(grad);
    }
    return out;
  }

  // Onto unit composite variance and, with non-negative weights, the orthant
  // (the smallest margin of the maximin search capped at 0).
  bool project(Vec& z) const {
    Vec w = z.head(m.np);
    if (nonnegative) w = w.cwiseMax(0.0);
    const double s = std::sqrt(w.dot(m.r * w));
    if (!(s > 0) || !std::isfinite(s)) return false;
    z.head(m.np) = w / s;
    if (maximin) z[m.np] = std::min(z[m.np], 0.0);
    return true;
  }
};

// The augmented Lagrangian method from z: ends near a first-order point.
Vec augmented_lagrangian(const Program& search, Vec z) {
  const int G = search.m.groups;
  std::vector<double> lambda(static_cast<std::size_t>(G), 0.0);
  double rho = 10;
  double alpha = 0.1;
  double last_violation = std::numeric_limits<double>::infinity();
  auto lagrangian = [&](const Program::Values& v, Vec* grad) {
    double value = v.f;
    if (grad) *grad = v.gf;
    for (int k = 0; k < G; ++k) {
      const double shifted = std::max(0.0, lambda[k] - rho * v.c[k]);
      value -= (shifted * shifted - lambda[k] * lambda[k]) / (2 * rho);
      if (grad) *grad += shifted * v.gc[k];
    }
    return value;
  };
  for (int outer = 0; outer < 30; ++outer) {
    Program::Values v = search.at(z);
    if (!v.ok) return z;
    Vec last_z, last_grad;
    for (int inner = 0; inner < 400; ++inner) {
      Vec grad;
      const double l0 = lagrangian(v, &grad);
      bool moved = false;
      // The first trial step of Barzilai and Borwein (the secant of the last
      // step), which follows the curvature far better than growing the last
      // accepted step; the Armijo rule still decides.
      alpha = std::min(alpha * 4, 1.0);
      if (inner > 0) {
        const Vec step = z - last_z;
        const double curvature = step.dot(last_grad - grad);
        if (curvature > 0) alpha = std::clamp(step.squaredNorm() / curvature, 1e-10, 1e3);
      }
      last_z = z;
      last_grad = grad;
      for (int halving = 0; halving < 50; ++halving, alpha /= 2) {
        Vec trial = z + alpha * grad;
        if (!search.project(trial)) continue;
        const Program::Values tv = search.at(trial);
        if (!tv.ok) continue;
        if (lagrangian(tv, nullptr) >= l0 + 1e-4 * grad.dot(trial - z)) {
          moved = (trial - z).norm() > 1e-7;
          z = trial;
          v = tv;
          break;
        }
      }
      if (!moved) break;
    }
    double violation = 0;
    for (int k = 0; k < G; ++k) {
      violation = std::max(violation, -v.c[k]);
      lambda[k] = std::max(0.0, lambda[k] - rho * v.c[k]);
    }
    if (violation < 1e-9 && outer > 2) break;
    if (violation > last_violation / 4) rho = std::min(rho * 4, 1e7);
    last_violation = violation;
  }
  return z;
}

// A certified first-order point, or not found.
struct Point {
  bool found = false;
  Vec z;
  std::vector<double> lambda;  // per group
  double kkt = 0;
  std::vector<bool> active;
};

// The worst violation of the first-order conditions at z with multipliers
// lambda (only those of active constraints non-zero).
double kkt_residual(const Program& search, const Program::Values& v, const Vec& z,
                    const std::vector<double>& lambda) {
  Vec grad = v.gf;
  double worst = 0;
  for (int k = 0; k < search.m.groups; ++k) {
    grad += lambda[k] * v.gc[k];
    worst = std::max({worst, -lambda[k], std::fabs(lambda[k] * v.c[k])});
  }
  for (int i = 0; i < search.size(); ++i) {
    const bool at_zero = search.nonnegative && i < search.m.np && z[i] == 0;
    worst = std::max(worst, at_zero ? grad[i] : std::fabs(grad[i]));
  }
  if (search.maximin) worst = std::max(worst, z[search.m.np]);
  return worst;
}

// Solves the first-order equations of one active set (active constraints,
// weights held at zero) from z by Levenberg-Marquardt; lambda its multipliers.
bool solve_active(const Program& search, const std::vector<bool>& active, const std::vector<bool>& zero,
                  Vec& z, std::vector<double>& lambda, double& size) {
  const int n = search.size();
  const int G = search.m.groups;
  std::vector<int> free, act;
  for (int i = 0; i < n; ++i)
    if (!(i < search.m.np && zero[i])) free.push_back(i);
  for (int k = 0; k < G; ++k)
    if (active[k]) act.push_back(k);
  const int nf = static_cast<int>(free.size());
  const int na = static_cast<int>(act.size());
  for (int i = 0; i < search.m.np; ++i)
    if (zero[i]) z[i] = 0;
  Eigen::VectorXd y(nf + na);
  for (int j = 0; j < nf; ++j) y[j] = z[free[j]];
  for (int j = 0; j < na; ++j) y[nf + j] = std::max(lambda[act[j]], 0.0);

  auto residual = [&](const Eigen::VectorXd& yy, Eigen::VectorXd& out) {
    Vec zz = z;
    for (int j = 0; j < nf; ++j) zz[free[j]] = yy[j];
    const Program::Values v = search.at(zz);
    if (!v.ok) return false;
    out.resize(nf + na + 1);
    Vec grad = v.gf;
    for (int j = 0; j < na; ++j) grad += yy[nf + j] * v.gc[act[j]];
    for (int j = 0; j < nf; ++j) out[j] = grad[free[j]];
    for (int j = 0; j < na; ++j) out[nf + j] = v.c[act[j]];
    const Vec w = zz.head(search.m.np);
    out[nf + na] = w.dot(search.m.r * w) - 1;
    return true;
  };
  Eigen::VectorXd f;
  if (!residual(y, f)) return false;
  double mu = 1e-3;
  for (int iter = 0; iter < 100 && f.lpNorm<Eigen::Infinity>() > 1e-14; ++iter) {
    Eigen::MatrixXd jac(f.size(), y.size());
    for (int j = 0; j < y.size(); ++j) {
      const double h = 1e-7 * std::max(1.0, std::fabs(y[j]));
      Eigen::VectorXd yp = y;
      yp[j] += h;
      Eigen::VectorXd fp;
      if (!residual(yp, fp)) {
        yp[j] = y[j] - h;
        if (!residual(yp, fp)) return false;
        jac.col(j) = (f - fp) / h;
      } else {
        jac.col(j) = (fp - f) / h;
      }
    }
    bool better = false;
    for (int tries = 0; tries < 12 && !better; ++tries) {
      Eigen::MatrixXd a = jac.transpose() * jac;
      a.diagonal() += mu * (a.diagonal().array() + 1e-12).matrix();
      const Eigen::VectorXd step = a.ldlt().solve(-jac.transpose() * f);
      Eigen::VectorXd fy;
      const Eigen::VectorXd trial = y + step;
      if (step.allFinite() && residual(trial, fy) && fy.norm() < f.norm()) {
        y = trial;
        f = fy;
        mu = std::max(mu / 4, 1e-12);
        better = true;
      } else {
        mu *= 8;
      }
    }
    if (!better) break;
  }
  size = f.lpNorm<Eigen::Infinity>();
  for (int j = 0; j < nf; ++j) z[free[j]] = y[j];
  std::fill(lambda.begin(), lambda.end(), 0.0);
  for (int j = 0; j < na; ++j) lambda[act[j]] = y[nf + j];
  // Onto the normalisation exactly (the residual holds it to rounding).
  const Vec w = z.head(search.m.np);
  z.head(search.m.np) = w / std::sqrt(w.dot(search.m.r * w));
  return true;
}

// When changing the active set one member at a time cycles: every set of
// zero weights with every set of the constraints that are nearly active at z
// (those of positive ln AI margin below 0.05), solved from z; the most valid
// (or, for the maximin search, largest) certified point.
Point enumerate_active_sets(const Program& search, const Vec& z) {
  Point best;
  const int G = search.m.groups;
  const int np = search.m.np;
  const Program::Values v = search.at(z);
  if (!v.ok) return best;
  std::vector<int> near;
  for (int k = 0; k < G; ++k)
    if (v.c[k] < 0.05) near.push_back(k);
  const int faces = search.nonnegative ? (1 << np) - 1 : 1;
  const int subsets = 1 << near.size();
  if (static_cast<long>(faces) * subsets > 4096) return best;
  double best_f = -std::numeric_limits<double>::infinity();
  for (int face = 0; face < faces; ++face)
    for (int subset = 0; subset < subsets; ++subset) {
      std::vector<bool> zero(static_cast<std::size_t>(np), false);
      std::vector<bool> active(static_cast<std::size_t>(G), false);
      Vec trial = z;
      for (int i = 0; i < np; ++i) {
        zero[i] = search.nonnegative && ((face >> i) & 1) != 0;
        if (!zero[i] && search.nonnegative) trial[i] = std::max(trial[i], 1e-3);
      }
      for (std::size_t j = 0; j < near.size(); ++j) active[near[j]] = ((subset >> j) & 1) != 0;
      std::vector<double> lambda(static_cast<std::size_t>(G), 0.0);
      double size = 0;
      if (!solve_active(search, active, zero, trial, lambda, size) || size > 1e-11) continue;
      const Program::Values tv = search.at(trial);
      if (!tv.ok) continue;
      bool primal = true;
      for (int k = 0; k < G; ++k) primal = primal && tv.c[k] >= -feasible;
      for (int i = 0; i < np; ++i) primal = primal && !(search.nonnegative && trial[i] < 0);
      if (!primal) continue;
      const double kkt = kkt_residual(search, tv, trial, lambda);
      if (kkt <= certified && tv.f > best_f) {
        best_f = tv.f;
        best.found = true;
        best.z = trial;
        best.lambda = lambda;
        best.kkt = kkt;
        best.active = active;
      }
    }
  return best;
}

// From an augmented Lagrangian end point to a certified first-order point:
// the active set guessed from it, then changed one member at a time.
Point polish(const Program& search, Vec z) {
  const Vec start = z;
  Point out;
  const int G = search.m.groups;
  const int np = search.m.np;
  Program::Values v = search.at(z);
  if (!v.ok) return out;
  std::vector<bool> active(static_cast<std::size_t>(G));
  std::vector<bool> zero(static_cast<std::size_t>(np), false);
  const double top = z.head(np).cwiseAbs().maxCoeff();
  for (int k = 0; k < G; ++k) active[k] = v.c[k] < 1e-5;
  if (search.nonnegative)
    for (int i = 0; i < np; ++i) zero[i] = z[i] < 1e-6 * top;
  std::vector<double> lambda(static_cast<std::size_t>(G), 0.0);
  for (int round = 0; round < 4 * (np + G); ++round) {
    double size = 0;
    const Vec from = z;
    if (!solve_active(search, active, zero, z, lambda, size)) return out;
    if (size > 1e-11) {
      // No first-order point with this active set (too many constraints
      // held, or a weight held at zero that must not be): the one change of
      // a member whose equations come nearest to being solved.
      double nearest = std::numeric_limits<double>::infinity();
      std::vector<bool> best_active = active, best_zero = zero;
      Vec best_z = z;
      std::vector<double> best_lambda = lambda;
      auto attempt = [&](std::vector<bool> a, std::vector<bool> zz) {
        Vec trial = from;
        std::vector<double> l = lambda;
        double r = 0;
        if (solve_active(search, a, zz, trial, l, r) && r < nearest) {
          nearest = r;
          best_active = a;
          best_zero = zz;
          best_z = trial;
          best_lambda = l;
        }
      };
      for (int k = 0; k < G; ++k)
        if (active[k]) {
          std::vector<bool> a = active;
          a[k] = false;
          attempt(a, zero);
        }
      for (int i = 0; i < np; ++i)
        if (zero[i]) {
          std::vector<bool> zz = zero;
          zz[i] = false;
          attempt(active, zz);
        }
      if (!std::isfinite(nearest)) return out;
      active = best_active;
      zero = best_zero;
      z = best_z;
      lambda = best_lambda;
    }
    v = search.at(z);
    if (!v.ok) return out;
    // Primal first: the most violated inactive constraint, the most negative weight.
    int worst_c = -1;
    for (int k = 0; k < G; ++k)
      if (!active[k] && v.c[k] < -feasible && (worst_c < 0 || v.c[k] < v.c[worst_c])) worst_c = k;
    if (worst_c >= 0) {
      active[worst_c] = true;
      continue;
    }
    int worst_w = -1;
    for (int i = 0; i < np; ++i)
      if (search.nonnegative && !zero[i] && z[i] < 0 && (worst_w < 0 || z[i] < z[worst_w]))
        worst_w = i;
    if (worst_w >= 0) {
      zero[worst_w] = true;
      continue;
    }
    // Then the duals: a negative multiplier, a zero weight that should grow.
    int drop = -1;
    for (int k = 0; k < G; ++k)
      if (active[k] && lambda[k] < -1e-12 && (drop < 0 || lambda[k] < lambda[drop])) drop = k;
    if (drop >= 0) {
      active[drop] = false;
      continue;
    }
    Vec grad = v.gf;
    for (int k = 0; k < G; ++k) grad += lambda[k] * v.gc[k];
    int grow = -1;
    for (int i = 0; i < np; ++i)
      if (zero[i] && grad[i] > 1e-12 && (grow < 0 || grad[i] > grad[grow])) grow = i;
    if (grow >= 0) {
      zero[grow] = false;
      z[grow] = 1e-6;
      continue;
    }
    for (int k = 0; k < G; ++k) lambda[k] = std::max(lambda[k], 0.0);
    out.kkt = kkt_residual(search, v, z, lambda);
    out.found = out.kkt <= certified;
    out.z = z;
    out.lambda = lambda;
    out.active = active;
    if (out.found) return out;
    break;
  }
  return enumerate_active_sets(search, start);
}

// A sampled weighting (unit composite variance), its validity and log AIs.
struct Sample {
  Vec w;
  double v = 0;
  std::vector<double> ln_ai;  // per further group
};

// Weightings sampled over the whole space (or orthant) to start the searches
// from, 300 per predictor: the same for every search of a problem.
std::vector<Sample> sample_weightings(const Model& m, bool nonnegative, unsigned seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> uniform;
  std::vector<Sample> out;
  const int samples = 300 * m.np;
  for (int k = 0; k < samples; ++k) {
    Vec w(m.np);
    for (int i = 0; i < m.np; ++i) {
      const double x = normal(random);
      // Half of the samples on smaller faces: each weight zero with chance 1/3.
      w[i] = (k % 2 == 1 && uniform(random) < 1.0 / 3) ? 0 : nonnegative ? std::fabs(x) : x;
    }
    const double s = std::sqrt(w.dot(m.r * w));
    if (!(s > 0) || !std::isfinite(s)) continue;
    w /= s;
    const Eval e = evaluate(m, w, false);
    if (!e.ok) continue;
    Sample sample{.w = w, .v = e.v, .ln_ai = {}};
    for (int g = 1; g <= m.groups; ++g) sample.ln_ai.push_back(std::log(e.ai[g]));
    out.push_back(std::move(sample));
  }
  return out;
}

// The best certified point from many starts: the given ones and the most
// promising of sampled weightings (feasible and most valid first, then the
// least infeasible).
Point best_point(const Program& search, const std::vector<Sample>& samples,
                 const std::vector<Vec>& given, int starts) {
  const int np = search.m.np;
  const int n = search.size();
  struct Candidate {
    double score;
    Vec z;
  };
  std::vector<Candidate> candidates;
  for (const Sample& sample : samples) {
    double smallest = std::numeric_limits<double>::infinity();
    for (int g = 0; g < search.m.groups; ++g)
      smallest = std::min(smallest, sample.ln_ai[static_cast<std::size_t>(g)] -
                                        search.lnt[static_cast<std::size_t>(g)]);
    Vec z(n);
    z.head(np) = sample.w;
    if (search.maximin) {
      z[np] = std::min(smallest, 0.0);  // s at the smallest margin
      candidates.push_back({z[np], z});
    } else {
      candidates.push_back({smallest >= 0 ? 10 + sample.v : smallest, z});
    }
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
  std::vector<Vec> chosen = given;
  for (const Candidate& c : candidates) {
    if (static_cast<int>(chosen.size()) >= starts + static_cast<int>(given.size())) break;
    bool distinct = true;
    for (const Vec& o : chosen) distinct = distinct && (o.head(np) - c.z.head(np)).norm() > 0.05;
    if (distinct) chosen.push_back(c.z);
  }
  Point best;
  double best_f = -std::numeric_limits<double>::infinity();
  for (Vec z : chosen) {
    if (!search.project(z)) continue;
    if (search.maximin) {
      const Program::Values v = search.at(z);
      if (!v.ok) continue;
      z[np] += *std::min_element(v.c.begin(), v.c.end());
      z[np] = std::min(z[np], 0.0);
    }
    const Vec za = augmented_lagrangian(search, z);
    if (search.maximin) {
      // The cap reached: a weighting that meets the target, all the maximin
      // search is asked for then.
      const Program::Values va = search.at(za);
      if (va.ok && za[np] >= 0 &&
          *std::min_element(va.c.begin(), va.c.end()) >= -feasible) {
        best.found = true;
        best.z = za;
        best.lambda.assign(va.c.size(), 0.0);
        best.active.assign(va.c.size(), false);
        return best;
      }
    }
    const Point p = polish(search, za);
    if (!p.found) continue;
    const Program::Values v = search.at(p.z);
    if (v.ok && v.f > best_f) {
      best_f = v.f;
      best = p;
    }
  }
  return best;
}

// A weighting's description; violation is by how much it misses the targets
// exp(lnt_g), 0 when it meets them all.
GroupWeighting describe(const Model& m, const Vec& w, const std::vector<double>& lnt) {
  GroupWeighting out;
  const Eval e = evaluate(m, w);
  out.validity = e.v;
  out.ai = e.ai;
  out.sr = e.sr;
  out.composite_d = e.d;
  out.min_ai = std::numeric_limits<double>::infinity();
  for (int g = 1; g <= m.groups; ++g) out.min_ai = std::min(out.min_ai, e.ai[g]);
  for (int g = 1; g <= m.groups; ++g)
    if (e.ai[g] <= out.min_ai + tie) out.binding.push_back(g);
  const double total = w.cwiseAbs().sum();
  for (int i = 0; i < m.np; ++i) out.weights.push_back(w[i] / total);
  for (int g = 1; g <= m.groups; ++g)
    out.violation = std::max(out.violation, std::exp(lnt[static_cast<std::size_t>(g - 1)]) - e.ai[g]);
  out.multipliers.assign(static_cast<std::size_t>(m.groups + 1), 0.0);
  return out;
}

// A certified point of the search for the most valid weighting under the
// targets, its binding groups those whose target holds validity down.
GroupWeighting point_weighting(const Model& m, const Point& p, const std::vector<double>& lnt) {
  GroupWeighting out = describe(m, p.z.head(m.np), lnt);
  out.kkt_residual = p.kkt;
  out.binding.clear();
  for (int g = 1; g <= m.groups; ++g) {
    out.multipliers[g] = p.lambda[g - 1];
    if (p.active[g - 1] && p.lambda[g - 1] > 0) out.binding.push_back(g);
  }
  return out;
}

std::string group_list(const GroupProblem& p, const std::vector<int>& groups) {
  std::string s;
  for (std::size_t k = 0; k < groups.size(); ++k)
    s += (k == 0 ? "'" : k + 1 == groups.size() ? " and '" : ", '") + p.groups[groups[k]].name + "'";
  return s;
}

// What the headline, the front and the surface share: the problem's model and
// its most valid weighting (of unit composite variance).
struct Searches {
  Model m;
  GroupTargetOptions options;
  Vec w0;
  // Sampled when a search first needs them (the most valid weighting often
  // answers alone).
  mutable std::vector<Sample> samples;

  const std::vector<Sample>& sampled() const {
    if (samples.empty()) samples = sample_weightings(m, options.nonnegative, options.seed);
    return samples;
  }

  std::vector<double> uniform(double target) const {
    return std::vector<double>(static_cast<std::size_t>(m.groups), std::log(target));
  }
  Program program(bool maximin, const std::vector<double>& lnt) const {
    return Program{.m = m, .maximin = maximin, .nonnegative = options.nonnegative, .lnt = lnt};
  }
  // The largest smallest margin ln AI_g - lnt_g, capped at 0.
  Point largest_smallest(const std::vector<double>& lnt) const {
    Vec z0(m.np + 1);
    z0.head(m.np) = w0;
    z0[m.np] = 0;
    return best_point(program(true, lnt), sampled(), {z0}, options.starts);
  }
  // The most valid weighting with every AI_g at least exp(lnt_g), searched
  // from the given weightings among others.
  Point most_valid_under(const std::vector<double>& lnt, const std::vector<Vec>& given) const {
    return best_point(program(false, lnt), sampled(), given, options.starts);
  }
  bool meets(const GroupWeighting& w, const std::vector<double>& lnt) const {
    for (int g = 1; g <= m.groups; ++g)
      if (w.ai[g] < std::exp(lnt[static_cast<std::size_t>(g - 1)]) * (1 - 1e-12)) return false;
    return true;
  }
};

// The checked problem as a search, or why it has none.
std::vector<std::string> prepare(const GroupProblem& problem, const GroupTargetOptions& options,
                                 Searches& s) {
  std::vector<std::string> messages;
  // The problem as the front checks it: no weights, quality or ratios of its own.
  GroupProblem checked = problem;
  checked.regression_weights = false;
  checked.quality = Quality::predictor;
  checked.requested_ratios.clear();
  const bool counted = checked.predictors >= 1 && checked.predictors <= max_variables;
  checked.predictor_weights.assign(counted ? static_cast<std::size_t>(checked.predictors) : 0, 0.0);
  if (counted) checked.predictor_weights[0] = 1;
  messages = validate(checked);
  if (!(options.target > 0 && options.target <= 1))
    messages.push_back("The AI target must lie in (0, 1], got " + number("%g", options.target));
  if (!options.targets.empty() && options.targets.size() + 1 != problem.groups.size())
    messages.push_back("One AI target per further group: " + std::to_string(problem.groups.size() - 1) +
                       " groups, got " + std::to_string(options.targets.size()) + " targets");
  for (std::size_t g = 0; g < options.targets.size(); ++g)
    if (!(options.targets[g] > 0 && options.targets[g] <= 1))
      messages.push_back("The AI target of " +
                         (g + 1 < problem.groups.size() ? "group '" + problem.groups[g + 1].name + "'"
                                                        : "further group " + std::to_string(g + 1)) +
                         " must lie in (0, 1], got " + number("%g", options.targets[g]));
  if (options.starts < 1)
    messages.push_back("The search needs at least 1 start, got " + std::to_string(options.starts));
  if (!messages.empty()) return messages;

  Model& m = s.m;
  s.options = options;
  m.groups = static_cast<int>(problem.groups.size()) - 1;
  m.basis = problem.basis;
  m.pool = problem.pool;
  m.sr = options.sr;
  for (const Group& g : problem.groups) m.shares.push_back(g.share);
  Predictors predictors;
  m.delta.resize(static_cast<std::size_t>(m.groups + 1));
  for (int g = 1; g <= m.groups; ++g) {
    Composites composites;
    const FrontOptions front{.sr = options.sr, .points = 21, .nonnegative = options.nonnegative};
    messages = pareto::front_problem(as_problem(checked, g), front, composites, predictors);
    if (!messages.empty()) return messages;
    m.np = predictors.count;
    m.delta[g] = Vec(m.np);
    for (int i = 0; i < m.np; ++i) m.delta[g][i] = predictors.effect[i] * predictors.scale;
  }
  m.delta[0] = Vec::Zero(m.np);
  m.r.resize(m.np, m.np);
  m.validity.resize(m.np);
  for (int i = 0; i < m.np; ++i) {
    m.validity[i] = predictors.validity[i];
    for (int j = 0; j < m.np; ++j) m.r(i, j) = predictors.at(i, j);
  }
  const pareto::Weighting top = Faces(predictors, options.nonnegative).most_valid();
  s.w0.resize(m.np);
  for (int i = 0; i < m.np; ++i) s.w0[i] = top.weights[i];
  if (!top.found || !evaluate(m, s.w0).ok)
    messages.push_back("No cut-off on the most valid composite gives the selection ratio " +
                       number("%g", options.sr));
  else
    s.w0 /= std::sqrt(s.w0.dot(m.r * s.w0));
  return messages;
}

// The most valid weighting with every AI_g at least exp(lnt_g), or the
// largest smallest margin; target names a common target in the notes.
GroupTarget answer(const Searches& s, const GroupProblem& problem, double target,
                   const std::vector<double>& lnt) {
  const Model& m = s.m;
  GroupTarget out;
  out.pool = problem.pool;
  out.basis = problem.basis;
  out.sr = s.options.sr;
  out.target = target;
  bool common = true;
  for (double t : lnt) {
    out.targets.push_back(std::exp(t));
    common = common && t == lnt.front();
  }
  // How the notes name the targets: one AI for every group, or each group's own.
  std::string targets = "AI " + number("%g", target);
  if (!common) {
    targets = "AI";
    for (int g = 1; g <= m.groups; ++g)
      targets += (g == 1 ? " " : ", ") + number("%g", out.targets[static_cast<std::size_t>(g - 1)]) +
                 " for '" + problem.groups[static_cast<std::size_t>(g)].name + "'";
  }
  out.nonnegative = s.options.nonnegative;
  out.most_valid = describe(m, s.w0, lnt);
  {
    const Program plain = s.program(false, lnt);
    out.most_valid.kkt_residual =
        kkt_residual(plain, plain.at(s.w0), s.w0, std::vector<double>(static_cast<std::size_t>(m.groups), 0.0));
  }
  if (s.meets(out.most_valid, lnt)) {
    out.reached = true;
    out.best = out.most_valid;
    out.best.binding.clear();
    out.notes.push_back("The most valid weighting already meets the target for every group");
    return out;
  }

  const Point closest = s.largest_smallest(lnt);
  if (!closest.found) {
    out.messages.push_back(
        "No weighting of largest smallest AI could be certified (first-order conditions to 1e-9)");
    return out;
  }
  const Vec wc = closest.z.head(m.np);
  const GroupWeighting least = describe(m, wc, lnt);
  bool short_of = false;
  for (int g = 1; g <= m.groups; ++g)
    short_of = short_of || least.ai[g] < std::exp(lnt[static_cast<std::size_t>(g - 1)]) * (1 - 1e-12);
  if (short_of) {
    out.best = least;
    out.best.kkt_residual = closest.kkt;
    for (int g = 1; g <= m.groups; ++g) out.best.multipliers[g] = closest.lambda[g - 1];
    if (common) {
      out.notes.push_back("No weighting reaches " + targets + " for every group: the largest smallest AI is " +
                          number("%.4f", least.min_ai) + ", binding " + group_list(problem, least.binding) +
                          ", at validity " + number("%.4f", least.validity));
      return out;
    }
    // Targets of their own: the binding groups are those furthest below
    // theirs, in the ratio of AI to target that the search made largest.
    double smallest = std::numeric_limits<double>::infinity();
    for (int g = 1; g <= m.groups; ++g)
      smallest = std::min(smallest, std::log(least.ai[g]) - lnt[static_cast<std::size_t>(g - 1)]);
    out.best.binding.clear();
    for (int g = 1; g <= m.groups; ++g)
      if (std::log(least.ai[g]) - lnt[static_cast<std::size_t>(g - 1)] <= smallest + tie)
        out.best.binding.push_back(g);
    out.notes.push_back("No weighting reaches " + targets +
                        ": the largest smallest ratio of AI to target is " + number("%.4f", std::exp(smallest)) +
                        ", binding " + group_list(problem, out.best.binding) + ", at validity " +
                        number("%.4f", least.validity));
    return out;
  }

  const Point best = s.most_valid_under(lnt, {wc, s.w0});
  if (!best.found) {
    out.messages.push_back(
        "No most valid weighting meeting the target could be certified (first-order conditions "
        "to 1e-9)");
    return out;
  }
  out.reached = true;
  out.best = point_weighting(m, best, lnt);
  if (!out.best.binding.empty())
    out.notes.push_back("Binding: " + group_list(problem, out.best.binding) +
                        (common ? " at AI " + number("%g", target) : " at their targets"));
  return out;
}

}  // namespace

GroupTarget most_valid_meeting(const GroupProblem& problem, const GroupTargetOptions& options) {
  Searches s;
  GroupTarget out;
  out.messages = prepare(problem, options, s);
  if (!out.messages.empty()) return out;
  if (options.targets.empty()) return answer(s, problem, options.target, s.uniform(options.target));
  std::vector<double> lnt;
  for (double t : options.targets) lnt.push_back(std::log(t));
  return answer(s, problem, *std::min_element(options.targets.begin(), options.targets.end()), lnt);
}

GroupFront pareto_front(const GroupProblem& problem, const GroupFrontOptions& options) {
  GroupFront out;
  out.problem = problem;
  Searches s;
  out.messages = prepare(problem,
                         {.sr = options.sr, .target = options.target, .nonnegative = options.nonnegative,
                          .starts = options.starts, .seed = options.seed},
                         s);
  if (options.points < 2)
    out.messages.push_back("The front needs at least 2 points, got " + std::to_string(options.points));
  if (options.points > max_front_points)
    out.messages.push_back("The front holds at most " + std::to_string(max_front_points) +
                           " points, got " + std::to_string(options.points));
  if (!out.messages.empty()) return out;
  out.headline = answer(s, problem, options.target, s.uniform(options.target));
  if (!out.headline.messages.empty()) {
    out.messages = out.headline.messages;
    return out;
  }
  out.pool = problem.pool;
  out.basis = problem.basis;
  out.sr = options.sr;
  out.target = options.target;
  out.nonnegative = options.nonnegative;
  const Model& m = s.m;
  const std::vector<double> parity = s.uniform(1.0);
  GroupWeighting first = out.headline.most_valid;
  first.violation = 0;
  out.points.push_back({PointKind::max_validity, first});

  // The least-impact end: the most valid weighting at parity for every
  // group, or, short of it, the largest smallest AI.
  const double a0 = first.min_ai;
  if (a0 >= 1) {
    out.notes.push_back("The most valid weighting gives no group a lower selection ratio than the "
                        "reference group: the front is this one weighting");
  } else {
    const Point top = s.largest_smallest(parity);
    if (!top.found) {
      out.messages.push_back(
          "No weighting of largest smallest AI could be certified (first-order conditions to 1e-9)");
      return out;
    }
    Vec we = top.z.head(m.np);
    GroupWeighting end = describe(m, we, parity);
    end.kkt_residual = top.kkt;
    end.violation = 0;  // the largest smallest AI: no target of its own
    for (int g = 1; g <= m.groups; ++g) end.multipliers[g] = top.lambda[g - 1];
    if (top.z[m.np] >= 0) {
      // Parity reached: the most valid weighting there.
      const Point p = s.most_valid_under(parity, {we, s.w0});
      if (!p.found) {
        out.messages.push_back("No most valid weighting at parity could be certified (first-order "
                               "conditions to 1e-9)");
        return out;
      }
      we = p.z.head(m.np);
      end = point_weighting(m, p, parity);
    } else {
      out.notes.push_back("No weighting reaches parity for every group: the largest smallest AI is " +
                          number("%.4f", end.min_ai));
    }
    const double a1 = end.min_ai;
    if (a1 - a0 <= 1e-12) {
      out.notes.push_back("The most valid weighting has the largest smallest AI any weighting reaches: "
                          "the front is this one weighting");
    } else {
      // The interior, from the least-impact end down, each point searched from
      // its neighbour of less impact (which meets its targets) and the end.
      const int n = options.points;
      std::vector<GroupFrontPoint> interior(static_cast<std::size_t>(n - 2));
      std::vector<bool> found(static_cast<std::size_t>(n - 2), false);
      Vec previous = we;
      for (int k = n - 2; k >= 1; --k) {
        const std::vector<double> lnt = s.uniform(a0 + (a1 - a0) * k / (n - 1));
        const Point p = s.most_valid_under(lnt, {previous, we});
        if (!p.found) continue;
        previous = p.z.head(m.np);
        interior[k - 1] = {PointKind::interior, point_weighting(m, p, lnt)};
        found[k - 1] = true;
      }
      // A point whose target binds no group (its weighting's smallest AI
      // above it, where the weightings that reach further are apart from the
      // rest) is the weighting of a point of less impact: as valid, with a
      // smallest AI as large. Such repeats are left out.
      const auto repeats = [&](const GroupWeighting& w, int k) {
        const auto covers = [&](const GroupWeighting& q) {
          return q.validity >= w.validity - 1e-12 && q.min_ai >= w.min_ai - 1e-12;
        };
        if (covers(end)) return true;
        for (int j = k + 1; j < n - 2; ++j)
          if (found[j] && covers(interior[j].weighting)) return true;
        return false;
      };
      int missing = 0;
      int repeated = 0;
      for (int k = 0; k < n - 2; ++k) {
        if (!found[k]) {
          ++missing;
        } else if (repeats(interior[k].weighting, k)) {
          ++repeated;
        } else {
          out.points.push_back(interior[k]);
        }
      }
      if (missing > 0)
        out.notes.push_back(std::to_string(missing) +
                            " of the evenly spaced points are left out: no weighting there could be "
                            "certified (first-order conditions to 1e-9)");
      if (repeated > 0)
        out.notes.push_back(std::to_string(repeated) +
                            " of the evenly spaced points are left out: a point of less impact is as "
                            "valid (its smallest AI lies beyond theirs)");
      out.points.push_back({PointKind::min_impact, end});
    }
  }

  // The target point: the headline's answer, in order of smallest AI (an end
  // that meets the target repeated beside itself).
  if (out.headline.reached) {
    const double t = options.target;
    std::size_t k = 0;
    while (k < out.points.size() && out.points[k].weighting.min_ai < t - 1e-12) ++k;
    GroupFrontPoint point{PointKind::four_fifths, out.headline.best};
    if (k == 0) {
      point.weighting = out.points[0].weighting;
      out.points.insert(out.points.begin() + 1, point);
    } else if (k < out.points.size() && k + 1 == out.points.size() &&
               std::fabs(out.points[k].weighting.min_ai - t) <= 1e-12) {
      point.weighting = out.points[k].weighting;
      out.points.insert(out.points.begin() + static_cast<std::ptrdiff_t>(k), point);
    } else {
      out.points.insert(out.points.begin() + static_cast<std::ptrdiff_t>(k), point);
    }
  }
  return out;
}

GroupSurface pareto_surface(const GroupProblem& problem, const GroupFrontOptions& options) {
  GroupSurface out;
  out.problem = problem;
  Searches s;
  out.messages = prepare(problem,
                         {.sr = options.sr, .target = 0.8, .nonnegative = options.nonnegative,
                          .starts = options.starts, .seed = options.seed},
                         s);
  if (out.messages.empty() && problem.groups.size() != 3)
    out.messages.push_back("The surface takes exactly two further groups, got " +
                           std::to_string(problem.groups.size() - 1));
  if (options.points < 2 || options.points > max_surface_points)
    out.messages.push_back("The surface takes 2 to " + std::to_string(max_surface_points) +
                           " points per group, got " + std::to_string(options.points));
  if (!out.messages.empty()) return out;
  out.pool = problem.pool;
  out.basis = problem.basis;
  out.sr = options.sr;
  out.nonnegative = options.nonnegative;
  const Model& m = s.m;
  out.most_valid = describe(m, s.w0, s.uniform(1.0));
  // Each axis: from the group's AI at the most valid weighting to the largest
  // AI that any weighting gives it, at most 1. The other group's target then
  // is e^-700, which no AI a double holds as a ratio of tails falls below.
  for (int g = 0; g < 2; ++g) {
    std::vector<double> lnt = {-700.0, -700.0};
    lnt[static_cast<std::size_t>(g)] = 0;
    const double from = out.most_valid.ai[static_cast<std::size_t>(g + 1)];
    double to = from;
    if (from < 1) {
      const Point top = s.largest_smallest(lnt);
      if (!top.found) {
        out.messages.push_back("No weighting of largest AI of group '" + problem.groups[g + 1].name +
                               "' could be certified (first-order conditions to 1e-9)");
        return out;
      }
      to = top.z[m.np] >= 0 ? 1.0 : describe(m, top.z.head(m.np), lnt).ai[static_cast<std::size_t>(g + 1)];
    }
    for (int k = 0; k < options.points; ++k)
      out.axes[g].push_back(from + (to - from) * k / (options.points - 1));
  }
  int missing = 0;
  for (double t1 : out.axes[0])
    for (double t2 : out.axes[1]) {
      const std::vector<double> lnt = {std::log(t1), std::log(t2)};
      const GroupTarget cell = answer(s, problem, 0, lnt);
      if (!cell.messages.empty()) {
        ++missing;
        continue;
      }
      SurfacePoint point;
      point.targets[0] = t1;
      point.targets[1] = t2;
      point.reached = cell.reached;
      if (cell.reached) point.weighting = cell.best;
      out.points.push_back(point);
    }
  if (missing > 0)
    out.notes.push_back(std::to_string(missing) +
                        " of the grid's points are left out: no weighting there could be certified "
                        "(first-order conditions to 1e-9)");
  return out;
}

}  // namespace fourfifths
