// Model invariants on the reports of a few hundred random valid decks, forty
// for each combination of the three analysis flags (overall/majority ratios,
// read/regression weights, predictor/criterion quality), each run in-process.
//
// What every report must show, whatever the deck:
//  - a normal end: status 0, nothing on standard error, the report complete;
//  - every value echoed as the deck wrote it (in whichever field form);
//  - SRA and SRI within [0, 1] wherever printed; AI within [0, 1] when the
//    minority group scores lower (dx < 0), at least 1 when it scores higher
//    (then AI is not bounded by 1: beyond 999.999 it prints as asterisks),
//    and close to 1 when dx prints as 0.000;
//  - over the 21 built-in rows SRA never falls as SR rises, and AI rises with
//    SR when dx < 0 (falls when dx > 0): at a lower cut-off a shifted normal
//    group gains relatively more;
//  - the boundary row's AI prints as 0.800 within one unit of the last
//    decimal, and the boundary row shows the boundary's ratio;
//  - a requested ratio equal to a built-in one repeats that row byte for byte;
//    a requested ratio outside (0, 1) has no cut-off and gets an error record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "report/report.h"
#include "study/random_deck.h"
#include "study/report_text.h"

namespace fourfifths::testing {
namespace {

constexpr int decks_per_combination = 40;
constexpr uint64_t seed = 20111965;

struct Flags {
  int ioverall, ireg, icrit;
};

std::string flags_name(const ::testing::TestParamInfo<Flags>& info) {
  const Flags& f = info.param;
  return std::string(f.ioverall ? "Overall" : "Majority") + (f.ireg ? "Regression" : "Given") +
         (f.icrit ? "Criterion" : "Predictor");
}

std::string fixed(double v, int width, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
  return buf;
}

std::string echo(const std::vector<double>& values, int width, int decimals) {
  std::string s(5, ' ');
  for (double v : values) s += fixed(v, width, decimals);
  return s;
}

// The record following the one that reads `label`, or nothing.
std::string after(const std::string& report, const std::string& label) {
  const std::size_t at = report.find("\n" + label + "\n");
  if (at == std::string::npos) return "<no record \"" + label + "\">";
  const std::size_t from = at + label.size() + 2;
  return report.substr(from, report.find('\n', from) - from);
}

// Collects the faults of one report; the test prints them with the deck.
class Faults {
 public:
  void add(const std::string& what) { list_ += "  " + what + "\n"; }
  bool empty() const { return list_.empty(); }
  const std::string& text() const { return list_; }

 private:
  std::string list_;
};

// A printed ratio that must be a number within [lo, hi].
void expect_within(Faults& faults, const std::string& what, std::string_view field, double lo,
                   double hi) {
  const auto v = printed_number(field);
  if (!v || *v < lo || *v > hi)
    faults.add(what + " prints \"" + std::string(field) + "\", outside [" + fixed(lo, 0, 3) + ", " +
               fixed(hi, 0, 3) + "]");
}

void check_echo(const RandomDeck& d, const std::string& out, Faults& faults) {
  auto same = [&](const std::string& what, const std::string& got, const std::string& want) {
    if (got != want) faults.add(what + " echoed as \"" + got + "\", deck holds \"" + want + "\"");
  };
  if (d.ioverall == 1) {
    const std::string label = "Ratio number of majority vs number of minority applicants:";
    const std::size_t at = out.find("\n" + label);
    same("applicant ratio", at == std::string::npos ? "" : out.substr(at + 1 + label.size(), 6),
         fixed(d.apratio, 6, 3));
  }
  if (d.ireg == 0)
    same("predictor weights", after(out, "Predictor weights (from predictor one to the last):"),
         echo(d.pweight, 9, 5));
  if (d.ncrit > 0)
    same("criterion weights", after(out, "Criterion weights (from criterion one to the last):"),
         echo(d.cweight, 7, 3));
  same("predictor effect sizes", after(out, "minority and the majority group) of the predictors"),
       echo(d.pdelta, 7, 3));
  if (d.ncrit > 0)
    same("criterion effect sizes", after(out, "minority and the majority group) of the criteria"),
         echo(d.cdelta, 7, 3));
  const int nvar = d.npred + d.ncrit;
  for (int i = 0; i < nvar; ++i) {
    char label[32];
    std::snprintf(label, sizeof label, "   Row %2d", i + 1);
    std::string want = label;
    for (int j = 0; j < nvar; ++j) want += fixed(d.corr[i * nvar + j], 7, 3);
    const std::size_t at = out.find("\n" + std::string(label));
    same("correlation row " + std::to_string(i + 1),
         at == std::string::npos ? "" : out.substr(at + 1, out.find('\n', at + 1) - at - 1), want);
  }
}

void check_table(const RandomDeck& d, const ReportText& r, Faults& faults) {
  const bool overall = d.ioverall == 1;
  // Column of SRA in a row: SR comes first in the overall mode only.
  const int sra_col = overall ? 1 : 0;
  // The sign of dx as printed; a value that prints as 0.000 (either sign)
  // leaves the direction of the adverse impact open.
  const auto dx = printed_number(r.dx);
  const bool minority_lower = dx && *dx < 0;
  const bool minority_higher = dx && *dx > 0;

  auto check_ratios = [&](const std::string& where, const TableRow& row) {
    if (row.error) return;
    expect_within(faults, where + " SRA", row.field(sra_col), 0, 1);
    expect_within(faults, where + " SRI", row.field(sra_col + 1), 0, 1);
    if (minority_lower) {
      expect_within(faults, where + " AI", row.field(sra_col + 2), 0, 1);
    } else if (!minority_higher) {
      expect_within(faults, where + " AI (dx prints 0)", row.field(sra_col + 2), 0.99, 1.01);
    } else if (row.field(sra_col + 2) != "*******") {
      // A minority group that scores higher is favoured: AI of 1 or more,
      // beyond the field (asterisks) where SRA is close to 0.
      expect_within(faults, where + " AI (dx > 0)", row.field(sra_col + 2), 1, 999.999);
    }
  };

  for (int k = 0; k < 21; ++k) check_ratios("built-in row " + std::to_string(k + 1), r.builtin[k]);
  if (r.boundary_row) check_ratios("boundary row", *r.boundary_row);
  for (int k = 0; k < d.nsr; ++k)
    check_ratios("requested row " + std::to_string(k + 1), r.requested[k]);

  // Monotone in SR over the built-in rows whose cut-off was found.
  const TableRow* previous = nullptr;
  for (const TableRow& row : r.builtin) {
    if (row.error) continue;
    if (previous != nullptr) {
      const auto sra0 = printed_number(previous->field(sra_col));
      const auto sra1 = printed_number(row.field(sra_col));
      const auto ai0 = printed_number(previous->field(sra_col + 2));
      const auto ai1 = printed_number(row.field(sra_col + 2));
      if (sra0 && sra1 && *sra1 < *sra0)
        faults.add("SRA falls from \"" + previous->first + "\" to \"" + row.first + "\"");
      if (ai0 && ai1 && ((minority_lower && *ai1 < *ai0) || (minority_higher && *ai1 > *ai0)))
        faults.add(std::string("AI ") + (minority_lower ? "falls" : "rises") + " from \"" +
                   previous->first + "\" to \"" + row.first + "\" with dx " + r.dx);
    }
    previous = &row;
  }

  if (r.boundary_found) {
    expect_within(faults, "boundary block SRA", r.boundary_sra, 0, 1);
    expect_within(faults, "boundary block SRI", r.boundary_sri, 0, 1);
    if (overall) expect_within(faults, "boundary block SR", r.boundary, 0, 1);
    // A boundary that prints as 0.000 lies far in the upper tail (dx just
    // below 0 puts it near the cut-off 8, at ratios of about 1e-15). There the
    // group ratios, formed as 1 - Phi, and the majority mode's 1 - SR carry
    // too few digits for the boundary row to land on AI = 0.8 again; only
    // its introducing record is certain.
    const bool in_far_tail = printed_number(r.boundary).value_or(0) == 0;
    if (!r.boundary_row) {
      faults.add("boundary found but its row is missing");
    } else if (!in_far_tail) {
      if (r.boundary_row->error)
        faults.add("boundary row has no cut-off: " + r.boundary_row->first);
      expect_within(faults, "boundary row AI", r.boundary_row->field(sra_col + 2), 0.799, 0.801);
      if (overall && r.boundary_row->field(0) != r.boundary)
        faults.add("boundary row SR \"" + std::string(r.boundary_row->field(0)) +
                   "\" differs from the boundary \"" + r.boundary + "\"");
      if (!overall) {
        const auto row_sra = printed_number(r.boundary_row->field(0));
        const auto sra = printed_number(r.boundary_sra);
        if (!row_sra || !sra || std::fabs(*row_sra - *sra) > 0.0011)
          faults.add("boundary row SRA \"" + std::string(r.boundary_row->field(0)) +
                     "\" is not the boundary \"" + r.boundary_sra + "\"");
      }
    }
  } else if (r.boundary_row) {
    faults.add("a boundary row without a boundary");
  }

  for (int k = 0; k < d.nsr; ++k) {
    const TableRow& row = r.requested[k];
    const std::string where = "requested row " + std::to_string(k + 1);
    const double sr = d.reqsr[k];
    if (sr <= 0 || sr >= 1) {
      if (!row.error) faults.add(where + " with ratio " + fixed(sr, 0, 3) + " has a cut-off");
    } else if (!overall && row.error) {
      faults.add(where + " with ratio " + fixed(sr, 0, 3) + " has no cut-off: " + row.first);
    }
    if (row.error && !row.first.starts_with(overall ? "ERROR ZERO " : "ERROR RATIO "))
      faults.add(where + " has the wrong error record: " + row.first);
    for (int j = 0; j < 20; ++j) {
      if (sr != std::strtod(builtin_ratio_texts[j], nullptr)) continue;
      const TableRow& same = r.builtin[j];
      if (row.first != same.first || row.second != same.second)
        faults.add(where + " (" + builtin_ratio_texts[j] +
                   ") differs from its built-in row:\n    " + row.first + "\n    " + same.first);
    }
  }
}

class RandomDecks : public ::testing::TestWithParam<Flags> {};

TEST_P(RandomDecks, ReportsHoldTheModelInvariants) {
  const Flags f = GetParam();
  DeckGenerator gen(seed + 8 * f.ioverall + 4 * f.ireg + 2 * f.icrit);
  int failed = 0;
  for (int n = 0; n < decks_per_combination && failed < 5; ++n) {
    const RandomDeck d = gen.next(f.ioverall, f.ireg, f.icrit);
    const ClassicOutcome run = run_classic(d.text);
    Faults faults;
    if (run.aborted) faults.add("the run did not end normally");
    if (!run.err.empty()) faults.add("standard error: " + run.err);
    ReportText report;
    const std::string why = parse_report(run.out, d.ioverall == 1, d.nsr, report);
    if (!why.empty()) {
      faults.add("report: " + why);
    } else {
      check_echo(d, run.out, faults);
      check_table(d, report, faults);
    }
    if (!faults.empty()) {
      ++failed;
      ADD_FAILURE() << "deck " << n << ":\n"
                    << faults.text() << "--- deck ---\n"
                    << d.text << "\n--- report ---\n"
                    << run.out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFlagCombination, RandomDecks,
                         ::testing::Values(Flags{1, 0, 0}, Flags{1, 0, 1}, Flags{1, 1, 0},
                                           Flags{1, 1, 1}, Flags{0, 0, 0}, Flags{0, 0, 1},
                                           Flags{0, 1, 0}, Flags{0, 1, 1}),
                         flags_name);

// Determinants of the leading minors by Gaussian elimination without pivoting:
// all positive exactly when the symmetric matrix is positive definite
// (Sylvester's criterion).
bool leading_minors_positive(std::vector<double> a, int n) {
  for (int c = 0; c < n; ++c) {
    if (!(a[c * n + c] > 0)) return false;
    for (int r = c + 1; r < n; ++r) {
      const double f = a[r * n + c] / a[c * n + c];
      for (int j = c; j < n; ++j) a[r * n + j] -= f * a[c * n + j];
    }
  }
  return true;
}

// The generator itself: its decks must be valid and must reach every count,
// flag and field form the invariants are meant to cover.
TEST(Generator, DecksAreValidAndCoverEveryCountAndForm) {
  DeckGenerator gen(seed);
  std::vector<int> npred_seen(11), ncrit_seen(11);
  int ratio_records_over_one = 0;
  unsigned forms = 0;
  for (int n = 0; n < 8 * decks_per_combination; ++n) {
    const int ioverall = n & 1, ireg = (n >> 1) & 1, icrit = (n >> 2) & 1;
    const RandomDeck d = gen.next(ioverall, ireg, icrit);
    const int nvar = d.npred + d.ncrit;
    ASSERT_GE(d.npred, 1);
    ASSERT_LE(nvar, 10);
    if (ireg == 1 || icrit == 1) {
      ASSERT_GE(d.ncrit, 1);
    }
    ASSERT_LE(d.nsr, 30);
    ++npred_seen[d.npred];
    ++ncrit_seen[d.ncrit];
    if (d.nsr > 10) ++ratio_records_over_one;
    if (ireg == 0) {
      bool any = false;
      for (double w : d.pweight) any = any || w != 0;
      EXPECT_TRUE(any) << d.text;
      for (double w : d.pweight) EXPECT_TRUE(w >= -1 && w <= 2) << w;
    }
    for (double e : d.pdelta) EXPECT_TRUE(e >= -3 && e <= 1) << e;
    for (double s : d.reqsr) EXPECT_TRUE(s >= -0.1 && s <= 1.1) << s;
    for (int i = 0; i < nvar; ++i) {
      EXPECT_EQ(d.corr[i * nvar + i], 1.0);
      for (int j = 0; j < nvar; ++j) EXPECT_EQ(d.corr[i * nvar + j], d.corr[j * nvar + i]);
    }
    EXPECT_TRUE(leading_minors_positive(d.corr, nvar)) << d.text;
    EXPECT_EQ(d.text.find('\r') != std::string::npos, (d.forms & crlf_records) != 0);
    EXPECT_EQ(d.text.back() != '\n', (d.forms & unterminated_last_record) != 0);
    forms |= d.forms;
  }
  for (int k = 1; k <= 10; ++k) EXPECT_GT(npred_seen[k], 0) << "npred " << k;
  for (int k = 0; k <= 9; ++k) EXPECT_GT(ncrit_seen[k], 0) << "ncrit " << k;
  EXPECT_GT(ratio_records_over_one, 0);
  EXPECT_EQ(forms, 0x3fu) << "field forms used: " << forms;
}

TEST(Generator, CholeskyTestRejectsMatricesThatAreNotPositiveDefinite) {
  // Correlations 0.9, 0.9 and -0.9 among three variables are impossible.
  const std::vector<double> impossible = {1, 0.9, 0.9, 0.9, 1, -0.9, 0.9, -0.9, 1};
  EXPECT_FALSE(cholesky_positive_definite(impossible, 3, 1e-4));
  EXPECT_FALSE(leading_minors_positive(impossible, 3));
  const std::vector<double> fine = {1, 0.5, 0.3, 0.5, 1, 0.2, 0.3, 0.2, 1};
  EXPECT_TRUE(cholesky_positive_definite(fine, 3, 1e-4));
  EXPECT_TRUE(leading_minors_positive(fine, 3));
}

}  // namespace
}  // namespace fourfifths::testing
