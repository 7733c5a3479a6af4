// Random problem decks that every part of the program must accept: every
// combination of the analysis flags, 1 to 10 variables, positive-definite
// correlation matrices drawn from random common-factor models, effect sizes,
// weights and requested selection ratios over the ranges a study may use.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace fourfifths::testing {

// One generated deck: its text and the values it holds, each value as the
// program reads it back from its 7-column field.
struct RandomDeck {
  int npred = 0;
  int ncrit = 0;
  int ioverall = 0;
  int ireg = 0;
  int icrit = 0;
  int nsr = 0;
  double apratio = 0;           // ioverall = 1 only
  std::vector<double> pweight;  // ireg = 0 only
  std::vector<double> cweight;  // ncrit entries
  std::vector<double> corr;     // nvar x nvar, row by row
  std::vector<double> pdelta;   // npred entries
  std::vector<double> cdelta;   // ncrit entries
  std::vector<double> reqsr;    // nsr entries
  std::string text;             // the deck, one record per line
  unsigned forms = 0;           // the field forms used, FieldForm bits
};

// The ways of writing a field or record that the deck uses besides plain
// right-justified fields with a decimal point.
enum FieldForm : unsigned {
  left_justified_field = 1u << 0,    // "0.150  "
  implied_decimals_field = 1u << 1,  // "    150"
  comma_ended_fields = 1u << 2,      // "0.150,0.300"
  text_after_fields = 1u << 3,       // a comment after the last field
  crlf_records = 1u << 4,            // carriage return before each line feed
  unterminated_last_record = 1u << 5,
};

// The built-in selection ratios of the report's tables that a 7-column field
// can carry (all but the last, 0.99999999999), as written in a deck.
extern const char* const builtin_ratio_texts[20];

// Draws decks from a fixed seed; the same seed gives the same decks on every
// machine (the engine's output is fixed by the C++ standard and the
// distributions are computed here, not by the library).
class DeckGenerator {
 public:
  explicit DeckGenerator(uint64_t seed) : engine_(seed) {}

  // A deck with the given flags (each 0 or 1) and everything else random.
  RandomDeck next(int ioverall, int ireg, int icrit);

  double uniform(double lo, double hi);  // uniform on [lo, hi)
  int integer(int lo, int hi);           // uniform on lo..hi

 private:
  std::vector<double> correlation_matrix(int n);
  std::mt19937_64 engine_;
};

// Lower Cholesky factor of the n x n symmetric matrix a (row by row): false
// when a pivot is not above min_pivot, that is when a is not safely positive
// definite.
bool cholesky_positive_definite(const std::vector<double>& a, int n, double min_pivot);

}  // namespace fourfifths::testing
