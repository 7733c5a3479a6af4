// The most valid weighting of the predictors at a given effect size e of the
// predictor composite: maximise w'r subject to w'Rw = 1, w'δ = e and, for
// non-negative weights, w >= 0.
//
// Method: enumeration of the faces of the non-negative orthant. The most valid
// weighting lies inside exactly one face (the set of predictors with positive
// weights), and there it is a critical point of w'r on the face's slice
// {w'Rw = 1, w'δ = e}. In the members' whitened coordinates u = L'w (R = LL',
// Cholesky; ỹr = L⁻¹r, ỹδ = L⁻¹δ, a = |ỹr|², b = ỹr'ỹδ, c = |ỹδ|²) the slice
// is a sphere of dimension size - 2 centred at (e/c) ỹδ, and w'r = u'ỹr is
// linear, so on a slice of dimension 1 or more the only local maximum is
//
//   u = (e/c) ỹδ + s q,   s = sqrt(1 - e²/c),   q = the unit part of ỹr orthogonal to ỹδ,
//
// of validity e b/c + s h, h = q'ỹr = sqrt(a - b²/c). The slice of two
// members is two points (±q), both candidates; a single predictor is a
// candidate only at its own effect size. Each face whose candidate has
// positive weights offers it, and the most valid offer is the answer: exact,
// not iterative. For free weights the whole space is the only face and its
// candidates form the arc w ∝ R⁻¹(r - λδ) through the regression weights.
//
// The Cholesky factor of each face extends its parent's by one row, the faces
// being visited depth-first in increasing order of their members, so a face
// costs a row of the factor and two back-substitutions. A search that starts
// from the face of a nearby answer first takes active-set steps (drop a
// predictor whose weight is not positive, add one whose optimality condition
// fails) until a candidate meets the sufficient optimality conditions of the
// convex program min w'Rw s.t. (r - κδ)'w = 1, w >= 0; where the front is
// concave that takes a step or two. Otherwise every face is searched, in
// decreasing order of a, the largest validity on the face, which bounds what
// a face can offer.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "pareto/pareto.h"

namespace fourfifths::pareto {
namespace {

constexpr int n9 = max_predictors;

// The slice carries no validity beyond the effect size (r ∝ δ over the
// members) when the part of ỹr orthogonal to ỹδ is this small against |ỹr|.
constexpr double degenerate_ratio = 1e-13;

// An effect size this far (relatively) beyond the largest a face allows still
// touches its slice: the rounding of e²/c.
constexpr double slice_rounding = 1e-12;

// Validities this close (relative, absolute below 1) are the same.
constexpr double validity_tie = 1e-14;

// Moves of a candidate towards its effect size: enough to go from a miss of
// rounding size to one below the smallest double, the miss shrinking by the
// machine epsilon each move.
constexpr int max_settling_moves = 24;

double dot(const double* x, const double* y, int n) {
  double s = 0;
  for (int i = 0; i < n; ++i) s += x[i] * y[i];
  return s;
}

// x u + y v over the face's members, which must all be positive for
// non-negative weights; false (w unchanged) when one is not.
bool weights_of(const Face& f, double x, const double* u, double y, const double* v,
                bool nonnegative, Vector& w) {
  Vector out{};
  for (int i = 0; i < f.size; ++i) {
    const double wi = x * u[i] + y * v[i];
    if (nonnegative && !(wi > 0)) return false;
    out[f.member[i]] = wi;
  }
  w = out;
  return true;
}

// The candidate x u + y v of a face with the effect size e (u the members'
// R⁻¹δ, of effect size c), moved along u by what rounding left between its
// effect size and e, then as weights_of. The candidate's part orthogonal to δ
// has an effect size of 0 only to rounding against the largest |δi|; where
// the effect sizes are far apart (one predictor's 1e30, another's 0) that
// rounding is more than the whole of e, and it can give a weight that should
// be just above 0 the wrong sign.
bool settled_weights_of(const Face& f, double e, const Vector& effect, double x, const double* u,
                        double y, const double* v, bool nonnegative, Vector& w) {
  Vector out{};
  for (int i = 0; i < f.size; ++i) out[f.member[i]] = x * u[i] + y * v[i];
  // Each move leaves a miss about the machine epsilon times the last one
  // where the members' effect sizes let the weights reach e exactly, and one
  // of the size of rounding where they do not: moves go on while the miss
  // at least halves.
  auto miss_of = [&] { return e - dot(out.data(), effect.data(), n9); };
  double miss = miss_of();
  for (int move = 0; move < max_settling_moves && miss != 0 && f.c > 0; ++move) {
    const double step = miss / f.c;
    Vector moved = out;
    for (int i = 0; i < f.size; ++i) moved[f.member[i]] += step * u[i];
    std::swap(out, moved);
    const double next = miss_of();
    if (!(std::fabs(next) <= 0.5 * std::fabs(miss))) {
      if (!(std::fabs(next) <= std::fabs(miss))) std::swap(out, moved);
      break;
    }
    miss = next;
  }
  for (int i = 0; i < f.size; ++i)
    if (nonnegative && !(out[f.member[i]] > 0)) return false;
  w = out;
  return true;
}

}  // namespace

// The current path of the depth-first visit: the lower Cholesky factor of the
// members' correlations (row by row) with the reciprocals of its diagonal, the
// whitened validities and effect sizes, and the members, each filled up to the
// current depth.
struct Faces::Path {
  std::array<double, n9 * n9> l{};
  Vector inverse_diagonal{};
  Vector yr{};
  Vector yd{};
  std::array<int, n9> members{};

  double* row(int i) { return &l[i * n9]; }
  double at(int i, int j) const { return l[i * n9 + j]; }

  // Solves L'x = y over the first n members.
  void back_substitute(const double* y, int n, double* x) const {
    for (int i = n - 1; i >= 0; --i) {
      double s = y[i];
      for (int t = i + 1; t < n; ++t) s -= at(t, i) * x[t];
      x[i] = s * inverse_diagonal[i];
    }
  }
};

Faces::Faces(const Predictors& predictors, bool nonnegative)
    : predictors_(predictors), nonnegative_(nonnegative) {
  const int count = nonnegative_ ? (1 << predictors_.count) - 1 : 1;
  faces_.reserve(static_cast<std::size_t>(count));
  pool_.reserve(static_cast<std::size_t>(3 * predictors_.count * (count + 1) / 2));
  Path path;
  add_faces(path, 0, 0);
  std::sort(faces_.begin(), faces_.end(), [](const Face& x, const Face& y) { return x.a > y.a; });
  if (nonnegative_) {
    face_of_.assign(std::size_t{1} << predictors_.count, -1);
    for (int k = 0; k < static_cast<int>(faces_.size()); ++k) face_of_[faces_[k].members] = k;
  }

  // A face's most valid weighting is its regression weighting R⁻¹r; a
  // single predictor's is the predictor alone, however it correlates with
  // the criterion.
  peaks_.reserve(faces_.size());
  for (int k = 0; k < static_cast<int>(faces_.size()); ++k) {
    const Face& f = faces_[k];
    if (f.size == 1 && nonnegative_) {
      const int j = f.member[0];
      peaks_.push_back({predictors_.validity[j], predictors_.effect[j], k});
      continue;
    }
    Vector w{};
    if (f.a > 0 && weights_of(f, 1 / f.reach, xr(f), 0, xr(f), nonnegative_, w))
      peaks_.push_back({f.reach, dot(w.data(), predictors_.effect.data(), n9), k});
  }
}

Vector Faces::peak_weights(const Peak& peak) const {
  const Face& f = faces_[peak.face];
  Vector w{};
  if (f.size == 1 && nonnegative_) {
    w[f.member[0]] = 1;
  } else {
    weights_of(f, 1 / f.reach, xr(f), 0, xr(f), false, w);
  }
  return w;
}

// Extends the face of the path's first depth members by each predictor from
// first on, records the new face, and visits its own extensions. Free
// weights take only the path through all predictors and record its end.
void Faces::add_faces(Path& path, int depth, int first) {
  const Predictors& p = predictors_;
  const int n = depth + 1;
  double* row = path.row(depth);
  const int last = nonnegative_ ? p.count - 1 : std::min(first, p.count - 1);
  for (int j = first; j <= last; ++j) {
    path.members[depth] = j;
    double pivot = 1;
    for (int t = 0; t < depth; ++t) {
      row[t] = (p.at(j, path.members[t]) - dot(row, path.row(t), t)) * path.inverse_diagonal[t];
      pivot -= row[t] * row[t];
    }
    if (!(pivot > 0)) continue;  // a nearly singular block rounded to a singular one
    row[depth] = std::sqrt(pivot);
    const double inverse = path.inverse_diagonal[depth] = 1 / row[depth];
    path.yr[depth] = (p.validity[j] - dot(row, path.yr.data(), depth)) * inverse;
    path.yd[depth] = (p.effect[j] - dot(row, path.yd.data(), depth)) * inverse;
    if (nonnegative_ || n == p.count) add_face(path, n);
    add_faces(path, depth + 1, j + 1);
  }
}

void Faces::add_face(const Path& path, int n) {
  const double* yr = path.yr.data();
  const double* yd = path.yd.data();
  Face& f = faces_.emplace_back();
  f.size = n;
  for (int i = 0; i < n; ++i) {
    f.member[i] = static_cast<uint8_t>(path.members[i]);
    f.members |= static_cast<uint16_t>(1u << path.members[i]);
  }
  f.a = dot(yr, yr, n);
  f.b = dot(yr, yd, n);
  f.c = dot(yd, yd, n);
  f.reach = std::sqrt(f.a);

  // q: ỹr less its part along ỹδ, so that ỹr = β ỹδ + |q| q̂ (removed once
  // more when the first removal left less than 1/√2 of |ỹr|: against
  // cancellation, twice is enough); or when nothing of ỹr is left, the unit
  // coordinate most nearly orthogonal to ỹδ less its part along ỹδ.
  Vector q{};
  double beta = 0;
  double norm = 0;
  if (n >= 2 && f.c > 0) {
    auto remove_effect_part = [&] {
      const double along = dot(q.data(), yd, n) / f.c;
      for (int i = 0; i < n; ++i) q[i] -= along * yd[i];
      return along;
    };
    for (int i = 0; i < n; ++i) q[i] = yr[i];
    beta = remove_effect_part();
    norm = std::sqrt(dot(q.data(), q.data(), n));
    if (norm * norm < 0.5 * f.a) {
      beta += remove_effect_part();
      norm = std::sqrt(dot(q.data(), q.data(), n));
    }
    if (norm <= degenerate_ratio * f.reach) {
      f.degenerate = true;
      int k = 0;
      for (int i = 1; i < n; ++i)
        if (std::fabs(yd[i]) < std::fabs(yd[k])) k = i;
      q.fill(0);
      q[k] = 1;
      remove_effect_part();
      norm = std::sqrt(dot(q.data(), q.data(), n));
    }
    const double inverse = 1 / norm;
    for (int i = 0; i < n; ++i) q[i] *= inverse;
    f.h = dot(q.data(), yr, n);
  }

  // Back to weights (L'x = y), R⁻¹r from the other two where ỹr is their
  // combination.
  f.vectors = pool_.size();
  pool_.resize(pool_.size() + static_cast<std::size_t>(3 * n));
  double* x = &pool_[f.vectors];
  path.back_substitute(yd, n, x + n);
  path.back_substitute(q.data(), n, x + 2 * n);
  if (n >= 2 && f.c > 0 && !f.degenerate) {
    for (int i = 0; i < n; ++i) x[i] = beta * x[n + i] + norm * x[2 * n + i];
  } else {
    path.back_substitute(yr, n, x);
  }
}

void Faces::consider(int face, double e, Weighting& best) const {
  const Face& f = faces_[face];
  auto offer = [&](double validity, const Vector& w) {
    best.found = true;
    best.validity = validity;
    best.effect = e;
    best.weights = w;
    best.face = face;
  };
  Vector w{};
  if (f.size == 1) {
    // The predictor alone, or for free weights also reversed.
    const int j = f.member[0];
    for (double sign : {1.0, -1.0}) {
      if (sign < 0 && nonnegative_) break;
      const double validity = sign * predictors_.validity[j];
      if (sign * predictors_.effect[j] != e || (best.found && !(validity > best.validity)))
        continue;
      w[j] = sign;
      offer(validity, w);
    }
    return;
  }
  if (f.c == 0) {
    // No member differs between the groups: every weighting of the face is
    // at parity, the most valid being the members' regression weights.
    if (e != 0 || !(f.a > 0) || (best.found && !(f.reach > best.validity))) return;
    if (weights_of(f, 1 / f.reach, xr(f), 0, xr(f), nonnegative_, w)) offer(f.reach, w);
    return;
  }
  // No candidate of the face beats the best when even the slice's centre
  // plus the whole of h does not.
  const double along = e / f.c;
  const double centre = along * f.b;
  if (best.found && !(centre + std::fabs(f.h) > best.validity)) return;
  double t = along * e;
  if (t > 1) {
    if (t > 1 + slice_rounding) return;
    t = 1;
  }
  const double s = std::sqrt(1 - t);
  for (double side : {1.0, -1.0}) {
    if (side < 0 && f.size != 2 && !f.degenerate) break;
    const double validity = centre + side * s * f.h;
    if (best.found && !(validity > best.validity)) continue;
    if (settled_weights_of(f, e, predictors_.effect, along, xd(f), side * s, xq(f), nonnegative_,
                           w))
      offer(validity, w);
  }
}

// Of weightings equally valid (to rounding), the one with less adverse
// impact: the other is dominated.
bool Faces::better(const Peak& peak, const Weighting& best) {
  if (!best.found) return true;
  const double tie = validity_tie * std::max(1.0, std::fabs(best.validity));
  if (peak.validity > best.validity + tie) return true;
  return peak.validity >= best.validity - tie && std::fabs(peak.effect) < std::fabs(best.effect);
}

Weighting Faces::most_valid_between(double e, double limit) const {
  Weighting best;
  for (const Peak& peak : peaks_) {
    if (!(peak.effect > e && peak.effect <= limit) || !better(peak, best)) continue;
    best = {true, peak.validity, peak.effect, peak_weights(peak), peak.face};
  }
  return best;
}

Weighting Faces::most_valid() const {
  Weighting best;
  for (const Peak& peak : peaks_) {
    if (!better(peak, best)) continue;
    best.found = true;
    best.validity = peak.validity;
    best.effect = peak.effect;
    best.weights = peak_weights(peak);
    best.face = peak.face;
  }
  return best;
}

// The predictor off the face whose entry would raise the validity of the
// face's candidate w at e (of unit composite variance), the one that would
// raise it most; -1 when none would, and w is the most valid weighting of the
// orthant at e. On the face, w is stationary for r - κδ - 2νRw = 0 with
// 2ν = h/s and κ = b/c - (h/s)(e/c) (from R w = L u = (e/c) δ + (s/h)(r - (b/c) δ)
// over the members), ν > 0. Where moreover r - κδ - 2νRw <= 0 off the face, w
// maximises (r - κδ)'w over {w'Rw <= 1, w >= 0} (sufficient conditions of a
// convex program), so no weighting with the effect size e is more valid.
int Faces::entering(const Face& f, double e, double s, const Vector& w) const {
  const double slope = f.h / s;  // 2ν
  const double kappa = f.b / f.c - slope * e / f.c;
  const Predictors& p = predictors_;
  int most = -1;
  double largest = 0;
  for (int i = 0; i < p.count; ++i) {
    if (f.members & (1u << i)) continue;
    double rw = 0;
    for (int k = 0; k < f.size; ++k) rw += p.at(i, f.member[k]) * w[f.member[k]];
    const double gain = p.validity[i] - kappa * p.effect[i] - slope * rw;
    if (gain > largest) {
      largest = gain;
      most = i;
    }
  }
  return most;
}

// From a face, the active-set steps of the convex program: where the face's
// candidate at e has a weight that is not positive, to the face without that
// predictor; where a predictor off the face would raise validity, to the face
// with it. Found only when a candidate proves optimal, within as many steps as
// twice the predictors.
Weighting Faces::walk(double e, int face) const {
  for (int step = 0; step < 2 * predictors_.count && face >= 0; ++step) {
    const Face& f = faces_[face];
    if (f.size < 2 || f.degenerate || !(f.c > 0) || !(f.h > 0)) break;
    const double along = e / f.c;
    const double t = along * e;
    if (!(t < 1)) break;
    const double s = std::sqrt(1 - t);
    Vector w{};
    settled_weights_of(f, e, predictors_.effect, along, xd(f), s, xq(f), false, w);
    int low = -1;
    for (int k = 0; k < f.size; ++k) {
      const int m = f.member[k];
      if (!(w[m] > 0) && (low < 0 || w[m] < w[low])) low = m;
    }
    if (low >= 0) {
      face = face_of_[f.members & ~(1u << low)];
      continue;
    }
    const int enter = entering(f, e, s, w);
    if (enter < 0) return {true, along * f.b + s * f.h, e, w, face};
    face = face_of_[f.members | (1u << enter)];
  }
  return {};
}

Weighting Faces::most_valid_at(double e, int hint) const {
  if (hint >= 0 && nonnegative_) {
    const Weighting w = walk(e, hint);
    if (w.found) return w;
  }
  Weighting best;
  for (int k = 0; k < static_cast<int>(faces_.size()); ++k) {
    if (best.found && faces_[k].reach <= best.validity) break;
    consider(k, e, best);
  }
  return best;
}

bool Faces::outdone(double e, double limit, double validity) const {
  for (const Peak& peak : peaks_)
    if (peak.effect > e && peak.effect <= limit && peak.validity >= validity) return true;
  return false;
}

void Faces::reverse_effects() {
  for (double& d : predictors_.effect) d = -d;
  for (Peak& peak : peaks_) peak.effect = -peak.effect;
  for (Face& f : faces_) {
    f.b = -f.b;
    double* x = &pool_[f.vectors + f.size];
    for (int i = 0; i < f.size; ++i) x[i] = -x[i];
  }
}

}  // namespace fourfifths::pareto
