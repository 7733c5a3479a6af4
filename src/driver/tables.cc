// The selection-ratio tables: for each built-in, boundary and requested
// selection ratio, the cut-off, both groups' selection ratios, the
// adverse-impact ratio and the mean quality of those selected.
//
// Mean quality above a cut-off x of a standard normal group is phi(x) / (1 -
// Phi(x)) (the mean of the truncated normal); on the criterion composite it is
// scaled by rxy, the slope of the criterion composite on the predictor
// composite. The minority group is shifted by dx on the predictor composite
// and by dy on the criterion composite.
#include <array>
#include <cmath>
#include <limits>

#include "driver/study.h"
#include "model/model.h"

namespace fourfifths {
namespace {

// The built-in selection ratios: 0.01, 0.05 to 0.95 in steps of 0.05, and a
// ratio just short of 1.
constexpr std::array<double, 21> sr1 = {0.01, 0.05, 0.10, 0.15, 0.20, 0.25, 0.30,
                                        0.35, 0.40, 0.45, 0.50, 0.55, 0.60, 0.65,
                                        0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 0.99999999999};

// The square root of 2 pi of the tables' own density.
constexpr double sqrt2pi = 2.506628274631;

double density(double x) {
  return std::exp(-(x * x) * 0.5) / sqrt2pi;
}

constexpr std::string_view overall_heading =
    "(/'For each overall selection ratio (SR): the majority group SR (SRA)'/"
    "'the minority group SR (SRI), the adverse impact (AI), the overall'/"
    "'average quality of the selected individuals (with respect to'/"
    "'the majority group distribution: wrtmgd) (M), the average quality'/"
    "'of the majority group selected {wrtmgd) (MA) and the minority'/"
    "'group selected (again wrtmgd) (MI), and the  difference between'/"
    "'MA and MI.'/"
    "'On the second line: the globally standardized (gs) overall average'/"
    "'quality of the selected individuals (SM), the (gs) average quality of the'/"
    "'majority selected individuals (SMA), the (gs) average quality of the'/"
    "'minority selected (SMI) and the difference between SMA and SMI (SDIF)'/"
    "/"
    "'     SR     SRA     SRI      AI       M      MA      MI     DIF'/"
    "'        SM     SMA     SMI    SDIF')";

constexpr std::string_view majority_heading =
    "(/'For each majority selection ratio (SRA) the corresponding'/"
    "'minority group SR (SRI), the adverse impact (AI), the average'/"
    "'quality of the majority group selected (MA) and the'/"
    "'minority group selected (MI)'/"
    "/"
    "'    SRA     SRI      AI      MA      MI'/)";

// Finds the cut-off of one row and leaves both groups' selection ratios in the
// selection state. Returns false, after writing the row's error record, when
// the ratio has no cut-off.
bool find_cutoff(const ProblemDeck& deck, double sr, double& xcut) {
  RecordWriter out;
  if (deck.ioverall == 1) {
    double b = 0;
    double c = 0;
    int32_t iflag = 0;
    search_cutoff(fun, b, c, iflag);
    if (iflag != 1) {
      out.write("('ERROR ZERO ',I3,4D13.4)",
                Items().add(iflag).add(b).add(c).add(selection.sra).add(selection.sri));
      return false;
    }
    xcut = b;
    return true;
  }
  // Majority mode: the cut-off above which the proportion sr of the majority
  // group lies.
  selection.srtarget = 1 - selection.srtarget;
  if (!(selection.srtarget > 0 && selection.srtarget < 1)) {
    out.write("('ERROR RATIO ',D13.4)", Items().add(sr));
    return false;
  }
  int32_t ifault = 0;
  int32_t lower = 0;
  xcut = ppnd(selection.srtarget, ifault);
  selection.sra = 1 - alnorm(xcut, lower);
  double xi = xcut - selection.dx;
  selection.sri = 1 - alnorm(xi, lower);
  return true;
}

void write_row(const ProblemDeck& deck, const CompositeStatistics& stats, double xcut) {
  RecordWriter out;
  constexpr double undefined = std::numeric_limits<double>::quiet_NaN();
  const bool on_criterion = deck.icrit != 0;
  const double sra = selection.sra;
  const double sri = selection.sri;
  const double dx = selection.dx;

  const double ai = sri / sra;
  const double phia = density(xcut);
  const double ma = on_criterion ? stats.rxy * phia / sra : phia / sra;
  const double phii = density(xcut - dx);
  // With no minority applicant selected their mean quality does not exist.
  double mi = undefined;
  if (sri != 0) mi = on_criterion ? stats.rxy * phii / sri + stats.dy : phii / sri + dx;
  const double dif = ma - mi;

  if (deck.ioverall != 1) {
    out.write("(6(F7.3,1X))", Items().add(sra).add(sri).add(ai).add(ma).add(mi).add(dif));
    return;
  }
  const double srtarget = selection.srtarget;
  const double m = sri != 0 ? (deck.pmaj * sra * ma + sri * deck.pmin * mi) / srtarget
                            : deck.pmaj * sra * ma / srtarget;
  // Mean and standard deviation of the whole applicant population on the
  // chosen composite, both groups mixed in their proportions.
  const double d = on_criterion ? stats.dy : dx;
  const double mean = deck.pmin * d;
  const double sd = std::sqrt(deck.pmaj * deck.pmin * d * d + 1);
  const double sm = (m - mean) / sd;
  const double sma = (ma - mean) / sd;
  const double smi = (mi - mean) / sd;
  const double sdif = sma - smi;

  const double first[] = {srtarget, sra, sri, ai, m, ma, mi, dif};
  const double second[] = {sm, sma, smi, sdif};
  out.write("(9(F7.3,1X))", Items().add(first));
  out.write("(3X,8(F7.3,1X))", Items().add(second));
}

}  // namespace

void write_tables(const ProblemDeck& deck, const CompositeStatistics& stats, bool have_boundary,
                  double boundary) {
  RecordWriter out;
  const bool overall = deck.ioverall == 1;
  out.write(overall ? overall_heading : majority_heading);

  const int32_t rows = deck.nsr + 22;
  for (int32_t i = 1; i <= rows; ++i) {
    double sr = 0;
    if (i <= 21) {
      sr = sr1[i - 1];
    } else if (i == 22) {
      out.write(overall ? "('Details for minimum possible overall SR without AI')"
                        : "('Details for minimum possible majority SR without AI')");
      // Without a boundary there is no ratio for this row.
      if (!have_boundary) continue;
      sr = boundary;
    } else {
      if (i == 23)
        out.write(overall ? "('Details for requested overall selection ratios')"
                          : "('Details for requested majority selection ratios')");
      sr = deck.reqsr[i - 23];
    }
    selection.srtarget = sr;
    double xcut = 0;
    if (find_cutoff(deck, sr, xcut)) write_row(deck, stats, xcut);
  }
}

}  // namespace fourfifths
