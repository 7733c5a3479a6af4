// Validity–adverse-impact front: the predictor side of the problem and the
// most valid weighting at a given effect size of the predictor composite. The
// public interface is include/fourfifths/pareto.h.
//
// All weightings here are normalised to a composite of unit variance, w'Rw =
// 1, so that a weighting's validity is w'r and its composite effect size w'δ.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fourfifths/pareto.h"
#include "study/study.h"

namespace fourfifths::pareto {

// With at least one criterion among at most ten variables.
inline constexpr int max_predictors = 9;

using Vector = std::array<double, max_predictors>;

// The predictors of a front problem.
struct Predictors {
  int count = 0;
  std::array<double, max_predictors * max_predictors> r{};  // R(i, j) at i * max_predictors + j
  Vector validity{};  // correlation of each predictor with the criterion composite
  // Effect size of each predictor, minority minus majority, divided by scale:
  // a power of 2 (exact) that keeps the largest below 2 in size, so that sums
  // of their squares stay finite for any effect sizes a double holds.
  Vector effect{};
  double scale = 1;

  double at(int i, int j) const { return r[static_cast<std::size_t>(i * max_predictors + j)]; }
};

// A weighting of the predictors with a composite of unit variance.
struct Weighting {
  bool found = false;
  double validity = 0;  // w'r
  double effect = 0;    // w'δ
  Vector weights{};
  int face = -1;  // the face it lies in, where it was found face by face
};

// One face of the non-negative orthant of weights: the weightings whose
// positive weights are those of its members (all of them, without the sign
// constraint).
struct Face {
  uint16_t members = 0;  // bit i: predictor i
  int size = 0;
  std::array<uint8_t, max_predictors> member{};  // the members, in increasing order
  // r'R⁻¹r, r'R⁻¹δ and δ'R⁻¹δ over the members: a is the squared multiple
  // correlation of the members with the criterion composite, c the largest
  // squared composite effect size the members allow.
  double a = 0;
  double b = 0;
  double c = 0;
  double reach = 0;  // sqrt(a): the largest validity of the face's weightings
  // Validity of the unit direction along the face that leaves the composite
  // effect size unchanged (the direction of largest validity gain there).
  double h = 0;
  // Validity carries no information beyond the effect size (r ∝ δ over the
  // members): along the face validity is b/c times the effect size.
  bool degenerate = false;
  // Where the face's weight vectors start in the pool, member by member:
  // R⁻¹r (the members' regression weights), R⁻¹δ, and that direction as
  // weights of unit composite variance.
  std::size_t vectors = 0;
};

// Every face of a problem (every non-empty set of predictors), or the whole
// space alone for free weights.
class Faces {
 public:
  // R must be positive definite.
  Faces(const Predictors& predictors, bool nonnegative);

  // The most valid weighting: the regression weights, or with non-negative
  // weights the most valid weighting of the orthant.
  Weighting most_valid() const;

  // The most valid weighting whose composite has the effect size e; not found
  // when none has. From the face of a nearby answer, when given, a few
  // active-set steps usually reach a weighting that proves optimal, which
  // spares the search of every face.
  Weighting most_valid_at(double e, int hint = -1) const;

  // The most valid of the faces' most valid weightings (the regression
  // weights of their members) whose composite effect size lies in (e, limit].
  Weighting most_valid_between(double e, double limit) const;

  // Whether the most valid weighting of some face (the regression weights
  // of its members) has a composite effect size in (e, limit] and at least
  // the validity validity. Together with the weighting at limit itself these
  // are the only weightings that can dominate the most valid one at e.
  bool outdone(double e, double limit, double validity) const;

  // Changes the sign of every effect size, so that the front can always run
  // from a negative composite effect size up to parity.
  void reverse_effects();

  const Predictors& predictors() const { return predictors_; }

 private:
  struct Path;
  void add_faces(Path& path, int depth, int first);
  void add_face(const Path& path, int n);
  void consider(int face, double e, Weighting& best) const;
  int entering(const Face& face, double e, double s, const Vector& w) const;
  Weighting walk(double e, int face) const;

  // The most valid weighting of a face, where it has positive weights (with
  // free weights, of the whole space).
  struct Peak {
    double validity = 0;
    double effect = 0;
    int face = 0;
  };
  Vector peak_weights(const Peak& peak) const;
  static bool better(const Peak& peak, const Weighting& best);

  const double* xr(const Face& f) const { return &pool_[f.vectors]; }
  const double* xd(const Face& f) const { return &pool_[f.vectors + f.size]; }
  const double* xq(const Face& f) const { return &pool_[f.vectors + 2 * f.size]; }

  Predictors predictors_;
  bool nonnegative_;
  std::vector<Face> faces_;   // in decreasing order of a
  std::vector<int> face_of_;  // non-negative weights: the index of each face by its members
  std::vector<double> pool_;
  std::vector<Peak> peaks_;
};

// Why a two-group problem and options have no front (empty when they have
// one), and otherwise the problem's composites and its predictors: their
// correlations, their validities for the criterion composite and their
// effect sizes (divided by the predictors' scale).
std::vector<std::string> front_problem(const Problem& problem, const FrontOptions& options,
                                       Composites& composites, Predictors& predictors);

// Sets the shrunk validity and AI of every point of a front traced from a
// validation sample of n with k predictors screened (n >= 2k + 3), model
// being the front's own selection model; false when the model has no row
// for a shrunk composite.
bool shrink_front(Front& front, const Predictors& predictors, const SelectionModel& model, int n,
                  int k);

// Cut-off searches to machine precision: the relative tolerance falls back to
// twice the machine epsilon; the absolute one only keeps a cut-off of exactly
// 0 from searching down to the smallest double.
inline constexpr double cutoff_absolute_tolerance = 1e-15;

// A number for a message, in a printf format ("%g" for a value as given).
std::string number(const char* format, double v);

}  // namespace fourfifths::pareto
