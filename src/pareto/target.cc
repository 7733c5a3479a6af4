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
// it meets the target. Otherwise the largest smallest AI (maximise s subject
// to ln AI_g - s >= 0) is sought first: when it stays below the target no
// weighting reaches it, and its weighting is the answer; when it reaches the
// target its weighting joins the starts of the search for the most valid
// weighting that does. Both searches sample many weightings, run an augmented
// Lagrangian method (projected gradient steps with an Armijo rule) from the
// most promising, guess the active constraints and zero weights from where it
// ends, and solve the first-order (KKT) equations of that active set by a
// Levenberg-Marquardt method, changing the active set one constraint at a
// time until every multiplier has its sign. A point is returned only when it
// meets its constraints and first-order conditions to 1e-9; the best such
// point over all starts is the answer.
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
  Eigen::MatrixXd r;
  Eigen::VectorXd validity;
  std::vector<Eigen::VectorXd> delta;  // per group, the reference's 0
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
  Eigen::VectorXd gv;
  std::vector<Eigen::VectorXd> gln;  // per further group g (index g - 1): grad ln AI_g
};

// One pool of groups (the joint pool, or a pair) at the effect sizes d of its
// members: each member's selection ratio, and the derivative of the cut-off
// with respect to each member's effect size.
bool select(const Model& m, const std::vector<double>& p, const std::vector<double>& d,
            std::vector<double>& sr, double& x, std::vector<double>& dxdd) {
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
    if (!pool_cutoff(pool, m.sr, cutoff, x, status)) return false;
    double total = 0;
    for (std::size_t h = 0; h < d.size(); ++h) {
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

Eval evaluate(const Model& m, const Eigen::VectorXd& w) {
  Eval e;
  const Eigen::VectorXd rw = m.r * w;
  const double s = std::sqrt(w.dot(rw));
  if (!(s > 0)) return e;
  const Eigen::VectorXd u = w / s;
  const Eigen::VectorXd ru = rw / s;
  const int G = m.groups;
  e.v = m.validity.dot(u);
  e.gv = (m.validity - e.v * ru) / s;
  e.d.assign(static_cast<std::size_t>(G + 1), 0.0);
  std::vector<Eigen::VectorXd> gd(static_cast<std::size_t>(G + 1));
  for (int h = 1; h <= G; ++h) {
    e.d[h] = m.delta[h].dot(u);
    gd[h] = (m.delta[h] - e.d[h] * ru) / s;
  }
  e.ai.assign(static_cast<std::size_t>(G + 1), 1.0);
  e.sr.assign(static_cast<std::size_t>(G + 1), 0.0);
  e.gln.assign(static_cast<std::size_t>(G), Eigen::VectorXd::Zero(m.np));
  // The derivative of ln AI_g through the cut-off x and directly.
  auto add = [&](int g, double x, const std::vector<int>& members, const std::vector<double>& dxdd) {
    double pdf0 = 0;
    double pdfg = 0;
    const double q0 = upper_tail(x, pdf0);
    const double h0 = q0 > 0 ? pdf0 / q0 : 0;
    const double qg = upper_tail(x - e.d[g], pdfg);
    const double hg = qg > 0 ? pdfg / qg : 0;
    Eigen::VectorXd& grad = e.gln[static_cast<std::size_t>(g - 1)];
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
    if (!select(m, p, e.d, sr, x, dxdd)) return e;
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
      if (!select(m, {m.shares[0] / total, m.shares[g] / total}, {0.0, e.d[g]}, sr, x, dxdd))
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
  double lnt = 0;

  int size() const { return m.np + (maximin ? 1 : 0); }

  struct Values {
    bool ok = false;
    double f = 0;
    Eigen::VectorXd gf;
    std::vector<double> c;
    std::vector<Eigen::VectorXd> gc;
  };

  Values at(const Eigen::VectorXd& z) const {
    Values out;
    const Eval e = evaluate(m, z.head(m.np));
    if (!e.ok) return out;
    const int n = size();
    out.ok = true;
    out.gf = Eigen::VectorXd::Zero(n);
    if (maximin) {
      out.f = z[m.np];
      out.gf[m.np] = 1;
    } else {
      out.f = e.v;
      out.gf.head(m.np) = e.gv;
    }
    for (int g = 1; g <= m.groups; ++g) {
      Eigen::VectorXd grad = Eigen::VectorXd::Zero(n);
      grad.head(m.np) = e.gln[static_cast<std::size_t>(g - 1)];
      if (maximin) grad[m.np] = -1;
      out.c.push_back(std::log(e.ai[g]) - (maximin ? z[m.np] : lnt));
      out.gc.push_back(grad);
    }
    return out;
  }

  // Onto unit composite variance and, with non-negative weights, the orthant
  // (the smallest AI of the maximin search capped at the target).
  bool project(Eigen::VectorXd& z) const {
    Eigen::VectorXd w = z.head(m.np);
    if (nonnegative) w = w.cwiseMax(0.0);
    const double s = std::sqrt(w.dot(m.r * w));
    if (!(s > 0) || !std::isfinite(s)) return false;
    z.head(m.np) = w / s;
    if (maximin) z[m.np] = std::min(z[m.np], lnt);
    return true;
  }
};

// The augmented Lagrangian method from z: ends near a first-order point.
Eigen::VectorXd augmented_lagrangian(const Program& search, Eigen::VectorXd z) {
  const int G = search.m.groups;
  std::vector<double> lambda(static_cast<std::size_t>(G), 0.0);
  double rho = 10;
  double alpha = 0.1;
  double last_violation = std::numeric_limits<double>::infinity();
  auto lagrangian = [&](const Program::Values& v, Eigen::VectorXd* grad) {
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
    for (int inner = 0; inner < 400; ++inner) {
      Eigen::VectorXd grad;
      const double l0 = lagrangian(v, &grad);
      bool moved = false;
      alpha = std::min(alpha * 4, 1.0);
      for (int halving = 0; halving < 50; ++halving, alpha /= 2) {
        Eigen::VectorXd trial = z + alpha * grad;
        if (!search.project(trial)) continue;
        const Program::Values tv = search.at(trial);
        if (!tv.ok) continue;
        if (lagrangian(tv, nullptr) >= l0 + 1e-4 * grad.dot(trial - z)) {
          moved = (trial - z).norm() > 1e-13;
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
    if (violation < 1e-11 && outer > 2) break;
    if (violation > last_violation / 4) rho = std::min(rho * 4, 1e7);
    last_violation = violation;
  }
  return z;
}

// A certified first-order point, or not found.
struct Point {
  bool found = false;
  Eigen::VectorXd z;
  std::vector<double> lambda;  // per group
  double kkt = 0;
  std::vector<bool> active;
};

// The worst violation of the first-order conditions at z with multipliers
// lambda (only those of active constraints non-zero).
double kkt_residual(const Program& search, const Program::Values& v, const Eigen::VectorXd& z,
                    const std::vector<double>& lambda) {
  Eigen::VectorXd grad = v.gf;
  double worst = 0;
  for (int k = 0; k < search.m.groups; ++k) {
    grad += lambda[k] * v.gc[k];
    worst = std::max({worst, -lambda[k], std::fabs(lambda[k] * v.c[k])});
  }
  for (int i = 0; i < search.size(); ++i) {
    const bool at_zero = search.nonnegative && i < search.m.np && z[i] == 0;
    worst = std::max(worst, at_zero ? grad[i] : std::fabs(grad[i]));
  }
  if (search.maximin) worst = std::max(worst, z[search.m.np] - search.lnt);
  return worst;
}

// Solves the first-order equations of one active set (active constraints,
// weights held at zero) from z by Levenberg-Marquardt; lambda its multipliers.
bool solve_active(const Program& search, const std::vector<bool>& active, const std::vector<bool>& zero,
                  Eigen::VectorXd& z, std::vector<double>& lambda, double& size) {
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
    Eigen::VectorXd zz = z;
    for (int j = 0; j < nf; ++j) zz[free[j]] = yy[j];
    const Program::Values v = search.at(zz);
    if (!v.ok) return false;
    out.resize(nf + na + 1);
    Eigen::VectorXd grad = v.gf;
    for (int j = 0; j < na; ++j) grad += yy[nf + j] * v.gc[act[j]];
    for (int j = 0; j < nf; ++j) out[j] = grad[free[j]];
    for (int j = 0; j < na; ++j) out[nf + j] = v.c[act[j]];
    const Eigen::VectorXd w = zz.head(search.m.np);
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
  const Eigen::VectorXd w = z.head(search.m.np);
  z.head(search.m.np) = w / std::sqrt(w.dot(search.m.r * w));
  return true;
}

// When changing the active set one member at a time cycles: every set of
// zero weights with every set of the constraints that are nearly active at z
// (those of positive ln AI margin below 0.05), solved from z; the most valid
// (or, for the maximin search, largest) certified point.
Point enumerate_active_sets(const Program& search, const Eigen::VectorXd& z) {
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
      Eigen::VectorXd trial = z;
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
Point polish(const Program& search, Eigen::VectorXd z) {
  const Eigen::VectorXd start = z;
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
    const Eigen::VectorXd from = z;
    if (!solve_active(search, active, zero, z, lambda, size)) return out;
    if (size > 1e-11) {
      // No first-order point with this active set (too many constraints
      // held, or a weight held at zero that must not be): the one change of
      // a member whose equations come nearest to being solved.
      double nearest = std::numeric_limits<double>::infinity();
      std::vector<bool> best_active = active, best_zero = zero;
      Eigen::VectorXd best_z = z;
      std::vector<double> best_lambda = lambda;
      auto attempt = [&](std::vector<bool> a, std::vector<bool> zz) {
        Eigen::VectorXd trial = from;
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
    Eigen::VectorXd grad = v.gf;
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

// The best certified point from many starts: the given ones and the most
// promising of sampled weightings (feasible and most valid first, then the
// least infeasible).
Point best_point(const Program& search, const std::vector<Eigen::VectorXd>& given, int starts,
                 unsigned seed) {
  const int np = search.m.np;
  const int n = search.size();
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> uniform;
  struct Candidate {
    double score;
    Eigen::VectorXd z;
  };
  std::vector<Candidate> candidates;
  auto consider = [&](Eigen::VectorXd z) {
    if (!search.project(z)) return;
    Program::Values v = search.at(z);
    if (!v.ok) return;
    double smallest = *std::min_element(v.c.begin(), v.c.end());
    if (search.maximin) {
      z[np] = std::min(z[np] + smallest, search.lnt);  // s at the smallest ln AI
      candidates.push_back({z[np], z});
    } else {
      candidates.push_back({smallest >= 0 ? 10 + v.f : smallest, z});
    }
  };
  const int samples = 300 * np;
  for (int k = 0; k < samples; ++k) {
    Eigen::VectorXd z = Eigen::VectorXd::Zero(n);
    for (int i = 0; i < np; ++i) {
      const double x = normal(random);
      // Half of the samples on smaller faces: each weight zero with chance 1/3.
      z[i] = (k % 2 == 1 && uniform(random) < 1.0 / 3) ? 0 : search.nonnegative ? std::fabs(x) : x;
    }
    consider(z);
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
  std::vector<Eigen::VectorXd> chosen = given;
  for (const Candidate& c : candidates) {
    if (static_cast<int>(chosen.size()) >= starts + static_cast<int>(given.size())) break;
    bool distinct = true;
    for (const Eigen::VectorXd& o : chosen) distinct = distinct && (o.head(np) - c.z.head(np)).norm() > 0.05;
    if (distinct) chosen.push_back(c.z);
  }
  Point best;
  double best_f = -std::numeric_limits<double>::infinity();
  for (Eigen::VectorXd z : chosen) {
    if (!search.project(z)) continue;
    if (search.maximin) {
      const Program::Values v = search.at(z);
      if (!v.ok) continue;
      z[np] += *std::min_element(v.c.begin(), v.c.end());
      z[np] = std::min(z[np], search.lnt);
    }
    const Eigen::VectorXd za = augmented_lagrangian(search, z);
    if (search.maximin) {
      // The cap reached: a weighting that meets the target, all the maximin
      // search is asked for then.
      const Program::Values va = search.at(za);
      if (va.ok && za[np] >= search.lnt &&
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

GroupWeighting describe(const Model& m, const Eigen::VectorXd& w, double target) {
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
  out.violation = std::max(0.0, target - out.min_ai);
  out.multipliers.assign(static_cast<std::size_t>(m.groups + 1), 0.0);
  return out;
}

std::string group_list(const GroupProblem& p, const std::vector<int>& groups) {
  std::string s;
  for (std::size_t k = 0; k < groups.size(); ++k)
    s += (k == 0 ? "'" : k + 1 == groups.size() ? " and '" : ", '") + p.groups[groups[k]].name + "'";
  return s;
}

}  // namespace

GroupTarget most_valid_meeting(const GroupProblem& problem, const GroupTargetOptions& options) {
  GroupTarget out;
  // The problem as the front checks it: no weights, quality or ratios of its own.
  GroupProblem checked = problem;
  checked.regression_weights = false;
  checked.quality = Quality::predictor;
  checked.requested_ratios.clear();
  const bool counted = checked.predictors >= 1 && checked.predictors <= max_variables;
  checked.predictor_weights.assign(counted ? static_cast<std::size_t>(checked.predictors) : 0, 0.0);
  if (counted) checked.predictor_weights[0] = 1;
  out.messages = validate(checked);
  if (!(options.target > 0 && options.target <= 1))
    out.messages.push_back("The AI target must lie in (0, 1], got " + number("%g", options.target));
  if (options.starts < 1)
    out.messages.push_back("The search needs at least 1 start, got " +
                           std::to_string(options.starts));
  if (!out.messages.empty()) return out;

  Model m;
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
    const std::vector<std::string> messages =
        pareto::front_problem(as_problem(checked, g), front, composites, predictors);
    if (!messages.empty()) {
      out.messages = messages;
      return out;
    }
    m.np = predictors.count;
    m.delta[g] = Eigen::VectorXd(m.np);
    for (int i = 0; i < m.np; ++i) m.delta[g][i] = predictors.effect[i] * predictors.scale;
  }
  m.delta[0] = Eigen::VectorXd::Zero(m.np);
  m.r.resize(m.np, m.np);
  m.validity.resize(m.np);
  for (int i = 0; i < m.np; ++i) {
    m.validity[i] = predictors.validity[i];
    for (int j = 0; j < m.np; ++j) m.r(i, j) = predictors.at(i, j);
  }

  out.pool = problem.pool;
  out.basis = problem.basis;
  out.sr = options.sr;
  out.target = options.target;
  out.nonnegative = options.nonnegative;
  const double lnt = std::log(options.target);

  const pareto::Weighting top = Faces(predictors, options.nonnegative).most_valid();
  Eigen::VectorXd w0(m.np);
  for (int i = 0; i < m.np; ++i) w0[i] = top.weights[i];
  const Eval e0 = evaluate(m, w0);
  if (!top.found || !e0.ok) {
    out.messages.push_back("No cut-off on the most valid composite gives the selection ratio " +
                           number("%g", options.sr));
    return out;
  }
  out.most_valid = describe(m, w0, options.target);
  {
    Program plain{.m = m, .maximin = false, .nonnegative = options.nonnegative, .lnt = lnt};
    const Program::Values v = plain.at(w0 / std::sqrt(w0.dot(m.r * w0)));
    out.most_valid.kkt_residual = kkt_residual(plain, v, w0 / std::sqrt(w0.dot(m.r * w0)),
                                               std::vector<double>(static_cast<std::size_t>(m.groups), 0.0));
  }
  if (out.most_valid.min_ai >= options.target) {
    out.reached = true;
    out.best = out.most_valid;
    out.best.binding.clear();
    out.notes.push_back("The most valid weighting already meets the target for every group");
    return out;
  }

  // The largest smallest AI, capped at the target.
  const Program maximin{.m = m, .maximin = true, .nonnegative = options.nonnegative, .lnt = lnt};
  Eigen::VectorXd z0(m.np + 1);
  z0.head(m.np) = w0;
  z0[m.np] = 0;
  const Point closest = best_point(maximin, {z0}, options.starts, options.seed);
  if (!closest.found) {
    out.messages.push_back(
        "No weighting of largest smallest AI could be certified (first-order conditions to 1e-9)");
    return out;
  }
  const Eigen::VectorXd wc = closest.z.head(m.np);
  const GroupWeighting least = describe(m, wc, options.target);
  if (least.min_ai < options.target * (1 - 1e-12)) {
    out.best = least;
    out.best.kkt_residual = closest.kkt;
    for (int g = 1; g <= m.groups; ++g) out.best.multipliers[g] = closest.lambda[g - 1];
    out.notes.push_back("No weighting reaches AI " + number("%g", options.target) +
                        " for every group: the largest smallest AI is " +
                        number("%.4f", least.min_ai) + ", binding " +
                        group_list(problem, least.binding) + ", at validity " +
                        number("%.4f", least.validity));
    return out;
  }

  const Program headline{.m = m, .maximin = false, .nonnegative = options.nonnegative, .lnt = lnt};
  const Point best = best_point(headline, {wc, w0}, options.starts, options.seed);
  if (!best.found) {
    out.messages.push_back(
        "No most valid weighting meeting the target could be certified (first-order conditions "
        "to 1e-9)");
    return out;
  }
  out.reached = true;
  out.best = describe(m, best.z, options.target);
  out.best.kkt_residual = best.kkt;
  out.best.binding.clear();
  for (int g = 1; g <= m.groups; ++g) {
    out.best.multipliers[g] = best.lambda[g - 1];
    if (best.active[g - 1] && best.lambda[g - 1] > 0) out.best.binding.push_back(g);
  }
  if (!out.best.binding.empty())
    out.notes.push_back("Binding: " + group_list(problem, out.best.binding) + " at AI " +
                        number("%g", options.target));
  return out;
}

}  // namespace fourfifths
