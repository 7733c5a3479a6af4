// check_correlations: whether the correlations a problem's analysis reads can
// be the correlations of real variables.
//
//   std::vector<std::string> check_correlations(const Problem& problem);
//
// The composites read the entries above the diagonal and take the diagonal as
// 1; the regression weights read the predictors' correlations below the
// diagonal and every diagonal entry as given. The matrix the analysis uses is
// therefore the symmetric matrix of the entries above the diagonal with a unit
// diagonal, and with regression weights the entries below must agree with it.
// A correlation matrix is positive semidefinite: a negative eigenvalue λ with
// unit eigenvector v is a weighting v whose composite would have the variance
// λ < 0, and validities above 1 and adverse-impact ratios without meaning
// follow.
//
// Method: the eigenvalues of the symmetric matrix by Eigen's
// SelfAdjointEigenSolver (Householder tridiagonalisation, then the implicit
// symmetric QR algorithm); with entries of at most 1 in size among at most ten
// variables its eigenvalues are accurate to a few times 1e-15, far inside the
// tolerance below.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <Eigen/Eigenvalues>

#include "fourfifths/study.h"

namespace fourfifths {
namespace {

// Diagonal entries and the two triangles agree, and an eigenvalue counts as
// 0, within this much.
constexpr double tolerance = 1e-12;

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, max_variables,
                             max_variables>;

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

// Entry (i, j) counted from 1, as the rows and columns of the deck's matrix.
std::string entry(int i, int j) {
  return "(" + std::to_string(i + 1) + ", " + std::to_string(j + 1) + ")";
}

std::string variable(const Problem& p, int i) {
  return i < p.predictors ? "predictor " + std::to_string(i + 1)
                          : "criterion " + std::to_string(i - p.predictors + 1);
}

}  // namespace

std::vector<std::string> check_correlations(const Problem& p) {
  std::vector<std::string> messages;
  if (p.predictors < 1 || p.criteria < 0 || p.predictors > max_variables ||
      p.criteria > max_variables - p.predictors)
    return messages;
  const int n = p.predictors + p.criteria;
  if (p.correlations.size() != static_cast<std::size_t>(n * n)) return messages;
  auto at = [&](int i, int j) { return p.correlations[static_cast<std::size_t>(i * n + j)]; };
  const bool regression = p.regression_weights;
  // Whether entry (i, j) is read by the analysis.
  auto read = [&](int i, int j) {
    return i < j || (regression && (i == j || (j < p.predictors && i < p.predictors)));
  };

  bool finite = true;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double r = at(i, j);
      if (!std::isfinite(r)) finite = false;
      if (!read(i, j) || i == j || std::fabs(r) <= 1) continue;
      messages.push_back("Correlation " + entry(i, j) + " is " + number(r) +
                         ": a correlation lies between -1 and 1");
    }
  if (regression) {
    for (int i = 0; i < n; ++i)
      if (!(std::fabs(at(i, i) - 1) <= tolerance))
        messages.push_back("Diagonal entry " + entry(i, i) + " is " + number(at(i, i)) +
                           ": the regression weights read it, and a correlation matrix has 1 "
                           "there");
    for (int i = 0; i < p.predictors; ++i)
      for (int j = i + 1; j < p.predictors; ++j)
        if (std::isfinite(at(i, j)) && std::isfinite(at(j, i)) &&
            !(std::fabs(at(i, j) - at(j, i)) <= tolerance))
          messages.push_back("Correlations " + entry(i, j) + " = " + number(at(i, j)) + " and " +
                             entry(j, i) + " = " + number(at(j, i)) +
                             " differ: the regression weights read the predictors' correlations "
                             "below the diagonal, the composites those above it");
  }
  if (!finite) return messages;

  Matrix m(n, n);
  for (int i = 0; i < n; ++i) {
    m(i, i) = 1;
    for (int j = i + 1; j < n; ++j) m(i, j) = m(j, i) = at(i, j);
  }
  const Eigen::SelfAdjointEigenSolver<Matrix> solver(m);
  if (solver.info() != Eigen::Success) {
    messages.emplace_back("The eigenvalues of the correlation matrix could not be computed");
    return messages;
  }
  const double smallest = solver.eigenvalues()(0);
  if (smallest >= -tolerance) return messages;

  // The variables of the weighting whose composite variance would be the
  // negative eigenvalue (its eigenvector): those whose weights are at least a
  // third of the largest, largest first.
  const auto v = solver.eigenvectors().col(0);
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return std::fabs(v(x)) > std::fabs(v(y)); });
  const double largest = std::fabs(v(order[0]));
  // Signs as seen from the variable that weighs most.
  const double sign = v(order[0]) < 0 ? -1 : 1;
  std::string involved;
  for (int i : order) {
    if (std::fabs(v(i)) < largest / 3) break;
    char weight[32];
    std::snprintf(weight, sizeof weight, " (%+.2f)", sign * v(i));
    involved += (involved.empty() ? "" : ", ") + variable(p, i) + weight;
  }
  messages.push_back(
      "The correlation matrix is not positive semidefinite, so no variables have these "
      "correlations: its smallest eigenvalue is " +
      number(smallest) + " (below -1e-12); its eigenvector weighs most on " + involved);
  return messages;
}

}  // namespace fourfifths
